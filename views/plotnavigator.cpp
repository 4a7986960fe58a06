// SPDX-License-Identifier: GPL-3.0-or-later
#include "plotnavigator.h"

#include <qcustomplot.h>

PlotNavigator::PlotNavigator(QCustomPlot *plot)
    : QObject(plot)
    , m_plot(plot)
{
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    plot->axisRect()->setRangeZoom(Qt::Horizontal);
    // The plot reports each press, wheel turn and double click before it acts on it.
    connect(plot, &QCustomPlot::mousePress, this, &PlotNavigator::choosePressMode);
    connect(plot, &QCustomPlot::mouseWheel, this, &PlotNavigator::chooseWheelAxis);
    connect(plot, &QCustomPlot::mouseDoubleClick, this, &PlotNavigator::doubleClicked);
}

void PlotNavigator::choosePressMode(QMouseEvent *event)
{
    m_plot->setSelectionRectMode(event->modifiers() & Qt::ShiftModifier ? QCP::srmZoom
                                                                        : QCP::srmNone);
}

void PlotNavigator::chooseWheelAxis(QWheelEvent *event)
{
    m_plot->axisRect()->setRangeZoom(event->modifiers() & Qt::ControlModifier ? Qt::Vertical
                                                                              : Qt::Horizontal);
}

void PlotNavigator::doubleClicked(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    const QCPLegend *legend = m_plot->legend;
    if (legend->visible() && legend->outerRect().contains(at))
        return;
    if (m_plot->axisRect()->rect().contains(at))
        emit autoRangeRequested();
}
