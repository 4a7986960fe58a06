// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FRAMETIMES_H
#define FRAMETIMES_H

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>

// When each of the last frames arrived, by the frame's key (the curve window's sample counter,
// which grows by one per frame), in microseconds since the first frame on a monotonic clock. The
// plot's x axis counts frames; these times give them back their real spacing.
class FrameTimes
{
public:
    // As many as a curve holds points.
    static constexpr int kCapacity = 1000;

    // The frame with `key` has arrived now; a full list first drops its oldest time.
    void stamp(double key);
    // Microseconds since the first frame, or -1 for a key whose time is not kept.
    qint64 microsAt(double key) const;
    // Wall-clock time of the first frame; invalid before it.
    QDateTime startTime() const { return m_start; }

private:
    QElapsedTimer m_clock;
    QDateTime m_start;
    QList<qint64> m_micros;
    double m_lastKey = 0;
};

#endif // FRAMETIMES_H
