// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PLOTNAVIGATOR_H
#define PLOTNAVIGATOR_H

#include <QObject>

class QCustomPlot;
class QMouseEvent;
class QWheelEvent;

// The plot's mouse navigation: the wheel zooms the time axis about the pointer, Ctrl+wheel the
// value axis, dragging pans both, and a rectangle dragged with Shift held zooms to it; the plot
// library moves the axes. A double click on the plot, beside the legend, asks for the automatic
// ranges; the legend keeps its own double click.
class PlotNavigator : public QObject
{
    Q_OBJECT
public:
    explicit PlotNavigator(QCustomPlot *plot);

signals:
    void autoRangeRequested();

private:
    void choosePressMode(QMouseEvent *event);
    void chooseWheelAxis(QWheelEvent *event);
    void doubleClicked(QMouseEvent *event);

    QCustomPlot *m_plot;
};

#endif // PLOTNAVIGATOR_H
