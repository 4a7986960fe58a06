// SPDX-License-Identifier: GPL-3.0-or-later
#include "frameanalysis.h"

#include <algorithm>
#include <cmath>

FrameAnalysis::FrameAnalysis(int threshold)
{
    setThreshold(threshold);
}

void FrameAnalysis::setThreshold(int threshold)
{
    m_threshold = std::clamp(threshold, kMinThreshold, kMaxThreshold);
    m_squaredThreshold = qint64(m_threshold) * m_threshold;
}

bool FrameAnalysis::isInContact(int sensor) const
{
    return sensor >= 0 && sensor < m_sensors && (m_contactMask >> sensor) & 1u;
}

void FrameAnalysis::analyse(const QList<Axit_t> &readings)
{
    analyse(readings.constData(), int(std::min<qsizetype>(readings.size(), kMaxSensors)));
}

// Contact and peak compare squared magnitudes, which are exact integers: floor(sqrt(s)) >= t
// exactly when s >= t * t, and equal magnitudes are told apart by nothing but the sensor number.
void FrameAnalysis::analyse(const Axit_t *readings, int count)
{
    m_sensors = std::clamp(count, 0, kMaxSensors);
    m_contacts = 0;
    m_contactMask = 0;
    m_totalX = m_totalY = m_totalZ = 0;
    m_peakSensor = -1;
    qint64 peakSquared = -1;
    double weight = 0;
    double weightedColumn = 0;
    double weightedRow = 0;
    for (int i = 0; i < m_sensors; ++i) {
        const Axit_t &reading = readings[i];
        const qint64 squared = squaredMagnitude(reading);
        if (squared > peakSquared) {
            peakSquared = squared;
            m_peakSensor = i;
        }
        if (squared < m_squaredThreshold)
            continue;
        ++m_contacts;
        m_contactMask |= quint16(1u << i);
        m_totalX += reading.x;
        m_totalY += reading.y;
        m_totalZ += reading.z;
        const double m = std::sqrt(double(squared));
        weight += m;
        weightedColumn += m * (i % kColumns);
        weightedRow += m * (i / kColumns);
    }
    const qint64 x = m_totalX, y = m_totalY, z = m_totalZ;
    m_totalMagnitude = std::sqrt(double(x * x + y * y + z * z));
    m_centreColumn = m_contacts > 0 ? weightedColumn / weight : 0;
    m_centreRow = m_contacts > 0 ? weightedRow / weight : 0;
    m_peakMagnitude = m_peakSensor >= 0 ? std::sqrt(double(peakSquared)) : 0;
}
