// SPDX-License-Identifier: GPL-3.0-or-later
#include "parkedlive.h"

#include "plotmarkers.h"
#include "reviewtimeline.h"

#include <QAction>

ParkedLive::ParkedLive(QCustomPlot *plot, QAction *pause, ReviewTimeline *timeline)
    : m_plot(plot)
    , m_pause(pause)
    , m_timeline(timeline)
{}

ParkedLive::~ParkedLive() = default;

void ParkedLive::park(CurveBuffer &buffer, std::unique_ptr<PlotMarkers> &markers,
                      const FrameAxis &axis, const QList<Axit_t> &readings)
{
    m_pause->setChecked(false);
    std::swap(buffer, m_buffer);
    buffer = {};
    m_markers = std::move(markers);
    m_markers->setVisible(false);
    markers = std::make_unique<PlotMarkers>(m_plot, &axis);
    m_readings = readings;
    m_gaps = axis.gaps();
    m_pause->setShortcut(QKeySequence());
    m_timeline->show();
}

std::unique_ptr<PlotMarkers> ParkedLive::restore(CurveBuffer &buffer, FrameAxis &axis,
                                                 QList<Axit_t> &readings)
{
    m_timeline->hide();
    m_pause->setChecked(false);
    m_pause->setShortcut(Qt::Key_Space);
    std::swap(buffer, m_buffer);
    m_buffer = {};
    axis.setGaps(std::exchange(m_gaps, {}));
    readings = std::exchange(m_readings, {});
    // The axis may have changed meanwhile.
    m_markers->relocate();
    m_markers->setVisible(true);
    return std::move(m_markers);
}
