// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FRAMEANALYSIS_H
#define FRAMEANALYSIS_H

#include "devicerecords.h"
#include "readingmagnitude.h"

#include <QList>

// What one sensor-data frame says about the skin as a whole: which sensors are touched, the force
// they take together, where that force is centred and which sensor is pressed hardest.
//
// Sensor i sits in column i mod 4 and row i div 4, as the plane graph draws it; its magnitude m is
// sqrt(x^2 + y^2 + z^2), the quantity that colours its cell.
// - A sensor is in contact when m is at or above the threshold (kContactFloor unless set). The
//   comparison is the plane graph's: m truncated to whole counts against a whole threshold, which
//   is the same as the exact m against it.
// - The total force is the sum of x, y and z over the sensors in contact, and its magnitude.
// - The centre of pressure is the mean of the columns and of the rows of the sensors in contact,
//   each weighted by its m: numbers from 0 to 3 with fractions between. There is none while no
//   sensor is in contact.
// - The peak is the sensor with the largest m, in contact or not, and that m; of sensors with the
//   same m the lowest-numbered one. A frame without sensors has no peak (peakSensor() is -1).
//
// analyse() allocates nothing and keeps nothing of earlier frames: the window calls it for every
// frame it shows, eskin-analyse for millions.
class FrameAnalysis
{
public:
    static constexpr int kColumns = 4;
    static constexpr int kDefaultThreshold = kContactFloor;
    // A threshold of 0 would put unloaded sensors in contact with no weight to centre them.
    static constexpr int kMinThreshold = 1;
    // The largest magnitude a reading can have (all three axes at -32768), truncated.
    static constexpr int kMaxThreshold = 56755;

    explicit FrameAnalysis(int threshold = kDefaultThreshold);

    // Taken into kMinThreshold..kMaxThreshold; applies from the next analyse().
    void setThreshold(int threshold);
    int threshold() const { return m_threshold; }

    // The first `count` readings (at most kMaxSensors are taken).
    void analyse(const Axit_t *readings, int count);
    void analyse(const QList<Axit_t> &readings);

    int sensorCount() const { return m_sensors; }
    int contacts() const { return m_contacts; }
    // Bit i is set when sensor i is in contact.
    quint16 contactMask() const { return m_contactMask; }
    bool isInContact(int sensor) const;
    int totalX() const { return m_totalX; }
    int totalY() const { return m_totalY; }
    int totalZ() const { return m_totalZ; }
    double totalMagnitude() const { return m_totalMagnitude; }
    bool hasCentre() const { return m_contacts > 0; }
    // 0 while there is no centre.
    double centreColumn() const { return m_centreColumn; }
    double centreRow() const { return m_centreRow; }
    int peakSensor() const { return m_peakSensor; }
    double peakMagnitude() const { return m_peakMagnitude; }

private:
    int m_threshold = kDefaultThreshold;
    qint64 m_squaredThreshold = qint64(kDefaultThreshold) * kDefaultThreshold;
    int m_sensors = 0;
    int m_contacts = 0;
    quint16 m_contactMask = 0;
    int m_totalX = 0;
    int m_totalY = 0;
    int m_totalZ = 0;
    double m_totalMagnitude = 0;
    double m_centreColumn = 0;
    double m_centreRow = 0;
    int m_peakSensor = -1;
    double m_peakMagnitude = 0;
};

#endif // FRAMEANALYSIS_H
