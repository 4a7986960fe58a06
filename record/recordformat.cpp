// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordformat.h"

#include <QDateTime>

#include <charconv>

namespace {

constexpr qint64 kMicrosPerSecond = 1000000;

char *putInt(char *out, char *end, qint64 value)
{
    return std::to_chars(out, end, value).ptr;
}

// Seconds with exactly six decimals, from whole microseconds.
char *putTime(char *out, char *end, qint64 micros)
{
    out = putInt(out, end, micros / kMicrosPerSecond);
    *out++ = '.';
    qint64 fraction = micros % kMicrosPerSecond;
    for (int digit = 5; digit >= 0; --digit) {
        out[digit] = char('0' + fraction % 10);
        fraction /= 10;
    }
    return out + 6;
}

// ISO 8601 with the offset written out, also when it is zero.
QString isoTimeWithOffset(const QDateTime &time)
{
    const int offset = time.offsetFromUtc() / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
           QStringLiteral("%1%2:%3")
               .arg(QLatin1Char(offset < 0 ? '-' : '+'))
               .arg(qAbs(offset) / 60, 2, 10, QLatin1Char('0'))
               .arg(qAbs(offset) % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QByteArray RecordFormat::headerLine()
{
    QByteArray line("time_s,sensors");
    for (int sensor = 0; sensor < kMaxSensors; ++sensor) {
        for (const char *axis : {"x", "y", "z"})
            line += ",s" + QByteArray::number(sensor) + '_' + axis;
    }
    return line;
}

QByteArray RecordFormat::commentLines(const RecordHeader &header, const QDateTime &start)
{
    QByteArray out;
    const auto add = [&out](const char *key, const QString &value) {
        if (!value.isEmpty())
            out += QByteArray("# ") + key + ": " + value.toUtf8() + '\n';
    };
    add("program", header.program);
    add("port", header.port);
    add("baud", header.baudRate > 0 ? QString::number(header.baudRate) : QString());
    add("frequency_hz", header.frequencyHz > 0 ? QString::number(header.frequencyHz) : QString());
    add("start", isoTimeWithOffset(start));
    return out;
}

void RecordFormat::appendFrameLine(QByteArray &out, qint64 micros, const QList<Axit_t> &readings,
                                   uint num)
{
    const int count = int(qMin<qsizetype>(qMin<uint>(num, kMaxSensors), readings.size()));
    char line[kMaxFrameLineBytes];
    char *const end = line + sizeof line;
    char *put = putTime(line, end, micros);
    *put++ = ',';
    put = putInt(put, end, count);
    for (int sensor = 0; sensor < kMaxSensors; ++sensor) {
        if (sensor < count) {
            const Axit_t &a = readings.at(sensor);
            for (qint16 value : {a.x, a.y, a.z}) {
                *put++ = ',';
                put = putInt(put, end, value);
            }
        } else {
            for (int axis = 0; axis < kAxisCount; ++axis)
                *put++ = ',';
        }
    }
    *put++ = '\n';
    out.append(line, put - line);
}
