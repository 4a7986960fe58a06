// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef READINGMAGNITUDE_H
#define READINGMAGNITUDE_H

#include "devicerecords.h"

#include <cmath>

// Length of one sensor's three-axis force, truncated to whole counts. The squares are summed in
// 64 bits: three squared 16-bit readings reach 3 * 2^30 and would overflow a 32-bit int.
inline int readingMagnitude(const Axit_t &reading)
{
    const qint64 x = reading.x;
    const qint64 y = reading.y;
    const qint64 z = reading.z;
    return int(std::sqrt(double(x * x + y * y + z * z)));
}

#endif // READINGMAGNITUDE_H
