// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDCHECKER_H
#define RECORDCHECKER_H

#include "recordformat.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <vector>

// Checks a recording line by line as its bytes arrive, and hands every frame on: the one
// checking code behind every reader of the format. A file that is not in the format is refused
// at its first wrong line with "FILE:LINE: what is wrong".
//
// Comment lines are allowed at the top (before the header line); after it only marker, gap and
// frequency lines (RecordFormat), in their places. A last line without its line end (a recording
// cut short) is left out with a warning, and so is a frequency line that no row follows. A file
// with no row is refused.
//
// A reader that streams the file (eskin-analyse) takes the other lines through a LineSink as
// well, in the file's order, instead of having them kept: its memory then stays the same
// however long the file is.
class RecordChecker
{
public:
    // Every frame, with the offset of its line in the file and its line number (from 1).
    using FrameSink =
        std::function<void(const RecordedFrame &frame, qint64 lineOffset, qint64 lineNumber)>;

    // The lines other than rows, each once it is checked, in the file's order among the frames:
    // a comment line at the top as it stands (without its line end, or an editor's byte-order
    // mark), a marker or a gap where its line stands, a rate change just before the frame of the
    // row it is the rate of (a frequency line that no row follows is left out).
    class LineSink
    {
    public:
        virtual ~LineSink() = default;
        virtual void topComment(QByteArrayView line) = 0;
        virtual void marker(const RecordMarker &marker) = 0;
        virtual void gap(const RecordGap &gap) = 0;
        virtual void rateChange(const RecordRateChange &change) = 0;
    };

    // `name` stands for the file in messages.
    RecordChecker(const QString &name, FrameSink sink);

    // The next bytes of the file. False once the file is refused.
    bool feed(const char *data, qsizetype size);
    // The end of the file. False when the file is refused.
    bool finish();
    // Refuses the file for a reason outside its lines (it cannot be read); false.
    bool failRead(const QString &reason);
    // One whole line (without its line end) after the header line, checked as feed() checks it,
    // but for lines that come one by one from a source that may send a wrong one: a wrong line
    // is refused with `error` and the checker goes on as if it had not come.
    bool tryLine(QByteArrayView line, QString *error);
    // From now on the lines other than rows go to `sink` (not owned) and are not kept:
    // markers(), gaps() and rateChanges() stay empty.
    void streamLinesTo(LineSink *sink) { m_lineSink = sink; }

    QString errorString() const { return m_error; }
    bool headerSeen() const { return m_headerSeen; }
    QStringList warnings() const { return m_warnings; }
    const RecordHeader &header() const { return m_header; }
    const std::vector<RecordMarker> &markers() const { return m_markers; }
    const std::vector<RecordGap> &gaps() const { return m_gaps; }
    // The rate changes among the rows, in order; the rows before the first are at frequencyHz().
    const std::vector<RecordRateChange> &rateChanges() const { return m_rateChanges; }
    qint64 frameCount() const { return m_frames; }
    qint64 lastTimeUs() const { return m_lastUs; }
    // Where the checked lines end: the last line left out starts here.
    qint64 checkedBytes() const { return m_lineStart; }
    // The rate of the recording's first rows: its "# frequency_hz" line, else the median interval
    // between them (gaps left out, up to the first rate change), each taken to the nearest rate
    // of a card; 0 when neither tells.
    int frequencyHz() const;

private:
    bool checkLine(QByteArrayView line, qint64 offset);
    bool checkTopLine(QByteArrayView line);
    bool checkCommentAmongRows(QByteArrayView line);
    bool checkMarker(QByteArrayView line);
    bool checkGap(QByteArrayView line);
    bool checkFrequency(QByteArrayView line);
    qint64 rowOfTime(qint64 timeUs) const;
    bool checkFrame(QByteArrayView line, qint64 offset);
    void countInterval(qint64 intervalUs);
    bool fail(const QString &what);

    QString m_name;
    FrameSink m_sink;
    LineSink *m_lineSink = nullptr;
    QByteArray m_headerLine;
    QByteArray m_partial; // the start of a line that has not ended yet
    qint64 m_lineStart = 0;
    qint64 m_fed = 0;
    qint64 m_lineNumber = 0;
    bool m_headerSeen = false;
    RecordHeader m_header;
    std::vector<RecordMarker> m_markers;
    std::vector<RecordGap> m_gaps;
    qint64 m_frames = 0;
    qint64 m_lastUs = 0;
    qint64 m_gapEndUs = -1; // the end of a gap since the last row, else -1
    std::vector<RecordRateChange> m_rateChanges;
    bool m_rateChanged = false;   // a frequency line has had its row
    bool m_rateChangeDue = false; // a frequency line waits for its row
    RecordRateChange m_dueChange;
    // The times of the last kMarkerReachRows rows, by frame index modulo their number.
    std::vector<qint64> m_recentTimes;
    // Intervals between rows, counted by the card rate they are nearest to.
    std::array<qint64, kSampleRatesHz.size()> m_intervals{};
    qint64 m_lastIntervalUs = -1; // and its index there: rows mostly come at one interval
    std::size_t m_lastIntervalIndex = 0;
    QString m_error;
    QStringList m_warnings;
};

#endif // RECORDCHECKER_H
