// SPDX-License-Identifier: GPL-3.0-or-later
#include "curvegraphic.h"
#include "ui_curvegraphic.h"

#include "curveanalysis.h"
#include "curvereview.h"
#include "curvetoolbar.h"
#include "graphcolumnlayout.h"
#include "liveframes.h"
#include "parkedlive.h"
#include "plotfeeder.h"
#include "plotnavigator.h"
#include "plotpause.h"
#include "plotranges.h"
#include "plotreadout.h"
#include "recordindex.h"
#include "recordingreview.h"
#include "reviewtimeline.h"
#include "sensorcurves.h"
#include "sensorlegend.h"

#include <QCloseEvent>
#include <QListWidgetItem>
#include <QShowEvent>
#include <QTimer>

#include <QDebug>
#include <QLoggingCategory>
#include <algorithm>
#include <cmath>

namespace {

Q_LOGGING_CATEGORY(lcViews, "eskin.views")

constexpr int kRefreshMs = 30;
// In review the cursor's frame stands this many frames' width left of the plot's right edge, so
// that a marker on it shows with its line and label.
constexpr double kReviewLead = 10;

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
    m_frameAxis = std::make_unique<FrameAxis>(
        plot->xAxis, [this](double key) { return frameMicros(key); },
        [this] { return knownKeys(); });
    m_feeder = std::make_unique<PlotFeeder>(plot, m_frameAxis.get());
    m_liveFrames = std::make_unique<LiveFrames>(m_buffer, *m_frameAxis);
    m_curves = std::make_unique<SensorCurves>(plot, ui->sensorList);
    m_saver = std::make_unique<CurveSaver>(this, plot, ui->vectorGraph, ui->planeGraph,
                                           m_frameAxis.get());
    m_analysis =
        std::make_unique<CurveAnalysis>(plot, ui->sensorList, ui->planeGraph,
                                        CurveAnalysis::addLineUnder(plot, ui->horizontalLayout_2));
    m_ranges = new PlotRanges(plot, m_frameAxis.get(), this);
    connect(plot, &QCustomPlot::legendDoubleClick, this, &CurveGraphic::plotlegendClickslot);
}

void CurveGraphic::setUpTools()
{
    QCustomPlot *plot = ui->graphic;
    auto *bar = new CurveToolBar({ui->actionPause, ui->actionAutoRange, ui->actionMarker,
                                  ui->actionSavePicture, ui->actionCopyPicture, ui->actionSaveShown,
                                  ui->actionLegend, ui->actionLegendOutside, ui->actionFitShown,
                                  ui->actionTimeAxis},
                                 ui->GraphBox);
    m_timeline = new ReviewTimeline(ui->GraphBox);
    m_timeline->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_timeline->hide();
    m_live = std::make_unique<ParkedLive>(plot, ui->actionPause, m_timeline);
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

    placeLegend();
    m_ranges->setFitShown(ui->actionFitShown->isChecked());
    m_frameAxis->setTimeShown(ui->actionTimeAxis->isChecked());

    m_markers = std::make_unique<PlotMarkers>(plot, m_frameAxis.get());
    m_pause = new PlotPause(ui->actionPause, this);
    // Both are the plot's children.
    auto *navigator = new PlotNavigator(plot);
    new PlotReadout(plot, m_frameAxis.get());
    connect(m_ranges, &PlotRanges::operatorChanged, m_pause, &PlotPause::takeZoom);
    connect(navigator, &PlotNavigator::autoRangeRequested, this, &CurveGraphic::restoreRanges);
    // A pause, or a zoom, holds the picture: a review stops playing.
    connect(m_pause, &PlotPause::paused, this, [this] {
        m_pause->hold(m_buffer.times(), ui->vectorGraph->readings());
        if (m_review)
            review()->setPlaying(false);
    });
    connect(m_pause, &PlotPause::resumed, this, [this](const QList<Axit_t> &readings) {
        showReadings(readings, m_buffer.times().stampAt(m_buffer.newestKey()).timeUs);
        refreshPlot();
    });
    connect(ui->actionAutoRange, &QAction::triggered, this, &CurveGraphic::restoreRanges);
    connect(ui->actionMarker, &QAction::triggered, this, [this] { addMarker(); });
    connect(ui->actionSavePicture, &QAction::triggered, this,
            [this] { m_saver->askSavePicture(); });
    connect(ui->actionCopyPicture, &QAction::triggered, this, [this] { m_saver->copyPicture(); });
    connect(ui->actionSaveShown, &QAction::triggered, this,
            [this] { m_saver->askSaveShown(shownData()); });
    connect(ui->actionLegend, &QAction::toggled, this, &CurveGraphic::placeLegend);
    connect(ui->actionLegendOutside, &QAction::toggled, this, &CurveGraphic::placeLegend);
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
    m_liveSensorSum = std::min(sum, uint(kMaxSensors));
    if (!m_review)
        showSensorCount(m_liveSensorSum);
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
    setStampedData(m_liveFrames->ownStamp(), axit, num);
}

void CurveGraphic::setStampedData(const FrameStamp &stamp, const QList<Axit_t> &axit, uint num)
{
    // The port is closed for a review; frames it sent before must not mix into the recording.
    if (m_review)
        return;
    m_liveFrames->take(stamp, axit, std::min(sensorSum(), num));
    if (m_pause->isPaused())
        m_pause->holdReadings(axit);
    else
        showReadings(axit, stamp.timeUs);
}

void CurveGraphic::beginGap(const QString &cause)
{
    m_liveFrames->beginGap(cause);
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
    if (m_pause->isPaused() || isMinimized() ||
        (m_buffer.revision() == m_drawnRevision && !m_viewChanged))
        return;
    refreshPlot();
}

void CurveGraphic::refreshPlot()
{
    if (m_pause->isPaused())
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
    m_analysis->update(m_buffer, sensorSum(), *m_frameAxis, newest);
    m_ranges->follow(m_buffer, sensorSum(), newest, m_review ? kReviewLead : 0,
                     [this](QCPAxis *values) { m_analysis->widenValueRange(values); });
    // The plot library would repaint the plot at once, composing the whole window (it holds
    // OpenGL views) once for the plot and once more for the views' repaints of the same tick;
    // a queued repaint joins them into one.
    plot->replot(QCustomPlot::rpQueuedRefresh);
}

std::pair<double, double> CurveGraphic::knownKeys() const
{
    if (m_review)
        return {double(review()->firstShown()), double(review()->cursor())};
    const FrameTimes &times = m_pause->shownTimes(m_buffer.times());
    return {times.firstKey(), times.lastKey()};
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

// Ends a pause, which draws with the window's own ranges.
void CurveGraphic::restoreRanges()
{
    if (m_pause->isPaused())
        m_pause->resume();
    else
        refreshPlot();
}

void CurveGraphic::showChange()
{
    m_viewChanged = true;
    if (m_pause->isPaused())
        ui->graphic->replot(QCustomPlot::rpQueuedReplot);
}

qint64 CurveGraphic::frameMicros(double key) const
{
    if (m_review)
        return key == std::floor(key) ? review()->timeUsAt(qint64(key)) : -1;
    return m_pause->shownTimes(m_buffer.times()).microsAt(key);
}

FrameStamp CurveGraphic::frameStamp(double key) const
{
    if (m_review)
        return key == std::floor(key) ? review()->stampAt(qint64(key)) : FrameStamp();
    return m_pause->shownTimes(m_buffer.times()).stampAt(key);
}

double CurveGraphic::newestShownKey() const
{
    if (m_review)
        return double(review()->cursor());
    return isVisible() && m_drawnKey > 0 ? m_drawnKey : m_buffer.newestKey();
}

bool CurveGraphic::isPaused() const
{
    return m_pause->isPaused();
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

void CurveGraphic::placeLegend()
{
    m_curves->placeLegend(ui->actionLegend->isChecked(), ui->actionLegendOutside->isChecked());
}

void CurveGraphic::setFitShown(bool fit)
{
    m_ranges->setFitShown(fit);
    m_viewChanged = true;
}

// The graphs take their points anew where the axis now puts them; while paused, up to the frame
// drawn, over the same frames as before.
void CurveGraphic::setTimeAxis(bool shown)
{
    if (shown == m_frameAxis->isTimeShown())
        return;
    QCustomPlot *plot = ui->graphic;
    const QCPRange keys = m_frameAxis->keysOfRange(plot->xAxis->range());
    m_frameAxis->setTimeShown(shown);
    m_markers->relocate();
    m_feeder->clear();
    if (!m_pause->isPaused()) {
        refreshPlot();
        return;
    }
    for (uint s = 0; s < sensorSum(); ++s)
        m_feeder->update(int(s), m_buffer.series(int(s)), m_drawnKey);
    m_ranges->showKeys(keys.lower, keys.upper);
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
    return {int(sensorSum()), m_pause->isZoomed(), [this](double key) { return frameStamp(key); },
            markers(), !m_review};
}

// ---- Review ------------------------------------------------------------------------------------

bool CurveGraphic::beginReview(std::unique_ptr<RecordIndex> recording, QString &error)
{
    auto review = CurveReview::open(std::move(recording), m_timeline, error);
    if (!review)
        return false;
    // The live display steps aside as it is; markers cannot be added to it meanwhile.
    if (m_review)
        m_review.reset();
    else
        m_live->park(m_buffer, m_markers, *m_frameAxis, ui->vectorGraph->readings());
    m_review = std::move(review);
    connect(m_review.get(), &CurveReview::cursorMoved, this, &CurveGraphic::showReviewCursor);
    connect(m_review.get(), &CurveReview::playingStarted, m_pause, &PlotPause::resume);
    connect(m_review.get(), &CurveReview::failed, this, &CurveGraphic::reviewFailed);
    showReviewCursor(m_review->recording()->cursor(), false);
    return true;
}

void CurveGraphic::endReview()
{
    if (!m_review)
        return;
    m_review.reset();
    m_markers->clear();
    QList<Axit_t> readings;
    m_markers = m_live->restore(m_buffer, *m_frameAxis, readings);
    m_feeder->clear();
    showSensorCount(m_liveSensorSum);
    showReadings(readings);
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
