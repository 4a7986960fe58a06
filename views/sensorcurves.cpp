// SPDX-License-Identifier: GPL-3.0-or-later
#include "sensorcurves.h"

#include "directlinegraph.h"
#include "legendentry.h"
#include "sensorlegend.h"
#include "sensorlegendentry.h"

#include <qcustomplot.h>

#include <QDebug>
#include <QListWidget>
#include <QLoggingCategory>

#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(lcViews, "eskin.views")

constexpr int kShownPenWidth = 3;
const QColor kHiddenColour(Qt::darkGray);

// X, Y and Z curve colours of sensors 0 to 15, as red, green, blue.
constexpr int kAxisRgb[kMaxSensors][kAxisCount][3] = {
    {{255, 255, 0}, {176, 224, 230}, {160, 32, 240}},
    {{227, 207, 87}, {65, 105, 225}, {160, 102, 211}},
    {{255, 153, 18}, {106, 90, 205}, {218, 112, 214}},
    {{235, 142, 85}, {0, 255, 255}, {221, 160, 221}},
    {{255, 227, 132}, {56, 94, 15}, {255, 0, 0}},
    {{255, 210, 0}, {8, 46, 84}, {176, 48, 96}},
    {{218, 165, 105}, {107, 142, 35}, {255, 192, 203}},
    {{255, 97, 0}, {127, 255, 212}, {150, 128, 114}},
    {{237, 145, 33}, {64, 224, 208}, {255, 99, 71}},
    {{255, 128, 0}, {0, 255, 0}, {255, 182, 193}},
    {{245, 222, 179}, {61, 145, 64}, {220, 20, 60}},
    {{128, 42, 42}, {0, 201, 87}, {219, 112, 147}},
    {{188, 143, 143}, {107, 142, 35}, {210, 180, 140}},
    {{115, 74, 18}, {46, 137, 87}, {221, 160, 221}},
    {{94, 38, 18}, {0, 0, 255}, {199, 21, 133}},
    {{244, 164, 96}, {61, 89, 171}, {216, 191, 216}},
};

int graphIndex(int sensor, int axis)
{
    return kAxisCount * sensor + axis;
}

} // namespace

SensorCurves::SensorCurves(QCustomPlot *plot, QListWidget *list)
    : m_plot(plot)
    , m_list(list)
    , m_legendBeside(std::make_unique<SensorLegend>(plot))
{
    plot->legend->setVisible(true);
    plot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignLeft | Qt::AlignTop);
    // Entries run top to bottom; a further column starts after 18 of them.
    constexpr int kLegendRows = 18;
    plot->legend->setWrap(kLegendRows);
    plot->legend->setFillOrder(QCPLayoutGrid::foRowsFirst);
#ifdef ESKIN_PLOT_HAS_OPENGL
    constexpr int kPlotSamples = 16;
    plot->setOpenGl(true, kPlotSamples);
#endif
    plot->setAntialiasedElement(QCP::aeAll, true);
}

SensorCurves::~SensorCurves() = default;

QColor SensorCurves::axisColor(int sensor, int axis)
{
    const int *rgb = kAxisRgb[sensor][axis];
    return QColor(rgb[0], rgb[1], rgb[2]);
}

void SensorCurves::setCount(uint count)
{
    for (uint s = m_count; s < count; ++s)
        addSensor(int(s));
    for (uint s = m_count; s > count; --s)
        removeSensor(int(s - 1));
    m_count = count;
    showSelectAllTruly();
    showLegendBeside();
    fitList();
}

bool SensorCurves::isCurveShown(int sensor, int axis) const
{
    return m_curveShown[std::size_t(sensor)][std::size_t(axis)];
}

void SensorCurves::fitList()
{
    m_list->setMinimumWidth(
        m_list->sizeHintForColumn(0) + 2 * m_list->frameWidth() +
        m_list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_list));
}

// A new sensor starts unchecked, with hidden curves and grey legend entries, unless it was shown
// before the count left it out.
void SensorCurves::addSensor(int sensor)
{
    const QString name = QStringLiteral("Sensor") + QString::number(sensor);
    auto *row = new QListWidgetItem(name, m_list);
    row->setCheckState(m_ticked[std::size_t(sensor)] ? Qt::Checked : Qt::Unchecked);
    for (int a = 0; a < kAxisCount; ++a) {
        auto *graph = new DirectLineGraph(m_plot->xAxis, m_plot->yAxis);
        graph->setName(name + QLatin1String(kAxisNames[a]));
        graph->setVisible(false);
        // The plot added its own entry for the graph, the last one; ours takes its place.
        m_plot->legend->removeItem(m_plot->legend->itemWithPlottable(graph));
        auto *entry = new LegendEntry(m_plot->legend, graph);
        m_plot->legend->addItem(entry);
        entry->setTextColor(kHiddenColour);
        graph->setPen(QPen(kHiddenColour));
        if (m_curveShown[std::size_t(sensor)][std::size_t(a)])
            applyCurve(sensor, a);
    }
}

// The sensor's stored points stay; raising the count again brings them back.
void SensorCurves::removeSensor(int sensor)
{
    delete m_list->takeItem(sensor + 1);
    for (int a = kAxisCount - 1; a >= 0; --a)
        m_plot->removeGraph(graphIndex(sensor, a));
}

void SensorCurves::setSensorVisible(int sensor, bool show)
{
    m_ticked[std::size_t(sensor)] = show;
    for (int a = 0; a < kAxisCount; ++a) {
        m_curveShown[std::size_t(sensor)][std::size_t(a)] = show;
        applyCurve(sensor, a);
    }
    qCDebug(lcViews) << (show ? "check sensorIndex= " : "uncheck sensorIndex= ") << sensor
                     << "  graph=" << graphIndex(sensor, 0);
}

void SensorCurves::applyCurve(int sensor, int axis)
{
    const bool show = isCurveShown(sensor, axis);
    const QColor colour = show ? axisColor(sensor, axis) : kHiddenColour;
    QCPGraph *graph = m_plot->graph(graphIndex(sensor, axis));
    graph->setVisible(show);
    if (QCPPlottableLegendItem *entry = m_plot->legend->itemWithPlottable(graph))
        entry->setTextColor(colour);
    graph->setPen(
        QPen(QBrush(colour), kShownPenWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
}

// Ticked when every sensor row is, unticked when none is, partly ticked in between; a click on it
// then ticks every row.
void SensorCurves::showSelectAllTruly()
{
    const auto ticked = std::count(m_ticked.begin(), m_ticked.begin() + m_count, true);
    m_list->item(0)->setCheckState(ticked == 0              ? Qt::Unchecked
                                   : ticked == int(m_count) ? Qt::Checked
                                                            : Qt::PartiallyChecked);
}

void SensorCurves::showLegendBeside()
{
    QList<int> shown;
    for (uint s = 0; s < m_count; ++s) {
        const auto &curves = m_curveShown[s];
        if (m_ticked[s] || std::find(curves.begin(), curves.end(), true) != curves.end())
            shown.append(int(s));
    }
    m_legendBeside->setSensors(shown);
}

// A click on the text of a row re-applies the row's current state.
bool SensorCurves::applyRowClick(QListWidgetItem *item)
{
    const int row = m_list->row(item);
    if (row < 0 || row > int(m_count))
        return false;
    const Qt::CheckState state = item->checkState();
    if (row != 0) {
        setSensorVisible(row - 1, state != Qt::Unchecked);
    } else {
        for (int i = 1; i <= int(m_count); ++i) {
            m_list->item(i)->setCheckState(state == Qt::Unchecked ? Qt::Unchecked : Qt::Checked);
            setSensorVisible(i - 1, state != Qt::Unchecked);
        }
    }
    showSelectAllTruly();
    showLegendBeside();
    return true;
}

// The sensor list's check boxes stay as they are.
bool SensorCurves::toggleCurveAt(QCPLegend *legend, QCPAbstractLegendItem *item,
                                 const QPointF &position)
{
    int i = -1;
    if (const auto *entry = qobject_cast<SensorLegendEntry *>(item)) {
        const int axis = entry->axisAt(position);
        i = axis < 0 ? -1 : graphIndex(entry->sensor(), axis);
    } else {
        for (int g = 0; g < m_plot->graphCount() && item != nullptr && i < 0; ++g)
            i = legend->itemWithPlottable(m_plot->graph(g)) == item ? g : -1;
    }
    // Graphs after the sensors' are not the sensors' curves.
    if (i < 0 || i >= graphIndex(int(m_count), 0))
        return false;
    bool &shown = m_curveShown[std::size_t(i / kAxisCount)][std::size_t(i % kAxisCount)];
    shown = !m_plot->graph(i)->visible();
    applyCurve(i / kAxisCount, i % kAxisCount);
    qCDebug(lcViews) << "show=" << shown;
    showLegendBeside();
    qCDebug(lcViews) << "plotlegendClickslot"
                     << "item=" << i << "point:" << position.x() << "," << position.y();
    return true;
}

void SensorCurves::placeLegend(bool shown, bool outside)
{
    m_plot->legend->setVisible(shown && !outside);
    m_legendBeside->setShown(shown && outside);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}
