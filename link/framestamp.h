// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FRAMESTAMP_H
#define FRAMESTAMP_H

#include <QDateTime>
#include <QMetaType>
#include <QtGlobal>

// What the driver-card object tells of each sensor-data frame besides its readings, so that
// every reader of the frame (the recording, the stream, the curve window, a review's saved data)
// gives it the same number and the same time: its number in the order the frames were decoded,
// the moment it came on one monotonic clock, and the rate the card had confirmed by then.
struct FrameStamp
{
    // 1 for the first frame of its source, one more for each after it; 0 for a frame without a
    // stamp.
    quint64 sequence = 0;
    // Microseconds on the frames' clock (clockMicros()); later frames have later times.
    qint64 timeUs = 0;
    // The sample rate in Hz that the card had confirmed (by a read or an accepted set) when the
    // frame came; 0 while it is not known.
    int frequencyHz = 0;

    bool isValid() const { return sequence != 0; }

    // Now, on the frames' clock: the system's monotonic clock, which no change of the date moves.
    static qint64 clockMicros();
    // The date and time of a moment on the frames' clock.
    static QDateTime wallClockAt(qint64 clockUs);
};

Q_DECLARE_METATYPE(FrameStamp)

#endif // FRAMESTAMP_H
