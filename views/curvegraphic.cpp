// SPDX-License-Identifier: GPL-3.0-or-later
#include "curvegraphic.h"
#include "ui_curvegraphic.h"

#include "directlinegraph.h"
#include "legendentry.h"

#include <QCloseEvent>
#include <QDebug>
#include <QListWidgetItem>
#include <QShowEvent>
#include <QTimer>

#include <QLoggingCategory>
#include <algorithm>
#include <limits>

namespace {

Q_LOGGING_CATEGORY(lcViews, "eskin.views")

constexpr int kRefreshMs = 30;
constexpr double kVisibleKeys = 100;
constexpr int kLegendRows = 18;
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

CurveGraphic::CurveGraphic(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::CurveGraphic>())
    , refreshTimer(std::make_unique<QTimer>())
{
    ui->setupUi(this);
    for (int s = 0; s < kMaxSensors; ++s) {
        for (int a = 0; a < kAxisCount; ++a) {
            const int *rgb = kAxisRgb[s][a];
            axisColors[s][a] = QColor(rgb[0], rgb[1], rgb[2]);
        }
    }
    setUpPlot();
    connect(refreshTimer.get(), &QTimer::timeout, this, &CurveGraphic::refreshPlot);

    auto *selectAll = new QListWidgetItem(ui->sensorList);
    selectAll->setCheckState(Qt::Unchecked);
    retranslate();
}

CurveGraphic::~CurveGraphic() = default;

void CurveGraphic::setUpPlot()
{
    QCustomPlot *plot = ui->graphic;
    plot->legend->setVisible(true);
    plot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignLeft | Qt::AlignTop);
    // Entries run top to bottom; a further column starts after 18 of them.
    plot->legend->setWrap(kLegendRows);
    plot->legend->setFillOrder(QCPLayoutGrid::foRowsFirst);
#ifdef ESKIN_PLOT_HAS_OPENGL
    constexpr int kPlotSamples = 16;
    plot->setOpenGl(true, kPlotSamples);
#endif
    plot->setAntialiasedElement(QCP::aeAll, true);

    connect(plot->xAxis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), plot->xAxis2,
            QOverload<const QCPRange &>::of(&QCPAxis::setRange));
    connect(plot->yAxis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), plot->yAxis2,
            QOverload<const QCPRange &>::of(&QCPAxis::setRange));
    connect(plot, &QCustomPlot::legendDoubleClick, this, &CurveGraphic::plotlegendClickslot);
}

void CurveGraphic::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

// The sensors' names are the same in every language.
void CurveGraphic::retranslate()
{
    ui->retranslateUi(this);
    ui->sensorList->item(0)->setText(tr("全选"));
    ui->graphic->xAxis->setLabel(tr("时间"));
    ui->graphic->yAxis->setLabel(tr("力"));
    // Shown labels change at once, even while no data arrives.
    if (isVisible())
        ui->graphic->replot(QCustomPlot::rpQueuedReplot);
}

QColor CurveGraphic::axisColor(int sensor, int axis) const
{
    return axisColors[std::size_t(sensor)][std::size_t(axis)];
}

void CurveGraphic::setSensorSum(uint sum)
{
    // The per-sensor tables have 16 entries.
    sum = std::min(sum, uint(kMaxSensors));
    if (sum == m_sensorSum)
        return;
    ui->vectorGraph->setSensorSum(int(sum));
    for (uint s = m_sensorSum; s < sum; ++s)
        addSensor(int(s));
    for (uint s = m_sensorSum; s > sum; --s)
        removeSensor(int(s - 1));
    m_sensorSum = sum;
}

// A new sensor starts unchecked, with hidden curves and grey legend entries.
void CurveGraphic::addSensor(int sensor)
{
    const QString name = QStringLiteral("Sensor") + QString::number(sensor);
    auto *row = new QListWidgetItem(name, ui->sensorList);
    row->setCheckState(Qt::Unchecked);

    QCustomPlot *plot = ui->graphic;
    for (int a = 0; a < kAxisCount; ++a) {
        auto *graph = new DirectLineGraph(plot->xAxis, plot->yAxis);
        graph->setName(name + QLatin1String(kAxisNames[a]));
        graph->setVisible(false);
        // The plot added its own entry for the graph, the last one; ours takes its place.
        plot->legend->removeItem(plot->legend->itemWithPlottable(graph));
        auto *entry = new LegendEntry(plot->legend, graph);
        plot->legend->addItem(entry);
        entry->setTextColor(kHiddenColour);
        graph->setPen(QPen(kHiddenColour));
    }
    m_plottedUpTo[std::size_t(sensor)] = 0;
}

// The sensor's stored points stay; raising the count again brings them back.
void CurveGraphic::removeSensor(int sensor)
{
    delete ui->sensorList->takeItem(sensor + 1);
    for (int a = kAxisCount - 1; a >= 0; --a)
        ui->graphic->removeGraph(graphIndex(sensor, a));
}

void CurveGraphic::setItemData(QList<Axit_t> &axit, uint num)
{
    m_sampleCounter += 1;
    // num comes from the frame; never read past the readings actually delivered.
    const uint recorded = std::min({m_sensorSum, num, uint(axit.size())});
    for (uint j = 0; j < recorded; ++j)
        m_series[j].append(m_sampleCounter, axit.at(j));
    ui->vectorGraph->setReadings(axit);
    ui->planeGraph->setReadings(axit);
}

void CurveGraphic::refreshPlot()
{
    QCustomPlot *plot = ui->graphic;
    for (uint s = 0; s < m_sensorSum; ++s)
        updateGraphs(int(s));
    plot->xAxis->setRange(m_sampleCounter, kVisibleKeys, Qt::AlignRight);
    fitValueAxis();
    // The plot library would repaint the plot at once, composing the whole window (it holds
    // OpenGL views) once for the plot and once more for the views' repaints of the same tick;
    // a queued repaint joins them into one.
    plot->replot(QCustomPlot::rpQueuedRefresh);
}

// Between two refreshes a series gains points at its end and loses its oldest ones, and its keys
// only grow; so the graphs drop what the series dropped and take the new points in order, instead
// of being refilled and re-sorted.
void CurveGraphic::updateGraphs(int sensor)
{
    const SensorSeries &stored = m_series[std::size_t(sensor)];
    if (stored.keys.isEmpty())
        return;
    double &plottedUpTo = m_plottedUpTo[std::size_t(sensor)];
    qsizetype firstNew = stored.keys.size();
    while (firstNew > 0 && stored.keys.at(firstNew - 1) > plottedUpTo)
        --firstNew;
    const QList<double> *values[kAxisCount] = {&stored.xValues, &stored.yValues, &stored.zValues};
    for (int a = 0; a < kAxisCount; ++a) {
        QCPGraph *graph = ui->graphic->graph(graphIndex(sensor, a));
        graph->data()->removeBefore(stored.keys.first());
        for (qsizetype k = firstNew; k < stored.keys.size(); ++k)
            graph->addData(stored.keys.at(k), values[a]->at(k));
    }
    plottedUpTo = stored.keys.last();
}

// The value axis spans every stored point of every sensor's graphs, hidden curves and points
// outside the visible keys included. The stored values are plain numbers, so one pass over them
// costs far less than asking each graph for its range.
void CurveGraphic::fitValueAxis()
{
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (uint s = 0; s < m_sensorSum; ++s) {
        const SensorSeries &stored = m_series[s];
        for (const QList<double> *values : {&stored.xValues, &stored.yValues, &stored.zValues}) {
            for (double v : *values) {
                lowest = std::min(lowest, v);
                highest = std::max(highest, v);
            }
        }
    }
    if (lowest < highest)
        ui->graphic->yAxis->setRange(QCPRange(lowest, highest));
    else // no points, or one value only: the plot's own rule keeps a usable span
        ui->graphic->yAxis->rescale(false);
}

void CurveGraphic::paintGraph(int graphIndex, const QColor &colour)
{
    QCPGraph *graph = ui->graphic->graph(graphIndex);
    if (QCPPlottableLegendItem *entry = ui->graphic->legend->itemWithPlottable(graph))
        entry->setTextColor(colour);
    graph->setPen(
        QPen(QBrush(colour), kShownPenWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
}

void CurveGraphic::setSensorVisible(int sensorIndex, bool show)
{
    for (int a = 0; a < kAxisCount; ++a) {
        const int g = graphIndex(sensorIndex, a);
        ui->graphic->graph(g)->setVisible(show);
        paintGraph(g, show ? axisColors[sensorIndex][a] : kHiddenColour);
    }
    qCDebug(lcViews) << (show ? "check sensorIndex= " : "uncheck sensorIndex= ") << sensorIndex
                     << "  graph=" << graphIndex(sensorIndex, 0);
}

// The list has already toggled the check box when it reports the click; a click on the text
// re-applies the row's current state.
void CurveGraphic::on_sensorList_itemClicked(QListWidgetItem *item)
{
    const int row = ui->sensorList->row(item);
    if (row < 0 || row > int(m_sensorSum))
        return;
    const Qt::CheckState state = item->checkState();
    if (row != 0) {
        setSensorVisible(row - 1, state != Qt::Unchecked);
        return;
    }
    for (int i = 1; i <= int(m_sensorSum); ++i) {
        ui->sensorList->item(i)->setCheckState(state);
        setSensorVisible(i - 1, state != Qt::Unchecked);
    }
}

// Shows or hides the one curve whose legend entry was double-clicked; the sensor list's check
// boxes stay as they are. A double-click beside every entry changes nothing.
void CurveGraphic::plotlegendClickslot(QCPLegend *legend, QCPAbstractLegendItem *item,
                                       QMouseEvent *event)
{
    qCDebug(lcViews) << "ncount=" << legend->itemCount();
    QCustomPlot *plot = ui->graphic;
    for (int i = 0; i < plot->graphCount(); ++i) {
        QCPGraph *graph = plot->graph(i);
        if (item == nullptr || legend->itemWithPlottable(graph) != item)
            continue;
        const bool wasVisible = graph->visible();
        graph->setVisible(!wasVisible);
        qCDebug(lcViews) << "show=" << graph->visible();
        paintGraph(i, wasVisible ? kHiddenColour : axisColors[i / kAxisCount][i % kAxisCount]);
        plot->replot(QCustomPlot::rpRefreshHint);
        qCDebug(lcViews) << "plotlegendClickslot"
                         << "item=" << i << "point:" << event->position().x() << ","
                         << event->position().y();
        return;
    }
}

void CurveGraphic::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refreshTimer->start(kRefreshMs);
    ui->vectorGraph->setRefreshEnabled(true);
    ui->planeGraph->setRefreshEnabled(true);
}

void CurveGraphic::closeEvent(QCloseEvent *event)
{
    refreshTimer->stop();
    ui->vectorGraph->setRefreshEnabled(false);
    ui->planeGraph->setRefreshEnabled(false);
    QWidget::closeEvent(event);
}
