// SPDX-License-Identifier: GPL-3.0-or-later
#include "workercall.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QThread>
#include <QWaitCondition>

#include <memory>

namespace {

// Shared by the caller and the queued call, either of which may be gone first.
struct Handoff
{
    enum State { Queued, Running, Done, Dropped };
    QMutex lock;
    QWaitCondition changed;
    State state = Queued;

    void set(State next)
    {
        const QMutexLocker locker(&lock);
        state = next;
        changed.wakeAll();
    }
};

} // namespace

bool callInWorker(QObject *worker, std::function<void()> call, int timeoutMs)
{
    if (!worker)
        return false;
    QThread *thread = worker->thread();
    if (thread == QThread::currentThread()) {
        call();
        return true;
    }
    if (!thread || !thread->isRunning() || thread->isInterruptionRequested())
        return false;

    auto handoff = std::make_shared<Handoff>();
    const auto run = [handoff, call = std::move(call)] {
        {
            const QMutexLocker locker(&handoff->lock);
            if (handoff->state == Handoff::Dropped)
                return;
            handoff->state = Handoff::Running;
        }
        call();
        handoff->set(Handoff::Done);
    };
    if (!QMetaObject::invokeMethod(worker, run, Qt::QueuedConnection))
        return false;

    const QDeadlineTimer deadline(timeoutMs);
    QMutexLocker locker(&handoff->lock);
    while (handoff->state != Handoff::Done) {
        if (!handoff->changed.wait(&handoff->lock, deadline)) {
            if (handoff->state == Handoff::Queued)
                handoff->state = Handoff::Dropped;
            return handoff->state == Handoff::Done;
        }
    }
    return true;
}
