// SPDX-License-Identifier: GPL-3.0-or-later
#include "singletab.h"
#include "ui_demarcate.h"

#include "calibrationrun.h"
#include "cardmessagebox.h"
#include "cardrequest.h"
#include "checkboxdelegate.h"
#include "entrychecks.h"
#include "pressurelists.h"
#include "pressuretext.h"
#include "slaveprotocol.h"
#include "tablecells.h"

#include <QHeaderView>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QStandardItemModel>

#include <optional>

namespace {

Q_LOGGING_CATEGORY(lcCalibration, "eskin.calibration")

constexpr int kTickColumn = 0;
constexpr int kTickColumnWidth = 70;
constexpr int kPressureColumn = 1;

bool isAxis(int axis)
{
    return axis >= 0 && axis < kAxisCount;
}

bool isSensor(int sensor)
{
    return sensor >= 0 && sensor < kMaxSensors;
}

} // namespace

SingleTab::SingleTab(Ui::Demarcate *form, QWidget *dialog, CalibrationRun *run,
                     EntryChecks *entries)
    : QObject(dialog)
    , ui(form)
    , m_dialog(dialog)
    , m_run(run)
    , m_entries(entries)
{
    setUpTable();
}

QStringList SingleTab::headerLabels()
{
    return {tr("选择"), tr("压力"), tr("标定值")};
}

void SingleTab::setUpTable()
{
    m_model = new QStandardItemModel(ui->singleReadTable);
    m_model->setHorizontalHeaderLabels(headerLabels());
    ui->singleReadTable->setModel(m_model);
    ui->singleReadTable->horizontalHeader()->setStretchLastSection(true);
    ui->singleReadTable->setColumnWidth(kTickColumn, kTickColumnWidth);
    ui->singleReadTable->verticalHeader()->hide();
    ui->singleReadTable->setItemDelegateForColumn(kTickColumn, new CheckBoxDelegate(0, m_dialog));
    ui->singleReadTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(m_model, &QStandardItemModel::dataChanged, this,
            &SingleTab::singleReadTableCellDataChange);
}

void SingleTab::retranslate()
{
    retitleGroup();
    m_model->setHorizontalHeaderLabels(headerLabels());
}

void SingleTab::retitleGroup()
{
    ui->singleReadGroupBox->setTitle(
        tr("传感器%1-%2轴已写入标定信息")
            .arg(ui->sensorIdSelect->currentText(), ui->comSingleAxitSelect->currentText()));
}

void SingleTab::setSensorSum(int sum)
{
    for (int k = ui->sensorIdSelect->count() + 1; k <= sum; ++k)
        ui->sensorIdSelect->addItem(QString::number(k));
    while (ui->sensorIdSelect->count() > sum)
        ui->sensorIdSelect->removeItem(ui->sensorIdSelect->count() - 1);
}

void SingleTab::selectList()
{
    const Target target = choice();
    if (isAxis(target.axis) && isSensor(target.sensor)) {
        m_current = target;
        m_hasList = true;
    }
    retitleGroup();
    refillTable();
}

SingleTab::Target SingleTab::choice() const
{
    return {ui->comSingleAxitSelect->currentIndex(), ui->sensorIdSelect->currentIndex()};
}

// The card's pairs are shown as they are, never checked like the operator's entries.
void SingleTab::refillTable()
{
    if (!m_hasList)
        return;
    const QScopedValueRollback<bool> filling(m_filling, true);
    const QList<singleDemarcateInfoUnit_t> &pairs = m_points[m_current.axis][m_current.sensor];
    m_model->setRowCount(int(pairs.size()));
    for (int row = 0; row < pairs.size(); ++row) {
        const singleDemarcateInfoUnit_t pair = pairs.at(row);
        qCDebug(lcCalibration) << "single read Table:" << row << quint16(pair.pressure)
                               << quint16(pair.value);
        m_model->setItem(row, 0, TableCells::tickItem());
        m_model->setItem(row, 1, TableCells::centred(TableCells::cardPressure(pair.pressure)));
        m_model->setItem(row, 2, TableCells::centred(TableCells::cardValue(pair.value)));
    }
}

void SingleTab::calibrate()
{
    CalibrationRun::Sums sums{};
    if (!m_run->run(QT_TRANSLATE_NOOP("Demarcate", "单点标定"),
                    QT_TRANSLATE_NOOP("Demarcate", "单点标定失败！！！"), sums))
        return;
    const Target target = choice();
    if (isAxis(target.axis) && isSensor(target.sensor))
        ui->ltxtSingleDemarcate->setText(
            QString::number(CalibrationRun::average(sums[target.sensor], target.axis)));
    CardMessageBox::show(QMessageBox::Information, m_dialog, tr("系统提示"), tr("单点标定成功"));
}

void SingleTab::write()
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
    if (!m_entries->checkValueField(ui->ltxtSingleDemarcate))
        return;
    if (!pressure->inRange()) {
        m_entries->warnPressureRange();
        ui->ltxtSinglePressure->setText(PressureText::formatHundredths(0));
        return;
    }
    const Target target = choice();
    if (!isAxis(target.axis) || !isSensor(target.sensor))
        return;
    const singleDemarcateInfoUnit_t pair{qint16(pressure->truncatedHundredths()), qint16(value)};
    if (requestCard(m_card, "demarcateSingleWrite", Q_ARG(int, target.axis),
                    Q_ARG(int, target.sensor), Q_ARG(short, pair.pressure),
                    Q_ARG(short, pair.value)))
        m_pendingWrites.push_back({target, pair});
}

// The pair goes into the list of the sensor and axis it was written for, whatever is
// selected now.
void SingleTab::answerWrite(int res)
{
    if (m_pendingWrites.empty()) {
        qCDebug(lcCalibration) << "single write answer without a request:" << res;
        return;
    }
    const PendingWrite write = m_pendingWrites.front();
    m_pendingWrites.pop_front();
    if (res == kStatusDone) {
        PressureLists::merge(m_points[write.target.axis][write.target.sensor], write.pair);
        refillTable();
    } else if (res == kStatusStorageFull) {
        CardMessageBox::show(QMessageBox::Information, m_dialog, tr("错误信息"),
                             tr("标定数据空间已写满，请先删除，再写入"));
    } else {
        CardMessageBox::show(QMessageBox::Information, m_dialog, tr("错误信息"),
                             tr("标定数据写入失败"));
    }
}

void SingleTab::read()
{
    const Target target = choice();
    requestCard(m_card, "demarcateSingleRead", Q_ARG(int, target.axis), Q_ARG(int, target.sensor));
}

void SingleTab::answerRead(int xyz, int sensorId, const QList<singleDemarcateInfoUnit_t> &list)
{
    if (!isAxis(xyz)) {
        CardMessageBox::show(QMessageBox::Information, m_dialog, tr("错误信息"),
                             tr("单点数据读取有误"));
        return;
    }
    if (!isSensor(sensorId)) {
        qCDebug(lcCalibration) << "single read answer for sensor" << sensorId
                               << "ignored: no such sensor";
        return;
    }
    m_points[xyz][sensorId] = list;
    refillTable();
}

void SingleTab::removeTicked()
{
    const Target target = choice();
    QList<short> pressures;
    if (m_hasList)
        pressures =
            TableCells::tickedPressures(m_model, m_points[m_current.axis][m_current.sensor]);
    emit demarcateSingleRemove(target.axis, target.sensor, pressures);
}

// The answer names the list the card removed from, whatever is selected now.
void SingleTab::answerRemove(int res, int xyz, int sensorId, const QList<short> &list)
{
    if (res != kStatusDone) {
        CardMessageBox::show(QMessageBox::Information, m_dialog, tr("错误信息"),
                             tr("删除驱动卡指定的标定数据失败"));
    } else if (isAxis(xyz) && isSensor(sensorId)) {
        QList<singleDemarcateInfoUnit_t> &pairs = m_points[xyz][sensorId];
        for (short pressure : list) {
            if (!PressureLists::removeFirst(pairs, pressure))
                CardMessageBox::show(QMessageBox::Information, m_dialog, tr("错误信息"),
                                     tr("标定压力值“%1”删除失败").arg(pressure));
        }
    }
    refillTable();
}

void SingleTab::removeAll()
{
    const Target target = choice();
    const auto answer = QMessageBox::question(
        m_dialog, tr("提示"),
        tr("确定删除驱动卡上传感器%1 %2轴的全部单点标定数据吗？")
            .arg(ui->sensorIdSelect->currentText(), ui->comSingleAxitSelect->currentText()),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    if (requestCard(m_card, "demarcateSingleRemoveAll", Q_ARG(int, target.axis),
                    Q_ARG(int, target.sensor)))
        m_pendingClears.push_back(target);
}

void SingleTab::answerRemoveAll(int res)
{
    if (m_pendingClears.empty()) {
        qCDebug(lcCalibration) << "single remove-all answer without a request:" << res;
        return;
    }
    const Target target = m_pendingClears.front();
    m_pendingClears.pop_front();
    if (res != kStatusDone) {
        CardMessageBox::show(QMessageBox::Information, m_dialog, tr("错误信息"),
                             tr("删除驱动卡标定数据失败"));
        return;
    }
    if (isAxis(target.axis) && isSensor(target.sensor))
        m_points[target.axis][target.sensor].clear();
    refillTable();
}

void SingleTab::singleReadTableCellDataChange(QModelIndex topLeft, QModelIndex bottomRight,
                                              QList<int>)
{
    if (!m_filling)
        m_entries->checkCell(m_model, topLeft, bottomRight, kPressureColumn);
}

void SingleTab::checkValueField()
{
    m_entries->checkValueField(ui->ltxtSingleDemarcate);
}

void SingleTab::checkPressureField()
{
    m_entries->checkPressureField(ui->ltxtSinglePressure);
}

void SingleTab::inform(const QString &title, const QString &text)
{
    QMessageBox::information(m_dialog, title, text);
}
