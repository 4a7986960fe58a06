// SPDX-License-Identifier: GPL-3.0-or-later
#include "sensorlegend.h"

#include "sensorlegendentry.h"

#include <qcustomplot.h>

namespace {

constexpr int kLegendColumn = 1;
// The column takes the width its entries need and no more.
constexpr double kNarrowest = 0.001;

} // namespace

SensorLegend::SensorLegend(QCustomPlot *plot)
    : m_plot(plot)
    , m_column(new QCPLayoutGrid)
    , m_legend(new QCPLegend)
{
    // The legend on top, an empty element below that takes the rest of the height.
    plot->plotLayout()->addElement(0, kLegendColumn, m_column);
    plot->plotLayout()->setColumnStretchFactor(kLegendColumn, kNarrowest);
    m_column->addElement(0, 0, m_legend);
    m_column->addElement(1, 0, new QCPLayoutElement(plot));
    m_column->setRowStretchFactor(0, kNarrowest);
    m_legend->setLayer(QStringLiteral("legend"));
    m_legend->setFont(plot->legend->font());
    m_legend->setBorderPen(Qt::NoPen);
    m_legend->setBrush(Qt::NoBrush);
    m_legend->setFillOrder(QCPLayoutGrid::foRowsFirst);
    m_legend->setMargins(QMargins(4, 6, 6, 4));
    m_legend->setRowSpacing(1);
    m_legend->setColumnSpacing(8);
    connect(plot, &QCustomPlot::beforeReplot, this, &SensorLegend::fitRows);
    setShown(false);
}

// Out of the plot's layout, the column is this object's to delete.
SensorLegend::~SensorLegend()
{
    if (!m_shown)
        delete m_column;
}

void SensorLegend::setShown(bool shown)
{
    if (shown == m_shown)
        return;
    m_shown = shown;
    m_column->setVisible(shown);
    if (shown) {
        m_plot->plotLayout()->addElement(0, kLegendColumn, m_column);
        m_plot->plotLayout()->setColumnStretchFactor(kLegendColumn, kNarrowest);
    } else {
        m_plot->plotLayout()->take(m_column);
        m_plot->plotLayout()->simplify();
    }
}

void SensorLegend::setSensors(const QList<int> &sensors)
{
    // Graphs that were removed and made anew (the sensor count went down and up) need new
    // entries too.
    bool same = sensors == m_sensors;
    for (int i = 0; same && i < m_legend->itemCount(); ++i) {
        const auto *entry = static_cast<SensorLegendEntry *>(m_legend->item(i));
        same = entry->curve(0) == m_plot->graph(3 * entry->sensor());
    }
    if (same)
        return;
    m_sensors = sensors;
    m_legend->clearItems();
    for (int s : sensors) {
        std::array<QCPGraph *, 3> curves{};
        for (int a = 0; a < 3; ++a)
            curves[std::size_t(a)] = m_plot->graph(3 * s + a);
        m_legend->addItem(new SensorLegendEntry(m_legend, s, curves));
    }
    fitRows();
}

// As many entries in a column as the plot's height holds.
void SensorLegend::fitRows()
{
    if (!m_shown || m_legend->itemCount() == 0)
        return;
    const int entry = m_legend->item(0)->minimumOuterSizeHint().height() + m_legend->rowSpacing();
    const QMargins margins = m_legend->margins();
    const int room = m_plot->viewport().height() - margins.top() - margins.bottom();
    const int rows = std::max(1, (room + m_legend->rowSpacing()) / entry);
    if (rows == m_legend->wrap())
        return;
    m_legend->setWrap(rows);
    m_legend->setFillOrder(QCPLayoutGrid::foRowsFirst, true);
}
