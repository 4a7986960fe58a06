// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef WORKERTHREAD_H
#define WORKERTHREAD_H

#include <QThread>

#include <atomic>

// A thread with an event loop that is ended to the last. QThread::wait() returns once the loop
// has returned, while the system thread is still on its way out, tearing down its thread-local
// state; a process that exits at that moment has a thread of its own still running beside its
// exit handlers (the leak checker of a sanitizer build stops every thread and reads their
// stacks, and fails on one that is being torn down). end() returns only once the system thread
// is gone.
class WorkerThread : public QThread
{
    Q_OBJECT
public:
    explicit WorkerThread(QObject *parent = nullptr);
    // Ends the thread, as end() does.
    ~WorkerThread() override;

    // Asks a request that waits in the thread to give up (isInterruptionRequested()), ends the
    // event loop and returns once the system thread has exited. Called from another thread.
    void end();

protected:
    void run() override;

private:
    void waitForSystemThreadExit();

    // The kernel's id of the running thread; 0 before it starts and once it has been seen gone.
    std::atomic<qint64> m_systemId{0};
};

#endif // WORKERTHREAD_H
