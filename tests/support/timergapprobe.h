#ifndef TIMERGAPPROBE_H
#define TIMERGAPPROBE_H

// Ticks every 10 ms in the thread that creates it and keeps the longest time between two ticks:
// how long that thread could not answer a timer.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class TimerGapProbe : public QObject
{
public:
    TimerGapProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this,
                [this] { m_longestMs = qMax(m_longestMs, m_clock.restart()); });
        m_clock.start();
        m_timer.start(10);
    }

    qint64 longestGapMs() const { return m_longestMs; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longestMs = 0;
};

#endif // TIMERGAPPROBE_H
