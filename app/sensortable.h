// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SENSORTABLE_H
#define SENSORTABLE_H

#include "devicerecords.h"

#include <QList>
#include <QModelIndex>
#include <QObject>

class QLineEdit;
class QStandardItem;
class QStandardItemModel;
class QTableView;
class QWidget;

// The main window's sensor table: one row per sensor with its number, a tick that selects it
// for the baseline write and its baseline on the three axes, and the field that sets the number
// of rows ("传感器数量"). Rows are rebuilt with zeros when a count is entered and with the card's
// baseline when one is read or measured; what the operator types in a cell is checked against
// the range of a reading, what the card reports is shown as it is (a value the operator could
// not type is marked).
//
// With "传感器数跟随驱动卡" (followCard), the count follows the number of sensors in the card's
// frames and in a baseline; the rows that stay keep their values and ticks, new rows start at
// zero, and the field cannot be typed in. Whenever the other windows should show another count,
// sensorSumShown() tells it.
class SensorTable : public QObject
{
    Q_OBJECT
public:
    // `window` parents this object and the boxes it shows.
    SensorTable(QTableView *view, QLineEdit *countField, QWidget *window);

    int sensorSum() const { return m_sensorSum; }
    // The ticked rows as baseline records, in row order; a cell that is not an integer is 0.
    QList<AxitSingle_t> tickedRows() const;

    // Rebuilds the rows with zeros and tells the count.
    void resetSensorTable();
    // A count remembered from an earlier run, kept within 1 to 16: rows of zeros, as if typed in.
    void restoreCount(int count);
    // Rebuilds the rows from a baseline of `count` sensors; a count of 0 or less changes
    // nothing.
    void showCheckData(int count, const AxitSum_t *sums);
    // The count field's editing has finished.
    void countEntered();

    void setFollowCard(bool on);
    // The number of sensors in the card's latest frames; -1 when none has come since the open.
    void noteCardSensors(int count);
    void retranslate();

signals:
    void sensorSumShown(int count);

public slots:
    void TableViewCellDataChange(QModelIndex topLeft, QModelIndex bottomRight, QList<int> roles);

private:
    void setHeaderLabels();
    void putRow(int row, int x, int y, int z);
    QStandardItem *valueItem(int value) const;
    void resizeRows(int count);
    void followCard();
    // Tells the count field, and the other windows, the number of sensors.
    void announce();

    QTableView *m_view;
    QLineEdit *m_countField;
    QWidget *m_window;
    QStandardItemModel *m_model = nullptr;
    // Set while the table is filled by this object, whose values are not the operator's.
    bool m_filling = false;
    bool m_followCard = false;
    int m_sensorSum = 1;
    // The count the other windows were last told; the card's count in its latest frames.
    int m_shownSum = 1;
    int m_cardSensors = -1;
};

#endif // SENSORTABLE_H
