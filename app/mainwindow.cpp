// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "analysiscontrol.h"
#include "cardmessagebox.h"
#include "curvegraphic.h"
#include "demarcate.h"
#include "elidinglabel.h"
#include "frequencychoice.h"
#include "linkstatusbar.h"
#include "mqttcontrol.h"
#include "myserialport.h"
#include "openfailuretext.h"
#include "portchoice.h"
#include "portreconnector.h"
#include "progresswait.h"
#include "recordingcontrol.h"
#include "reviewopener.h"
#include "sensortable.h"
#include "streamcontrol.h"
#include "windowplacement.h"
#include "workercall.h"
#include "workerthread.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(lcApp, "eskin.app")

constexpr int kCheckTickMs = 50;
constexpr int kCheckTicks = 100;
constexpr int kRequestWaitMs = 2000;
// The curve window takes at least this share of the screen's width and height.
constexpr double kCurveWindowScreenShare = 0.75;

// Option of sampleFreResult: which request the outcome belongs to.
enum ResultOption { FrequencyRead = 0, FrequencyWrite = 1, BaselineWrite = 2 };

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , languages(new LanguageSwitcher(this))
{
    // Installed before any text is set, so that every window starts in the remembered language.
    languages->apply(LanguageSwitcher::remembered());
    ui->setupUi(this);
    languages->attachActions(ui->actionLanguageChinese, ui->actionLanguageEnglish);
    setWindowIcon(QIcon(QStringLiteral(":/Images/Zenvik.ico")));

    curveGraphic = new CurveGraphic;
    demarcate = new Demarcate;

    registerDeviceRecordTypes();
    serial = new MySerialport;
    serialThread = new WorkerThread;
    serial->moveToThread(serialThread);
    connectWorker();
    serialThread->start();
    demarcate->setSerial(serial);

    linkPrefs = LinkPreferences::load();
    portChoice = new PortChoice(ui->SerialPortSelect, &linkPrefs, this);
    portChoice->followCard(serial);
    checkTimer = new QTimer;
    checkWait = new ProgressWait(this, kCheckTicks, kCheckTickMs);

    sensorTable = new SensorTable(ui->tableView, ui->lineSensorSum, this);
    sensorTable->restoreCount(linkPrefs.sensorCount);
    tellSensorCount(sensorTable->sensorSum());
    connect(sensorTable, &SensorTable::sensorSumShown, this, &MainWindow::tellSensorCount);
    connect(serial, &SlaveProtocol::slaveCheckRec, this, &MainWindow::CheckDataResult);
    connect(checkTimer, &QTimer::timeout, this, [this] { ++checkProgress; });

    fillFixedChoices();
    restoreBaudRate();
    portChoice->refreshSerialPorts();
    setUpPortFollowers();
    WidgetViewFlush();
    portChoice->startScanning();

    setAcceptDrops(true);
    reviewOpener = new ReviewOpener(curveGraphic, recordingControl, ui->actionCloseRecording, this);
    connect(ui->actionOpenRecording, &QAction::triggered, reviewOpener,
            &ReviewOpener::chooseAndOpen);
    connect(reviewOpener, &ReviewOpener::reviewStarted, this, &MainWindow::enterReview);
    connect(reviewOpener, &ReviewOpener::reviewEnded, this, &MainWindow::WidgetViewFlush);
    // Ctrl+O in the curve window too.
    curveGraphic->addAction(ui->actionOpenRecording);
    new AnalysisControl(ui->menu, curveGraphic, this);
}

MainWindow::~MainWindow()
{
    // An open cell editor commits its text while the base class tears the widgets down; the
    // validation must not run on a window that is half destroyed.
    delete sensorTable;
    sensorTable = nullptr;
    releaseOwned(false);
    delete ui;
}

void MainWindow::setExtraPorts(const QStringList &extraPorts)
{
    portChoice->setExtraPorts(extraPorts);
}

void MainWindow::preferPort(const QString &portName)
{
    portChoice->preferPort(portName);
}

void MainWindow::connectWorker()
{
    connect(serial, &SlaveProtocol::stampedFrame, curveGraphic, &CurveGraphic::setStampedData);
    // The curves break where the data stopped; the cause is named as a recording names it.
    connect(serial, &MySerialport::portLost, curveGraphic,
            [this] { curveGraphic->beginGap(QStringLiteral("port lost")); });
    connect(serial, &MySerialport::portClosed, curveGraphic,
            [this] { curveGraphic->beginGap(QStringLiteral("port closed")); });
    connect(serial, &MySerialport::portLost, this, &MainWindow::serialPortLostHandle);
    connect(serial, &SlaveProtocol::sampleFreResult, this, &MainWindow::SampleFreResult);
    connect(this, &MainWindow::serialOpen, serial, &MySerialport::openPort);
    connect(serial, &MySerialport::openFailed, this, &MainWindow::showOpenFailure);
    connect(this, &MainWindow::serialClose, serial, &MySerialport::closePort);
    connect(serial, &MySerialport::flushMainwindowsSerialView, this, &MainWindow::WidgetViewFlush);
    connect(this, &MainWindow::setSampleFre, serial, &SlaveProtocol::setSampleFre);
    connect(this, &MainWindow::checkDataWrite, serial, &SlaveProtocol::checkDataWrite);
    connect(serialThread, &QThread::finished, serial, &QObject::deleteLater);
}

// Each follows the port by the card's signals; the window tells them what the operator does.
// The link's fields come first in the status bar, then the recording's, the stream's and the
// broker's.
void MainWindow::setUpPortFollowers()
{
    linkStatus = new LinkStatusBar(ui->statusbar);
    connect(serial, &MySerialport::linkHealthChanged, linkStatus, &LinkStatusBar::showHealth);
    connect(serial, &MySerialport::cardReconnected, linkStatus,
            &LinkStatusBar::showReconnectedCard);
    linkStatus->showSensorCount(shownSensorSum);

    recordingControl = new RecordingControl(serial, serialThread, ui->menu,
                                            linkStatus->addPortLineField("statusRecord"), this);
    connect(serial, &MySerialport::portOpened, recordingControl, &RecordingControl::portOpened);
    connect(serial, &MySerialport::portClosed, recordingControl, &RecordingControl::portClosed);
    // The curve window's "标记" (M), here too; its markers go into the recording and the stream.
    ui->menu->addAction(curveGraphic->markerAction());
    connect(curveGraphic, &CurveGraphic::markerAdded, recordingControl,
            &RecordingControl::writeMarker);

    streamControl =
        new StreamControl(serial, ui->menu, linkStatus->addPortLineField("statusServe"), this);
    connect(curveGraphic, &CurveGraphic::markerAdded, streamControl, &StreamControl::sendMarker);
    mqttControl =
        new MqttControl(serial, ui->menu, linkStatus->addPortLineField("statusMqtt"), this);
    connect(curveGraphic, &CurveGraphic::markerAdded, mqttControl, &MqttControl::sendMarker);

    reconnector = portChoice->reconnector();
    connect(reconnector, &PortReconnector::waitChanged, linkStatus, &LinkStatusBar::showWait);
    connect(reconnector, &PortReconnector::waitChanged, recordingControl,
            [this] { recordingControl->portAwaited(reconnector->isWaiting()); });

    actionAutoReconnect = ui->menu->addAction(tr("自动重连"));
    actionAutoReconnect->setObjectName(QStringLiteral("actionAutoReconnect"));
    actionAutoReconnect->setCheckable(true);
    actionAutoReconnect->setChecked(linkPrefs.autoReconnect);
    connect(actionAutoReconnect, &QAction::toggled, portChoice, &PortChoice::setAutoReconnect);

    actionFollowCardSensors = ui->menu->addAction(tr("传感器数跟随驱动卡"));
    actionFollowCardSensors->setObjectName(QStringLiteral("actionFollowCardSensors"));
    actionFollowCardSensors->setCheckable(true);
    connect(actionFollowCardSensors, &QAction::toggled, this, &MainWindow::setFollowCardSensors);
    actionFollowCardSensors->setChecked(linkPrefs.followCardSensors);
    connect(serial, &MySerialport::linkHealthChanged, this, &MainWindow::noteCardSensors);
}

// The replayed frame has been sent just before; it reaches the curves within a frame or two.
void MainWindow::showReplayedMarker(int, const QString &label)
{
    if (curveGraphic)
        curveGraphic->addMarker(label);
}

void MainWindow::fillFixedChoices()
{
    for (int baud : baudRateTable)
        ui->BandSelect->addItem(QString::number(baud));
    baudIndex = 0;
    ui->BandSelect->setCurrentIndex(0);
    frequencyChoice = new FrequencyChoice(ui->SampleFreSelect, this);
}

bool MainWindow::portOpen() const
{
    // After shutdown has begun the driver-card object is gone, and the port counts as closed.
    return serial && serial->isPortOpen();
}

// ---- Serial port --------------------------------------------------------------------------------

void MainWindow::on_SerialPortSelect_currentIndexChanged(int index)
{
    portChoice->choose(index);
}

void MainWindow::on_BandSelect_currentIndexChanged(int index)
{
    baudIndex = index;
}

void MainWindow::on_btnSerialOpen_clicked()
{
    qCDebug(lcApp) << "com band indedx : " << baudIndex;
    if (reviewing())
        return;
    reconnector->stopWaiting();
    linkStatus->clearReconnectedCard();
    if (portChoice->isEmpty()) {
        QMessageBox::critical(this, tr("错误信息"), tr("没有检测到串口"));
        return;
    }
    const int baud = baudRateTable.at(std::size_t(qBound(0, baudIndex, 2)));
    const QString port = portChoice->selectedPort();
    if (!portOpen())
        portChoice->noteOpenAttempt(port);
    emit serialOpen(port, baud);
}

void MainWindow::openSelectedPort()
{
    on_btnSerialOpen_clicked();
}

// A review keeps every port control disabled; the port it closed may still be closing.
void MainWindow::WidgetViewFlush()
{
    const bool open = portOpen();
    const bool review = reviewing();
    ui->btnRead->setEnabled(open && !review);
    ui->btnWrite->setEnabled(open && !review);
    ui->btnCheck->setEnabled(open && !review);
    ui->SampleFreSelect->setEnabled(open && !review);
    // Closed, or opened and not yet answered: the card's rate is not known.
    if (frequencyChoice && serial && serial->freIndex() < 0)
        frequencyChoice->showUnknown();
    ui->btnSerialOpen->setText(open ? tr("关闭") : tr("打开"));
    ui->btnSerialOpen->setEnabled(!review);
    ui->BandSelect->setEnabled(!open && !review);
    ui->SerialPortSelect->setEnabled(!open && !review);
    // Along with the controls, so that the status bar never tells another state.
    if (linkStatus)
        linkStatus->showPortState(open);
}

// The worker goes on without waiting for this box.
void MainWindow::showOpenFailure(const QString &portName, int error, const QString &errorString)
{
    qCDebug(lcApp) << "open failed:" << portName << error << errorString;
    const QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Critical, tr("错误信息"),
                                                      tr("串口打开失败"), QMessageBox::Ok, this);
    box->setInformativeText(openFailureDetail(portName, error, errorString,
                                              probePortAccess(PortList::location(portName))));
    CardMessageBox::exec(box, CardMessageBox::WhenBusy::Replace);
}

// With reconnection on, the port is closed as after any loss, but quietly: it is opened again
// once it is back.
void MainWindow::serialPortLostHandle()
{
    const bool awaited = reconnector->takeLostPort();
    emit serialClose();
    WidgetViewFlush();
    if (!awaited)
        CardMessageBox::show(QMessageBox::Critical, this, tr("错误信息"), tr("串口丢失"),
                             CardMessageBox::WhenBusy::Replace);
}

void MainWindow::setFollowCardSensors(bool on)
{
    if (linkPrefs.followCardSensors != on) {
        linkPrefs.followCardSensors = on;
        linkPrefs.save();
    }
    sensorTable->setFollowCard(on);
}

void MainWindow::noteCardSensors(const LinkHealth &health)
{
    // A snapshot sent just before the port closed tells nothing of the next card.
    sensorTable->noteCardSensors(portOpen() ? health.sensorCount : -1);
}

void MainWindow::restoreBaudRate()
{
    const auto baud = std::find(baudRateTable.begin(), baudRateTable.end(), linkPrefs.baudRate);
    if (baud != baudRateTable.end())
        ui->BandSelect->setCurrentIndex(int(baud - baudRateTable.begin()));
}

// ---- Other windows ------------------------------------------------------------------------------

void MainWindow::on_btnGraphic_clicked(bool)
{
    if (!curveGraphic || curveGraphic->isVisible())
        return;
    // Large enough to show its data, over the main window where the screen is not wide enough.
    WindowPlacement::placeBeside(curveGraphic, this, kCurveWindowScreenShare);
    curveGraphic->setWindowTitle(QStringLiteral("Graph"));
    curveGraphic->show();
}

void MainWindow::on_actDemarcate_triggered()
{
    if (!demarcate || demarcate->isVisible())
        return;
    WindowPlacement::placeBeside(demarcate, this);
    demarcate->setWindowTitle(tr("标定"));
    demarcate->show();
}

// ---- Review of a recording ---------------------------------------------------------------------

bool MainWindow::reviewing() const
{
    return reviewOpener && reviewOpener->isReviewing();
}

bool MainWindow::openRecording(const QString &path)
{
    return reviewOpener->open(path);
}

void MainWindow::closeRecording()
{
    reviewOpener->close();
}

void MainWindow::showRecordingWarnings(const QStringList &warnings)
{
    ReviewOpener::showWarnings(this, warnings);
}

// The port gives way to the review; the timeline's keys work at once.
void MainWindow::enterReview()
{
    reconnector->stopWaiting();
    if (portOpen())
        emit serialClose();
    WidgetViewFlush();
    on_btnGraphic_clicked(false);
    curveGraphic->raise();
    curveGraphic->activateWindow();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!ReviewOpener::droppedRecording(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QString path = ReviewOpener::droppedRecording(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // The drag ends before the file is checked.
    QMetaObject::invokeMethod(
        this, [this, path] { openRecording(path); }, Qt::QueuedConnection);
}

// ---- Language ----------------------------------------------------------------------------------

void MainWindow::useLanguage(UiLanguage language)
{
    languages->apply(language);
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QMainWindow::changeEvent(event);
}

void MainWindow::retranslate()
{
    ui->retranslateUi(this);
    if (sensorTable)
        sensorTable->retranslate();
    if (frequencyChoice)
        frequencyChoice->retranslate();
    WidgetViewFlush();
    if (actionAutoReconnect)
        actionAutoReconnect->setText(tr("自动重连"));
    if (actionFollowCardSensors)
        actionFollowCardSensors->setText(tr("传感器数跟随驱动卡"));
}

// ---- Shutdown -----------------------------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent *event)
{
    releaseOwned(true);
    event->accept();
}

void MainWindow::releaseOwned(bool fromCloseEvent)
{
    if (serialThread) {
        // The worker never waits for this thread, and a request waiting for the card's answer
        // gives up when asked to: the wait ends at once, whatever the worker was doing.
        serialThread->end();
        delete serialThread;
        serialThread = nullptr;
        // The thread's end has deleted the driver-card object, and the record writer with it.
        serial = nullptr;
        if (recordingControl)
            recordingControl->workerStopped();
        // Results the worker queued before it stopped refer to a port that no longer exists.
        QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    }
    if (portChoice)
        portChoice->stopScanning();
    delete checkTimer;
    checkTimer = nullptr;
    if (curveGraphic) {
        curveGraphic->close();
        delete curveGraphic;
        curveGraphic = nullptr;
    }
    if (demarcate && fromCloseEvent) {
        // A calibration run may be further up this stack, inside its progress dialog's event
        // processing: the dialog goes once control is back in the event loop, or with this
        // window, whichever comes first.
        demarcate->close();
        demarcate->deleteLater();
    } else {
        delete demarcate;
    }
}

// ---- Sensor table -------------------------------------------------------------------------------

void MainWindow::tellSensorCount(int count)
{
    if (demarcate)
        demarcate->setSensorSum(uint(count));
    if (curveGraphic)
        curveGraphic->setSensorSum(uint(count));
    shownSensorSum = count;
    if (linkStatus)
        linkStatus->showSensorCount(count);
    if (linkPrefs.sensorCount != count) {
        linkPrefs.sensorCount = count;
        linkPrefs.save();
    }
}

void MainWindow::showCheckData()
{
    if (serial)
        sensorTable->showCheckData(serial->sensorCount(), serial->demarcateSums());
}

void MainWindow::on_lineSensorSum_editingFinished()
{
    if (sensorTable)
        sensorTable->countEntered();
}

// ---- Baseline read, check and write -------------------------------------------------------------

void MainWindow::on_btnRead_clicked()
{
    if (!portOpen()) {
        QMessageBox::information(this, tr("提示"), tr("请打开通信接口"));
        return;
    }
    QMetaObject::invokeMethod(serial, "readCheckData", Qt::AutoConnection);
}

void MainWindow::CheckDataResult(bool ok)
{
    if (!ok) {
        CardMessageBox::show(QMessageBox::Information, this, tr("系统提示"),
                             tr("基准数据读取失败"));
        return;
    }
    showCheckData();
    CardMessageBox::show(QMessageBox::Information, this, tr("系统提示"), tr("基准数据读取成功"));
}

void MainWindow::on_btnCheck_clicked()
{
    checkProgress = 0;
    checkTimer->start(kCheckTickMs);
    ui->btnRead->setEnabled(false);
    ui->btnWrite->setEnabled(false);
    const bool complete = runCheck();
    // The window may have been closed while the check ran: then there is nothing to report.
    if (!checkTimer || !serial)
        return;
    checkTimer->stop();
    if (complete) {
        showCheckData();
        QMessageBox::information(this, tr("系统提示"), tr("校准数据获取完成"));
    } else {
        QMessageBox::warning(this, tr("提示"), tr("校准数据获取失败"));
    }
    // Follow the port: it may have been lost during the check.
    WidgetViewFlush();
}

// Runs the check's five seconds; true when they ran out with the port open and no cancel. The
// card has been told to stop sampling on every path before this returns.
bool MainWindow::runCheck()
{
    // The window may be closed meanwhile: its worker is then gone.
    const ProgressWait::Steps steps{[this] { return invokeSetChecking(true); },
                                    [this] { return checkProgress; }, [this] { return portOpen(); },
                                    [this] { return invokeSetChecking(false); },
                                    [this] {
                                        return serial == nullptr;
                                    }};
    checkWait->setTexts(tr("校准"), tr("正在获取校准数据..."), tr("取消"));
    return checkWait->run(steps) == ProgressWait::End::Reached;
}

// Waits until the worker has carried it out, so that the sums are settled when this returns
// true; false when the worker did not take it in time or is gone.
bool MainWindow::invokeSetChecking(bool check)
{
    MySerialport *card = serial;
    return card && callInWorker(card, [card, check] { card->setChecking(check); });
}

void MainWindow::on_btnWrite_clicked()
{
    const auto answer = QMessageBox::question(this, tr("提示"), tr("确定写入吗?"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    QList<AxitSingle_t> rows = sensorTable->tickedRows();
    if (rows.isEmpty()) {
        QMessageBox::information(this, tr("提示"), tr("没有选择要校准的传感器"));
        return;
    }
    emit checkDataWrite(rows);
}

// ---- Sample frequency and request outcomes ------------------------------------------------------

void MainWindow::on_SampleFreSelect_currentIndexChanged(int index)
{
    // An emptied selection (index -1) is not a frequency the card could be asked for.
    if (index < 0 || !portOpen() || index == serial->freIndex())
        return;
    frequencyChoice->choose(index);
    emit setSampleFre(uint(index), kRequestWaitMs);
}

void MainWindow::SampleFreResult(int option, int res, int param)
{
    switch (option) {
    case FrequencyRead:
        if (res >= 0) {
            frequencyChoice->show(param);
            break;
        }
        frequencyChoice->showUnknown();
        CardMessageBox::show(QMessageBox::Critical, this, tr("错误信息"),
                             tr("获取驱动卡采样频率失败"));
        break;
    case FrequencyWrite:
        // A refusing card runs its former rate still: shown again, and the same choice can be
        // made again. After a time-out the card's rate is unknown, and the choice stays.
        if (res == kStatusFailed && serial)
            frequencyChoice->show(serial->freIndex());
        reportOutcome(res, tr("采样频率设置成功"), tr("采样频率设置失败"));
        break;
    case BaselineWrite:
        reportOutcome(res, tr("写入成功"), tr("失败失败"));
        break;
    default:
        break;
    }
}

void MainWindow::reportOutcome(int res, const QString &done, const QString &refused)
{
    const QString text = res == kStatusDone     ? done
                         : res == kStatusFailed ? refused
                                                : tr("通信超时");
    CardMessageBox::show(QMessageBox::Information, this, tr("提示"), text);
}
