// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PARKEDLIVE_H
#define PARKEDLIVE_H

#include "curvebuffer.h"
#include "frameaxis.h"

#include <QList>

#include <memory>

class PlotMarkers;
class QAction;
class QCustomPlot;
class ReviewTimeline;

// The live display while a recording is reviewed: its stored points, markers, gaps and the views'
// readings, put aside as they were and given back at the review's end. Meanwhile the timeline
// shows, and Space plays the review instead of pausing.
class ParkedLive
{
public:
    // Markers are drawn on `plot`; `pause` is the window's pause.
    ParkedLive(QCustomPlot *plot, QAction *pause, ReviewTimeline *timeline);
    ~ParkedLive();
    ParkedLive(const ParkedLive &) = delete;
    ParkedLive &operator=(const ParkedLive &) = delete;

    // Takes the live points out of `buffer` (it is left empty), the markers (hidden; `markers`
    // gets none for the review's) and the axis' gaps.
    void park(CurveBuffer &buffer, std::unique_ptr<PlotMarkers> &markers, const FrameAxis &axis,
              const QList<Axit_t> &readings);
    // Gives the points and gaps back, and the markers, shown where the axis now puts them; the
    // readings go to `readings`.
    std::unique_ptr<PlotMarkers> restore(CurveBuffer &buffer, FrameAxis &axis,
                                         QList<Axit_t> &readings);

private:
    QCustomPlot *m_plot;
    QAction *m_pause;
    ReviewTimeline *m_timeline;
    CurveBuffer m_buffer;
    std::unique_ptr<PlotMarkers> m_markers;
    QList<Axit_t> m_readings;
    QList<FrameAxis::Gap> m_gaps;
};

#endif // PARKEDLIVE_H
