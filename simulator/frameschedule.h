// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FRAMESCHEDULE_H
#define FRAMESCHEDULE_H

#include <QtGlobal>

#include <algorithm>

// After a stall the card sends at most this many frames at once; older due frames are skipped,
// as a real card that had no time to sample would skip them.
constexpr int kMaxCatchUpFrames = 4;

// Paces a fixed frame rate against an elapsed clock. The timer that polls it may fire late or
// early; the number of frames handed out still follows the clock exactly on average, so the
// rate does not drift with timer jitter.
class FrameSchedule
{
public:
    void restart(qint64 nowNs, int framesPerSecond)
    {
        m_startNs = nowNs;
        m_rate = std::max(framesPerSecond, 1);
        m_counted = 0;
    }

    // How many frames are due now; they count as sent once returned.
    int framesDue(qint64 nowNs)
    {
        const qint64 due = dueSinceStart(nowNs);
        m_counted = std::max(m_counted, due - kMaxCatchUpFrames);
        const qint64 count = std::max<qint64>(due - m_counted, 0);
        m_counted += count;
        return int(count);
    }

private:
    static constexpr qint64 kNsPerSecond = 1000000000;

    // Split into whole seconds and the rest so that the product cannot overflow.
    qint64 dueSinceStart(qint64 nowNs) const
    {
        const qint64 elapsed = std::max<qint64>(nowNs - m_startNs, 0);
        return elapsed / kNsPerSecond * m_rate + elapsed % kNsPerSecond * m_rate / kNsPerSecond;
    }

    qint64 m_startNs = 0;
    qint64 m_rate = 1;
    qint64 m_counted = 0;
};

#endif // FRAMESCHEDULE_H
