// SPDX-License-Identifier: GPL-3.0-or-later
#include "plotfeeder.h"

#include "frameaxis.h"
#include "sensorseries.h"

#include <qcustomplot.h>

PlotFeeder::PlotFeeder(QCustomPlot *plot, const FrameAxis *axis)
    : m_plot(plot)
    , m_axis(axis)
{}

void PlotFeeder::update(int sensor, const SensorSeries &stored, double upTo)
{
    if (stored.keys.isEmpty())
        return;
    double &plottedUpTo = m_plottedUpTo[std::size_t(sensor)];
    // A graph made since (the sensor count rose) holds nothing yet; keys start at 0 in review.
    if (m_plot->graph(kAxisCount * sensor)->data()->isEmpty())
        plottedUpTo = -1;
    qsizetype firstNew = stored.keys.size();
    while (firstNew > 0 && stored.keys.at(firstNew - 1) > plottedUpTo)
        --firstNew;
    qsizetype end = stored.keys.size();
    while (end > firstNew && stored.keys.at(end - 1) > upTo)
        --end;
    const QList<double> &at = m_axis->isTimeShown() ? stored.seconds : stored.keys;
    const QList<double> *values[kAxisCount] = {&stored.xValues, &stored.yValues, &stored.zValues};
    for (int a = 0; a < kAxisCount; ++a) {
        QCPGraph *graph = m_plot->graph(kAxisCount * sensor + a);
        graph->data()->removeBefore(at.first());
        for (qsizetype k = firstNew; k < end; ++k) {
            if (k > 0 && m_axis->breaksBetween(stored.keys.at(k - 1), stored.keys.at(k)))
                graph->addData((at.at(k - 1) + at.at(k)) / 2, qQNaN());
            graph->addData(at.at(k), values[a]->at(k));
        }
    }
    if (end > firstNew)
        plottedUpTo = stored.keys.at(end - 1);
}

void PlotFeeder::clear()
{
    for (int g = 0; g < m_plot->graphCount(); ++g)
        m_plot->graph(g)->data()->clear();
    m_plottedUpTo.fill(-1);
}
