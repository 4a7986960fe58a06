// SPDX-License-Identifier: GPL-3.0-or-later
#include "plotranges.h"

#include "curvebuffer.h"
#include "frameaxis.h"

#include <qcustomplot.h>

#include <limits>

PlotRanges::PlotRanges(QCustomPlot *plot, const FrameAxis *axis, QObject *parent)
    : QObject(parent)
    , m_plot(plot)
    , m_axis(axis)
{
    const auto rangeChanged = QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged);
    const auto setRange = QOverload<const QCPRange &>::of(&QCPAxis::setRange);
    connect(plot->xAxis, rangeChanged, plot->xAxis2, setRange);
    connect(plot->yAxis, rangeChanged, plot->yAxis2, setRange);
    for (QCPAxis *shown : {plot->xAxis, plot->yAxis})
        connect(shown, rangeChanged, this, &PlotRanges::takeChange);
}

void PlotRanges::follow(const CurveBuffer &buffer, uint sensors, double newest, double lead,
                        const std::function<void(QCPAxis *values)> &widen)
{
    m_setting = true;
    m_plot->xAxis->setRange(m_axis->rangeOfKeys(newest - kVisibleKeys, newest + lead));
    fitValues(buffer, sensors, QCPRange(newest - kVisibleKeys, newest));
    if (widen)
        widen(m_plot->yAxis);
    m_setting = false;
}

void PlotRanges::showKeys(double lower, double upper)
{
    m_setting = true;
    m_plot->xAxis->setRange(m_axis->rangeOfKeys(lower, upper));
    m_setting = false;
}

void PlotRanges::fitValues(const CurveBuffer &buffer, uint sensors, const QCPRange &shownKeys)
{
    constexpr double kEverywhere = std::numeric_limits<double>::infinity();
    const auto [lowest, highest] =
        m_fitShown
            ? buffer.valueRange(
                  sensors, shownKeys.lower, shownKeys.upper,
                  [this](int s, int a) { return m_plot->graph(kAxisCount * s + a)->visible(); })
            : buffer.valueRange(sensors, -kEverywhere, kEverywhere, [](int, int) { return true; });
    if (lowest < highest)
        m_plot->yAxis->setRange(QCPRange(lowest, highest));
    else // no points, or one value only: the plot's own rule keeps a usable span
        m_plot->yAxis->rescale(m_fitShown);
}

void PlotRanges::takeChange()
{
    if (!m_setting)
        emit operatorChanged();
}
