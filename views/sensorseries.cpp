// SPDX-License-Identifier: GPL-3.0-or-later
#include "sensorseries.h"

void SensorSeries::append(double key, double second, const Axit_t &reading)
{
    if (keys.size() >= kMaxPoints) {
        xValues.removeFirst();
        yValues.removeFirst();
        zValues.removeFirst();
        keys.removeFirst();
        seconds.removeFirst();
    }
    xValues.append(reading.x);
    yValues.append(reading.y);
    zValues.append(reading.z);
    keys.append(key);
    seconds.append(second);
}

void SensorSeries::dropBefore(double key)
{
    while (!keys.isEmpty() && keys.first() < key) {
        xValues.removeFirst();
        yValues.removeFirst();
        zValues.removeFirst();
        keys.removeFirst();
        seconds.removeFirst();
    }
}
