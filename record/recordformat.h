// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDFORMAT_H
#define RECORDFORMAT_H

#include "devicerecords.h"
#include "samplerates.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include <array>
#include <vector>

// What the comment lines at the top of a recording say; empty or zero fields are left out.
struct RecordHeader
{
    QString program; // name and version
    QString port;
    int baudRate = 0;
    int frequencyHz = 0;
};

// One sensor-data frame of a recording.
struct RecordedFrame
{
    qint64 timeUs; // since the recording's first frame
    int sensors;   // 1..16
    std::array<Axit_t, kMaxSensors> readings;
};

// A numbered, labelled moment of a recording: it marks the frame whose row comes just before
// its line, and carries that row's time.
struct RecordMarker
{
    qint64 frameIndex = 0; // 0-based, counting rows only
    qint64 timeUs = 0;
    int number = 0;
    QString label;
};

// A stretch without data in the middle of a recording (the port was lost, then came back). The
// gap's line comes just before the first row after it; start + length is at most that row's time.
struct RecordGap
{
    qint64 frameIndex = 0; // the first frame after the gap; the frame count when none follows
    qint64 startUs = 0;
    qint64 lengthUs = 0;
    QString cause;
};

// A change of the card's rate in the middle of a recording (a new frequency that the card
// confirmed): the rows from `frameIndex` on were sent at `hz`. Its line comes just before that
// row and carries that row's time. Before the first row (a stream joined after a change), it
// names the rate of the first rows instead of the head.
struct RecordRateChange
{
    qint64 frameIndex = 0;
    qint64 timeUs = 0;
    int hz = 0;
};

// The lines of the recording format, shared by every program that writes or reads it (a file or
// a stream):
//   # key: value                      comment lines, at the top
//   time_s,sensors,s0_x,...,s15_z     the header line
//   0.010213,2,-93,41,-270,...        one line per sensor-data frame
//   # marker: 0.010213,1,load on      after the row of the frame it marks, with that row's time
//   # gap: 0.015000,2.500000,cause    before the first row after a gap: start, length
//   # frequency: 2.530345,200         before the first row sent at a new rate: its time, the rate
// with the time in seconds since the first frame (6 decimals), the frame's sensor count and its
// readings; cells beyond the count stay empty. Every line ends with '\n'. Marker, gap and
// frequency lines are comments, so readers that skip '#' lines read the rows of any recording
// unchanged. A file puts a marker right after its row; a live stream sends it once it is given,
// so that rows of newer frames may come between, but never more than kMarkerReachRows.
class RecordFormat
{
public:
    // A frame of 16 sensors is well under this.
    static constexpr int kMaxFrameLineBytes = 512;
    // A marker's label and a gap's cause are cut (at a character) to this many bytes.
    static constexpr int kMaxTextBytes = 1024;
    // No line of a recording is longer; a longer one is not a recording's.
    static constexpr int kMaxLineBytes = 64 * 1024;
    static constexpr int kColumns = 2 + kAxisCount * kMaxSensors;
    static constexpr char kMarkerPrefix[] = "# marker: ";
    static constexpr char kGapPrefix[] = "# gap: ";
    static constexpr char kFrequencyPrefix[] = "# frequency: ";
    // How far back, in rows, a marker may mark: a reader finds its row among as many.
    static constexpr int kMarkerReachRows = 4096;
    // No card sends faster; a frequency line above this is not a rate.
    static constexpr int kMaxRateHz = 100000;

    // The header line, without its line end.
    static QByteArray headerLine();
    // The comment lines of `header`, with the start time `start`.
    static QByteArray commentLines(const RecordHeader &header,
                                   const QDateTime &start = QDateTime::currentDateTime());
    // What every recording starts with: the comment lines, then the header line with its end.
    static QByteArray headLines(const RecordHeader &header, const QDateTime &start);
    // Appends the line of one frame; `num` readings of the list are recorded (at most 16).
    static void appendFrameLine(QByteArray &out, qint64 micros, const QList<Axit_t> &readings,
                                uint num);
    // The line of a marker at `micros` (the marked row's time), with its line end.
    static QByteArray markerLine(qint64 micros, int number, const QString &label);
    // The line of a gap that starts at `startMicros`, with its line end.
    static QByteArray gapLine(qint64 startMicros, qint64 lengthMicros, const QString &cause);
    // The line of a new rate, before the first row at that rate (whose time is `micros`), with
    // its line end.
    static QByteArray frequencyLine(qint64 micros, int hz);
    // A label or cause as it can stand on one line: line breaks and other control characters
    // become spaces, and it is cut to kMaxTextBytes of UTF-8.
    static QString oneLineText(const QString &text);

    // Reading. Each takes one line without its line end, and on failure says what is wrong
    // (without the file and line, which the caller knows).
    // A "# key: value" line at the top: the keys commentLines() writes fill `header`, other
    // lines are left out.
    static void readCommentLine(QByteArrayView line, RecordHeader &header);
    static bool parseFrameLine(QByteArrayView line, RecordedFrame &frame, QString &error);
    // parseFrameLine() without its quick path for the rows as writers of the format spell them.
    static bool parseAnyFrameLine(QByteArrayView line, RecordedFrame &frame, QString &error);
    // `line` starts with kMarkerPrefix; the frame index is left to the caller.
    static bool parseMarkerLine(QByteArrayView line, RecordMarker &marker, QString &error);
    // `line` starts with kGapPrefix; the frame index is left to the caller.
    static bool parseGapLine(QByteArrayView line, RecordGap &gap, QString &error);
    // `line` starts with kFrequencyPrefix; the frame index is left to the caller.
    static bool parseFrequencyLine(QByteArrayView line, RecordRateChange &change, QString &error);
    // The rate of frame `frameIndex` of a recording whose first rows are at `firstHz`.
    static int rateAt(int firstHz, const std::vector<RecordRateChange> &changes, qint64 frameIndex);
    // A row starts with its time; the header line and comment lines do not start with a digit.
    static bool isRow(QByteArrayView line)
    {
        return !line.isEmpty() && line.front() >= '0' && line.front() <= '9';
    }
    // The time of a row, read from its first cell; false when that is not a time.
    static bool rowTime(QByteArrayView row, qint64 *micros);
    // A cell of a file for a message: the first few dozen characters, control characters
    // escaped, in double quotes, with its length when it is cut.
    static QString quoted(QByteArrayView cell);
    // Seconds with six decimals, as the format writes them.
    static QString timeText(qint64 micros);
    // The same at `out`, for `micros` of 0 or more, with room for kMaxTimeBytes; the end.
    static char *writeTime(char *out, qint64 micros);
    static constexpr int kMaxTimeBytes = 28;
    // The card's rate nearest to `hz` (ties to the lower), from kSampleRatesHz.
    static int nearestCardRate(double hz);
};

// A gap that has begun and whose line waits for the first row after it: the line is composed
// when that row comes, the gap reaching to the row's time.
struct PendingGap
{
    qint64 startUs = -1; // -1 while no gap is open
    QString cause;

    bool isOpen() const { return startUs >= 0; }
    // A gap from `nowUs`, unless one is open already.
    void begin(qint64 nowUs, const QString &why)
    {
        if (!isOpen()) {
            startUs = nowUs;
            cause = why;
        }
    }
    // The gap's line, reaching to `endUs`; a gap ends where the next row starts, whatever the
    // clock said when it began. The gap is closed.
    QByteArray close(qint64 endUs)
    {
        const qint64 from = qMin(startUs, endUs);
        startUs = -1;
        return RecordFormat::gapLine(from, endUs - from, cause);
    }
};

#endif // RECORDFORMAT_H
