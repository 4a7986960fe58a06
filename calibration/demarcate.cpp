// SPDX-License-Identifier: GPL-3.0-or-later
#include "demarcate.h"
#include "ui_demarcate.h"

#include "cardmessagebox.h"
#include "checkboxdelegate.h"
#include "myserialport.h"
#include "pointtable.h"
#include "pressurelists.h"
#include "pressuretext.h"
#include "tablecells.h"

#include <QDebug>
#include <QHeaderView>
#include <QMessageBox>
#include <QStandardItemModel>

#include <QLoggingCategory>
#include <QScopedValueRollback>
#include <algorithm>
#include <optional>

namespace {

Q_LOGGING_CATEGORY(lcCalibration, "eskin.calibration")

constexpr int kTickColumnWidth = 70;
constexpr int kPendingPressureWidth = 100;
constexpr int kPendingRowHeight = 30;

constexpr int kTickColumn = 0;
constexpr int kWrittenPressureColumn = 1;
constexpr int kPendingPressureColumn = 0;
constexpr int kSinglePressureColumn = 1;

// demarcateOperationResult tells the request it answers by the request's command code.
constexpr int kOptionRemoveAllPoints = CmdRemoveAllPoints;
constexpr int kOptionSingleWrite = CmdSingleWrite;
constexpr int kOptionSingleRemoveAll = CmdSingleRemoveAll;

bool isAxis(int axis)
{
    return axis >= 0 && axis < kAxisCount;
}

bool isSensor(int sensor)
{
    return sensor >= 0 && sensor < kMaxSensors;
}

qint32 axisSum(const AxitSum_t &sum, int axis)
{
    switch (axis) {
    case 0:
        return sum.x;
    case 1:
        return sum.y;
    default:
        return sum.z;
    }
}

// Averages truncate toward zero, as the card's own arithmetic does.
QString average(const AxitSum_t &sum, int axis)
{
    return QString::number(axisSum(sum, axis) / int(CalibrationRun::kSamples));
}

} // namespace

Demarcate::Demarcate(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::Demarcate>())
{
    ui->setupUi(this);
    setUpWrittenTable();
    setUpPendingTable();
    setUpSingleTable();
    fillChoices();
    m_pointAxis = 0;
    retitleWrittenGroup();
    m_single = {0, 0};
    m_hasSingleList = true;
    m_run = new CalibrationRun(this);
    connect(m_run, &CalibrationRun::timedOut, this, &Demarcate::demarcateProgressTimerout);
}

Demarcate::~Demarcate() = default;

void Demarcate::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

// The form's texts, then those that follow the dialog's state. Only the fixed columns' headers
// are words; the sensor columns are numbered.
void Demarcate::retranslate()
{
    ui->retranslateUi(this);
    retitleWrittenGroup();
    retitleSingleGroup();
    m_readModel->setHorizontalHeaderLabels({tr("选择"), tr("压力")});
    m_writeModel->setHorizontalHeaderLabels({tr("压力")});
    m_singleModel->setHorizontalHeaderLabels(singleHeaderLabels());
    m_run->retranslate();
    followPort();
}

QStringList Demarcate::singleHeaderLabels()
{
    return {tr("选择"), tr("压力"), tr("标定值")};
}

void Demarcate::retitleWrittenGroup()
{
    if (isAxis(m_pointAxis))
        ui->writtenGroupBox->setTitle(
            tr("%1轴已写入数据").arg(QLatin1String(kAxisNames[m_pointAxis])));
}

void Demarcate::retitleSingleGroup()
{
    ui->singleReadGroupBox->setTitle(
        tr("传感器%1-%2轴已写入标定信息")
            .arg(ui->sensorIdSelect->currentText(), ui->comSingleAxitSelect->currentText()));
}

void Demarcate::setUpWrittenTable()
{
    m_readModel = new QStandardItemModel(ui->readTable);
    m_readModel->setHorizontalHeaderLabels({tr("选择"), tr("压力"), QStringLiteral("0")});
    ui->readTable->setModel(m_readModel);
    ui->readTable->horizontalHeader()->setStretchLastSection(true);
    ui->readTable->setColumnWidth(kTickColumn, kTickColumnWidth);
    ui->readTable->verticalHeader()->hide();
    ui->readTable->setItemDelegateForColumn(kTickColumn, new CheckBoxDelegate(0, this));
    connect(m_readModel, &QStandardItemModel::dataChanged, this,
            &Demarcate::readTableCellDataChange);
    m_pointTable = new PointTable(m_readModel, this);
}

void Demarcate::setUpPendingTable()
{
    m_writeModel = new QStandardItemModel(ui->writeTable);
    m_writeModel->setHorizontalHeaderLabels({tr("压力"), QStringLiteral("0")});
    ui->writeTable->setModel(m_writeModel);
    ui->writeTable->horizontalHeader()->setStretchLastSection(true);
    ui->writeTable->setColumnWidth(kPendingPressureColumn, kPendingPressureWidth);
    m_writeModel->setRowCount(1);
    ui->writeTable->setRowHeight(0, kPendingRowHeight);
    ui->writeTable->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    ui->writeTable->verticalHeader()->hide();
    ui->writeTable->setEditTriggers(QAbstractItemView::DoubleClicked);
    connect(m_writeModel, &QStandardItemModel::dataChanged, this,
            &Demarcate::writeTableCellDataChange);
}

void Demarcate::setUpSingleTable()
{
    m_singleModel = new QStandardItemModel(ui->singleReadTable);
    m_singleModel->setHorizontalHeaderLabels(singleHeaderLabels());
    ui->singleReadTable->setModel(m_singleModel);
    ui->singleReadTable->horizontalHeader()->setStretchLastSection(true);
    ui->singleReadTable->setColumnWidth(kTickColumn, kTickColumnWidth);
    ui->singleReadTable->verticalHeader()->hide();
    ui->singleReadTable->setItemDelegateForColumn(kTickColumn, new CheckBoxDelegate(0, this));
    ui->singleReadTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(m_singleModel, &QStandardItemModel::dataChanged, this,
            &Demarcate::singleReadTableCellDataChange);
}

// The index-change slots fire as the first items arrive and set up both tabs' selections.
void Demarcate::fillChoices()
{
    for (const char *axis : kAxisNames) {
        ui->comAxitSelect->addItem(QString::fromLatin1(axis));
        ui->comSingleAxitSelect->addItem(QString::fromLatin1(axis));
    }
    ui->sensorIdSelect->addItem(QStringLiteral("1"));
}

void Demarcate::setSerial(MySerialport *serial)
{
    if (m_serial) {
        disconnect(m_serial, nullptr, this, nullptr);
        disconnect(this, &Demarcate::demarcateSingleRemove, m_serial, nullptr);
    }
    registerDeviceRecordTypes();
    m_serial = serial;
    m_run->setCard(serial);
    followPort();
    if (!serial)
        return;
    connect(serial, &MySerialport::flushMainwindowsSerialView, this, &Demarcate::followPort);
    connect(serial, &SlaveProtocol::demarcateInfo, this, &Demarcate::demarcateInfoReadResult);
    connect(serial, &SlaveProtocol::demarcateOperationResult, this,
            &Demarcate::demarcateOperationResult);
    connect(serial, &SlaveProtocol::demarcateRemoveResult, this, &Demarcate::demarcateRemoveResult);
    connect(serial, &SlaveProtocol::demarcateSingleRemoveResult, this,
            &Demarcate::demarcateSingleRemoveResult);
    connect(serial, &SlaveProtocol::demarcateSingleReadInfo, this,
            &Demarcate::demarcateSingleReadResult);
    connect(this, &Demarcate::demarcateSingleRemove, serial, &SlaveProtocol::demarcateSingleRemove);
}

// The port's state is read where it is kept, in the driver-card object, each time the worker
// reports that it changed.
void Demarcate::followPort()
{
    const bool open = m_serial && m_serial->isPortOpen();
    const QString why = open ? QString() : tr("请打开通信接口");
    for (QPushButton *run : {ui->btnDemarcate, ui->btnSingleDemarcate}) {
        run->setEnabled(open);
        run->setToolTip(why);
    }
}

void Demarcate::setSensorSum(uint sum)
{
    // The tables and lists have room for 16 sensors.
    const int count = int(std::min<uint>(sum, kMaxSensors));
    resizeSensorColumns(m_writeModel, m_writeSensorColumns, count);
    resizeSensorColumns(m_readModel, m_readSensorColumns, count);
    m_pointTable->setSensorColumns(m_readSensorColumns);
    resizeSensorChoice(count);
}

void Demarcate::resizeSensorColumns(QStandardItemModel *model, int &sensorColumns, int sum)
{
    const int columns = model->columnCount();
    if (sum < sensorColumns) {
        model->setColumnCount(columns - (sensorColumns - sum));
    } else if (sum > sensorColumns) {
        model->setColumnCount(columns + (sum - sensorColumns));
        for (int sensor = sensorColumns; sensor < sum; ++sensor)
            model->setHorizontalHeaderItem(columns + sensor - sensorColumns,
                                           new QStandardItem(QString::number(sensor)));
    }
    sensorColumns = sum;
}

void Demarcate::resizeSensorChoice(int sum)
{
    for (int k = ui->sensorIdSelect->count() + 1; k <= sum; ++k)
        ui->sensorIdSelect->addItem(QString::number(k));
    while (ui->sensorIdSelect->count() > sum)
        ui->sensorIdSelect->removeItem(ui->sensorIdSelect->count() - 1);
}

// ---- Requests ------------------------------------------------------------------------------

void Demarcate::demarcateProgressTimerout()
{
    m_run->cancel();
}

bool Demarcate::invokeQueued(const char *method, QGenericArgument a0, QGenericArgument a1,
                             QGenericArgument a2, QGenericArgument a3)
{
    if (!m_serial) {
        qCDebug(lcCalibration) << "no driver card for" << method;
        return false;
    }
    const bool sent =
        QMetaObject::invokeMethod(m_serial, method, Qt::AutoConnection, a0, a1, a2, a3);
    if (!sent)
        qCDebug(lcCalibration) << "request not delivered:" << method;
    return sent;
}

// ---- Array tab ------------------------------------------------------------------------------

void Demarcate::on_btnDemarcate_clicked()
{
    Sums sums{};
    if (!m_run->run(QT_TR_NOOP("校准"), QT_TR_NOOP("标定失败！！！"), sums))
        return;
    fillPendingRow(sums, m_pointAxis);
    informAnswer(tr("系统提示"), tr("标定成功"));
}

// The run's result as the row to be written: pressure 0.00, then the average of each sensor
// on the selected axis (0 for a sensor the card did not report: its sum stayed zero).
void Demarcate::fillPendingRow(const Sums &sums, int axis)
{
    const QScopedValueRollback<bool> filling(m_filling, true);
    m_writeModel->setData(m_writeModel->index(0, kPendingPressureColumn),
                          PressureText::formatHundredths(0));
    for (int sensor = 0; sensor < m_writeSensorColumns; ++sensor)
        m_writeModel->setData(m_writeModel->index(0, kPendingPressureColumn + 1 + sensor),
                              average(sums[sensor], axis));
}

// A card that stored array points would need a request that takes one point (axis, pressure
// and one value per sensor) and answers with a status; the card object offers none, so the
// pending row is only edited and checked here.
void Demarcate::on_btnWrite_clicked() {}

void Demarcate::on_comAxitSelect_currentIndexChanged(int index)
{
    if (!isAxis(index))
        return;
    m_pointAxis = index;
    retitleWrittenGroup();
}

void Demarcate::on_btnRead_clicked()
{
    // Emptied at once, so that an axis without points on the card shows none.
    m_pointTable->startRead(m_pointAxis);
    invokeQueued("readDemarcateInfo", Q_ARG(int, m_pointAxis));
}

void Demarcate::demarcateInfoReadResult(int type, short pressure, QList<short> &info)
{
    if (!isAxis(type)) {
        CardMessageBox::show(QMessageBox::Warning, this, tr("提示"), tr("指定轴有误"));
        return;
    }
    if (info.isEmpty()) {
        m_pointTable->showReported(type);
        return;
    }
    demarcateInfoUnit_t point{};
    point.num = qint16(std::min<qsizetype>(info.size(), kMaxSensors));
    point.pressure = pressure;
    std::copy_n(info.cbegin(), point.num, point.info);
    m_pointTable->take(type, point);
}

// Ticks belong to the rows shown, which may be another axis's than the one now selected.
void Demarcate::on_btnRemove_clicked()
{
    const int axis = m_pointTable->shownAxis();
    QList<short> pressures = m_pointTable->tickedPressures();
    invokeQueued("demarcateRemove", Q_ARG(int, axis), Q_ARG(QList<short> &, pressures));
}

void Demarcate::demarcateRemoveResult(int res, int xyz, QList<short> &list)
{
    if (res != kStatusDone) {
        informAnswer(tr("错误信息"), tr("删除驱动卡指定的标定数据失败"));
        return;
    }
    if (isAxis(xyz))
        m_pointTable->remove(xyz, list);
}

void Demarcate::on_btnRemoveAll_clicked()
{
    invokeQueued("demarcateRemoveAll");
}

void Demarcate::demarcateOperationResult(int option, int res, int param)
{
    Q_UNUSED(param)
    switch (option) {
    case kOptionRemoveAllPoints:
        answerRemoveAll(res);
        break;
    case kOptionSingleWrite:
        answerSingleWrite(res);
        break;
    case kOptionSingleRemoveAll:
        answerSingleRemoveAll(res);
        break;
    default:
        break;
    }
}

// Any status but 0 means the card kept its points (1 is its "failed"), so the lists stay.
void Demarcate::answerRemoveAll(int res)
{
    if (res != kStatusDone) {
        informAnswer(tr("错误信息"), tr("删除驱动卡标定数据失败"));
        return;
    }
    m_pointTable->clearAll(m_pointAxis);
}

void Demarcate::readTableCellDataChange(QModelIndex topLeft, QModelIndex bottomRight,
                                        QList<int> roles)
{
    Q_UNUSED(roles)
    if (!m_pointTable->isFilling())
        m_entries.checkCell(m_readModel, topLeft, bottomRight, kWrittenPressureColumn);
}

void Demarcate::writeTableCellDataChange(QModelIndex topLeft, QModelIndex bottomRight,
                                         QList<int> roles)
{
    Q_UNUSED(roles)
    if (!m_filling)
        m_entries.checkCell(m_writeModel, topLeft, bottomRight, kPendingPressureColumn);
}

// ---- Single-point tab -----------------------------------------------------------------------

void Demarcate::on_sensorIdSelect_currentIndexChanged(int index)
{
    Q_UNUSED(index)
    selectSingleList();
}

void Demarcate::on_comSingleAxitSelect_currentIndexChanged(int index)
{
    Q_UNUSED(index)
    selectSingleList();
}

void Demarcate::selectSingleList()
{
    const SingleTarget choice = singleChoice();
    if (isAxis(choice.axis) && isSensor(choice.sensor)) {
        m_single = choice;
        m_hasSingleList = true;
    }
    retitleSingleGroup();
    refillSingleTable();
}

Demarcate::SingleTarget Demarcate::singleChoice() const
{
    return {ui->comSingleAxitSelect->currentIndex(), ui->sensorIdSelect->currentIndex()};
}

// The card's pairs are shown as they are, never checked like the operator's entries.
void Demarcate::refillSingleTable()
{
    if (!m_hasSingleList)
        return;
    const QScopedValueRollback<bool> filling(m_filling, true);
    const QList<singleDemarcateInfoUnit_t> &pairs = m_singlePoints[m_single.axis][m_single.sensor];
    m_singleModel->setRowCount(int(pairs.size()));
    for (int row = 0; row < pairs.size(); ++row) {
        const singleDemarcateInfoUnit_t pair = pairs.at(row);
        qCDebug(lcCalibration) << "single read Table:" << row << quint16(pair.pressure)
                               << quint16(pair.value);
        m_singleModel->setItem(row, 0, TableCells::tickItem());
        m_singleModel->setItem(row, 1,
                               TableCells::centred(TableCells::cardPressure(pair.pressure)));
        m_singleModel->setItem(row, 2, TableCells::centred(TableCells::cardValue(pair.value)));
    }
}

void Demarcate::on_btnSingleDemarcate_clicked()
{
    Sums sums{};
    if (!m_run->run(QT_TR_NOOP("单点标定"), QT_TR_NOOP("单点标定失败！！！"), sums))
        return;
    const SingleTarget choice = singleChoice();
    if (isAxis(choice.axis) && isSensor(choice.sensor))
        ui->ltxtSingleDemarcate->setText(average(sums[choice.sensor], choice.axis));
    informAnswer(tr("系统提示"), tr("单点标定成功"));
}

void Demarcate::on_btnSingleWrite_clicked()
{
    bool isNumber = false;
    const int value = ui->ltxtSingleDemarcate->text().toInt(&isNumber, 10);
    if (!isNumber) {
        inform(tr("提示"), tr("请“单点标定”后再写入"));
        return;
    }
    const std::optional<PressureText> pressure =
        PressureText::parse(ui->ltxtSinglePressure->text());
    if (!pressure) {
        inform(tr("提示"), tr("请输入标定的压力值"));
        return;
    }
    // A field whose editing never finished has not been checked yet; nothing out of range may
    // be cut down to 16 bits on its way to the card.
    if (!m_entries.checkValueField(ui->ltxtSingleDemarcate))
        return;
    if (!pressure->inRange()) {
        m_entries.warnPressureRange();
        ui->ltxtSinglePressure->setText(PressureText::formatHundredths(0));
        return;
    }
    const SingleTarget target = singleChoice();
    if (!isAxis(target.axis) || !isSensor(target.sensor))
        return;
    const singleDemarcateInfoUnit_t pair{qint16(pressure->truncatedHundredths()), qint16(value)};
    if (invokeQueued("demarcateSingleWrite", Q_ARG(int, target.axis), Q_ARG(int, target.sensor),
                     Q_ARG(short, pair.pressure), Q_ARG(short, pair.value)))
        m_pendingWrites.push_back({target, pair});
}

// The pair goes into the list of the sensor and axis it was written for, whatever is
// selected now.
void Demarcate::answerSingleWrite(int res)
{
    if (m_pendingWrites.empty()) {
        qCDebug(lcCalibration) << "single write answer without a request:" << res;
        return;
    }
    const PendingWrite write = m_pendingWrites.front();
    m_pendingWrites.pop_front();
    if (res == kStatusDone) {
        PressureLists::merge(m_singlePoints[write.target.axis][write.target.sensor], write.pair);
        refillSingleTable();
    } else if (res == kStatusStorageFull) {
        informAnswer(tr("错误信息"), tr("标定数据空间已写满，请先删除，再写入"));
    } else {
        informAnswer(tr("错误信息"), tr("标定数据写入失败"));
    }
}

void Demarcate::on_btnSingleRead_clicked()
{
    const SingleTarget choice = singleChoice();
    invokeQueued("demarcateSingleRead", Q_ARG(int, choice.axis), Q_ARG(int, choice.sensor));
}

void Demarcate::demarcateSingleReadResult(int xyz, int sensorId,
                                          QList<singleDemarcateInfoUnit_t> &list)
{
    if (!isAxis(xyz)) {
        informAnswer(tr("错误信息"), tr("单点数据读取有误"));
        return;
    }
    if (!isSensor(sensorId)) {
        qCDebug(lcCalibration) << "single read answer for sensor" << sensorId
                               << "ignored: no such sensor";
        return;
    }
    m_singlePoints[xyz][sensorId] = list;
    refillSingleTable();
}

void Demarcate::on_btnSingleRemove_clicked()
{
    const SingleTarget choice = singleChoice();
    QList<short> pressures;
    if (m_hasSingleList)
        pressures = TableCells::tickedPressures(m_singleModel,
                                                m_singlePoints[m_single.axis][m_single.sensor]);
    emit demarcateSingleRemove(choice.axis, choice.sensor, pressures);
}

// The answer names the list the card removed from, whatever is selected now.
void Demarcate::demarcateSingleRemoveResult(int res, int xyz, int sensorId, QList<short> &list)
{
    if (res != kStatusDone) {
        informAnswer(tr("错误信息"), tr("删除驱动卡指定的标定数据失败"));
    } else if (isAxis(xyz) && isSensor(sensorId)) {
        QList<singleDemarcateInfoUnit_t> &pairs = m_singlePoints[xyz][sensorId];
        for (short pressure : list) {
            if (!PressureLists::removeFirst(pairs, pressure))
                informAnswer(tr("错误信息"), tr("标定压力值“%1”删除失败").arg(pressure));
        }
    }
    refillSingleTable();
}

void Demarcate::on_btnSingleRemoveAll_clicked()
{
    const SingleTarget target = singleChoice();
    if (invokeQueued("demarcateSingleRemoveAll", Q_ARG(int, target.axis),
                     Q_ARG(int, target.sensor)))
        m_pendingClears.push_back(target);
}

void Demarcate::answerSingleRemoveAll(int res)
{
    if (m_pendingClears.empty()) {
        qCDebug(lcCalibration) << "single remove-all answer without a request:" << res;
        return;
    }
    const SingleTarget target = m_pendingClears.front();
    m_pendingClears.pop_front();
    if (res != kStatusDone) {
        informAnswer(tr("错误信息"), tr("删除驱动卡标定数据失败"));
        return;
    }
    if (isAxis(target.axis) && isSensor(target.sensor))
        m_singlePoints[target.axis][target.sensor].clear();
    refillSingleTable();
}

void Demarcate::singleReadTableCellDataChange(QModelIndex topLeft, QModelIndex bottomRight,
                                              QList<int> roles)
{
    Q_UNUSED(roles)
    if (!m_filling)
        m_entries.checkCell(m_singleModel, topLeft, bottomRight, kSinglePressureColumn);
}

void Demarcate::on_ltxtSingleDemarcate_editingFinished()
{
    m_entries.checkValueField(ui->ltxtSingleDemarcate);
}

void Demarcate::on_ltxtSinglePressure_editingFinished()
{
    m_entries.checkPressureField(ui->ltxtSinglePressure);
}

// ---- Boxes ---------------------------------------------------------------------------------

void Demarcate::inform(const QString &title, const QString &text)
{
    QMessageBox::information(this, title, text);
}

void Demarcate::informAnswer(const QString &title, const QString &text)
{
    CardMessageBox::show(QMessageBox::Information, this, title, text);
}
