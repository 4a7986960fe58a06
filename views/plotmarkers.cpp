// SPDX-License-Identifier: GPL-3.0-or-later
#include "plotmarkers.h"

#include <qcustomplot.h>

#include <algorithm>
#include <utility>

namespace {

const QColor kMarkerColour(40, 40, 120);

} // namespace

PlotMarkers::PlotMarkers(QCustomPlot *plot)
    : m_plot(plot)
{}

void PlotMarkers::add(const PlotMarker &marker, const QString &shown)
{
    QPen pen(kMarkerColour, 1, Qt::DashLine);
    auto *line = new QCPItemStraightLine(m_plot);
    line->setPen(pen);
    line->setSelectable(false);
    line->point1->setCoords(marker.key, 0);
    line->point2->setCoords(marker.key, 1);

    // The label hangs from the top of the axis rect, right of the line.
    auto *text = new QCPItemText(m_plot);
    text->setSelectable(false);
    text->position->setTypeX(QCPItemPosition::ptPlotCoords);
    text->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    text->position->setCoords(marker.key, 0);
    text->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setClipToAxisRect(true);
    text->setColor(kMarkerColour);
    text->setBrush(QColor(255, 255, 255, 200));
    text->setPadding(QMargins(3, 1, 3, 1));
    text->setText(shown);
    const auto later =
        std::upper_bound(m_drawn.begin(), m_drawn.end(), marker.key,
                         [](double key, const Drawn &drawn) { return key < drawn.marker.key; });
    m_drawn.insert(later, {marker, line, text});
}

void PlotMarkers::dropBefore(double key)
{
    while (!m_drawn.isEmpty() && m_drawn.first().marker.key < key) {
        const Drawn gone = m_drawn.takeFirst();
        m_plot->removeItem(gone.line);
        m_plot->removeItem(gone.text);
    }
}

void PlotMarkers::setVisible(bool visible)
{
    for (const Drawn &drawn : std::as_const(m_drawn)) {
        drawn.line->setVisible(visible);
        drawn.text->setVisible(visible);
    }
}

QList<PlotMarker> PlotMarkers::markers() const
{
    QList<PlotMarker> out;
    for (const Drawn &drawn : m_drawn)
        out.append(drawn.marker);
    return out;
}
