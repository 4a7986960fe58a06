// SPDX-License-Identifier: GPL-3.0-or-later
#include "workerthread.h"

#include <QDeadlineTimer>

#ifdef Q_OS_LINUX
#include <csignal>
#include <unistd.h>
#endif

namespace {
// The system thread has nothing left to do but its own teardown: this is far more than it takes
// even on a loaded machine, and only bounds the wait should the kernel reuse its id at once.
constexpr int kExitWaitMs = 5000;
constexpr unsigned long kExitPollUs = 200;
} // namespace

WorkerThread::WorkerThread(QObject *parent)
    : QThread(parent)
{}

WorkerThread::~WorkerThread()
{
    end();
}

void WorkerThread::end()
{
    requestInterruption();
    quit();
    wait();
    waitForSystemThreadExit();
}

void WorkerThread::run()
{
#ifdef Q_OS_LINUX
    m_systemId.store(qint64(::gettid()));
#endif
    QThread::run();
}

// A thread of this process that has exited is no longer known to the kernel by its id.
void WorkerThread::waitForSystemThreadExit()
{
#ifdef Q_OS_LINUX
    const pid_t id = pid_t(m_systemId.exchange(0));
    if (id == 0)
        return;
    const QDeadlineTimer deadline(kExitWaitMs);
    while (::tgkill(::getpid(), id, 0) == 0 && !deadline.hasExpired())
        QThread::usleep(kExitPollUs);
#endif
}
