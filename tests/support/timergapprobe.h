// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TIMERGAPPROBE_H
#define TIMERGAPPROBE_H

// Ticks every 10 ms in the thread that creates it and keeps the longest time that thread worked
// between two ticks without answering the timer. Counted in the thread's own processor time, so
// that a machine busy with other work does not count against it.

#include <QObject>
#include <QTimer>

#include <ctime>

class TimerGapProbe : public QObject
{
public:
    TimerGapProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = threadMs();
            m_longestMs = qMax(m_longestMs, now - m_lastMs);
            m_lastMs = now;
        });
        m_lastMs = threadMs();
        m_timer.start(10);
    }

    qint64 longestGapMs() const { return m_longestMs; }

private:
    static qint64 threadMs()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    }

    QTimer m_timer;
    qint64 m_lastMs = 0;
    qint64 m_longestMs = 0;
};

#endif // TIMERGAPPROBE_H
