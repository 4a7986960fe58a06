// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SHOWNDATA_H
#define SHOWNDATA_H

#include "devicerecords.h"
#include "frameaxis.h"
#include "framestamp.h"
#include "plotmarkers.h"

#include <QList>
#include <QString>

#include <functional>

class QCPRange;
class QCustomPlot;

// One frame as the plot holds it: its key, its stamp, and the readings of the sensors that have
// a point of that frame (always sensors 0 to n - 1).
struct ShownFrame
{
    double key = 0;
    FrameStamp stamp;
    QList<Axit_t> readings;
};

// The points the curve window's plot holds, taken back into frames and written as a recording.
class ShownData
{
public:
    // The frames within `coordinates` (of the x axis) whose points the graphs of the first
    // `sensors` sensors hold (three graphs per sensor, in sensor order). Every frame with
    // readings has a point of sensor 0; a frame takes the leading sensors with a point at its
    // coordinate. `keyAt` names the frame at a coordinate (NaN where none is: the breaks at
    // gaps). Frames whose stamp (`stampAt`, by key) is not known are left out.
    static QList<ShownFrame> collect(const QCustomPlot &plot, int sensors,
                                     const QCPRange &coordinates,
                                     const std::function<double(double)> &keyAt,
                                     const std::function<FrameStamp(double)> &stampAt);

    // Writes `frames` to `path` in the recording format as a recording of their own: their
    // times counted from the first frame's stamp, the rate of the first frame as its
    // "# frequency_hz" and a frequency line where it changes, each marker (in key order) after
    // the row of its frame; a marker whose frame is not written is left out. A gap between two
    // written frames goes before the row after it, as long as the time between them. The start
    // line gives the first frame's date and time when `withStart`. False, with `error`, when the
    // file cannot be written.
    static bool write(const QString &path, const QList<ShownFrame> &frames,
                      const QList<PlotMarker> &markers, const QList<FrameAxis::Gap> &gaps,
                      bool withStart, QString &error);
};

#endif // SHOWNDATA_H
