// SPDX-License-Identifier: GPL-3.0-or-later
#include "curvegraphic.h"
#include "ui_curvegraphic.h"

#include "directlinegraph.h"
#include "legendentry.h"
#include "plotnavigator.h"
#include "plotreadout.h"
#include "recordindex.h"
#include "recordingreview.h"
#include "reviewtimeline.h"
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
constexpr int kLegendRows = 18;
constexpr int kShownPenWidth = 3;
const QColor kHiddenColour(Qt::darkGray);
const QString kLegendKey = QStringLiteral("curves/legend");
const QString kFitShownKey = QStringLiteral("curves/fitShown");

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
    bar->addActions({ui->actionLegend, ui->actionFitShown});
    ui->verticalLayout->insertWidget(1, bar); // between the views and the plot

    const QSettings settings;
    ui->actionLegend->setChecked(settings.value(kLegendKey, true).toBool());
    ui->actionFitShown->setChecked(settings.value(kFitShownKey, false).toBool());
    plot->legend->setVisible(ui->actionLegend->isChecked());
    m_fitShown = ui->actionFitShown->isChecked();

    m_markers = std::make_unique<PlotMarkers>(plot);
    // Both are the plot's children.
    auto *navigator = new PlotNavigator(plot);
    new PlotReadout(plot, [this](double key) { return frameMicros(key); });
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
    connect(ui->actionFitShown, &QAction::toggled, this, &CurveGraphic::setFitShown);

    m_timeline = new ReviewTimeline(ui->GraphBox);
    ui->verticalLayout->addWidget(m_timeline);
    m_timeline->hide();
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
    m_sampleCounter += 1;
    m_times.add(m_sampleCounter, stamp);
    // num comes from the frame; never read past the readings actually delivered.
    const uint recorded = std::min({m_sensorSum, num, uint(axit.size())});
    for (uint j = 0; j < recorded; ++j)
        m_series[j].append(m_sampleCounter, axit.at(j));
    if (m_paused) {
        m_heldReadings = axit;
        return;
    }
    showReadings(axit);
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
        updateGraphs(int(s));
    // A marker leaves with its frame, the oldest that sensor 0 (present in every frame) keeps.
    if (!m_markers->isEmpty() && !m_series[0].keys.isEmpty())
        m_markers->dropBefore(m_series[0].keys.first());
    m_drawnKey = m_sampleCounter;
    m_settingRanges = true;
    plot->xAxis->setRange(m_sampleCounter, kVisibleKeys, Qt::AlignRight);
    fitValueAxis();
    m_settingRanges = false;
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

// The graphs take every stored point again at the next refresh.
void CurveGraphic::clearGraphs()
{
    QCustomPlot *plot = ui->graphic;
    for (int g = 0; g < plot->graphCount(); ++g)
        plot->graph(g)->data()->clear();
    m_plottedUpTo.fill(-1);
}

// The value axis spans every stored point of every sensor's graphs, hidden curves and points
// outside the visible keys included; of the shown curves only when the operator asks so. The stored
// values are plain numbers, so one pass over them costs far less than asking each graph for its
// range.
void CurveGraphic::fitValueAxis()
{
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (uint s = 0; s < m_sensorSum; ++s) {
        const SensorSeries &stored = m_series[s];
        const QList<double> *axes[kAxisCount] = {&stored.xValues, &stored.yValues, &stored.zValues};
        for (int a = 0; a < kAxisCount; ++a) {
            if (m_fitShown && !ui->graphic->graph(graphIndex(int(s), a))->visible())
                continue;
            for (double v : *axes[a]) {
                lowest = std::min(lowest, v);
                highest = std::max(highest, v);
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
    } else {
        for (int i = 1; i <= int(m_sensorSum); ++i) {
            ui->sensorList->item(i)->setCheckState(state);
            setSensorVisible(i - 1, state != Qt::Unchecked);
        }
    }
    replotWhilePaused();
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
    const QString named = label.isEmpty() ? tr("标记 %1").arg(number) : label;
    drawMarker({number, named, key}, label.isEmpty());
    emit markerAdded(number, named, frameStamp(key), key);
    replotWhilePaused();
    return number;
}

// Shown with the file's markers while their frames are, and saved with the shown data; the file
// itself is only read.
int CurveGraphic::addReviewMarker(double key, const QString &label)
{
    const int number = ++m_reviewMarkerCount;
    const QString named = label.isEmpty() ? tr("标记 %1").arg(number) : label;
    const auto after =
        std::upper_bound(m_reviewMarkers.begin(), m_reviewMarkers.end(), key,
                         [](double k, const PlotMarker &marker) { return k < marker.key; });
    m_reviewMarkers.insert(after, {number, named, key});
    showReviewMarkers();
    replotWhilePaused();
    return number;
}

// A label of its own follows the marker's number; "标记 N" carries it already.
void CurveGraphic::drawMarker(const PlotMarker &marker, bool numberedLabel)
{
    m_markers->add(marker, numberedLabel
                               ? marker.label
                               : QStringLiteral("%1 %2").arg(marker.number).arg(marker.label));
}

void CurveGraphic::setLegendShown(bool shown)
{
    ui->graphic->legend->setVisible(shown);
    QSettings().setValue(kLegendKey, shown);
    ui->graphic->replot(QCustomPlot::rpQueuedReplot);
}

void CurveGraphic::setFitShown(bool fit)
{
    m_fitShown = fit;
    QSettings().setValue(kFitShownKey, fit);
}

bool CurveGraphic::savePicture(const QString &path, QString &error)
{
    const QFileInfo file(path);
    const QString suffix = file.suffix().toLower();
    QCustomPlot *plot = ui->graphic;
    const bool jpg = suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg");
    const bool plotSaved = suffix == QLatin1String("pdf") ? plot->savePdf(path)
                           : jpg                          ? plot->saveJpg(path)
                                                          : plot->savePng(path);
    const QString stem = file.dir().filePath(file.completeBaseName());
    const bool viewsSaved =
        ui->vectorGraph->grabFramebuffer().save(stem + QStringLiteral("-vectors.png")) &&
        ui->planeGraph->grabFramebuffer().save(stem + QStringLiteral("-plane.png"));
    if (plotSaved && viewsSaved)
        return true;
    error = tr("图像未能保存：%1").arg(QDir::toNativeSeparators(path));
    return false;
}

bool CurveGraphic::saveShown(const QString &path, QString &error)
{
    constexpr double kEverywhere = std::numeric_limits<double>::max();
    const QCPRange keys =
        m_zoomed ? ui->graphic->xAxis->range() : QCPRange(-kEverywhere, kEverywhere);
    const QList<ShownFrame> frames = ShownData::collect(
        *ui->graphic, int(m_sensorSum), keys, [this](double key) { return frameStamp(key); });
    if (frames.isEmpty()) {
        error = tr("没有可保存的数据");
        return false;
    }
    // A review's frames have no date and time of their own here.
    if (ShownData::write(path, frames, markers(), !m_review, error))
        return true;
    error = tr("数据未能保存：%1（%2）").arg(QDir::toNativeSeparators(path), error);
    return false;
}

void CurveGraphic::askSavePicture()
{
    const QString path = askFileName(tr("保存图像"), QStringLiteral("eskin-curves-"),
                                     {{tr("PNG 图像 (*.png)"), QStringLiteral("png")},
                                      {tr("PDF 文档 (*.pdf)"), QStringLiteral("pdf")},
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
    m_markers = std::make_unique<PlotMarkers>(ui->graphic);
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
    m_markers->setVisible(true);
    std::swap(m_series, m_liveSeries);
    m_liveSeries = {};
    m_sampleCounter = m_liveCounter;
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
            m_series[std::size_t(s)].append(double(i), frame.readings[std::size_t(s)]);
    }
    for (SensorSeries &stored : m_series)
        stored.dropBefore(double(first));
    m_sampleCounter = double(index);

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

// The file's markers on the shown frames, numbered and labelled as in the file; a marker placed
// with "标记" carries its number in its label already.
void CurveGraphic::showReviewMarkers()
{
    m_markers->clear();
    for (const RecordMarker &marker : m_review->shownMarkers())
        drawMarker({marker.number, marker.label, double(marker.frameIndex)},
                   marker.label == tr("标记 %1").arg(marker.number));
    const double first = double(m_review->firstShown());
    const double last = double(m_review->cursor());
    for (const PlotMarker &marker : m_reviewMarkers) {
        if (marker.key >= first && marker.key <= last)
            drawMarker(marker, marker.label == tr("标记 %1").arg(marker.number));
    }
}
