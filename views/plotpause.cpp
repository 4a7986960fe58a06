// SPDX-License-Identifier: GPL-3.0-or-later
#include "plotpause.h"

#include <QAction>

PlotPause::PlotPause(QAction *pause, QObject *parent)
    : QObject(parent)
    , m_action(pause)
{
    connect(pause, &QAction::toggled, this, &PlotPause::setPaused);
}

void PlotPause::hold(const FrameTimes &times, const QList<Axit_t> &readings)
{
    m_times = times;
    m_readings = readings;
}

void PlotPause::takeZoom()
{
    m_zoomed = true;
    m_action->setChecked(true);
}

void PlotPause::resume()
{
    m_action->setChecked(false);
}

void PlotPause::setPaused(bool on)
{
    if (on == m_paused)
        return;
    m_paused = on;
    if (on) {
        emit paused();
        return;
    }
    m_zoomed = false;
    emit resumed(std::exchange(m_readings, {}));
}
