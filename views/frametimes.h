// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FRAMETIMES_H
#define FRAMETIMES_H

#include "framestamp.h"

#include <QList>

// The stamps of the last frames, by the frame's key (the curve window's sample counter, which
// grows by one per frame). The plot's x axis counts frames; the stamps give them back the times
// the card sent them at, the same as in a recording or on the stream, and name each frame for a
// marker.
class FrameTimes
{
public:
    // As many as a curve holds points.
    static constexpr int kCapacity = 1000;

    // The frame with `key` has come; a full list first drops its oldest stamp.
    void add(double key, const FrameStamp &stamp);
    // The stamp of the frame with `key`; invalid for a key whose stamp is not kept.
    FrameStamp stampAt(double key) const;
    // Microseconds since the first frame, or -1 for a key whose stamp is not kept.
    qint64 microsAt(double key) const;
    // The keys whose stamps are kept, every one between too; the first is above the last while
    // none is.
    double firstKey() const { return m_lastKey - double(m_stamps.size()) + 1; }
    double lastKey() const { return m_lastKey; }

private:
    QList<FrameStamp> m_stamps;
    qint64 m_firstUs = 0;
    double m_lastKey = 0;
};

#endif // FRAMETIMES_H
