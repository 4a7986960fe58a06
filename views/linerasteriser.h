// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LINERASTERISER_H
#define LINERASTERISER_H

#include <QImage>
#include <QPointF>
#include <QRect>

#include <cstdint>
#include <vector>

// Draws wide antialiased polylines (square caps, bevel joins) straight into a 32-bit premultiplied
// image, as Qt's raster engine does with such a pen, for far less work on long lines.
//
// The outline is the one Qt's stroker makes: each segment's offset lines, the outer corner of
// every turn cut straight across and the inner one taken through the turning point, so that
// overlapping segments add to the winding. Each edge adds the exact area it covers to a per-pixel
// accumulator, summed along the row in a sweep: a pixel's coverage is the clamped absolute winding
// over its area, as in Qt's rasteriser, and the colour is blended with Qt's arithmetic. What
// differs is precision only: areas in floating point rather than in 1/256 of a pixel, which moves
// an edge pixel's coverage by a few 255ths at most.
//
// Qt's rasteriser works in bands of a few rows through a small cell pool, walking the whole
// outline again for each band; a long line over a tall plot costs it many walks. Here every edge
// is walked once, and the sweep visits only the cells the edges touched.
class LineRasteriser
{
public:
    // Draws the line through count points with the given pen width and premultiplied colour,
    // source over, within clip (device pixels). Returns false, drawing nothing, for what it does
    // not draw: fewer than two distinct points, or coordinates or a width that are not finite or
    // lie beyond any plot. The target's pixels are written where they are, without detaching the
    // image, so that a paint engine drawing into it sees them; its data must not be shared.
    bool drawPolyline(QImage &target, const QRect &clip, const QPointF *points, qsizetype count,
                      qreal width, QRgb colour);

private:
    // Columns touched in one row, as a few ranges; more than fit become their union.
    static constexpr int kMaxRowRanges = 8;
    struct RowRanges
    {
        int count = 0;
        int first[kMaxRowRanges];
        int last[kMaxRowRanges];
    };

    void begin(const QRect &area);
    void outline(const std::vector<QPointF> &points, qreal halfWidth);
    void addEdge(QPointF from, QPointF to);
    void accumulate(float x0, float y0, float x1, float y1);
    void touch(int row, int first, int last);
    void sweep(QImage &target, QRgb colour);
    void sweepRow(RowRanges &ranges, float *accumulated, QRgb *pixels, QRgb colour) const;

    QRect m_area;
    int m_stride = 0;
    std::vector<float> m_accumulated;
    std::vector<RowRanges> m_rows;
    int m_firstRow = 0;
    int m_lastRow = -1;
    QPointF m_pen;
    std::vector<QPointF> m_points;
    std::vector<QPointF> m_along;
    std::vector<QPointF> m_side;
};

#endif // LINERASTERISER_H
