// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef ARRAYTAB_H
#define ARRAYTAB_H

#include "calibrationrun.h"

#include "myserialport.h"

#include <QList>
#include <QModelIndex>
#include <QObject>
#include <QPointer>

class EntryChecks;
class PointTable;
class QStandardItemModel;
class QWidget;

namespace Ui {
class Demarcate;
}

// The array tab of the calibration dialog ("阵列型标定"): per axis, the calibration points the
// card reports (a pressure with one value per sensor), listed in the written-data table
// (readTable, kept by PointTable) and removed from the card one by one or all together; and the
// pending row (writeTable), which a calibration run fills with the average of every sensor on
// the selected axis. What the operator types in either table is checked by EntryChecks; what
// the card reports is shown as it is.
//
// The dialog hands it the operator's actions and the card's answers; the tab works on the
// dialog's form, which outlives it.
class ArrayTab : public QObject
{
    Q_OBJECT
public:
    ArrayTab(Ui::Demarcate *ui, QWidget *dialog, CalibrationRun *run, EntryChecks *entries);

    void setCard(MySerialport *card) { m_card = card; }
    void setSensorSum(int sum);
    // The texts that follow the tab's state, in the language now chosen.
    void retranslate();

    void selectAxis(int index);
    void read();
    void removeTicked();
    void removeAll();
    void write();
    void calibrate();

    void takePoint(int type, short pressure, const QList<short> &info);
    void answerRemove(int res, int xyz, const QList<short> &list);
    void answerRemoveAll(int res);

public slots:
    void readTableCellDataChange(QModelIndex topLeft, QModelIndex bottomRight, QList<int> roles);
    void writeTableCellDataChange(QModelIndex topLeft, QModelIndex bottomRight, QList<int> roles);

private:
    void setUpWrittenTable();
    void setUpPendingTable();
    void retitleWrittenGroup();
    void fillPendingRow(const CalibrationRun::Sums &sums, int axis);

    Ui::Demarcate *ui;
    QWidget *m_dialog;
    CalibrationRun *m_run;
    EntryChecks *m_entries;
    QPointer<MySerialport> m_card;

    QStandardItemModel *m_readModel = nullptr;  // written data, view readTable
    QStandardItemModel *m_writeModel = nullptr; // pending data, view writeTable
    int m_writeSensorColumns = 1;
    int m_readSensorColumns = 1;
    // Set while the tab itself fills the pending row.
    bool m_filling = false;

    PointTable *m_pointTable = nullptr; // the points behind readTable
    int m_pointAxis = 0;                // the current point list, chosen in comAxitSelect
};

#endif // ARRAYTAB_H
