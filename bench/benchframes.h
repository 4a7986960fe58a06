// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef BENCHFRAMES_H
#define BENCHFRAMES_H

#include "devicerecords.h"

#include <QList>

#include <cmath>

// Frames shared by the view benchmarks and the picture grabs, so that both draw the same data.

// Readings that swing over most of the range, so that every arrow and cell is loaded and the
// curves cross the whole plot.
inline QList<Axit_t> loadedFrame(int n)
{
    QList<Axit_t> frame;
    for (int i = 0; i < kMaxSensors; ++i) {
        const double phase = n * 0.05 + i;
        frame.append(Axit_t{qint16(6000 * std::sin(phase)), qint16(6000 * std::cos(phase)),
                            qint16(-8000 * std::sin(phase * 0.5))});
    }
    return frame;
}

// A skin at rest: small offsets and a few units of noise, so that every curve is long and flat,
// as in most of a live stream.
inline QList<Axit_t> restingFrame(int n)
{
    QList<Axit_t> frame;
    for (int i = 0; i < kMaxSensors; ++i) {
        const auto noise = [&](int k) {
            return qint16((n * k + i * 7) % 7 - 3 + 10 * (i - 8));
        };
        frame.append(Axit_t{noise(3), noise(5), noise(11)});
    }
    return frame;
}

#endif // BENCHFRAMES_H
