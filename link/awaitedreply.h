// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef AWAITEDREPLY_H
#define AWAITEDREPLY_H

#include <QDeadlineTimer>

// One kind of reply that the card sends only when asked: the baseline, a sensor's single-point
// entries, an axis's calibration points. Each request opens a window of the reply time-out in
// which its answer is taken; whatever arrives outside every window (line noise that passes the
// checksum, a card that answers twice, an answer long after its time-out) was asked for by
// nobody and must change nothing.
class AwaitedReply
{
public:
    explicit AwaitedReply(int windowMs);

    // Applies from the next request on.
    void setWindowMs(int windowMs) { m_windowMs = windowMs; }

    // A request has gone out.
    void expect();
    // A reply of one frame arrived: true when a request was waiting for it, which it answers.
    bool take();
    // One frame of a reply of many: true while a request waits; each frame keeps the window
    // open for the next one.
    bool takePart();

private:
    bool isOpen();

    int m_windowMs;
    int m_outstanding = 0;
    QDeadlineTimer m_deadline;
};

#endif // AWAITEDREPLY_H
