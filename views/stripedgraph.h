// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef STRIPEDGRAPH_H
#define STRIPEDGRAPH_H

#include <qcustomplot.h>

// A plot graph that draws its line in vertical strips, pixel for pixel as the plain graph does.
// The plain graph hands the whole line to Qt's antialiasing rasteriser, whose work grows with the
// square of the number of cells on one pixel row; a long flat curve (a sensor at rest) makes that
// the dearest part of a refresh. Each strip draws only the points that can reach it, clipped to
// it: the line's outline inside the strip is the same, and so are its pixels.
class StripedGraph : public QCPGraph
{
public:
    StripedGraph(QCPAxis *keyAxis, QCPAxis *valueAxis);

    static constexpr int kStripWidth = 32;

protected:
    void drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const override;
};

#endif // STRIPEDGRAPH_H
