// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef STREAMFEED_H
#define STREAMFEED_H

#include "devicerecords.h"
#include "recordformat.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QMutex>

#include <atomic>
#include <functional>

// The hand-off between the thread that decodes the card's frames and the stream server's own
// thread. The feeding side formats each frame into the recording format's line and appends it
// to a pending buffer; the server's side takes the whole buffer at once. The lock is held only
// to format one line or to swap the buffer, so the feeding thread never waits for the network.
//
// The stream's time base is its first frame: that frame is time zero and its wall-clock time is
// the stream's start. The head every client receives first (the comment lines and the header
// line) is composed when it is first asked for after the first frame, with the header as it is
// then (the port's frequency is often known only a little after its first frame), and stays
// the same for every client from then on.
class StreamFeed
{
public:
    // Lines the server's thread has not yet taken; beyond this they are dropped and the batch
    // says so (the server then parts with every client, which would miss them).
    static constexpr qsizetype kMaxPendingBytes = 1 << 20;

    struct Batch
    {
        QByteArray head; // empty before the first frame
        QByteArray lines;
        bool overflowed = false;
    };

    // `wake` is called in the feeding thread when lines wait in a buffer that was empty.
    explicit StreamFeed(std::function<void()> wake);

    // A new stream: no frame yet, nothing pending; frames are taken from now on.
    void start();
    // Frames and lines are ignored until the next start().
    void stop();
    // What the comment lines will say; it applies while the head has not been composed, and
    // holds for the streams that follow.
    void setHeader(const RecordHeader &header);
    // Without readers, frames only keep the time base (none is formatted).
    void setReaders(bool present) { m_readers.store(present, std::memory_order_relaxed); }

    // Thread-safe; never waits for the server's thread.
    void addFrame(const QList<Axit_t> &readings, uint num);
    // An extra line right after the newest frame's: `compose` gets that frame's time and runs
    // with the lock held. Ignored before the first frame; a line end is added when it has none.
    void addLine(const std::function<QByteArray(qint64 newestFrameMicros)> &compose);

    // Empty before the first frame.
    QByteArray head();
    Batch take();

private:
    void composeHead();

    const std::function<void()> m_wake;
    mutable QMutex m_lock;
    RecordHeader m_header;
    QByteArray m_head;
    QByteArray m_pending;
    QElapsedTimer m_clock; // started at the first frame
    QDateTime m_start;
    qint64 m_newestMicros = 0;
    bool m_running = false;
    bool m_overflowed = false;
    std::atomic<bool> m_readers{false};
};

#endif // STREAMFEED_H
