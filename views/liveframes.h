// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LIVEFRAMES_H
#define LIVEFRAMES_H

#include "devicerecords.h"
#include "framestamper.h"

#include <QList>
#include <QString>

class CurveBuffer;
class FrameAxis;

// The live frames into the stored curves. A frame that comes without a stamp is stamped as it
// comes; the first frame after the live data stopped comes after a gap of the stop's cause, which
// breaks the curves.
class LiveFrames
{
public:
    LiveFrames(CurveBuffer &buffer, FrameAxis &axis);

    FrameStamp ownStamp() { return m_ownStamps.next(0); }
    // A second call before a frame changes nothing.
    void beginGap(const QString &cause);
    // Sensors below `count` get a point.
    void take(const FrameStamp &stamp, const QList<Axit_t> &readings, uint count);

private:
    CurveBuffer &m_buffer;
    FrameAxis &m_axis;
    FrameStamper m_ownStamps;
    bool m_gapPending = false;
    QString m_gapCause;
};

#endif // LIVEFRAMES_H
