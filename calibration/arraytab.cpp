// SPDX-License-Identifier: GPL-3.0-or-later
#include "arraytab.h"
#include "ui_demarcate.h"

#include "cardmessagebox.h"
#include "cardrequest.h"
#include "checkboxdelegate.h"
#include "entrychecks.h"
#include "myserialport.h"
#include "pointtable.h"
#include "pressuretext.h"

#include <QHeaderView>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QStandardItemModel>

#include <algorithm>

namespace {

constexpr int kTickColumn = 0;
constexpr int kTickColumnWidth = 70;
constexpr int kWrittenPressureColumn = 1;
constexpr int kPendingPressureColumn = 0;
constexpr int kPendingPressureWidth = 100;
constexpr int kPendingRowHeight = 30;

bool isAxis(int axis)
{
    return axis >= 0 && axis < kAxisCount;
}

// The sensor columns follow the fixed ones; new ones are headed by their sensor number.
void resizeSensorColumns(QStandardItemModel *model, int &sensorColumns, int sum)
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

} // namespace

ArrayTab::ArrayTab(Ui::Demarcate *form, QWidget *dialog, CalibrationRun *run, EntryChecks *entries)
    : QObject(dialog)
    , ui(form)
    , m_dialog(dialog)
    , m_run(run)
    , m_entries(entries)
{
    setUpWrittenTable();
    setUpPendingTable();
    m_pointAxis = 0;
    retitleWrittenGroup();
    // The run leaves its point stored on the card: there is nothing for the operator to write.
    ui->btnWrite->setEnabled(false);
    ui->btnWrite->setToolTip(tr("标定时驱动卡已自行存储标定点，无需写入"));
}

void ArrayTab::setUpWrittenTable()
{
    m_readModel = new QStandardItemModel(ui->readTable);
    m_readModel->setHorizontalHeaderLabels({tr("选择"), tr("压力"), QStringLiteral("0")});
    ui->readTable->setModel(m_readModel);
    ui->readTable->horizontalHeader()->setStretchLastSection(true);
    ui->readTable->setColumnWidth(kTickColumn, kTickColumnWidth);
    ui->readTable->verticalHeader()->hide();
    ui->readTable->setItemDelegateForColumn(kTickColumn, new CheckBoxDelegate(0, m_dialog));
    connect(m_readModel, &QStandardItemModel::dataChanged, this,
            &ArrayTab::readTableCellDataChange);
    m_pointTable = new PointTable(m_readModel, m_dialog);
}

void ArrayTab::setUpPendingTable()
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
            &ArrayTab::writeTableCellDataChange);
}

// Only the fixed columns' headers are words; the sensor columns are numbered.
void ArrayTab::retranslate()
{
    retitleWrittenGroup();
    ui->btnWrite->setToolTip(tr("标定时驱动卡已自行存储标定点，无需写入"));
    m_readModel->setHorizontalHeaderLabels({tr("选择"), tr("压力")});
    m_writeModel->setHorizontalHeaderLabels({tr("压力")});
}

void ArrayTab::retitleWrittenGroup()
{
    if (isAxis(m_pointAxis))
        ui->writtenGroupBox->setTitle(
            tr("%1轴已写入数据").arg(QLatin1String(kAxisNames[m_pointAxis])));
}

void ArrayTab::setSensorSum(int sum)
{
    resizeSensorColumns(m_writeModel, m_writeSensorColumns, sum);
    resizeSensorColumns(m_readModel, m_readSensorColumns, sum);
    m_pointTable->setSensorColumns(m_readSensorColumns);
}

void ArrayTab::calibrate()
{
    CalibrationRun::Sums sums{};
    if (!m_run->run(QT_TRANSLATE_NOOP("Demarcate", "校准"),
                    QT_TRANSLATE_NOOP("Demarcate", "标定失败！！！"), sums))
        return;
    fillPendingRow(sums, m_pointAxis);
    CardMessageBox::show(QMessageBox::Information, m_dialog, tr("系统提示"), tr("标定成功"));
}

// The run's result as the row to be written: pressure 0.00, then the average of each sensor
// on the selected axis (0 for a sensor the card did not report: its sum stayed zero).
void ArrayTab::fillPendingRow(const CalibrationRun::Sums &sums, int axis)
{
    const QScopedValueRollback<bool> filling(m_filling, true);
    m_writeModel->setData(m_writeModel->index(0, kPendingPressureColumn),
                          PressureText::formatHundredths(0));
    for (int sensor = 0; sensor < m_writeSensorColumns; ++sensor)
        m_writeModel->setData(m_writeModel->index(0, kPendingPressureColumn + 1 + sensor),
                              QString::number(CalibrationRun::average(sums[sensor], axis)));
}

// The button stays disabled: the run itself stores the point on the card, and the card object
// offers no request that takes one (axis, pressure and one value per sensor).
void ArrayTab::write() {}

void ArrayTab::selectAxis(int index)
{
    if (!isAxis(index))
        return;
    m_pointAxis = index;
    retitleWrittenGroup();
}

void ArrayTab::read()
{
    // Emptied at once, so that an axis without points on the card shows none.
    m_pointTable->startRead(m_pointAxis);
    requestCard(m_card, "readDemarcateInfo", Q_ARG(int, m_pointAxis));
}

void ArrayTab::takePoint(int type, short pressure, const QList<short> &info)
{
    if (!isAxis(type)) {
        CardMessageBox::show(QMessageBox::Warning, m_dialog, tr("提示"), tr("指定轴有误"));
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
void ArrayTab::removeTicked()
{
    const int axis = m_pointTable->shownAxis();
    QList<short> pressures = m_pointTable->tickedPressures();
    requestCard(m_card, "demarcateRemove", Q_ARG(int, axis), Q_ARG(QList<short> &, pressures));
}

void ArrayTab::answerRemove(int res, int xyz, const QList<short> &list)
{
    if (res != kStatusDone) {
        CardMessageBox::show(QMessageBox::Information, m_dialog, tr("错误信息"),
                             tr("删除驱动卡指定的标定数据失败"));
        return;
    }
    if (isAxis(xyz))
        m_pointTable->remove(xyz, list);
}

// Every point of every axis goes, not only the axis shown: asked first.
void ArrayTab::removeAll()
{
    const auto answer = QMessageBox::question(
        m_dialog, tr("提示"),
        tr("确定删除驱动卡上的全部阵列标定数据吗？X、Y、Z 三轴的标定点都将被删除。"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes)
        requestCard(m_card, "demarcateRemoveAll");
}

// Any status but 0 means the card kept its points (1 is its "failed"), so the lists stay.
void ArrayTab::answerRemoveAll(int res)
{
    if (res != kStatusDone) {
        CardMessageBox::show(QMessageBox::Information, m_dialog, tr("错误信息"),
                             tr("删除驱动卡标定数据失败"));
        return;
    }
    m_pointTable->clearAll(m_pointAxis);
}

void ArrayTab::readTableCellDataChange(QModelIndex topLeft, QModelIndex bottomRight, QList<int>)
{
    if (!m_pointTable->isFilling())
        m_entries->checkCell(m_readModel, topLeft, bottomRight, kWrittenPressureColumn);
}

void ArrayTab::writeTableCellDataChange(QModelIndex topLeft, QModelIndex bottomRight, QList<int>)
{
    if (!m_filling)
        m_entries->checkCell(m_writeModel, topLeft, bottomRight, kPendingPressureColumn);
}
