// SPDX-License-Identifier: GPL-3.0-or-later
#include "frametimes.h"

#include <cmath>

void FrameTimes::stamp(double key)
{
    // The first frame is time zero.
    if (!m_clock.isValid()) {
        m_clock.start();
        m_start = QDateTime::currentDateTime();
    }
    const qint64 micros = m_micros.isEmpty() ? 0 : m_clock.nsecsElapsed() / 1000;
    if (m_micros.size() >= kCapacity)
        m_micros.removeFirst();
    m_micros.append(micros);
    m_lastKey = key;
}

qint64 FrameTimes::microsAt(double key) const
{
    const double back = m_lastKey - key;
    if (back < 0 || back >= double(m_micros.size()) || back != std::floor(back))
        return -1;
    return m_micros.at(m_micros.size() - 1 - qsizetype(back));
}
