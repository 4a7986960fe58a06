// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDFORMAT_H
#define RECORDFORMAT_H

#include "devicerecords.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// What the comment lines at the top of a recording say; empty or zero fields are left out.
struct RecordHeader
{
    QString program; // name and version
    QString port;
    int baudRate = 0;
    int frequencyHz = 0;
};

// The lines of the recording format, shared by every program that writes it (a file or a
// stream):
//   # key: value                      comment lines, at the top
//   time_s,sensors,s0_x,...,s15_z     the header line
//   0.010213,2,-93,41,-270,...        one line per sensor-data frame
// with the time in seconds since the first frame (6 decimals), the frame's sensor count and its
// readings; cells beyond the count stay empty. Every line ends with '\n'.
class RecordFormat
{
public:
    // A frame of 16 sensors is well under this.
    static constexpr int kMaxFrameLineBytes = 512;

    // The header line, without its line end.
    static QByteArray headerLine();
    // The comment lines of `header`, with the start time `start`.
    static QByteArray commentLines(const RecordHeader &header,
                                   const QDateTime &start = QDateTime::currentDateTime());
    // Appends the line of one frame; `num` readings of the list are recorded (at most 16).
    static void appendFrameLine(QByteArray &out, qint64 micros, const QList<Axit_t> &readings,
                                uint num);
};

#endif // RECORDFORMAT_H
