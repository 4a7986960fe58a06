// SPDX-License-Identifier: GPL-3.0-or-later
#include "frametimes.h"

#include <cmath>

void FrameTimes::add(double key, const FrameStamp &stamp)
{
    // The first frame is time zero.
    if (m_lastKey == 0 && m_stamps.isEmpty())
        m_firstUs = stamp.timeUs;
    if (m_stamps.size() >= kCapacity)
        m_stamps.removeFirst();
    m_stamps.append(stamp);
    m_lastKey = key;
}

FrameStamp FrameTimes::stampAt(double key) const
{
    const double back = m_lastKey - key;
    if (back < 0 || back >= double(m_stamps.size()) || back != std::floor(back))
        return {};
    return m_stamps.at(m_stamps.size() - 1 - qsizetype(back));
}

qint64 FrameTimes::microsAt(double key) const
{
    const FrameStamp stamp = stampAt(key);
    return stamp.isValid() ? stamp.timeUs - m_firstUs : -1;
}
