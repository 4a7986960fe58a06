// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CALIBRATIONRUN_H
#define CALIBRATIONRUN_H

#include "devicerecords.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <functional>

class MySerialport;
class ProgressWait;
class QTimer;
class QWidget;

// The calibration run that both tabs of the calibration dialog share: the card is told to
// sample, the driver-card object counts 20 accumulation samples down and sums them, and the
// progress dialog of ProgressWait follows the count every 10 ms until it is done, cancelled,
// the port closes or 10 s have passed. The run owns its time-out timer; the calibration dialog
// starts a run, turns the timer's time-out into a cancel and takes the sums.
//
// The card's start and stop are carried out in the worker before the run goes on, so that the
// first poll sees this run's count and the sums read at the end are complete.
class CalibrationRun : public QObject
{
    Q_OBJECT
public:
    using Sums = std::array<AxitSum_t, kMaxSensors>;
    // Samples summed by one run.
    static constexpr uint kSamples = 20;

    // `dialog` parents the run and its progress dialogs, and the failure box.
    explicit CalibrationRun(QWidget *dialog);
    ~CalibrationRun() override;

    void setCard(MySerialport *card);
    // The average of one axis of a sensor's sums over the run's samples, truncated toward
    // zero as the card's own arithmetic does.
    static int average(const AxitSum_t &sum, int axis);

    // True when the run took its samples and the card reported sensors; `sums` then holds this
    // run's sums. A failed run has shown `failure` already; a run whose dialog or driver-card
    // object went meanwhile (as the program closes) returns false at once and touches nothing.
    // Title and failure are source texts of the calibration dialog, translated as shown.
    bool run(const char *title, const char *failure, Sums &sums);
    bool isRunning() const;

    // The time-out, or a cancel from the outside: the run ends as failed at its next poll.
    void cancel();
    // The progress dialog's texts in the language now chosen.
    void retranslate();

signals:
    // The run has not finished 10 s after it began.
    void timedOut();

private:
    bool callCard(const std::function<void(MySerialport &)> &call);

    QWidget *m_dialog;
    QPointer<MySerialport> m_card;
    QTimer *m_timer;
    ProgressWait *m_wait;
    const char *m_title = "";
};

#endif // CALIBRATIONRUN_H
