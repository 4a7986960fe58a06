// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SINGLETAB_H
#define SINGLETAB_H

#include "devicerecords.h"
#include "myserialport.h"

#include <QList>
#include <QModelIndex>
#include <QObject>
#include <QPointer>

#include <deque>

class CalibrationRun;
class EntryChecks;
class QStandardItemModel;
class QWidget;

namespace Ui {
class Demarcate;
}

// The single-point tab of the calibration dialog ("单点型标定"): per sensor and axis, the card's
// list of pressure/value pairs. The operator takes a calibration value by a calibration run,
// writes it with a pressure, reads the card's list back and removes single pairs or the whole
// list. A pair enters the tab's list only when the card confirms its write; answers go to the
// list they were asked for, whatever is selected by then.
//
// The dialog hands it the operator's actions and the card's answers; the tab works on the
// dialog's form, which outlives it.
class SingleTab : public QObject
{
    Q_OBJECT
public:
    SingleTab(Ui::Demarcate *ui, QWidget *dialog, CalibrationRun *run, EntryChecks *entries);

    void setCard(MySerialport *card) { m_card = card; }
    void setSensorSum(int sum);
    // The texts that follow the tab's state, in the language now chosen.
    void retranslate();

    // Another sensor or axis was chosen.
    void selectList();
    void calibrate();
    void write();
    void read();
    void removeTicked();
    void removeAll();
    void checkValueField();
    void checkPressureField();

    void answerWrite(int res);
    void answerRead(int xyz, int sensorId, const QList<singleDemarcateInfoUnit_t> &list);
    void answerRemove(int res, int xyz, int sensorId, const QList<short> &list);
    void answerRemoveAll(int res);

signals:
    // The ticked pairs of the list shown, to be removed from the card.
    void demarcateSingleRemove(int xyz, int sensorId, QList<short> &list);

public slots:
    void singleReadTableCellDataChange(QModelIndex topLeft, QModelIndex bottomRight,
                                       QList<int> roles);

private:
    // The sensor and axis a request was made for.
    struct Target
    {
        int axis;
        int sensor;
    };
    struct PendingWrite
    {
        Target target;
        singleDemarcateInfoUnit_t pair;
    };

    static QStringList headerLabels();
    void setUpTable();
    void retitleGroup();
    Target choice() const;
    void refillTable();
    void inform(const QString &title, const QString &text);

    Ui::Demarcate *ui;
    QWidget *m_dialog;
    CalibrationRun *m_run;
    EntryChecks *m_entries;
    QPointer<MySerialport> m_card;

    QStandardItemModel *m_model = nullptr; // the pairs, view singleReadTable
    // Set while the tab itself fills the table.
    bool m_filling = false;
    QList<singleDemarcateInfoUnit_t> m_points[kAxisCount][kMaxSensors];
    bool m_hasList = false;
    Target m_current{0, 0};
    // Requests in flight, answered in the order sent since the card object runs them in turn.
    std::deque<PendingWrite> m_pendingWrites;
    std::deque<Target> m_pendingClears;
};

#endif // SINGLETAB_H
