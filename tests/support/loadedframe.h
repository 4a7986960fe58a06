// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LOADEDFRAME_H
#define LOADEDFRAME_H

#include "devicerecords.h"

#include <QList>
#include <QPair>

// The readings of a frame of `count` unloaded sensors with `loaded` readings put on theirs.
inline QList<Axit_t> loadedFrame(int count, const QList<QPair<int, Axit_t>> &loaded)
{
    QList<Axit_t> readings(count, Axit_t{0, 0, 0});
    for (const auto &[sensor, reading] : loaded)
        readings[sensor] = reading;
    return readings;
}

#endif // LOADEDFRAME_H
