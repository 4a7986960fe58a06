// SPDX-License-Identifier: GPL-3.0-or-later
// A worker thread that has been ended is gone from the process, not only out of its event loop:
// QThread::wait() alone returns while the system thread still tears itself down.

#include "workerthread.h"

#include <QDir>
#include <QTest>

namespace {

qsizetype systemThreads()
{
    return QDir(QStringLiteral("/proc/self/task"))
        .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
        .size();
}

} // namespace

class tst_WorkerThread : public QObject
{
    Q_OBJECT

private slots:
    // Each round is one chance for the thread to be caught on its way out.
    void end_returnsOnceTheSystemThreadHasExited()
    {
        const qsizetype before = systemThreads();
        for (int round = 0; round < 100; ++round) {
            WorkerThread thread;
            thread.start();
            QObject inThread;
            inThread.moveToThread(&thread);
            QMetaObject::invokeMethod(
                &inThread, [] {}, Qt::BlockingQueuedConnection);

            thread.end();

            QCOMPARE(systemThreads(), before);
        }
    }
};

QTEST_GUILESS_MAIN(tst_WorkerThread)
#include "tst_workerthread.moc"
