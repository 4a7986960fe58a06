// SPDX-License-Identifier: GPL-3.0-or-later
#include "curvegraphic.h"
#include "ui_curvegraphic.h"

#include "curveanalysis.h"
#include "curvereview.h"
#include "graphcolumnlayout.h"
#include "plotfeeder.h"
#include "plotnavigator.h"
#include "plotreadout.h"
#include "recordindex.h"
#include "recordingreview.h"
#include "reviewtimeline.h"
#include "sensorcurves.h"
#include "sensorlegend.h"

#include <QCloseEvent>
#include <QListWidgetItem>
#include <QSettings>
#include <QShowEvent>
#include <QTimer>
#include <QToolBar>

#include <QDebug>
#include <QLoggingCategory>
#include <algorithm>
#include <cmath>

namespace {

Q_LOGGING_CATEGORY(lcViews, "eskin.views")

constexpr int kRefreshMs = 30;
constexpr double kVisibleKeys = 100;
// In review the cursor's frame stands this many frames' width left of the plot's right edge, so
// that a marker on it shows with its line and label.
constexpr double kReviewLead = 10;
constexpr int kLegendRows = 18;
const QString kLegendKey = QStringLiteral("curves/legend");
const QString kFitShownKey = QStringLiteral("curves/fitShown");
const QString kLegendOutsideKey = QStringLiteral("curves/legendOutside");
const QString kTimeAxisKey = QStringLiteral("curves/timeAxis");

} // namespace

CurveGraphic::CurveGraphic(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::CurveGraphic>())
    , refreshTimer(std::make_unique<QTimer>())
{
    ui->setupUi(this);
    setUpPlot();
    setUpTools();
    connect(refreshTimer.get(), &QTimer::timeout, this, &CurveGraphic::refreshIfDue);

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
    m_feeder = std::make_unique<PlotFeeder>(plot, m_frameAxis.get());
    m_curves = std::make_unique<SensorCurves>(plot, ui->sensorList);
    m_saver = std::make_unique<CurveSaver>(this, plot, ui->vectorGraph, ui->planeGraph,
                                           m_frameAxis.get());
    m_analysis =
        std::make_unique<CurveAnalysis>(plot, ui->sensorList, ui->planeGraph,
                                        CurveAnalysis::addLineUnder(plot, ui->horizontalLayout_2));

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
    connect(ui->actionSavePicture, &QAction::triggered, this,
            [this] { m_saver->askSavePicture(); });
    connect(ui->actionCopyPicture, &QAction::triggered, this, [this] { m_saver->copyPicture(); });
    connect(ui->actionSaveShown, &QAction::triggered, this,
            [this] { m_saver->askSaveShown(shownData()); });
    connect(ui->actionLegend, &QAction::toggled, this, &CurveGraphic::setLegendShown);
    connect(ui->actionLegendOutside, &QAction::toggled, this, &CurveGraphic::setLegendOutside);
    connect(ui->actionFitShown, &QAction::toggled, this, &CurveGraphic::setFitShown);
    connect(ui->actionTimeAxis, &QAction::toggled, this, &CurveGraphic::setTimeAxis);
}

// The sensors' names are the same in every language.
void CurveGraphic::retranslate()
{
    ui->retranslateUi(this);
    ui->sensorList->item(0)->setText(tr("全选"));
    m_curves->fitList();
    m_frameAxis->retranslate();
    m_markers->retranslate();
    m_analysis->retranslate();
    ui->graphic->yAxis->setLabel(tr("力"));
    // Shown labels change at once, even while no data arrives.
    if (isVisible())
        ui->graphic->replot(QCustomPlot::rpQueuedReplot);
}

QColor CurveGraphic::axisColor(int sensor, int axis) const
{
    return SensorCurves::axisColor(sensor, axis);
}

RecordingReview *CurveGraphic::review() const
{
    return m_review ? m_review->recording() : nullptr;
}

uint CurveGraphic::sensorSum() const
{
    return m_curves->count();
}

void CurveGraphic::setSensorSum(uint sum)
{
    // The per-sensor tables have 16 entries.
    m_live.sensorSum = std::min(sum, uint(kMaxSensors));
    if (!m_review)
        showSensorCount(m_live.sensorSum);
}

void CurveGraphic::showSensorCount(uint sum)
{
    if (sum == m_curves->count())
        return;
    ui->vectorGraph->setSensorSum(int(sum));
    m_analysis->detach();
    m_curves->setCount(sum);
    m_analysis->attach();
    showChange();
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
    const double newest = m_buffer.newestKey();
    if (std::exchange(m_gapPending, false) && newest > 0) {
        const FrameStamp before = m_buffer.times().stampAt(newest);
        m_frameAxis->addGap(
            {newest + 1, before.isValid() ? std::max<qint64>(stamp.timeUs - before.timeUs, 0) : 0,
             m_gapCause});
    }
    m_buffer.append(stamp, axit, std::min(sensorSum(), num));
    if (m_paused) {
        m_heldReadings = axit;
        return;
    }
    showReadings(axit, stamp.timeUs);
}

void CurveGraphic::beginGap(const QString &cause)
{
    if (m_gapPending)
        return;
    m_gapPending = true;
    m_gapCause = cause;
}

void CurveGraphic::showReadings(const QList<Axit_t> &readings, qint64 timeUs)
{
    ui->vectorGraph->setReadings(readings);
    ui->planeGraph->setReadings(readings);
    m_analysis->showFrame(readings, sensorSum(), timeUs);
}

void CurveGraphic::setAnalysisEnabled(bool on)
{
    m_analysis->setEnabled(on);
    showChange();
}

void CurveGraphic::setAnalysisThreshold(int threshold)
{
    m_analysis->setThreshold(threshold);
    showChange();
}

void CurveGraphic::refreshIfDue()
{
    if (m_paused || isMinimized() || (m_buffer.revision() == m_drawnRevision && !m_viewChanged))
        return;
    refreshPlot();
}

void CurveGraphic::refreshPlot()
{
    if (m_paused)
        return;
    QCustomPlot *plot = ui->graphic;
    const double newest = m_buffer.newestKey();
    for (uint s = 0; s < sensorSum(); ++s)
        m_feeder->update(int(s), m_buffer.series(int(s)), newest);
    // A marker leaves with its frame, the oldest that sensor 0 (present in every frame) keeps.
    if (!m_markers->isEmpty() && !m_buffer.series(0).keys.isEmpty())
        m_markers->dropBefore(m_buffer.series(0).keys.first());
    // A gap that every series has passed breaks no line any more.
    if (!m_review)
        m_frameAxis->dropGapsBefore(m_buffer.oldestKey());
    m_drawnKey = newest;
    m_drawnRevision = m_buffer.revision();
    m_viewChanged = false;
    const double end = newest + (m_review ? kReviewLead : 0);
    m_settingRanges = true;
    plot->xAxis->setRange(m_frameAxis->rangeOfKeys(newest - kVisibleKeys, end));
    m_analysis->update(m_buffer, sensorSum(), *m_frameAxis, newest);
    fitValueAxis(QCPRange(newest - kVisibleKeys, newest));
    m_analysis->widenValueRange(plot->yAxis);
    m_settingRanges = false;
    // The plot library would repaint the plot at once, composing the whole window (it holds
    // OpenGL views) once for the plot and once more for the views' repaints of the same tick;
    // a queued repaint joins them into one.
    plot->replot(QCustomPlot::rpQueuedRefresh);
}

std::pair<double, double> CurveGraphic::knownKeys() const
{
    if (m_review)
        return {double(review()->firstShown()), double(review()->cursor())};
    const FrameTimes &times = m_paused ? m_pausedTimes : m_buffer.times();
    return {times.firstKey(), times.lastKey()};
}

// The value axis spans every stored point of every sensor's graphs, hidden curves and points
// outside the visible keys included; only what is shown (the shown curves' points within
// `shownKeys`) when the operator asks so.
void CurveGraphic::fitValueAxis(const QCPRange &shownKeys)
{
    constexpr double kEverywhere = std::numeric_limits<double>::infinity();
    const auto [lowest, highest] =
        m_fitShown
            ? m_buffer.valueRange(sensorSum(), shownKeys.lower, shownKeys.upper,
                                  [this](int s, int a) {
                                      return ui->graphic->graph(kAxisCount * s + a)->visible();
                                  })
            : m_buffer.valueRange(sensorSum(), -kEverywhere, kEverywhere,
                                  [](int, int) { return true; });
    if (lowest < highest)
        ui->graphic->yAxis->setRange(QCPRange(lowest, highest));
    else // no points, or one value only: the plot's own rule keeps a usable span
        ui->graphic->yAxis->rescale(m_fitShown);
}

void CurveGraphic::on_sensorList_itemClicked(QListWidgetItem *item)
{
    if (m_curves->applyRowClick(item) || m_analysis->applyRowClick(item))
        showChange();
}

// A double-click beside every entry changes nothing.
void CurveGraphic::plotlegendClickslot(QCPLegend *legend, QCPAbstractLegendItem *item,
                                       QMouseEvent *event)
{
    qCDebug(lcViews) << "ncount=" << legend->itemCount();
    if (!m_curves->toggleCurveAt(legend, item, event->position()))
        return;
    m_viewChanged = true; // the value range may follow the shown curves
    ui->graphic->replot(QCustomPlot::rpRefreshHint);
}

void CurveGraphic::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A review is drawn at once, as each of its moves is.
    if (m_review)
        refreshPlot();
    refreshTimer->start(kRefreshMs);
    setViewsRefreshing(true);
}

void CurveGraphic::closeEvent(QCloseEvent *event)
{
    if (m_review)
        review()->setPlaying(false);
    refreshTimer->stop();
    setViewsRefreshing(false);
    QWidget::closeEvent(event);
}

void CurveGraphic::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    // A minimized window draws nothing; restored, it shows what came meanwhile.
    if (event->type() == QEvent::WindowStateChange && refreshTimer->isActive())
        setViewsRefreshing(!isMinimized());
    QWidget::changeEvent(event);
}

void CurveGraphic::setViewsRefreshing(bool on)
{
    ui->vectorGraph->setRefreshEnabled(on);
    ui->planeGraph->setRefreshEnabled(on);
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
        m_pausedTimes = m_buffer.times();
        m_heldReadings = ui->vectorGraph->readings();
        if (m_review)
            review()->setPlaying(false);
        return;
    }
    m_zoomed = false;
    showReadings(m_heldReadings, m_buffer.times().stampAt(m_buffer.newestKey()).timeUs);
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

void CurveGraphic::showChange()
{
    m_viewChanged = true;
    if (m_paused)
        ui->graphic->replot(QCustomPlot::rpQueuedReplot);
}

qint64 CurveGraphic::frameMicros(double key) const
{
    if (m_review)
        return key == std::floor(key) ? review()->timeUsAt(qint64(key)) : -1;
    return (m_paused ? m_pausedTimes : m_buffer.times()).microsAt(key);
}

FrameStamp CurveGraphic::frameStamp(double key) const
{
    if (m_review)
        return key == std::floor(key) ? review()->stampAt(qint64(key)) : FrameStamp();
    return (m_paused ? m_pausedTimes : m_buffer.times()).stampAt(key);
}

double CurveGraphic::newestShownKey() const
{
    if (m_review)
        return double(review()->cursor());
    return isVisible() && m_drawnKey > 0 ? m_drawnKey : m_buffer.newestKey();
}

QAction *CurveGraphic::markerAction() const
{
    return ui->actionMarker;
}

int CurveGraphic::addMarker(const QString &label)
{
    return m_review || m_buffer.newestKey() > 0 ? addMarkerAt(newestShownKey(), label) : 0;
}

// A review's markers are shown with the file's while their frames are, and saved with the shown
// data; the file itself is only read.
int CurveGraphic::addMarkerAt(double key, const QString &label)
{
    int number = 0;
    if (m_review) {
        number = m_review->addMarker(key, label, *m_markers);
    } else {
        number = ++m_markerCount;
        const QString named = label.isEmpty() ? PlotMarkers::defaultLabel(number) : label;
        m_markers->add({number, named, key});
        emit markerAdded(number, named, frameStamp(key), key);
    }
    showChange();
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
    m_curves->legendBeside()->setShown(shown && outside);
    ui->graphic->replot(QCustomPlot::rpQueuedReplot);
}

void CurveGraphic::setFitShown(bool fit)
{
    m_fitShown = fit;
    QSettings().setValue(kFitShownKey, fit);
    m_viewChanged = true;
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
    m_feeder->clear();
    if (!m_paused) {
        refreshPlot();
        return;
    }
    for (uint s = 0; s < sensorSum(); ++s)
        m_feeder->update(int(s), m_buffer.series(int(s)), m_drawnKey);
    m_settingRanges = true;
    plot->xAxis->setRange(m_frameAxis->rangeOfKeys(keys.lower, keys.upper));
    m_settingRanges = false;
    plot->replot(QCustomPlot::rpQueuedReplot);
}

bool CurveGraphic::savePicture(const QString &path, QString &error)
{
    return m_saver->savePicture(path, error);
}

bool CurveGraphic::saveShown(const QString &path, QString &error)
{
    return m_saver->saveShown(path, shownData(), error);
}

CurveSaver::Shown CurveGraphic::shownData() const
{
    return {int(sensorSum()), m_zoomed, [this](double key) { return frameStamp(key); }, markers(),
            !m_review};
}

// ---- Review ------------------------------------------------------------------------------------

bool CurveGraphic::beginReview(std::unique_ptr<RecordIndex> recording, QString &error)
{
    auto review = std::make_unique<RecordingReview>(std::move(recording));
    if (review->hasFailed()) {
        error = review->recording().errorString();
        return false;
    }
    if (m_review)
        m_review.reset();
    else
        parkLive();
    review->setLongestStep(qint64(kVisibleKeys));
    RecordingReview *shown = review.get();
    m_review = std::make_unique<CurveReview>(std::move(review), m_timeline);
    connect(shown, &RecordingReview::cursorMoved, this, &CurveGraphic::showReviewCursor);
    connect(shown, &RecordingReview::playingChanged, this, [this](bool playing) {
        if (playing)
            ui->actionPause->setChecked(false);
    });
    connect(
        shown, &RecordingReview::failed, this,
        [this, shown](const QString &why) {
            if (m_review && m_review->recording() == shown)
                emit reviewFailed(why);
        },
        Qt::QueuedConnection);
    showReviewCursor(shown->cursor(), false);
    return true;
}

// The live display steps aside as it is; Space plays the review, and markers cannot be added to it.
void CurveGraphic::parkLive()
{
    ui->actionPause->setChecked(false);
    std::swap(m_buffer, m_live.buffer);
    m_live.readings = ui->vectorGraph->readings();
    m_live.markers = std::move(m_markers);
    m_live.markers->setVisible(false);
    m_markers = std::make_unique<PlotMarkers>(ui->graphic, m_frameAxis.get());
    m_live.gaps = m_frameAxis->gaps();
    ui->actionPause->setShortcut(QKeySequence());
    m_timeline->show();
}

void CurveGraphic::endReview()
{
    if (!m_review)
        return;
    m_review.reset();
    m_timeline->hide();
    ui->actionPause->setChecked(false);
    m_markers->clear();
    m_markers = std::move(m_live.markers);
    std::swap(m_buffer, m_live.buffer);
    m_live.buffer = {};
    m_frameAxis->setGaps(std::exchange(m_live.gaps, {}));
    // The axis may have changed meanwhile.
    m_markers->relocate();
    m_markers->setVisible(true);
    m_feeder->clear();
    showSensorCount(m_live.sensorSum);
    showReadings(std::exchange(m_live.readings, {}));
    ui->actionPause->setShortcut(Qt::Key_Space);
    refreshPlot();
}

// A cursor that went on takes only the frames it passed, as live frames arrive; any other move
// fills the curves anew. Either way it is drawn at once, and the next refresh a period later.
void CurveGraphic::showReviewCursor(qint64 index, bool continued)
{
    // Moving in time ends a pause, as the live data does when a pause ends.
    ui->actionPause->setChecked(false);
    if (!continued)
        m_feeder->clear();
    m_review->showCursor(index, continued, m_buffer, *m_frameAxis, *m_markers);
    const QList<Axit_t> readings = m_review->cursorReadings();
    showSensorCount(uint(readings.size()));
    showReadings(readings, review()->timeUsAt(index));
    if (!isVisible())
        return;
    refreshPlot();
    refreshTimer->start(kRefreshMs);
    ui->vectorGraph->UpdateSlots();
    ui->planeGraph->UpdateSlots();
}
