// SPDX-License-Identifier: GPL-3.0-or-later
#include "liveframes.h"

#include "curvebuffer.h"
#include "frameaxis.h"

#include <algorithm>

LiveFrames::LiveFrames(CurveBuffer &buffer, FrameAxis &axis)
    : m_buffer(buffer)
    , m_axis(axis)
{}

void LiveFrames::beginGap(const QString &cause)
{
    if (m_gapPending)
        return;
    m_gapPending = true;
    m_gapCause = cause;
}

void LiveFrames::take(const FrameStamp &stamp, const QList<Axit_t> &readings, uint count)
{
    const double newest = m_buffer.newestKey();
    if (std::exchange(m_gapPending, false) && newest > 0) {
        const FrameStamp before = m_buffer.times().stampAt(newest);
        m_axis.addGap({newest + 1,
                       before.isValid() ? std::max<qint64>(stamp.timeUs - before.timeUs, 0) : 0,
                       m_gapCause});
    }
    m_buffer.append(stamp, readings, count);
}
