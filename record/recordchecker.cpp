// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordchecker.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr double kMicrosPerSecond = 1e6;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// The index in kSampleRatesHz of the rate nearest to one interval between rows.
std::size_t rateIndex(qint64 intervalUs)
{
    const int rate = intervalUs > 0 ? RecordFormat::nearestCardRate(kMicrosPerSecond / intervalUs)
                                    : kSampleRatesHz.back();
    const auto &rates = kSampleRatesHz;
    return std::size_t(std::find(rates.begin(), rates.end(), rate) - rates.begin());
}

} // namespace

RecordChecker::RecordChecker(const QString &name, FrameSink sink)
    : m_name(name)
    , m_sink(std::move(sink))
    , m_headerLine(RecordFormat::headerLine())
    , m_recentTimes(std::size_t(RecordFormat::kMarkerReachRows))
{}

bool RecordChecker::feed(const char *data, qsizetype size)
{
    if (!m_error.isEmpty())
        return false;
    const qint64 base = m_fed;
    m_fed += size;
    const char *p = data;
    const char *const end = data + size;
    while (p < end) {
        const auto *lineEnd = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        if (!lineEnd) {
            if (m_partial.size() + (end - p) > RecordFormat::kMaxLineBytes)
                break;
            m_partial.append(p, end - p);
            return true;
        }
        QByteArrayView line(p, lineEnd - p);
        if (!m_partial.isEmpty())
            line = m_partial.append(line.data(), line.size());
        if (line.size() > RecordFormat::kMaxLineBytes)
            break;
        const bool good = checkLine(line, m_lineStart);
        m_partial.clear();
        p = lineEnd + 1;
        m_lineStart = base + (p - data);
        if (!good)
            return false;
    }
    if (p == end)
        return true;
    ++m_lineNumber;
    return fail(QStringLiteral("a line longer than %1 bytes; not a recording")
                    .arg(RecordFormat::kMaxLineBytes));
}

bool RecordChecker::finish()
{
    if (!m_error.isEmpty())
        return false;
    if (!m_partial.isEmpty())
        m_warnings << QStringLiteral("%1:%2: the last line has no line end (a recording cut "
                                     "short) and is left out")
                          .arg(m_name)
                          .arg(m_lineNumber + 1);
    ++m_lineNumber;
    if (!m_headerSeen)
        return fail(QStringLiteral("no header line; not a recording"));
    if (m_frames == 0)
        return fail(QStringLiteral("no row after the header line; an empty recording"));
    return true;
}

bool RecordChecker::failRead(const QString &reason)
{
    m_error = QStringLiteral("%1: cannot be read: %2").arg(m_name, reason);
    return false;
}

bool RecordChecker::tryLine(QByteArrayView line, QString *error)
{
    if (!m_error.isEmpty() || !m_headerSeen || !m_partial.isEmpty()) {
        *error = m_error.isEmpty() ? QStringLiteral("%1: no header line yet").arg(m_name) : m_error;
        return false;
    }
    if (line.size() > RecordFormat::kMaxLineBytes) {
        *error = QStringLiteral("%1: a line longer than %2 bytes")
                     .arg(m_name)
                     .arg(RecordFormat::kMaxLineBytes);
        return false;
    }
    const qint64 lineNumber = m_lineNumber;
    if (checkLine(line, m_lineStart)) {
        m_lineStart += line.size() + 1;
        m_fed = m_lineStart;
        return true;
    }
    *error = std::exchange(m_error, QString());
    m_lineNumber = lineNumber;
    return false;
}

int RecordChecker::frequencyHz() const
{
    if (m_header.frequencyHz > 0)
        return RecordFormat::nearestCardRate(m_header.frequencyHz);
    qint64 total = 0;
    for (qint64 count : m_intervals)
        total += count;
    if (total == 0)
        return 0;
    // The lower median of the intervals: the shortest intervals belong to the highest rates.
    const qint64 median = (total - 1) / 2;
    qint64 seen = 0;
    for (std::size_t i = m_intervals.size(); i-- > 0;) {
        seen += m_intervals[i];
        if (seen > median)
            return kSampleRatesHz[i];
    }
    return 0;
}

bool RecordChecker::checkLine(QByteArrayView line, qint64 offset)
{
    ++m_lineNumber;
    if (line.endsWith('\r'))
        line.chop(1);
    if (m_lineNumber == 1 && line.startsWith(kByteOrderMark))
        line = line.sliced(3); // a byte-order mark that an editor may add
    if (!m_headerSeen)
        return checkTopLine(line);
    if (line.startsWith('#'))
        return checkCommentAmongRows(line);
    return checkFrame(line, offset);
}

bool RecordChecker::checkTopLine(QByteArrayView line)
{
    if (line.startsWith(RecordFormat::kMarkerPrefix) || line.startsWith(RecordFormat::kGapPrefix) ||
        line.startsWith(RecordFormat::kFrequencyPrefix))
        return fail(QStringLiteral("a marker, gap or frequency line before the header line; such "
                                   "lines stand among the rows they belong to"));
    if (line.startsWith('#')) {
        RecordFormat::readCommentLine(line, m_header);
        if (m_lineSink)
            m_lineSink->topComment(line);
        return true;
    }
    if (line != m_headerLine)
        return fail(QStringLiteral("expected the header line \"%1...\"")
                        .arg(QString::fromLatin1(m_headerLine.left(40))));
    m_headerSeen = true;
    return true;
}

bool RecordChecker::checkCommentAmongRows(QByteArrayView line)
{
    if (line.startsWith(RecordFormat::kMarkerPrefix))
        return checkMarker(line);
    if (line.startsWith(RecordFormat::kGapPrefix))
        return checkGap(line);
    if (line.startsWith(RecordFormat::kFrequencyPrefix))
        return checkFrequency(line);
    return fail(QStringLiteral("a comment line among the rows; after the header line only "
                               "\"%1\", \"%2\" and \"%3\" lines are allowed, other comments "
                               "belong at the top")
                    .arg(QLatin1String(RecordFormat::kMarkerPrefix).trimmed(),
                         QLatin1String(RecordFormat::kGapPrefix).trimmed(),
                         QLatin1String(RecordFormat::kFrequencyPrefix).trimmed()));
}

bool RecordChecker::checkMarker(QByteArrayView line)
{
    RecordMarker marker;
    QString error;
    if (!RecordFormat::parseMarkerLine(line, marker, error))
        return fail(error);
    if (m_frames == 0)
        return fail(QStringLiteral("a marker before the first row; a marker follows the row of "
                                   "the frame it marks"));
    marker.frameIndex = rowOfTime(marker.timeUs);
    if (marker.frameIndex < 0)
        return fail(QStringLiteral("marker time %1 is not the time of a row among the last %2 "
                                   "(the newest is %3)")
                        .arg(RecordFormat::timeText(marker.timeUs))
                        .arg(RecordFormat::kMarkerReachRows)
                        .arg(RecordFormat::timeText(m_lastUs)));
    if (m_lineSink)
        m_lineSink->marker(marker);
    else
        m_markers.push_back(marker);
    return true;
}

// The newest of the recent rows with this time, -1 when none has it.
qint64 RecordChecker::rowOfTime(qint64 timeUs) const
{
    const qint64 reach = qint64(m_recentTimes.size());
    for (qint64 row = m_frames - 1; row >= 0 && row >= m_frames - reach; --row) {
        const qint64 time = m_recentTimes[std::size_t(row % reach)];
        if (time == timeUs)
            return row;
        if (time < timeUs)
            break;
    }
    return -1;
}

bool RecordChecker::checkFrequency(QByteArrayView line)
{
    RecordRateChange change;
    QString error;
    if (!RecordFormat::parseFrequencyLine(line, change, error))
        return fail(error);
    if (m_rateChangeDue)
        return fail(QStringLiteral("a second frequency line before the same row"));
    if (change.timeUs < qMax(m_lastUs, m_gapEndUs))
        return fail(QStringLiteral("frequency time %1 is earlier than the line before (%2)")
                        .arg(RecordFormat::timeText(change.timeUs),
                             RecordFormat::timeText(qMax(m_lastUs, m_gapEndUs))));
    m_dueChange = change;
    m_rateChangeDue = true;
    return true;
}

bool RecordChecker::checkGap(QByteArrayView line)
{
    RecordGap gap;
    QString error;
    if (!RecordFormat::parseGapLine(line, gap, error))
        return fail(error);
    if (m_frames == 0)
        return fail(QStringLiteral("a gap before the first row; a recording starts with a row"));
    if (gap.startUs < qMax(m_lastUs, m_gapEndUs))
        return fail(QStringLiteral("gap start %1 is earlier than the line before (%2)")
                        .arg(RecordFormat::timeText(gap.startUs),
                             RecordFormat::timeText(qMax(m_lastUs, m_gapEndUs))));
    gap.frameIndex = m_frames;
    m_gapEndUs = gap.startUs + gap.lengthUs;
    if (m_lineSink)
        m_lineSink->gap(gap);
    else
        m_gaps.push_back(gap);
    return true;
}

bool RecordChecker::checkFrame(QByteArrayView line, qint64 offset)
{
    RecordedFrame frame;
    QString error;
    if (!RecordFormat::parseFrameLine(line, frame, error))
        return fail(error);
    if (m_frames > 0 && frame.timeUs < m_lastUs)
        return fail(
            QStringLiteral("time %1 is earlier than the line before (%2)")
                .arg(RecordFormat::timeText(frame.timeUs), RecordFormat::timeText(m_lastUs)));
    if (frame.timeUs < m_gapEndUs)
        return fail(
            QStringLiteral("time %1 is earlier than the end of the gap before (%2)")
                .arg(RecordFormat::timeText(frame.timeUs), RecordFormat::timeText(m_gapEndUs)));
    if (m_rateChangeDue) {
        if (frame.timeUs != m_dueChange.timeUs)
            return fail(QStringLiteral("time %1 is not the time of the frequency line before (%2)")
                            .arg(RecordFormat::timeText(frame.timeUs),
                                 RecordFormat::timeText(m_dueChange.timeUs)));
        m_dueChange.frameIndex = m_frames;
        if (m_lineSink)
            m_lineSink->rateChange(m_dueChange);
        else
            m_rateChanges.push_back(m_dueChange);
        m_rateChangeDue = false;
        m_rateChanged = true;
    } else if (m_frames > 0 && m_gapEndUs < 0 && !m_rateChanged) {
        countInterval(frame.timeUs - m_lastUs);
    }
    m_gapEndUs = -1;
    m_recentTimes[std::size_t(m_frames % qint64(m_recentTimes.size()))] = frame.timeUs;
    m_lastUs = frame.timeUs;
    ++m_frames;
    if (m_sink)
        m_sink(frame, offset, m_lineNumber);
    return true;
}

void RecordChecker::countInterval(qint64 intervalUs)
{
    if (intervalUs != m_lastIntervalUs) {
        m_lastIntervalUs = intervalUs;
        m_lastIntervalIndex = rateIndex(intervalUs);
    }
    ++m_intervals[m_lastIntervalIndex];
}

bool RecordChecker::fail(const QString &what)
{
    m_error = QStringLiteral("%1:%2: %3").arg(m_name).arg(m_lineNumber).arg(what);
    return false;
}
