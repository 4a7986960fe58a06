// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SENDPACER_H
#define SENDPACER_H

#include <QElapsedTimer>
#include <QObject>

#include <functional>

class QTimer;

// Spaces the sends of a stream's lines at least `intervalMs` apart, so that at the card's
// highest rates a send carries a few frames rather than one: most of the cost of sending is
// the system's per write. Up to 100 Hz, with 10 ms, every frame still goes out as it comes.
class SendPacer : public QObject
{
    Q_OBJECT
public:
    SendPacer(int intervalMs, std::function<void()> send, QObject *parent);

    // Lines wait: they are sent now, or once the interval since the last send has passed.
    void request();
    // Sends now (and the send that waits is not made).
    void sendNow();

private:
    const int m_intervalMs;
    const std::function<void()> m_send;
    QTimer *m_timer;
    QElapsedTimer m_sinceSend;
};

#endif // SENDPACER_H
