// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DEMARCATE_H
#define DEMARCATE_H

#include "devicerecords.h"
#include "entrychecks.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <memory>

class ArrayTab;
class CalibrationRun;
class MySerialport;
class SingleTab;

namespace Ui {
class Demarcate;
}

// The calibration window, with its two tabs: the array tab (ArrayTab) lists, per axis, the
// calibration points the card reports and removes them; the single-point tab (SingleTab) keeps,
// per sensor and axis, the card's pressure/value pairs, writes new ones, reads them back and
// removes them. Both take their values by the calibration run they share (CalibrationRun);
// what the operator types is checked by EntryChecks, what the card reports is shown as it is.
// The dialog builds the form, connects the driver-card object and hands the form's actions
// and the card's answers to the tab they belong to.
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
    void demarcateSingleReadResult(int xyz, int sensorId, QList<singleDemarcateInfoUnit_t> &list);
    void demarcateSingleRemoveResult(int res, int xyz, int sensorId, QList<short> &list);

private:
    void retranslate();
    void fillChoices();
    void followPort();

    std::unique_ptr<Ui::Demarcate> ui;
    QPointer<MySerialport> m_serial;
    CalibrationRun *m_run = nullptr;
    EntryChecks m_entries{this};
    ArrayTab *m_arrayTab = nullptr;
    SingleTab *m_singleTab = nullptr;
};

#endif // DEMARCATE_H
