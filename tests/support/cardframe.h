// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CARDFRAME_H
#define CARDFRAME_H

// Frames as the driver card sends them, built for the tests independently of the codec under
// test: sync, length, command, payload, checksum; 16-bit values high byte first.

#include <QByteArray>
#include <QList>

#include <initializer_list>

inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

// Builds a complete frame (sync, length, command, payload, checksum).
inline QByteArray makeFrame(quint8 cmd, const QByteArray &payload = {})
{
    QByteArray frame = bytes({0xA5, int(payload.size() + 2), cmd}) + payload;
    quint8 sum = 0;
    for (char c : frame)
        sum = quint8(sum + quint8(c));
    frame.append(char(sum));
    return frame;
}

// A 16-bit value high byte first.
inline QByteArray word(int value)
{
    return bytes({(value >> 8) & 0xFF, value & 0xFF});
}

inline QByteArray words(const QList<short> &values)
{
    QByteArray out;
    for (short v : values)
        out += word(v);
    return out;
}

#endif // CARDFRAME_H
