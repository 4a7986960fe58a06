// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef BENCHMEASURE_H
#define BENCHMEASURE_H

// Measuring helpers of the benchmarks that run the programs' threads for a while: processor
// time by thread or process from the scheduler's own account, percentiles, and waiting with the
// event loop running.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

// The programs' debug lines would drown the figures.
inline void printWarningsOnly()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
}

// Processor time of this process's threads whose name starts with `name`, in seconds.
inline double threadCpuSeconds(const QString &name)
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    double seconds = 0;
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        QFile schedstat(tasks.filePath(tid + QStringLiteral("/schedstat")));
        if (comm.open(QIODevice::ReadOnly) &&
            comm.readAll().trimmed().startsWith(name.toLocal8Bit()) &&
            schedstat.open(QIODevice::ReadOnly))
            seconds += schedstat.readAll().split(' ').first().toDouble() / 1e9;
    }
    return seconds;
}

// Processor time of another process of one thread, such as a broker, in seconds.
inline double processCpuSeconds(qint64 pid)
{
    QFile schedstat(QStringLiteral("/proc/%1/schedstat").arg(pid));
    return schedstat.open(QIODevice::ReadOnly)
               ? schedstat.readAll().split(' ').first().toDouble() / 1e9
               : 0;
}

inline double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p * double(values.size())))];
}

inline void runEventLoopFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

inline bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

#endif // BENCHMEASURE_H
