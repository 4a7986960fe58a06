// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PLOTPAUSE_H
#define PLOTPAUSE_H

#include "devicerecords.h"
#include "frametimes.h"

#include <QList>
#include <QObject>

class QAction;

// The operator's hold on the curves: the pause action, and a zoom or pan of the plot, which
// pauses. While paused the frames are still stored, but the plot and both views stay as they are:
// the times of the frames the plot shows and the views' newest readings are held until the pause
// ends.
class PlotPause : public QObject
{
    Q_OBJECT
public:
    // `pause` is checked while paused.
    explicit PlotPause(QAction *pause, QObject *parent = nullptr);

    bool isPaused() const { return m_paused; }
    // The operator has zoomed or panned; the ranges stay until the pause ends.
    bool isZoomed() const { return m_zoomed; }
    // The times of the frames the plot shows: those held while paused, else `live`.
    const FrameTimes &shownTimes(const FrameTimes &live) const { return m_paused ? m_times : live; }
    // The picture held at the pause: the `times` of its frames, the views' `readings`.
    void hold(const FrameTimes &times, const QList<Axit_t> &readings);
    // Newer readings, for the views when the pause ends.
    void holdReadings(const QList<Axit_t> &readings) { m_readings = readings; }
    // The operator zoomed or panned.
    void takeZoom();
    void resume();

signals:
    // The window holds its picture (hold()).
    void paused();
    // The window goes on from the newest frame, the views from `readings`.
    void resumed(const QList<Axit_t> &readings);

private:
    void setPaused(bool on);

    QAction *m_action;
    bool m_paused = false;
    bool m_zoomed = false;
    FrameTimes m_times;
    QList<Axit_t> m_readings;
};

#endif // PLOTPAUSE_H
