// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FRAMESTAMPER_H
#define FRAMESTAMPER_H

#include "framestamp.h"

#include <limits>

// Stamps the frames of one source as they are decoded: numbers from 1, and times on the frames'
// clock that strictly increase, a microsecond apart at least, so that a frame's time names it.
//
// Bytes read from the port together arrived together, and their frames are decoded within
// microseconds: while such an arrival is open, its frames share one reading of the clock, taken
// at the first of them, instead of paying for a reading each.
class FrameStamper
{
public:
    void beginArrival()
    {
        m_arrivalUs = kUnread;
        m_inArrival = true;
    }
    void endArrival() { m_inArrival = false; }

    FrameStamp next(int frequencyHz);
    quint64 lastSequence() const { return m_sequence; }

private:
    static constexpr qint64 kUnread = std::numeric_limits<qint64>::min();

    quint64 m_sequence = 0;
    qint64 m_lastUs = kUnread;
    qint64 m_arrivalUs = kUnread;
    bool m_inArrival = false;
};

#endif // FRAMESTAMPER_H
