// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TERMINATIONSIGNALS_H
#define TERMINATIONSIGNALS_H

#include <QObject>

class QSocketNotifier;

// SIGINT, SIGTERM and SIGHUP brought into the event loop, so that a program asked to end
// finishes its work as on its own way out (closing files and ports) rather than dying where it
// stands. The handler only writes the signal's number to a pipe that the loop watches. One per
// program, made once its application object exists; the signals' default actions come back
// when it goes.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
};

#endif // TERMINATIONSIGNALS_H
