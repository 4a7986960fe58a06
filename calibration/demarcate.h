// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DEMARCATE_H
#define DEMARCATE_H

#include "calibrationrun.h"
#include "demarcateinfounit.h"
#include "devicerecords.h"
#include "entrychecks.h"

#include <QList>
#include <QModelIndex>
#include <QPointer>
#include <QWidget>

#include <deque>
#include <memory>

class MySerialport;
class PointTable;
class QStandardItemModel;

namespace Ui {
class Demarcate;
}

// The calibration window. The array tab lists, per axis, the calibration points the card
// reports (a pressure with one value per sensor) and removes them; the single-point tab keeps,
// per sensor and axis, the card's pressure/value pairs, writes new ones, reads them back and
// removes them. The array points and their table are kept by PointTable; both tabs take their
// values by a calibration run (CalibrationRun); what the operator types is checked by
// EntryChecks, what the card reports is shown as it is.
//
// Everything here runs in the interface thread; the driver-card object lives in the worker
// thread and is reached by queued calls, its answers come back as queued signals.
class Demarcate : public QWidget
{
    Q_OBJECT
public:
    explicit Demarcate(QWidget *parent = nullptr);
    ~Demarcate() override;

    // The driver-card object; the dialog does not own it.
    void setSerial(MySerialport *serial);
    // Number of sensors, 1..16: sensor columns of the array tables and the sensor choice.
    void setSensorSum(uint sum);

signals:
    void demarcateSingleRemove(int xyz, int sensorId, QList<short> &list);

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void on_comAxitSelect_currentIndexChanged(int index);
    void on_btnRead_clicked();
    void on_btnRemove_clicked();
    void on_btnRemoveAll_clicked();
    void on_btnWrite_clicked();
    void on_btnDemarcate_clicked();
    void demarcateInfoReadResult(int type, short pressure, QList<short> &info);
    void demarcateRemoveResult(int res, int xyz, QList<short> &list);
    void demarcateOperationResult(int option, int res, int param);
    void readTableCellDataChange(QModelIndex topLeft, QModelIndex bottomRight, QList<int> roles);
    void writeTableCellDataChange(QModelIndex topLeft, QModelIndex bottomRight, QList<int> roles);
    void demarcateProgressTimerout();

    void on_sensorIdSelect_currentIndexChanged(int index);
    void on_comSingleAxitSelect_currentIndexChanged(int index);
    void on_btnSingleDemarcate_clicked();
    void on_btnSingleWrite_clicked();
    void on_btnSingleRead_clicked();
    void on_btnSingleRemove_clicked();
    void on_btnSingleRemoveAll_clicked();
    void on_ltxtSingleDemarcate_editingFinished();
    void on_ltxtSinglePressure_editingFinished();
    void singleReadTableCellDataChange(QModelIndex topLeft, QModelIndex bottomRight,
                                       QList<int> roles);
    void demarcateSingleReadResult(int xyz, int sensorId, QList<singleDemarcateInfoUnit_t> &list);
    void demarcateSingleRemoveResult(int res, int xyz, int sensorId, QList<short> &list);

private:
    using Sums = CalibrationRun::Sums;

    // The sensor and axis a single-point request was made for.
    struct SingleTarget
    {
        int axis;
        int sensor;
    };
    struct PendingWrite
    {
        SingleTarget target;
        singleDemarcateInfoUnit_t pair;
    };

    void retranslate();
    static QStringList singleHeaderLabels();
    void retitleWrittenGroup();
    void retitleSingleGroup();
    void setUpWrittenTable();
    void setUpPendingTable();
    void setUpSingleTable();
    void fillChoices();
    static void resizeSensorColumns(QStandardItemModel *model, int &sensorColumns, int sum);
    void resizeSensorChoice(int sum);

    bool invokeQueued(const char *method, QGenericArgument a0 = QGenericArgument(),
                      QGenericArgument a1 = QGenericArgument(),
                      QGenericArgument a2 = QGenericArgument(),
                      QGenericArgument a3 = QGenericArgument());
    void fillPendingRow(const Sums &sums, int axis);

    // The run buttons work only while the port is open, and say so.
    void followPort();

    // Array tab.
    void answerRemoveAll(int res);

    // Single-point tab.
    void selectSingleList();
    SingleTarget singleChoice() const;
    void refillSingleTable();
    void answerSingleWrite(int res);
    void answerSingleRemoveAll(int res);

    void inform(const QString &title, const QString &text);
    // About what the card answered: never more than one such box at a time.
    void informAnswer(const QString &title, const QString &text);

    std::unique_ptr<Ui::Demarcate> ui;
    QPointer<MySerialport> m_serial;

    QStandardItemModel *m_readModel = nullptr;   // written data, view readTable
    QStandardItemModel *m_writeModel = nullptr;  // pending data, view writeTable
    QStandardItemModel *m_singleModel = nullptr; // single-point pairs, view singleReadTable
    int m_writeSensorColumns = 1;
    int m_readSensorColumns = 1;
    // Set while the dialog itself fills the pending and single-point tables.
    bool m_filling = false;

    PointTable *m_pointTable = nullptr; // the points behind readTable
    int m_pointAxis = 0;                // the current point list, chosen in comAxitSelect

    QList<singleDemarcateInfoUnit_t> m_singlePoints[kAxisCount][kMaxSensors];
    bool m_hasSingleList = false;
    SingleTarget m_single{0, 0};
    // Requests in flight, answered in the order sent since the card object runs them in turn.
    std::deque<PendingWrite> m_pendingWrites;
    std::deque<SingleTarget> m_pendingClears;

    CalibrationRun *m_run = nullptr;
    EntryChecks m_entries{this};
};

#endif // DEMARCATE_H
