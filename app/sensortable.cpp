// SPDX-License-Identifier: GPL-3.0-or-later
#include "sensortable.h"

#include "checkboxdelegate.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QStandardItemModel>
#include <QTableView>

#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(lcApp, "eskin.app")

constexpr int kMinSensors = 1;
constexpr int kReadingLimit = 32767;
constexpr int kIdColumnWidth = 50;
constexpr int kTickColumnWidth = 70;

enum Column { IdColumn = 0, TickColumn = 1, XColumn = 2 };

QStandardItem *centredItem(const QString &text)
{
    auto *item = new QStandardItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    return item;
}

} // namespace

// The first rows are built before the cell check is connected.
SensorTable::SensorTable(QTableView *view, QLineEdit *countField, QWidget *window)
    : QObject(window)
    , m_view(view)
    , m_countField(countField)
    , m_window(window)
{
    m_model = new QStandardItemModel(view);
    setHeaderLabels();
    view->setModel(m_model);
    view->horizontalHeader()->setStretchLastSection(true);
    view->setColumnWidth(IdColumn, kIdColumnWidth);
    view->setColumnWidth(TickColumn, kTickColumnWidth);
    view->verticalHeader()->hide();
    resetSensorTable();
    connect(m_model, &QStandardItemModel::dataChanged, this, &SensorTable::TableViewCellDataChange);
    view->setEditTriggers(QAbstractItemView::DoubleClicked);
    view->setItemDelegateForColumn(TickColumn, new CheckBoxDelegate(0, window));
}

void SensorTable::retranslate()
{
    setHeaderLabels();
}

void SensorTable::setHeaderLabels()
{
    m_model->setHorizontalHeaderLabels(
        {QStringLiteral("ID"), tr("选择"), tr("X轴"), tr("Y轴"), tr("Z轴")});
}

void SensorTable::putRow(int row, int x, int y, int z)
{
    auto *id = centredItem(QString::number(row));
    id->setFlags(id->flags() & ~Qt::ItemIsEditable);
    auto *tick = new QStandardItem(QString());
    tick->setFlags(tick->flags() & ~(Qt::ItemIsEditable | Qt::ItemIsSelectable));
    m_model->setItem(row, IdColumn, id);
    m_model->setItem(row, TickColumn, tick);
    const int values[] = {x, y, z};
    for (int axis = 0; axis < kAxisCount; ++axis)
        m_model->setItem(row, XColumn + axis, valueItem(values[axis]));
}

// A value the card reported is shown as it is; one the operator could not type (-32768) is
// marked rather than replaced, since a write sends back what the table shows.
QStandardItem *SensorTable::valueItem(int value) const
{
    QStandardItem *item = centredItem(QString::number(value));
    if (value < -kReadingLimit || value > kReadingLimit) {
        item->setForeground(QBrush(Qt::red));
        item->setToolTip(tr("驱动卡的值，超出可输入的范围"));
    }
    return item;
}

void SensorTable::resetSensorTable()
{
    const QScopedValueRollback<bool> filling(m_filling, true);
    m_model->setRowCount(m_sensorSum);
    for (int row = 0; row < m_sensorSum; ++row)
        putRow(row, 0, 0, 0);
    m_shownSum = m_sensorSum;
    emit sensorSumShown(m_sensorSum);
}

void SensorTable::restoreCount(int count)
{
    m_sensorSum = std::clamp(count, kMinSensors, kMaxSensors);
    resetSensorTable();
    m_countField->setText(QString::number(m_sensorSum));
}

void SensorTable::announce()
{
    m_countField->setText(QString::number(m_sensorSum));
    m_shownSum = m_sensorSum;
    emit sensorSumShown(m_sensorSum);
}

// Rows that stay keep their values and ticks; new rows start at zero.
void SensorTable::resizeRows(int count)
{
    const QScopedValueRollback<bool> filling(m_filling, true);
    const int before = m_model->rowCount();
    m_model->setRowCount(count);
    for (int row = before; row < count; ++row)
        putRow(row, 0, 0, 0);
    m_sensorSum = count;
}

void SensorTable::showCheckData(int count, const AxitSum_t *sums)
{
    count = qMin(count, kMaxSensors);
    if (count <= 0 || !sums)
        return;
    m_sensorSum = count;
    {
        const QScopedValueRollback<bool> filling(m_filling, true);
        m_model->setRowCount(count);
        for (int row = 0; row < count; ++row)
            putRow(row, sums[row].x, sums[row].y, sums[row].z);
    }
    if (m_followCard)
        announce();
}

void SensorTable::countEntered()
{
    bool ok = false;
    const int count = m_countField->text().toInt(&ok, 10);
    qCDebug(lcApp) << m_countField->text();
    if (ok && count >= kMinSensors && count <= kMaxSensors) {
        m_sensorSum = count;
        resetSensorTable();
        return;
    }
    QMessageBox::warning(m_window, tr("提示"), tr("允许输入范围：1~16"));
    m_countField->setText(QStringLiteral("1"));
}

// While the count follows the card it is not typed in.
void SensorTable::setFollowCard(bool on)
{
    m_followCard = on;
    m_countField->setReadOnly(on);
    if (on)
        followCard();
}

void SensorTable::noteCardSensors(int count)
{
    m_cardSensors = count;
    if (m_followCard)
        followCard();
}

void SensorTable::followCard()
{
    const int count = m_cardSensors;
    if (count < kMinSensors || count > kMaxSensors)
        return;
    if (count == m_sensorSum && count == m_shownSum)
        return;
    resizeRows(count);
    announce();
}

void SensorTable::TableViewCellDataChange(QModelIndex topLeft, QModelIndex bottomRight, QList<int>)
{
    const int column = bottomRight.column();
    // The range is the operator's: what the table fills in from the card is not checked.
    if (column == TickColumn || m_filling)
        return;
    const QStandardItem *item = m_model->item(topLeft.row(), column);
    bool ok = false;
    const int value = item ? item->text().toInt(&ok, 10) : 0;
    if (ok && value >= -kReadingLimit && value <= kReadingLimit)
        return;
    QMessageBox::warning(m_window, tr("提示"), tr("允许输入范围：-32767~32767"));
    m_model->setItem(topLeft.row(), column, new QStandardItem(QStringLiteral("0")));
}

QList<AxitSingle_t> SensorTable::tickedRows() const
{
    const auto cellValue = [this](int row, int column) {
        const QStandardItem *item = m_model->item(row, column);
        return item ? qint16(item->text().toInt(nullptr, 10)) : qint16(0);
    };
    QList<AxitSingle_t> rows;
    const int count = qMin(m_sensorSum, m_model->rowCount());
    for (int row = 0; row < count; ++row) {
        if (!m_model->index(row, TickColumn).data(Qt::UserRole).toBool())
            continue;
        AxitSingle_t record{};
        record.id = quint16(row);
        record.x = cellValue(row, XColumn);
        record.y = cellValue(row, XColumn + 1);
        record.z = cellValue(row, XColumn + 2);
        rows.append(record);
    }
    return rows;
}
