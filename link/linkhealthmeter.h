// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LINKHEALTHMETER_H
#define LINKHEALTHMETER_H

#include "linkhealth.h"

#include <deque>

// Turns the codec's running counts, sampled at the publication ticks, into the frame rate over
// the last second and the time without sensor data. Knows no clock of its own: the caller passes
// the time of every sample, so that the arithmetic is testable without waiting.
class LinkHealthMeter
{
public:
    static constexpr qint64 kRateWindowMs = 1000;

    // The port has opened at `nowMs`; its counts start at zero.
    void restart(qint64 nowMs);
    LinkHealth sample(qint64 nowMs, const LinkCounters &counters);

private:
    struct Mark
    {
        qint64 ms;
        quint32 sensorFrames;
    };

    double rateSince(const Mark &now) const;

    // Oldest first; the first mark is the newest one at least a window old, when there is one.
    std::deque<Mark> m_marks;
    Mark m_lastChange{0, 0};
};

#endif // LINKHEALTHMETER_H
