// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SENSORLEGENDENTRY_H
#define SENSORLEGENDENTRY_H

#include <qcustomplot.h>

#include <QPointer>

#include <array>

// One sensor in the legend beside the plot: the colours of its X, Y and Z curves side by side,
// then its name. A curve that is hidden has an empty grey box.
class SensorLegendEntry : public QCPAbstractLegendItem
{
    Q_OBJECT
public:
    SensorLegendEntry(QCPLegend *parent, int sensor, const std::array<QCPGraph *, 3> &curves);

    int sensor() const { return m_sensor; }
    // Null once the graph is gone.
    QCPGraph *curve(int axis) const { return m_curves[std::size_t(axis)]; }
    // The axis (0 X, 1 Y, 2 Z) whose colour is at `position` (plot pixels), -1 elsewhere.
    int axisAt(const QPointF &position) const;

protected:
    void draw(QCPPainter *painter) override;
    QSize minimumOuterSizeHint() const override;

private:
    QRect swatch(int axis, const QFontMetrics &metrics) const;
    QString name() const;

    int m_sensor;
    std::array<QPointer<QCPGraph>, 3> m_curves;
};

#endif // SENSORLEGENDENTRY_H
