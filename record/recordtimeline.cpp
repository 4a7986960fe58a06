// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordtimeline.h"

#include "recordformat.h"

#include <algorithm>

void RecordTimeline::restart()
{
    *this = RecordTimeline();
}

void RecordTimeline::nameRate(int hz)
{
    m_namedHz = std::max(hz, 0);
}

int RecordTimeline::headRate() const
{
    return std::max(m_firstRowHz != kUndecided ? m_firstRowHz : m_namedHz, 0);
}

qint64 RecordTimeline::microsAt(qint64 clockUs) const
{
    return m_started ? std::max(sinceFirst(clockUs), m_newestMicros) : 0;
}

void RecordTimeline::appendFrame(QByteArray *out, const FrameStamp &stamp,
                                 const QList<Axit_t> &readings, uint num)
{
    const int hz = stamp.frequencyHz;
    if (!m_started) {
        m_started = true;
        m_first = stamp;
        m_start = FrameStamp::wallClockAt(stamp.timeUs);
        // A rate known from the first row on is the head's; no line can stand before it.
        if (m_namedHz != kUndecided && hz > 0)
            m_namedHz = hz;
        m_firstRowHz = m_namedHz;
    }
    const qint64 micros = timeOf(stamp);
    if (m_namedHz != kUndecided && hz > 0 && hz != m_namedHz) {
        m_namedHz = hz;
        if (out)
            *out += RecordFormat::frequencyLine(micros, hz);
    }
    if (out)
        RecordFormat::appendFrameLine(*out, micros, readings, num);
    m_newest = stamp;
    m_newestMicros = micros;
}

qint64 RecordTimeline::markerMicros(const FrameStamp &marked) const
{
    const bool reached = marked.isValid() && marked.sequence >= m_first.sequence &&
                         marked.sequence <= m_newest.sequence &&
                         m_newest.sequence - marked.sequence < RecordFormat::kMarkerReachRows;
    return reached ? std::min(sinceFirst(marked.timeUs), m_newestMicros) : m_newestMicros;
}
