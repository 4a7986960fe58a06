// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SENSORLEGEND_H
#define SENSORLEGEND_H

#include <QList>
#include <QObject>

class QCPLayoutGrid;
class QCPLegend;
class QCustomPlot;

// The legend beside the plot ("图例在图外"): one compact entry per shown sensor
// (SensorLegendEntry), in a column right of the axis rect, so that it never covers the curves
// or the axes, in saved pictures too. Entries run top to bottom and start a further column when
// the plot is too low for them. Its double clicks reach the plot's legendDoubleClick(), as the
// plot's own legend's do.
class SensorLegend : public QObject
{
    Q_OBJECT
public:
    // The sensor `s` has the plot's graphs 3s, 3s + 1 and 3s + 2 (X, Y, Z).
    explicit SensorLegend(QCustomPlot *plot);
    ~SensorLegend() override;

    void setShown(bool shown);
    bool isShown() const { return m_shown; }
    // One entry for each of `sensors`, in this order.
    void setSensors(const QList<int> &sensors);
    QCPLegend *legend() const { return m_legend; }

private:
    void fitRows();

    QCustomPlot *m_plot;
    QCPLayoutGrid *m_column;
    QCPLegend *m_legend;
    QList<int> m_sensors;
    bool m_shown = true;
};

#endif // SENSORLEGEND_H
