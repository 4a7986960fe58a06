// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDREADER_H
#define RECORDREADER_H

#include "devicerecords.h"

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

class QIODevice;

// One sensor-data frame of a recording.
struct RecordedFrame
{
    qint64 timeUs; // since the recording's first frame
    int sensors;   // 1..16
    std::array<Axit_t, kMaxSensors> readings;
};

// Reads a recording written by RecordWriter and checks every line before anything is used: a
// file that is not in the format is refused whole, with "FILE:LINE: what is wrong". Comment
// lines are allowed only before the header. A last line without its line end (a recording cut
// short) is left out with a warning.
class RecordReader
{
public:
    bool read(const QString &path);
    // `name` stands for the file in messages.
    bool read(QIODevice &device, const QString &name);

    const std::vector<RecordedFrame> &frames() const { return m_frames; }
    QString errorString() const { return m_error; }
    QStringList warnings() const { return m_warnings; }

private:
    bool parseFrame(const QByteArray &line, RecordedFrame &frame);
    bool fail(const QString &what);

    std::vector<RecordedFrame> m_frames;
    QString m_name;
    qint64 m_lineNumber = 0;
    QString m_error;
    QStringList m_warnings;
};

#endif // RECORDREADER_H
