// SPDX-License-Identifier: GPL-3.0-or-later
#include "framestamper.h"

#include <algorithm>

FrameStamp FrameStamper::next(int frequencyHz)
{
    qint64 now = 0;
    if (!m_inArrival) {
        now = FrameStamp::clockMicros();
    } else {
        if (m_arrivalUs == kUnread)
            m_arrivalUs = FrameStamp::clockMicros();
        now = m_arrivalUs;
    }
    m_lastUs = m_lastUs == kUnread ? now : std::max(now, m_lastUs + 1);
    return FrameStamp{++m_sequence, m_lastUs, frequencyHz};
}
