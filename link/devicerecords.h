// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DEVICERECORDS_H
#define DEVICERECORDS_H

// Value records exchanged between the driver-card link and the rest of the program.
// Every 16-bit quantity travels big-endian on the wire; these records hold native integers
// and the conversion happens only in the protocol layer.

// QDebug before the list types are registered anywhere: QList<short> takes the framework's debug
// output only where its operator is visible, and every user of these types includes this header.
#include <QDebug>
#include <QList>
#include <QMetaType>
#include <QtGlobal>

// The skin has at most 16 sensors, numbered 0 to 15; every per-sensor table has this many entries.
constexpr int kMaxSensors = 16;

// Axis selector `xyz`: 0 = X, 1 = Y, 2 = Z.
constexpr int kAxisCount = 3;
constexpr const char *kAxisNames[kAxisCount] = {"X", "Y", "Z"};

// One sensor's reading on three axes, raw card units.
struct Axit_t
{
    qint16 x;
    qint16 y;
    qint16 z;
};

// One sensor's baseline entry; only the low byte of `id` goes on the wire.
struct AxitSingle_t
{
    quint16 id;
    qint16 x;
    qint16 y;
    qint16 z;
};

// One single-point calibration entry of one sensor on one axis.
struct singleDemarcateInfoUnit_t
{
    qint16 pressure;
    qint16 value;
};

// One record of the check-data table: running sums, averages or the baseline read back.
struct AxitSum_t
{
    qint32 x;
    qint32 y;
    qint32 z;
};

Q_DECLARE_METATYPE(Axit_t)
Q_DECLARE_METATYPE(AxitSingle_t)
Q_DECLARE_METATYPE(singleDemarcateInfoUnit_t)

// Registers the four list types and the frames' stamp (FrameStamp) under their own names so that
// they can cross threads as arguments of queued signal-slot connections. Safe to call more than
// once.
void registerDeviceRecordTypes();

#endif // DEVICERECORDS_H
