// SPDX-License-Identifier: GPL-3.0-or-later
#include "curvebuffer.h"

#include "recordformat.h"

#include <algorithm>
#include <limits>

void CurveBuffer::append(const FrameStamp &stamp, const QList<Axit_t> &readings, uint count)
{
    m_newestKey += 1;
    m_times.add(m_newestKey, stamp);
    const double second = double(m_times.microsAt(m_newestKey)) / 1e6;
    // The count comes from the frame; never read past the readings actually delivered.
    const uint recorded = std::min({count, uint(readings.size()), uint(kMaxSensors)});
    for (uint j = 0; j < recorded; ++j)
        m_series[j].append(m_newestKey, second, readings.at(j));
    ++m_revision;
}

void CurveBuffer::takeRecorded(const std::vector<RecordedFrame> &frames, qint64 first,
                               qint64 newest, bool continued)
{
    if (!continued)
        m_series = {};
    for (qint64 i = continued ? qint64(m_newestKey) + 1 : first; i <= newest; ++i) {
        const RecordedFrame &frame = frames[std::size_t(i - first)];
        for (int s = 0; s < frame.sensors; ++s)
            m_series[std::size_t(s)].append(double(i), double(frame.timeUs) / 1e6,
                                            frame.readings[std::size_t(s)]);
    }
    for (SensorSeries &stored : m_series)
        stored.dropBefore(double(first));
    m_newestKey = double(newest);
    ++m_revision;
}

double CurveBuffer::oldestKey() const
{
    double oldest = m_newestKey;
    for (const SensorSeries &stored : m_series) {
        if (!stored.keys.isEmpty())
            oldest = std::min(oldest, stored.keys.first());
    }
    return oldest;
}

// The stored values are plain numbers, so one pass over them costs far less than asking each
// graph of the plot for its range.
std::pair<double, double> CurveBuffer::valueRange(uint sensors, double lower, double upper,
                                                  const CurveFilter &counts) const
{
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (uint s = 0; s < std::min(sensors, uint(kMaxSensors)); ++s) {
        const SensorSeries &stored = m_series[s];
        const QList<double> *axes[kAxisCount] = {&stored.xValues, &stored.yValues, &stored.zValues};
        const auto keys = stored.keys.cbegin();
        const qsizetype from = std::lower_bound(keys, stored.keys.cend(), lower) - keys;
        const qsizetype to = std::upper_bound(keys, stored.keys.cend(), upper) - keys;
        for (int a = 0; a < kAxisCount; ++a) {
            if (!counts(int(s), a))
                continue;
            for (qsizetype k = from; k < to; ++k) {
                lowest = std::min(lowest, axes[a]->at(k));
                highest = std::max(highest, axes[a]->at(k));
            }
        }
    }
    return {lowest, highest};
}
