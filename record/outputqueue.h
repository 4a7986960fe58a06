// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef OUTPUTQUEUE_H
#define OUTPUTQUEUE_H

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <memory>

class QObject;
class WorkerThread;

// Writes a recording's lines to its file, or to standard output, from a thread of its own, so
// that a slow disk or a reader that stops reading a pipe never holds up the thread that makes
// the lines: not the card's, not the stream's, not the one that answers a signal. Lines are
// handed over whole, with the number of rows among them; how many bytes wait is known at any
// time, so that the writer can leave rows out rather than let them pile up.
//
// A pipe, a socket or a terminal is written only when it can take more, at most PIPE_BUF bytes
// at a time, so that the thread can be ended while its reader stands still. A write that fails
// (a full disk, a reader that has gone) ends the output: a file is cut back to its last whole
// line, everything after is thrown away, and `failed` is called once, in the output's thread.
class OutputQueue
{
public:
    // `fd` stays open, and belongs to the caller, for the life of this object.
    OutputQueue(int fd, std::function<void()> failed);
    // Ends the thread: what it has not written by then is lost.
    ~OutputQueue();

    OutputQueue(const OutputQueue &) = delete;
    OutputQueue &operator=(const OutputQueue &) = delete;

    // Never waits.
    void push(const QByteArray &lines, qint64 rows);
    // Waits at most `ms` for everything handed over to be written; false when some of it is
    // still waiting then, or a write failed.
    bool drain(int ms);
    // Ends the thread: what it has not written by then is lost, and the counts are final.
    void stop();

    qint64 pendingBytes() const { return m_pending.load(); }
    // The rows that reached the output whole.
    qint64 rowsWritten() const { return m_rowsWritten.load(); }
    // The system's reason for the failed write; empty while none has failed.
    QString error() const;

private:
    void write(const QByteArray &lines, qint64 rows);
    bool waitUntilWritable() const;
    void fail(int error, const QByteArray &lines, qint64 written);
    void tellProgress();

    const int m_fd;
    const bool m_pieceWise; // not a regular file: written as far as it takes more
    const std::function<void()> m_failed;
    std::unique_ptr<WorkerThread> m_thread;
    std::unique_ptr<QObject> m_context; // lives in m_thread: the writes are its events
    std::atomic<qint64> m_pending{0};
    std::atomic<qint64> m_rowsWritten{0};
    std::atomic<bool> m_broken{false};
    mutable QMutex m_lock;
    QWaitCondition m_progress;
    QString m_error;
};

#endif // OUTPUTQUEUE_H
