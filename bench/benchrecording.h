// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef BENCHRECORDING_H
#define BENCHRECORDING_H

#include "recordformat.h"

#include <QFile>
#include <QList>
#include <QString>

#include <algorithm>
#include <random>

// Long recordings for the benchmarks that open them, and their memory measure: 200 Hz x 16
// sensors, readings that wander as pressed sensors do (so that the lines have a realistic
// width), and a marker "load" every 100,000 frames.
constexpr qint64 kBenchFramesPerHour = 200LL * 3600;
constexpr qint64 kBenchFrameUs = 5000;

// The "VmRSS"-like line of /proc/<pid>/status ("self" for this process), in MB; -1 when there
// is none.
inline double statusMb(const QString &pid, const char *key)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key) + 1).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

inline bool generateRecording(const QString &path, qint64 frames)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    RecordHeader header;
    header.program = QStringLiteral("eskin benchmark");
    header.frequencyHz = 200;
    QByteArray out = RecordFormat::commentLines(header) + RecordFormat::headerLine() + '\n';
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> step(-40, 40);
    QList<Axit_t> readings(kMaxSensors, Axit_t{0, 0, 0});
    for (qint64 i = 0; i < frames; ++i) {
        for (Axit_t &a : readings) {
            for (qint16 *axis : {&a.x, &a.y, &a.z})
                *axis = qint16(std::clamp(*axis + step(rng), -1500, 1500));
        }
        RecordFormat::appendFrameLine(out, i * kBenchFrameUs, readings, kMaxSensors);
        if (i % 100000 == 99999)
            out += RecordFormat::markerLine(i * kBenchFrameUs, int(i / 100000),
                                            QStringLiteral("load"));
        if (out.size() > (4 << 20)) {
            if (file.write(out) != out.size())
                return false;
            out.clear();
        }
    }
    return file.write(out) == out.size() && file.flush();
}

#endif // BENCHRECORDING_H
