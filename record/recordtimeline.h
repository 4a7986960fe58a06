// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDTIMELINE_H
#define RECORDTIMELINE_H

#include "devicerecords.h"
#include "framestamp.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

#include <algorithm>

// The time base of one recording, stream or saved selection, and the lines its stamped frames
// become: every writer of the recording format (the file, the stream, the curve window's saved
// data) formats its rows here, so that all of them agree on each frame's time and on where the
// card's rate changed.
//
// The first frame after restart() is time zero; a frame's time is the time between its stamp and
// the first frame's. A frame whose known rate differs from the rate named so far (the head's,
// then that of the last frequency line) gets a frequency line before its row; a frame whose
// rate is not known changes nothing. Until a rate is named, no frequency line is written, and the
// first row's known rate becomes the head's.
class RecordTimeline
{
public:
    // The next frame is time zero; no rate is named.
    void restart();
    // The rate that the head names, 0 when it names none; frames at another rate get frequency
    // lines from now on.
    void nameRate(int hz);
    // What the head's "# frequency_hz" says: the rate named for the first row, or named since.
    int headRate() const;
    // The rate the newest row is at, as far as the lines tell; 0 when they do not.
    int currentRate() const { return std::max(m_namedHz, 0); }

    bool hasStarted() const { return m_started; }
    const FrameStamp &newest() const { return m_newest; }
    // The newest frame's time on this time base.
    qint64 newestMicros() const { return m_newestMicros; }
    // The time of a moment on the frames' clock, on this time base: never before the newest
    // frame (0 before the first).
    qint64 microsAt(qint64 clockUs) const;
    // The time the frame with `stamp` has, or will have, on this time base.
    qint64 timeOf(const FrameStamp &stamp) const { return microsAt(stamp.timeUs); }
    // The date and time of the first frame; invalid before it.
    QDateTime startTime() const { return m_start; }

    // Appends the lines of one frame to `out`: a frequency line first when its rate is new,
    // then its row (`num` readings, at most 16). With no `out`, the time base and the rate move
    // on as if the lines had been written.
    void appendFrame(QByteArray *out, const FrameStamp &stamp, const QList<Axit_t> &readings,
                     uint num);
    // The time a marker on `marked` carries: that frame's when it is one of the last
    // RecordFormat::kMarkerReachRows frames of this time base, so that a reader finds its row;
    // otherwise (it is older, came before the first frame, or has no stamp) the newest frame's.
    qint64 markerMicros(const FrameStamp &marked) const;

private:
    static constexpr int kUndecided = -1;

    qint64 sinceFirst(qint64 clockUs) const
    {
        return std::max<qint64>(clockUs - m_first.timeUs, 0);
    }

    bool m_started = false;
    FrameStamp m_first;
    FrameStamp m_newest;
    qint64 m_newestMicros = 0;
    QDateTime m_start;
    int m_namedHz = kUndecided;
    int m_firstRowHz = kUndecided;
};

#endif // RECORDTIMELINE_H
