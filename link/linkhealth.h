// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LINKHEALTH_H
#define LINKHEALTH_H

#include <QMetaType>
#include <QString>
#include <QtGlobal>

#include <array>
#include <numeric>

// What the frame codec has seen since the port was opened. Every received byte ends up in a
// decoded frame, among the bytes before the first frame, among the discarded bytes, in a partial
// frame dropped by the receive time-out, or is still held.
struct LinkCounters
{
    // Checked frames handed to the decoder, by command code.
    std::array<quint32, 256> framesByCommand{};
    quint64 bytesReceived = 0;
    // Bytes before the first whole frame: a card that streams already is almost always opened
    // in the middle of a frame. Whatever they hold, they are not counted as errors.
    quint64 bytesBeforeFirstFrame = 0;
    // Complete frames whose checksum did not match.
    quint32 checksumErrors = 0;
    // Bytes thrown away while searching for a frame start: noise, the rest of rejected frames.
    quint64 discardedBytes = 0;
    // Incomplete frames dropped because the rest did not come within the receive time-out.
    quint32 partialFramesTimedOut = 0;

    quint32 sensorFrames() const { return framesByCommand[0x00]; }
    quint64 framesDecoded() const
    {
        return std::accumulate(framesByCommand.begin(), framesByCommand.end(), quint64(0));
    }
};

// A snapshot of the link that the worker publishes to the interface twice a second while a
// port is open.
struct LinkHealth
{
    QString portName;
    int baudRate = 0;
    LinkCounters counters;
    // Sensor-data frames per second over about the last second.
    double sensorFramesPerSecond = 0.0;
    // Time since the latest sensor-data frame, or since the port opened if none has come.
    qint64 msWithoutSensorData = 0;
    // Sensors in the card's latest sensor-data, accumulation or baseline frame; -1 until the
    // first sensor-data frame since the open.
    int sensorCount = -1;
};

Q_DECLARE_METATYPE(LinkHealth)

#endif // LINKHEALTH_H
