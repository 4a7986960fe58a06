// SPDX-License-Identifier: GPL-3.0-or-later
#include "curvegraphic.h"
#include "ui_curvegraphic.h"

#include "directlinegraph.h"
#include "graphcolumnlayout.h"
#include "legendentry.h"
#include "plotnavigator.h"
#include "plotpicture.h"
#include "plotreadout.h"
#include "recordindex.h"
#include "recordingreview.h"
#include "reviewtimeline.h"
#include "sensorlegend.h"
#include "sensorlegendentry.h"
#include "showndata.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QListWidgetItem>
#include <QMessageBox>
#include <QSettings>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTimer>
#include <QToolBar>

#include <QLoggingCategory>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

Q_LOGGING_CATEGORY(lcViews, "eskin.views")

constexpr int kRefreshMs = 30;
constexpr double kVisibleKeys = 100;
// In review the cursor's frame stands this many frames' width left of the plot's right edge, so
// that a marker on it shows with its line and label.
constexpr double kReviewLead = 10;
constexpr int kLegendRows = 18;
constexpr int kShownPenWidth = 3;
const QColor kHiddenColour(Qt::darkGray);
const QString kLegendKey = QStringLiteral("curves/legend");
const QString kFitShownKey = QStringLiteral("curves/fitShown");
const QString kLegendOutsideKey = QStringLiteral("curves/legendOutside");
const QString kTimeAxisKey = QStringLiteral("curves/timeAxis");

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
    setUpTools();
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
    m_frameAxis = std::make_unique<FrameAxis>(
        plot->xAxis, [this](double key) { return frameMicros(key); },
        [this] { return knownKeys(); });
    m_legendBeside = std::make_unique<SensorLegend>(plot);

    connect(plot->xAxis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), plot->xAxis2,
            QOverload<const QCPRange &>::of(&QCPAxis::setRange));
    connect(plot->yAxis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), plot->yAxis2,
            QOverload<const QCPRange &>::of(&QCPAxis::setRange));
    connect(plot, &QCustomPlot::legendDoubleClick, this, &CurveGraphic::plotlegendClickslot);
}

void CurveGraphic::setUpTools()
{
    QCustomPlot *plot = ui->graphic;
    auto *bar = new QToolBar(ui->GraphBox);
    bar->setObjectName(QStringLiteral("curveToolBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bar->addActions({ui->actionPause, ui->actionAutoRange, ui->actionMarker});
    bar->addSeparator();
    bar->addActions({ui->actionSavePicture, ui->actionCopyPicture, ui->actionSaveShown});
    bar->addSeparator();
    bar->addActions(
        {ui->actionLegend, ui->actionLegendOutside, ui->actionFitShown, ui->actionTimeAxis});
    m_timeline = new ReviewTimeline(ui->GraphBox);
    m_timeline->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_timeline->hide();
    // The form's column gives way to one that keeps the plot's height when the timeline shows;
    // the widgets stay where they are.
    delete ui->verticalLayout;
    ui->verticalLayout = nullptr;
    auto *column = new GraphColumnLayout(ui->GraphBox);
    column->setSpacing(2);
    column->setContentsMargins(0, 0, 0, 0);
    column->setPart(GraphColumnLayout::Views, ui->VectorGraphBox);
    column->setPart(GraphColumnLayout::ToolBar, bar);
    column->setPart(GraphColumnLayout::Plot, ui->CurveGraphBox);
    column->setPart(GraphColumnLayout::Timeline, m_timeline);

    const QSettings settings;
    ui->actionLegend->setChecked(settings.value(kLegendKey, true).toBool());
    ui->actionLegendOutside->setChecked(settings.value(kLegendOutsideKey, false).toBool());
    ui->actionFitShown->setChecked(settings.value(kFitShownKey, false).toBool());
    ui->actionTimeAxis->setChecked(settings.value(kTimeAxisKey, false).toBool());
    placeLegend();
    m_fitShown = ui->actionFitShown->isChecked();
    m_frameAxis->setTimeShown(ui->actionTimeAxis->isChecked());

    m_markers = std::make_unique<PlotMarkers>(plot, m_frameAxis.get());
    // Both are the plot's children.
    auto *navigator = new PlotNavigator(plot);
    new PlotReadout(plot, m_frameAxis.get());
    for (QCPAxis *axis : {plot->xAxis, plot->yAxis})
        connect(axis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), this,
                &CurveGraphic::takeOperatorRange);
    connect(navigator, &PlotNavigator::autoRangeRequested, this, &CurveGraphic::restoreRanges);
    connect(ui->actionPause, &QAction::toggled, this, &CurveGraphic::setPaused);
    connect(ui->actionAutoRange, &QAction::triggered, this, &CurveGraphic::restoreRanges);
    connect(ui->actionMarker, &QAction::triggered, this, [this] { addMarker(); });
    connect(ui->actionSavePicture, &QAction::triggered, this, &CurveGraphic::askSavePicture);
    connect(ui->actionCopyPicture, &QAction::triggered, this, &CurveGraphic::copyPicture);
    connect(ui->actionSaveShown, &QAction::triggered, this, &CurveGraphic::askSaveShown);
    connect(ui->actionLegend, &QAction::toggled, this, &CurveGraphic::setLegendShown);
    connect(ui->actionLegendOutside, &QAction::toggled, this, &CurveGraphic::setLegendOutside);
    connect(ui->actionFitShown, &QAction::toggled, this, &CurveGraphic::setFitShown);
    connect(ui->actionTimeAxis, &QAction::toggled, this, &CurveGraphic::setTimeAxis);
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
    fitSensorList();
    m_frameAxis->retranslate();
    m_markers->retranslate();
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
    m_liveSensorSum = std::min(sum, uint(kMaxSensors));
    if (!m_review)
        showSensorCount(m_liveSensorSum);
}

void CurveGraphic::showSensorCount(uint sum)
{
    if (sum == m_sensorSum)
        return;
    ui->vectorGraph->setSensorSum(int(sum));
    for (uint s = m_sensorSum; s < sum; ++s)
        addSensor(int(s));
    for (uint s = m_sensorSum; s > sum; --s)
        removeSensor(int(s - 1));
    m_sensorSum = sum;
    showSelectAllTruly();
    showLegendBeside();
    fitSensorList();
}

// "Sensor10" to "Sensor15" whole, also when the list scrolls.
void CurveGraphic::fitSensorList()
{
    QListWidget *list = ui->sensorList;
    list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() +
                          list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list));
}

// A new sensor starts unchecked, with hidden curves and grey legend entries, unless it was shown
// before the count left it out.
void CurveGraphic::addSensor(int sensor)
{
    const QString name = QStringLiteral("Sensor") + QString::number(sensor);
    auto *row = new QListWidgetItem(name, ui->sensorList);
    row->setCheckState(m_ticked[std::size_t(sensor)] ? Qt::Checked : Qt::Unchecked);

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
        if (m_curveShown[std::size_t(sensor)][std::size_t(a)])
            applyCurve(sensor, a);
    }
    // Below every key: live keys start at 1, a review's at frame 0.
    m_plottedUpTo[std::size_t(sensor)] = -1;
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
    setStampedData(m_ownStamps.next(0), axit, num);
}

void CurveGraphic::setStampedData(const FrameStamp &stamp, const QList<Axit_t> &axit, uint num)
{
    // The port is closed for a review; frames it sent before must not mix into the recording.
    if (m_review)
        return;
    if (std::exchange(m_gapPending, false) && m_sampleCounter > 0) {
        const FrameStamp before = m_times.stampAt(m_sampleCounter);
        m_frameAxis->addGap(
            {m_sampleCounter + 1,
             before.isValid() ? std::max<qint64>(stamp.timeUs - before.timeUs, 0) : 0, m_gapCause});
    }
    m_sampleCounter += 1;
    m_times.add(m_sampleCounter, stamp);
    const double second = double(m_times.microsAt(m_sampleCounter)) / 1e6;
    // num comes from the frame; never read past the readings actually delivered.
    const uint recorded = std::min({m_sensorSum, num, uint(axit.size())});
    for (uint j = 0; j < recorded; ++j)
        m_series[j].append(m_sampleCounter, second, axit.at(j));
    if (m_paused) {
        m_heldReadings = axit;
        return;
    }
    showReadings(axit);
}

void CurveGraphic::beginGap(const QString &cause)
{
    if (m_gapPending)
        return;
    m_gapPending = true;
    m_gapCause = cause;
}

void CurveGraphic::showReadings(const QList<Axit_t> &readings)
{
    ui->vectorGraph->setReadings(readings);
    ui->planeGraph->setReadings(readings);
}

void CurveGraphic::refreshPlot()
{
    if (m_paused)
        return;
    QCustomPlot *plot = ui->graphic;
    for (uint s = 0; s < m_sensorSum; ++s)
        updateGraphs(int(s), m_sampleCounter);
    // A marker leaves with its frame, the oldest that sensor 0 (present in every frame) keeps.
    if (!m_markers->isEmpty() && !m_series[0].keys.isEmpty())
        m_markers->dropBefore(m_series[0].keys.first());
    if (!m_review)
        dropPassedGaps();
    m_drawnKey = m_sampleCounter;
    const double end = m_sampleCounter + (m_review ? kReviewLead : 0);
    m_settingRanges = true;
    plot->xAxis->setRange(m_frameAxis->rangeOfKeys(m_sampleCounter - kVisibleKeys, end));
    fitValueAxis(QCPRange(m_sampleCounter - kVisibleKeys, m_sampleCounter));
    m_settingRanges = false;
    // The plot library would repaint the plot at once, composing the whole window (it holds
    // OpenGL views) once for the plot and once more for the views' repaints of the same tick;
    // a queued repaint joins them into one.
    plot->replot(QCustomPlot::rpQueuedRefresh);
}

// Between two refreshes a series gains points at its end and loses its oldest ones, and its keys
// only grow; so the graphs drop what the series dropped and take the new points in order, instead
// of being refilled and re-sorted. A point after a gap comes after a break (a point without a
// value) in the line.
void CurveGraphic::updateGraphs(int sensor, double upTo)
{
    const SensorSeries &stored = m_series[std::size_t(sensor)];
    if (stored.keys.isEmpty())
        return;
    double &plottedUpTo = m_plottedUpTo[std::size_t(sensor)];
    qsizetype firstNew = stored.keys.size();
    while (firstNew > 0 && stored.keys.at(firstNew - 1) > plottedUpTo)
        --firstNew;
    qsizetype end = stored.keys.size();
    while (end > firstNew && stored.keys.at(end - 1) > upTo)
        --end;
    const QList<double> &at = m_frameAxis->isTimeShown() ? stored.seconds : stored.keys;
    const QList<double> *values[kAxisCount] = {&stored.xValues, &stored.yValues, &stored.zValues};
    for (int a = 0; a < kAxisCount; ++a) {
        QCPGraph *graph = ui->graphic->graph(graphIndex(sensor, a));
        graph->data()->removeBefore(at.first());
        for (qsizetype k = firstNew; k < end; ++k) {
            if (k > 0 && m_frameAxis->breaksBetween(stored.keys.at(k - 1), stored.keys.at(k)))
                graph->addData((at.at(k - 1) + at.at(k)) / 2, qQNaN());
            graph->addData(at.at(k), values[a]->at(k));
        }
    }
    if (end > firstNew)
        plottedUpTo = stored.keys.at(end - 1);
}

// A gap that every series has passed breaks no line any more.
void CurveGraphic::dropPassedGaps()
{
    double oldest = m_sampleCounter;
    for (const SensorSeries &stored : m_series) {
        if (!stored.keys.isEmpty())
            oldest = std::min(oldest, stored.keys.first());
    }
    m_frameAxis->dropGapsBefore(oldest);
}

std::pair<double, double> CurveGraphic::knownKeys() const
{
    if (m_review)
        return {double(m_review->firstShown()), double(m_review->cursor())};
    const FrameTimes &times = m_paused ? m_pausedTimes : m_times;
    return {times.firstKey(), times.lastKey()};
}

// The graphs take every stored point again at the next refresh.
void CurveGraphic::clearGraphs()
{
    QCustomPlot *plot = ui->graphic;
    for (int g = 0; g < plot->graphCount(); ++g)
        plot->graph(g)->data()->clear();
    m_plottedUpTo.fill(-1);
}

// The value axis spans every stored point of every sensor's graphs, hidden curves and points
// outside the visible keys included; only what is shown (the shown curves' points within
// `shownKeys`) when the operator asks so. The stored values are plain numbers, so one pass over
// them costs far less than asking each graph for its range.
void CurveGraphic::fitValueAxis(const QCPRange &shownKeys)
{
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (uint s = 0; s < m_sensorSum; ++s) {
        const SensorSeries &stored = m_series[s];
        const QList<double> *axes[kAxisCount] = {&stored.xValues, &stored.yValues, &stored.zValues};
        const auto keys = stored.keys.cbegin();
        const qsizetype from =
            m_fitShown ? std::lower_bound(keys, stored.keys.cend(), shownKeys.lower) - keys : 0;
        const qsizetype to =
            m_fitShown ? std::upper_bound(keys, stored.keys.cend(), shownKeys.upper) - keys
                       : stored.keys.size();
        for (int a = 0; a < kAxisCount; ++a) {
            if (m_fitShown && !ui->graphic->graph(graphIndex(int(s), a))->visible())
                continue;
            for (qsizetype k = from; k < to; ++k) {
                lowest = std::min(lowest, axes[a]->at(k));
                highest = std::max(highest, axes[a]->at(k));
            }
        }
    }
    if (lowest < highest)
        ui->graphic->yAxis->setRange(QCPRange(lowest, highest));
    else // no points, or one value only: the plot's own rule keeps a usable span
        ui->graphic->yAxis->rescale(m_fitShown);
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
    m_ticked[std::size_t(sensorIndex)] = show;
    for (int a = 0; a < kAxisCount; ++a) {
        m_curveShown[std::size_t(sensorIndex)][std::size_t(a)] = show;
        applyCurve(sensorIndex, a);
    }
    qCDebug(lcViews) << (show ? "check sensorIndex= " : "uncheck sensorIndex= ") << sensorIndex
                     << "  graph=" << graphIndex(sensorIndex, 0);
}

void CurveGraphic::applyCurve(int sensor, int axis)
{
    const bool show = m_curveShown[std::size_t(sensor)][std::size_t(axis)];
    const int g = graphIndex(sensor, axis);
    ui->graphic->graph(g)->setVisible(show);
    paintGraph(g, show ? axisColors[std::size_t(sensor)][std::size_t(axis)] : kHiddenColour);
}

// Ticked when every sensor row is, unticked when none is, partly ticked in between; a click on it
// then ticks every row.
void CurveGraphic::showSelectAllTruly()
{
    int ticked = 0;
    for (uint s = 0; s < m_sensorSum; ++s)
        ticked += m_ticked[s] ? 1 : 0;
    ui->sensorList->item(0)->setCheckState(ticked == 0                  ? Qt::Unchecked
                                           : ticked == int(m_sensorSum) ? Qt::Checked
                                                                        : Qt::PartiallyChecked);
}

// An entry for every sensor that is ticked or has a curve shown.
void CurveGraphic::showLegendBeside()
{
    QList<int> shown;
    for (uint s = 0; s < m_sensorSum; ++s) {
        const auto &curves = m_curveShown[s];
        if (m_ticked[s] || std::find(curves.begin(), curves.end(), true) != curves.end())
            shown.append(int(s));
    }
    m_legendBeside->setSensors(shown);
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
    } else {
        for (int i = 1; i <= int(m_sensorSum); ++i) {
            ui->sensorList->item(i)->setCheckState(state == Qt::Unchecked ? Qt::Unchecked
                                                                          : Qt::Checked);
            setSensorVisible(i - 1, state != Qt::Unchecked);
        }
    }
    showSelectAllTruly();
    showLegendBeside();
    replotWhilePaused();
}

// Shows or hides the one curve whose legend entry (or, beside the plot, whose colour in its
// sensor's entry) was double-clicked; the sensor list's check boxes stay as they are. A
// double-click beside every entry changes nothing.
void CurveGraphic::plotlegendClickslot(QCPLegend *legend, QCPAbstractLegendItem *item,
                                       QMouseEvent *event)
{
    qCDebug(lcViews) << "ncount=" << legend->itemCount();
    QCustomPlot *plot = ui->graphic;
    int i = -1;
    if (const auto *entry = qobject_cast<SensorLegendEntry *>(item)) {
        const int axis = entry->axisAt(event->position());
        i = axis < 0 ? -1 : graphIndex(entry->sensor(), axis);
    } else {
        for (int g = 0; g < plot->graphCount() && item != nullptr && i < 0; ++g)
            i = legend->itemWithPlottable(plot->graph(g)) == item ? g : -1;
    }
    if (i < 0 || i >= plot->graphCount())
        return;
    bool &shown = m_curveShown[std::size_t(i / kAxisCount)][std::size_t(i % kAxisCount)];
    shown = !plot->graph(i)->visible();
    applyCurve(i / kAxisCount, i % kAxisCount);
    qCDebug(lcViews) << "show=" << shown;
    showLegendBeside();
    plot->replot(QCustomPlot::rpRefreshHint);
    qCDebug(lcViews) << "plotlegendClickslot"
                     << "item=" << i << "point:" << event->position().x() << ","
                     << event->position().y();
}

void CurveGraphic::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A review is drawn at once, as each of its moves is.
    if (m_review)
        refreshPlot();
    refreshTimer->start(kRefreshMs);
    ui->vectorGraph->setRefreshEnabled(true);
    ui->planeGraph->setRefreshEnabled(true);
}

void CurveGraphic::closeEvent(QCloseEvent *event)
{
    if (m_review)
        m_review->setPlaying(false);
    refreshTimer->stop();
    ui->vectorGraph->setRefreshEnabled(false);
    ui->planeGraph->setRefreshEnabled(false);
    QWidget::closeEvent(event);
}

// ---- Looking closer -----------------------------------------------------------------------------

// The curves and both views stay as they are; frames are still stored, and the views' newest
// readings are held for the end of the pause. A pause, or a zoom, holds the picture: a review
// stops playing.
void CurveGraphic::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (paused) {
        m_pausedTimes = m_times;
        m_heldReadings = ui->vectorGraph->readings();
        if (m_review)
            m_review->setPlaying(false);
        return;
    }
    m_zoomed = false;
    showReadings(m_heldReadings);
    m_heldReadings.clear();
    refreshPlot();
}

void CurveGraphic::restoreRanges()
{
    if (m_paused) {
        ui->actionPause->setChecked(false); // resumes with the document's ranges
        return;
    }
    m_zoomed = false;
    refreshPlot();
}

// Ranges that the refresh did not set come from the operator's zoom or pan, which pauses.
void CurveGraphic::takeOperatorRange()
{
    if (m_settingRanges)
        return;
    m_zoomed = true;
    ui->actionPause->setChecked(true);
}

void CurveGraphic::replotWhilePaused()
{
    if (m_paused)
        ui->graphic->replot(QCustomPlot::rpQueuedReplot);
}

qint64 CurveGraphic::frameMicros(double key) const
{
    if (m_review)
        return key == std::floor(key) ? m_review->timeUsAt(qint64(key)) : -1;
    return (m_paused ? m_pausedTimes : m_times).microsAt(key);
}

FrameStamp CurveGraphic::frameStamp(double key) const
{
    if (m_review)
        return key == std::floor(key) ? m_review->stampAt(qint64(key)) : FrameStamp();
    return (m_paused ? m_pausedTimes : m_times).stampAt(key);
}

double CurveGraphic::newestShownKey() const
{
    if (m_review)
        return double(m_review->cursor());
    return isVisible() && m_drawnKey > 0 ? m_drawnKey : m_sampleCounter;
}

QAction *CurveGraphic::markerAction() const
{
    return ui->actionMarker;
}

int CurveGraphic::addMarker(const QString &label)
{
    return m_review || m_sampleCounter > 0 ? addMarkerAt(newestShownKey(), label) : 0;
}

int CurveGraphic::addMarkerAt(double key, const QString &label)
{
    if (m_review)
        return addReviewMarker(key, label);
    const int number = ++m_markerCount;
    const QString named = label.isEmpty() ? PlotMarkers::defaultLabel(number) : label;
    m_markers->add({number, named, key});
    emit markerAdded(number, named, frameStamp(key), key);
    replotWhilePaused();
    return number;
}

// Shown with the file's markers while their frames are, and saved with the shown data; the file
// itself is only read.
int CurveGraphic::addReviewMarker(double key, const QString &label)
{
    const int number = ++m_reviewMarkerCount;
    const QString named = label.isEmpty() ? PlotMarkers::defaultLabel(number) : label;
    const auto after =
        std::upper_bound(m_reviewMarkers.begin(), m_reviewMarkers.end(), key,
                         [](double k, const PlotMarker &marker) { return k < marker.key; });
    m_reviewMarkers.insert(after, {number, named, key});
    showReviewMarkers();
    replotWhilePaused();
    return number;
}

void CurveGraphic::setLegendShown(bool shown)
{
    QSettings().setValue(kLegendKey, shown);
    placeLegend();
}

void CurveGraphic::setLegendOutside(bool outside)
{
    QSettings().setValue(kLegendOutsideKey, outside);
    placeLegend();
}

// In the plot, as the plot library draws it, or beside it.
void CurveGraphic::placeLegend()
{
    const bool shown = ui->actionLegend->isChecked();
    const bool outside = ui->actionLegendOutside->isChecked();
    ui->graphic->legend->setVisible(shown && !outside);
    m_legendBeside->setShown(shown && outside);
    ui->graphic->replot(QCustomPlot::rpQueuedReplot);
}

void CurveGraphic::setFitShown(bool fit)
{
    m_fitShown = fit;
    QSettings().setValue(kFitShownKey, fit);
}

// The graphs take their points anew where the axis now puts them; while paused, up to the frame
// drawn, over the same frames as before.
void CurveGraphic::setTimeAxis(bool shown)
{
    QSettings().setValue(kTimeAxisKey, shown);
    if (shown == m_frameAxis->isTimeShown())
        return;
    QCustomPlot *plot = ui->graphic;
    const QCPRange keys = m_frameAxis->keysOfRange(plot->xAxis->range());
    m_frameAxis->setTimeShown(shown);
    m_markers->relocate();
    clearGraphs();
    if (!m_paused) {
        refreshPlot();
        return;
    }
    for (uint s = 0; s < m_sensorSum; ++s)
        updateGraphs(int(s), m_drawnKey);
    m_settingRanges = true;
    plot->xAxis->setRange(m_frameAxis->rangeOfKeys(keys.lower, keys.upper));
    m_settingRanges = false;
    plot->replot(QCustomPlot::rpQueuedReplot);
}

bool CurveGraphic::savePicture(const QString &path, QString &error)
{
    if (!PlotPicture::save(*ui->graphic, path, error))
        return false;
    const QFileInfo file(path);
    const QString stem = file.dir().filePath(file.completeBaseName());
    if (ui->vectorGraph->grabFramebuffer().save(stem + QStringLiteral("-vectors.png")) &&
        ui->planeGraph->grabFramebuffer().save(stem + QStringLiteral("-plane.png")))
        return true;
    error = tr("图像未能保存：%1").arg(QDir::toNativeSeparators(path));
    return false;
}

bool CurveGraphic::saveShown(const QString &path, QString &error)
{
    constexpr double kEverywhere = std::numeric_limits<double>::max();
    const QCPRange shown =
        m_zoomed ? ui->graphic->xAxis->range() : QCPRange(-kEverywhere, kEverywhere);
    const QList<ShownFrame> frames = ShownData::collect(
        *ui->graphic, int(m_sensorSum), shown,
        [this](double at) { return m_frameAxis->frameExactlyAt(at); },
        [this](double key) { return frameStamp(key); });
    if (frames.isEmpty()) {
        error = tr("没有可保存的数据");
        return false;
    }
    // A review's frames have no date and time of their own here.
    if (ShownData::write(path, frames, markers(), m_frameAxis->gaps(), !m_review, error))
        return true;
    error = tr("数据未能保存：%1（%2）").arg(QDir::toNativeSeparators(path), error);
    return false;
}

void CurveGraphic::askSavePicture()
{
    const QString path = askFileName(tr("保存图像"), QStringLiteral("eskin-curves-"),
                                     {{tr("PNG 图像 (*.png)"), QStringLiteral("png")},
                                      {tr("PDF 文档 (*.pdf)"), QStringLiteral("pdf")},
                                      {tr("SVG 图像 (*.svg)"), QStringLiteral("svg")},
                                      {tr("JPG 图像 (*.jpg)"), QStringLiteral("jpg")}});
    QString error;
    if (!path.isEmpty() && !savePicture(path, error))
        showSaveFailure(error);
}

void CurveGraphic::copyPicture()
{
    QGuiApplication::clipboard()->setPixmap(ui->graphic->toPixmap());
}

void CurveGraphic::askSaveShown()
{
    const QString path = askFileName(tr("保存显示的数据"), QStringLiteral("eskin-shown-"),
                                     {{tr("CSV 文件 (*.csv)"), QStringLiteral("csv")}});
    QString error;
    if (!path.isEmpty() && !saveShown(path, error))
        showSaveFailure(error);
}

// Suggests STEM + date and time + the first filter's suffix; a name typed without a suffix takes
// the chosen filter's.
QString CurveGraphic::askFileName(const QString &title, const QString &stem,
                                  const QList<std::pair<QString, QString>> &filters)
{
    const QString name =
        stem + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QDir documents(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    QStringList texts;
    for (const auto &filter : filters)
        texts << filter.first;
    QString chosen;
    QString path = QFileDialog::getSaveFileName(
        this, title, documents.filePath(name + u'.' + filters.first().second),
        texts.join(QStringLiteral(";;")), &chosen);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += u'.' + filters.value(std::max(0, int(texts.indexOf(chosen)))).second;
    return path;
}

void CurveGraphic::showSaveFailure(const QString &error)
{
    QMessageBox::warning(this, tr("提示"), error);
}

// ---- Review ------------------------------------------------------------------------------------

bool CurveGraphic::beginReview(std::unique_ptr<RecordIndex> recording, QString &error)
{
    auto review = std::make_unique<RecordingReview>(std::move(recording));
    if (review->hasFailed()) {
        error = review->recording().errorString();
        return false;
    }
    if (m_review) {
        m_timeline->attach(nullptr);
        m_review.reset();
    } else {
        parkLive();
    }
    m_review = std::move(review);
    m_review->setLongestStep(qint64(kVisibleKeys));
    m_reviewMarkers.clear();
    m_reviewMarkerCount = 0;
    for (const RecordMarker &marker : m_review->recording().markers())
        m_reviewMarkerCount = std::max(m_reviewMarkerCount, marker.number);
    RecordingReview *shown = m_review.get();
    connect(shown, &RecordingReview::cursorMoved, this, &CurveGraphic::showReviewCursor);
    connect(shown, &RecordingReview::playingChanged, this, [this](bool playing) {
        if (playing)
            ui->actionPause->setChecked(false);
    });
    connect(
        shown, &RecordingReview::failed, this,
        [this, shown](const QString &why) {
            if (m_review.get() == shown)
                emit reviewFailed(why);
        },
        Qt::QueuedConnection);
    m_timeline->attach(shown);
    showReviewCursor(shown->cursor(), false);
    return true;
}

// The live display steps aside as it is; Space plays the review, and markers cannot be added to it.
void CurveGraphic::parkLive()
{
    ui->actionPause->setChecked(false);
    std::swap(m_series, m_liveSeries);
    m_liveCounter = m_sampleCounter;
    m_liveReadings = ui->vectorGraph->readings();
    m_liveMarkers = std::move(m_markers);
    m_liveMarkers->setVisible(false);
    m_markers = std::make_unique<PlotMarkers>(ui->graphic, m_frameAxis.get());
    m_liveGaps = m_frameAxis->gaps();
    ui->actionPause->setShortcut(QKeySequence());
    m_timeline->show();
}

void CurveGraphic::endReview()
{
    if (!m_review)
        return;
    m_timeline->attach(nullptr);
    m_timeline->hide();
    m_review.reset();
    m_reviewMarkers.clear();
    ui->actionPause->setChecked(false);
    m_markers->clear();
    m_markers = std::move(m_liveMarkers);
    std::swap(m_series, m_liveSeries);
    m_liveSeries = {};
    m_sampleCounter = m_liveCounter;
    m_frameAxis->setGaps(std::exchange(m_liveGaps, {}));
    // The axis may have changed meanwhile.
    m_markers->relocate();
    m_markers->setVisible(true);
    clearGraphs();
    showSensorCount(m_liveSensorSum);
    showReadings(m_liveReadings);
    m_liveReadings.clear();
    ui->actionPause->setShortcut(Qt::Key_Space);
    refreshPlot();
}

// A cursor that went on takes only the frames it passed, as live frames arrive; any other move
// fills the curves anew. Either way it is drawn at once, and the next refresh a period later.
void CurveGraphic::showReviewCursor(qint64 index, bool continued)
{
    // Moving in time ends a pause, as the live data does when a pause ends.
    ui->actionPause->setChecked(false);
    const std::vector<RecordedFrame> &frames = m_review->shownFrames();
    const qint64 first = m_review->firstShown();
    if (!continued) {
        m_series = {};
        clearGraphs();
    }
    for (qint64 i = continued ? qint64(m_sampleCounter) + 1 : first; i <= index; ++i) {
        const RecordedFrame &frame = frames[std::size_t(i - first)];
        for (int s = 0; s < frame.sensors; ++s)
            m_series[std::size_t(s)].append(double(i), double(frame.timeUs) / 1e6,
                                            frame.readings[std::size_t(s)]);
    }
    for (SensorSeries &stored : m_series)
        stored.dropBefore(double(first));
    m_sampleCounter = double(index);
    QList<FrameAxis::Gap> gaps;
    for (const RecordGap &gap : m_review->shownGaps())
        gaps.append({double(gap.frameIndex), gap.lengthUs, gap.cause});
    m_frameAxis->setGaps(gaps);

    const RecordedFrame &now = m_review->cursorFrame();
    showSensorCount(uint(now.sensors));
    const QList<Axit_t> readings(now.readings.begin(), now.readings.begin() + now.sensors);
    showReadings(readings);
    showReviewMarkers();
    if (!isVisible())
        return;
    refreshPlot();
    refreshTimer->start(kRefreshMs);
    ui->vectorGraph->UpdateSlots();
    ui->planeGraph->UpdateSlots();
}

// The file's markers on the shown frames, numbered and labelled as in the file, with the markers
// put on them meanwhile.
void CurveGraphic::showReviewMarkers()
{
    m_markers->clear();
    for (const RecordMarker &marker : m_review->shownMarkers())
        m_markers->add({marker.number, marker.label, double(marker.frameIndex)});
    const double first = double(m_review->firstShown());
    const double last = double(m_review->cursor());
    for (const PlotMarker &marker : m_reviewMarkers) {
        if (marker.key >= first && marker.key <= last)
            m_markers->add(marker);
    }
}
