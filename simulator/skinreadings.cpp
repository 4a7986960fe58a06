// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinreadings.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kColumns = 4;
constexpr double kPi = 3.14159265358979323846;

constexpr int kOffsetSpan = 40;         // offsets lie within +-40 units per axis
constexpr double kNoiseAmplitude = 3.0; // roughly +-3 units per axis
constexpr double kPeakForce = 4500.0;   // Z under the centre of the strongest press
constexpr double kMinPressStrength = 0.6;
constexpr double kContactSigma = 0.7;  // cells; spread of the force around the contact
constexpr double kShearFraction = 0.3; // shear at full travel speed, as a share of Z

// The contact point's path: centre of the array, amplitude and frequency per direction.
constexpr double kPathCentre = 1.5;
constexpr double kPathAmplitude = 1.6;
constexpr double kColumnHz = 0.11;
constexpr double kRowHz = 0.07;

// A press lasts kContactSeconds of every kPressPeriod seconds; the skin rests in between.
constexpr double kPressPeriod = 6.0;
constexpr double kContactSeconds = 4.5;

constexpr int kReadingLimit = 32767;

qint16 clampReading(double value)
{
    return qint16(std::clamp(std::lround(value), long(-kReadingLimit), long(kReadingLimit)));
}

double maxPathSpeed()
{
    const double column = kPathAmplitude * 2 * kPi * kColumnHz;
    const double row = kPathAmplitude * 2 * kPi * kRowHz;
    return std::sqrt(column * column + row * row);
}

} // namespace

SkinReadings::SkinReadings(quint32 seed)
{
    reseed(seed);
}

void SkinReadings::reseed(quint32 seed)
{
    m_rng.seed(seed);
    for (Axit_t &offset : m_offsets) {
        offset.x = qint16(m_rng.bounded(-kOffsetSpan, kOffsetSpan + 1));
        offset.y = qint16(m_rng.bounded(-kOffsetSpan, kOffsetSpan + 1));
        offset.z = qint16(m_rng.bounded(-kOffsetSpan, kOffsetSpan + 1));
    }
    m_phaseColumn = m_rng.generateDouble() * 2 * kPi;
    m_phaseRow = m_rng.generateDouble() * 2 * kPi;
    m_time = 0.0;
    m_pressIndex = -1;
    m_pressStrength = 1.0;
}

Axit_t SkinReadings::offset(int sensor) const
{
    return m_offsets[std::clamp(sensor, 0, kMaxSensors - 1)];
}

QList<Axit_t> SkinReadings::next(double dtSeconds, int count)
{
    count = std::clamp(count, 1, kMaxSensors);
    const Contact contact = contactAt(m_time);
    const double force = pressForceAt(m_time);
    QList<Axit_t> readings;
    readings.reserve(count);
    for (int i = 0; i < count; ++i)
        readings.append(sensorReading(i, contact, force));
    m_time += std::max(dtSeconds, 0.0);
    return readings;
}

SkinReadings::Contact SkinReadings::contactAt(double t) const
{
    const double column = 2 * kPi * kColumnHz * t + m_phaseColumn;
    const double row = 2 * kPi * kRowHz * t + m_phaseRow;
    return {kPathCentre + kPathAmplitude * std::sin(column),
            kPathCentre + kPathAmplitude * std::sin(row),
            kPathAmplitude * 2 * kPi * kColumnHz * std::cos(column),
            kPathAmplitude * 2 * kPi * kRowHz * std::cos(row)};
}

// Each press rises and falls smoothly (sin^2) and has its own strength, drawn when it begins.
double SkinReadings::pressForceAt(double t)
{
    const auto index = qint64(std::floor(t / kPressPeriod));
    if (index != m_pressIndex) {
        m_pressIndex = index;
        m_pressStrength = kMinPressStrength + (1.0 - kMinPressStrength) * m_rng.generateDouble();
    }
    const double u = (t - double(index) * kPressPeriod) / kContactSeconds;
    if (u >= 1.0)
        return 0.0;
    const double rise = std::sin(kPi * u);
    return kPeakForce * m_pressStrength * rise * rise;
}

Axit_t SkinReadings::sensorReading(int sensor, const Contact &contact, double force)
{
    const double dc = sensor % kColumns - contact.column;
    const double dr = sensor / kColumns - contact.row;
    const double local =
        force * std::exp(-(dc * dc + dr * dr) / (2 * kContactSigma * kContactSigma));
    const double shear = kShearFraction * local / maxPathSpeed();
    const Axit_t &base = m_offsets[sensor];
    return {clampReading(base.x + shear * contact.columnSpeed + noise()),
            clampReading(base.y + shear * contact.rowSpeed + noise()),
            clampReading(base.z - local + noise())};
}

// Sum of three uniform draws: a cheap bell-shaped noise.
double SkinReadings::noise()
{
    const double sum = m_rng.generateDouble() + m_rng.generateDouble() + m_rng.generateDouble();
    return (sum - 1.5) * (2.0 * kNoiseAmplitude / 3.0);
}
