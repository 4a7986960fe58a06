// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PLOTFEEDER_H
#define PLOTFEEDER_H

#include "devicerecords.h"

#include <array>

class FrameAxis;
class QCustomPlot;
struct SensorSeries;

// Brings a sensor's three graphs up to its stored points. Between two refreshes a series gains
// points at its end and loses its oldest ones, and its keys only grow; so the graphs drop what
// the series dropped and take the new points in order, instead of being refilled and re-sorted.
// A point after a gap comes after a break (a point without a value) in the line.
class PlotFeeder
{
public:
    // Sensor s has the graphs 3s to 3s + 2 of `plot`; points stand where `axis` puts them.
    PlotFeeder(QCustomPlot *plot, const FrameAxis *axis);

    // The graphs of `sensor` take its points with keys up to `upTo`.
    void update(int sensor, const SensorSeries &stored, double upTo);
    // Every graph takes all its points again at its next update.
    void clear();

private:
    QCustomPlot *m_plot;
    const FrameAxis *m_axis;
    // Key of the newest point that each sensor's graphs hold.
    std::array<double, kMaxSensors> m_plottedUpTo{};
};

#endif // PLOTFEEDER_H
