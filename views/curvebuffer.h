// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CURVEBUFFER_H
#define CURVEBUFFER_H

#include "devicerecords.h"
#include "frametimes.h"
#include "sensorseries.h"

#include <QtGlobal>

#include <array>
#include <functional>
#include <utility>
#include <vector>

struct RecordedFrame;

// The points the curve window holds: per sensor the X, Y and Z values of its last 1000 frames
// with their keys and times, the key of the newest frame, and the stamps of the last frames. The
// live data fill it frame by frame (keys from 1); a review fills it with the frames that end at
// its cursor (keys are the frames' indexes in the file). Every change counts a revision, so that
// a display can tell whether there is anything new to draw.
class CurveBuffer
{
public:
    // Whether a sensor's curve counts for the value range.
    using CurveFilter = std::function<bool(int sensor, int axis)>;

    // A live frame under the next key: sensors below `count` get a point, and its stamp is kept.
    void append(const FrameStamp &stamp, const QList<Axit_t> &readings, uint count);
    // A review's frames `first` to `newest` (`frames` starts at `first`): after a cursor that went
    // on (`continued`), only those after the newest key are added; else the buffer starts anew.
    // Points before `first` go.
    void takeRecorded(const std::vector<RecordedFrame> &frames, qint64 first, qint64 newest,
                      bool continued);

    const SensorSeries &series(int sensor) const { return m_series[std::size_t(sensor)]; }
    double newestKey() const { return m_newestKey; }
    // The oldest key of any sensor's points; the newest key when there are none.
    double oldestKey() const;
    const FrameTimes &times() const { return m_times; }
    quint64 revision() const { return m_revision; }

    // The lowest and highest value of the points of sensors below `sensors`, among those with
    // keys from `lower` to `upper`, of the curves that `counts`; lowest above highest when none.
    std::pair<double, double> valueRange(uint sensors, double lower, double upper,
                                         const CurveFilter &counts) const;

private:
    std::array<SensorSeries, kMaxSensors> m_series;
    double m_newestKey = 0;
    FrameTimes m_times;
    quint64 m_revision = 0;
};

#endif // CURVEBUFFER_H
