// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef READINGMAGNITUDE_H
#define READINGMAGNITUDE_H

#include "devicerecords.h"

#include <cmath>

// Below this magnitude a sensor counts as unloaded: the plane graph leaves its cell at the colour
// of no force, and the analysis of a frame takes it as the contact threshold unless the operator
// sets another.
constexpr int kContactFloor = 500;

// x^2 + y^2 + z^2 of one sensor's reading, in 64 bits: three squared 16-bit readings reach
// 3 * 2^30 and would overflow a 32-bit int.
inline qint64 squaredMagnitude(const Axit_t &reading)
{
    const qint64 x = reading.x;
    const qint64 y = reading.y;
    const qint64 z = reading.z;
    return x * x + y * y + z * z;
}

// Length of one sensor's three-axis force, truncated to whole counts.
inline int readingMagnitude(const Axit_t &reading)
{
    return int(std::sqrt(double(squaredMagnitude(reading))));
}

#endif // READINGMAGNITUDE_H
