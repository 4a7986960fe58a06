// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DIRECTLINEGRAPH_H
#define DIRECTLINEGRAPH_H

#include <qcustomplot.h>

// A plot graph that draws its line into the plot's image itself (LineRasteriser) when the line
// is what the curve window draws: a wide solid pen with square caps and bevel joins, antialiased,
// on the plot's own raster image. Qt's drawing of such a line costs several times more, and grows
// with the plot's height. A gap (a point without a value) breaks the line. Anything else (exports,
// other pens, painters with shears or rotations) takes the plot library's drawing.
class DirectLineGraph : public QCPGraph
{
public:
    DirectLineGraph(QCPAxis *keyAxis, QCPAxis *valueAxis);

    // The graph's legend icon, for a legend entry of its own.
    void drawIcon(QCPPainter *painter, const QRectF &rect) const { drawLegendIcon(painter, rect); }

protected:
    void drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const override;

private:
    static bool drawDirectly(QCPPainter *painter, const QPointF *points, qsizetype count);
};

#endif // DIRECTLINEGRAPH_H
