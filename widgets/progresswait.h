// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PROGRESSWAIT_H
#define PROGRESSWAIT_H

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QProgressDialog;
class QWidget;

// The wait of the baseline check and of the calibration run: the card is told to start
// sampling, a window-modal progress dialog with "取消" follows the progress, polled every few
// milliseconds in short local event loops, until it reaches its maximum, the dialog is
// cancelled (by the operator or by cancel()) or the port closes; then the card is told to stop.
// The card is told to stop on every path before run() returns, and run() returns only after
// the worker has carried the stop out, so that what it summed is complete.
//
// Everything runs in the interface thread, inside the slot that started the wait. The window
// that owns this object may be closed (and the driver-card object go) while the wait runs: the
// wait then ends as Abandoned at once and touches nothing of its owner.
class ProgressWait : public QObject
{
    Q_OBJECT
public:
    enum class End { Reached, Failed, Abandoned };

    // What the wait does with the card; each call runs in the interface thread.
    struct Steps
    {
        // Tells the card to start; false when the worker did not take the call.
        std::function<bool()> start;
        // The progress now, from 0 to the maximum.
        std::function<int()> progress;
        std::function<bool()> portOpen;
        // Tells the card to stop; false when the worker did not carry it out.
        std::function<bool()> stop;
        // The driver-card object has gone meanwhile (the program is closing).
        std::function<bool()> gone;
    };

    // `window` parents this object and the progress dialog.
    ProgressWait(QWidget *window, int maximum, int pollMs);
    ~ProgressWait() override;

    // The dialog's texts, already translated; set again on a change of language.
    void setTexts(const QString &title, const QString &label, const QString &cancel);
    End run(const Steps &steps);
    bool isRunning() const { return !m_dialog.isNull(); }
    // Ends a running wait as failed at its next poll.
    void cancel();

private:
    void openDialog(bool started);
    bool pollAfterPause(const Steps &steps);
    End finish(End end);

    QWidget *m_window;
    int m_maximum;
    int m_pollMs;
    QString m_title;
    QString m_label;
    QString m_cancel;
    QPointer<QProgressDialog> m_dialog;
    int m_value = 0;
};

#endif // PROGRESSWAIT_H
