// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkhealthmeter.h"

void LinkHealthMeter::restart(qint64 nowMs)
{
    m_marks.assign(1, Mark{nowMs, 0});
    m_lastChange = Mark{nowMs, 0};
}

LinkHealth LinkHealthMeter::sample(qint64 nowMs, const LinkCounters &counters)
{
    const Mark now{nowMs, counters.sensorFrames()};
    // The frame time is only known to the sampling tick: a stream that stops is noticed at the
    // first tick that sees no new frame.
    if (now.sensorFrames != m_lastChange.sensorFrames)
        m_lastChange = now;

    while (m_marks.size() > 1 && nowMs - m_marks[1].ms >= kRateWindowMs)
        m_marks.pop_front();

    LinkHealth health;
    health.counters = counters;
    health.sensorFramesPerSecond = rateSince(now);
    health.msWithoutSensorData = nowMs - m_lastChange.ms;
    m_marks.push_back(now);
    return health;
}

double LinkHealthMeter::rateSince(const Mark &now) const
{
    if (m_marks.empty() || now.ms <= m_marks.front().ms)
        return 0.0;
    const Mark &base = m_marks.front();
    return double(now.sensorFrames - base.sensorFrames) * 1000.0 / double(now.ms - base.ms);
}
