// SPDX-License-Identifier: GPL-3.0-or-later
#include "stripedgraph.h"

#include <algorithm>
#include <cmath>

namespace {

// Points left to right, none undefined: the line can be cut by columns.
bool runsLeftToRight(const QVector<QPointF> &lines)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!std::isfinite(lines.at(i).x()) || !std::isfinite(lines.at(i).y()))
            return false;
        if (i > 0 && lines.at(i).x() < lines.at(i - 1).x())
            return false;
    }
    return true;
}

} // namespace

StripedGraph::StripedGraph(QCPAxis *keyAxis, QCPAxis *valueAxis)
    : QCPGraph(keyAxis, valueAxis)
{}

void StripedGraph::drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const
{
    // Exports and vector output keep the plain drawing.
    const bool raster = !painter->modes().testFlag(QCPPainter::pmVectorized) &&
                        !painter->modes().testFlag(QCPPainter::pmNoCaching);
    const bool drawn = painter->pen().style() != Qt::NoPen && painter->pen().color().alpha() != 0;
    if (!drawn || !raster || lines.size() < 3 || !runsLeftToRight(lines) ||
        lines.last().x() - lines.first().x() < 2 * kStripWidth) {
        QCPGraph::drawLinePlot(painter, lines);
        return;
    }
    applyDefaultAntialiasingHint(painter);
    // Beyond this distance from a strip, neither a segment, its join nor the cap that a cut line
    // ends with touches a pixel of the strip.
    const double margin = std::max(painter->pen().widthF(), 1.0) + 2;
    const QRect bounds =
        painter->hasClipping() ? painter->clipBoundingRect().toAlignedRect() : painter->viewport();
    qsizetype first = 0;
    const double right = lines.last().x() + margin;
    for (int x0 = int(std::floor(lines.first().x() - margin)); x0 < right; x0 += kStripWidth) {
        const int x1 = x0 + kStripWidth;
        while (first + 1 < lines.size() && lines.at(first + 1).x() < x0 - margin)
            ++first;
        qsizetype last = first;
        while (last + 1 < lines.size() && lines.at(last).x() <= x1 + margin)
            ++last;
        painter->save();
        painter->setClipRect(QRect(x0, bounds.top(), kStripWidth, bounds.height()),
                             Qt::IntersectClip);
        drawPolyline(painter, lines.mid(first, last - first + 1));
        painter->restore();
    }
}
