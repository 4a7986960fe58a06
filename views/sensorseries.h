// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SENSORSERIES_H
#define SENSORSERIES_H

#include "devicerecords.h"

#include <QList>

// Stored points of one sensor's X, Y and Z curves. Point k of the X curve is
// (keys[k], xValues[k]), and likewise for Y and Z; seconds[k] is the time of its frame, where the
// point stands when the x axis shows the time. The lists always have equal length.
struct SensorSeries
{
    static constexpr int kMaxPoints = 1000;

    // Adds one point per axis at key; a full series first drops its oldest point.
    void append(double key, double second, const Axit_t &reading);
    // Drops the points before `key`.
    void dropBefore(double key);

    QList<double> xValues;
    QList<double> yValues;
    QList<double> zValues;
    QList<double> keys;
    QList<double> seconds;
};

#endif // SENSORSERIES_H
