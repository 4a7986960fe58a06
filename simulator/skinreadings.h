// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SKINREADINGS_H
#define SKINREADINGS_H

#include "devicerecords.h"

#include <QList>
#include <QRandomGenerator>

// Readings of a skin laid out as a 4 x 4 array (sensor i at column i % 4, row i / 4), as the
// card samples them: each sensor sits at its own offset of a few tens of units with a little
// noise, and every few seconds a press travels across the array along a slow Lissajous path.
// Pressing drives Z negative, up to several thousand units under the contact; the contact's
// travel adds X/Y shear in its direction, a fraction of the local Z force. Values are clamped
// to -32767..32767.
//
// The output depends only on the seed and on the sequence of next() calls.
class SkinReadings
{
public:
    explicit SkinReadings(quint32 seed);

    void reseed(quint32 seed);

    // One sample of sensors 0..count-1 (count clamped to 1..16), then advances the skin's own
    // time by dtSeconds.
    QList<Axit_t> next(double dtSeconds, int count);

    // The unloaded reading of a sensor, without noise.
    Axit_t offset(int sensor) const;

private:
    struct Contact
    {
        double column;
        double row;
        double columnSpeed; // cells per second
        double rowSpeed;
    };

    Contact contactAt(double t) const;
    double pressForceAt(double t);
    Axit_t sensorReading(int sensor, const Contact &contact, double force);
    double noise();

    QRandomGenerator m_rng;
    double m_time = 0.0;
    double m_phaseColumn = 0.0;
    double m_phaseRow = 0.0;
    qint64 m_pressIndex = -1;
    double m_pressStrength = 1.0;
    Axit_t m_offsets[kMaxSensors] = {};
};

#endif // SKINREADINGS_H
