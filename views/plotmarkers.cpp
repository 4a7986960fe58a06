// SPDX-License-Identifier: GPL-3.0-or-later
#include "plotmarkers.h"

#include "frameaxis.h"

#include <qcustomplot.h>

#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace {

const QColor kMarkerColour(40, 40, 120);
const QMargins kLabelPadding(3, 1, 3, 1);

} // namespace

PlotMarkers::PlotMarkers(QCustomPlot *plot, const FrameAxis *axis)
    : m_plot(plot)
    , m_axis(axis)
{
    m_beforeReplot =
        QObject::connect(plot, &QCustomPlot::beforeReplot, [this] { keepLabelsInside(); });
}

PlotMarkers::~PlotMarkers()
{
    QObject::disconnect(m_beforeReplot);
}

QString PlotMarkers::defaultLabel(int number)
{
    return tr("标记 %1").arg(number);
}

// A file written in another language than the one shown holds the default label in its own: one
// of the program's two languages.
QString PlotMarkers::shownText(const PlotMarker &marker)
{
    static const QRegularExpression numbered(QStringLiteral("^(?:标记|Marker) (\\d+)$"));
    const QRegularExpressionMatch match = numbered.match(marker.label);
    const bool isDefault = marker.label == defaultLabel(marker.number) ||
                           (match.hasMatch() && match.captured(1).toInt() == marker.number);
    return isDefault ? defaultLabel(marker.number)
                     : QStringLiteral("%1 %2").arg(marker.number).arg(marker.label);
}

void PlotMarkers::add(const PlotMarker &marker)
{
    auto *line = new QCPItemStraightLine(m_plot);
    line->setPen(QPen(kMarkerColour, 1, Qt::DashLine));
    line->setSelectable(false);

    // The label hangs from the top of the axis rect, beside the line.
    auto *text = new QCPItemText(m_plot);
    text->setSelectable(false);
    text->position->setTypeX(QCPItemPosition::ptPlotCoords);
    text->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    text->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setClipToAxisRect(true);
    text->setColor(kMarkerColour);
    text->setBrush(QColor(255, 255, 255, 200));
    text->setPadding(kLabelPadding);
    text->setText(shownText(marker));
    const Drawn drawn{marker, line, text};
    place(drawn);
    const auto later =
        std::upper_bound(m_drawn.begin(), m_drawn.end(), marker.key,
                         [](double key, const Drawn &d) { return key < d.marker.key; });
    m_drawn.insert(later, drawn);
}

void PlotMarkers::place(const Drawn &drawn) const
{
    const double x = m_axis->coordinateOf(drawn.marker.key);
    drawn.line->point1->setCoords(x, 0);
    drawn.line->point2->setCoords(x, 1);
    drawn.text->position->setCoords(x, 0);
}

// Before each replot, with the ranges it draws.
void PlotMarkers::keepLabelsInside() const
{
    const int right = m_plot->axisRect()->rect().right();
    for (const Drawn &drawn : m_drawn) {
        const QFontMetrics metrics(drawn.text->font());
        const int width = metrics.horizontalAdvance(drawn.text->text()) + kLabelPadding.left() +
                          kLabelPadding.right();
        const double x = m_plot->xAxis->coordToPixel(drawn.text->position->key());
        drawn.text->setPositionAlignment((x + width > right ? Qt::AlignRight : Qt::AlignLeft) |
                                         Qt::AlignTop);
    }
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

void PlotMarkers::relocate()
{
    for (const Drawn &drawn : std::as_const(m_drawn))
        place(drawn);
}

void PlotMarkers::retranslate()
{
    for (const Drawn &drawn : std::as_const(m_drawn))
        drawn.text->setText(shownText(drawn.marker));
}

QList<PlotMarker> PlotMarkers::markers() const
{
    QList<PlotMarker> out;
    for (const Drawn &drawn : m_drawn)
        out.append(drawn.marker);
    return out;
}
