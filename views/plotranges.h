// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PLOTRANGES_H
#define PLOTRANGES_H

#include <QObject>

#include <functional>

class CurveBuffer;
class FrameAxis;
class QCPAxis;
class QCPRange;
class QCustomPlot;

// The plot's ranges as the window sets them: the keys of the newest frames, and the values of
// every stored point of every sensor's graphs (hidden curves and points out of view included), or
// of the shown curves' points in view only when the operator asks so. Any other change of range is
// the operator's zoom or pan. The axes on the top and the right follow the bottom and the left.
class PlotRanges : public QObject
{
    Q_OBJECT
public:
    // The frames that the plot shows before the newest.
    static constexpr double kVisibleKeys = 100;

    // Frames stand where `axis` puts them.
    PlotRanges(QCustomPlot *plot, const FrameAxis *axis, QObject *parent = nullptr);

    void setFitShown(bool fit) { m_fitShown = fit; }
    // The keys up to `newest`, and `lead` more after it; the values of the `sensors` first
    // sensors' points in `buffer`, which `widen` may widen for curves of its own.
    void follow(const CurveBuffer &buffer, uint sensors, double newest, double lead,
                const std::function<void(QCPAxis *values)> &widen = {});
    // The keys `lower` to `upper`, where the axis puts them now.
    void showKeys(double lower, double upper);

signals:
    void operatorChanged();

private:
    void fitValues(const CurveBuffer &buffer, uint sensors, const QCPRange &shownKeys);
    void takeChange();

    QCustomPlot *m_plot;
    const FrameAxis *m_axis;
    bool m_fitShown = false;
    // The window, not the operator, is setting the ranges.
    bool m_setting = false;
};

#endif // PLOTRANGES_H
