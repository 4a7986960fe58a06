// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordwriter.h"

#include "outputqueue.h"

#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// Held lines are written out once they pass this size, whatever the timer says.
constexpr qsizetype kWriteThresholdBytes = 64 * 1024;
constexpr int kFlushTicksPerProgress = 2; // progress about twice a second

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

RecordWriter::RecordWriter(QObject *parent)
    : QObject(parent)
    , m_file(this) // a child, so that it moves to the writer's thread with it
    , m_flushTimer(new QTimer(this))
{
    m_flushTimer->setInterval(kFlushIntervalMs);
    connect(m_flushTimer, &QTimer::timeout, this, &RecordWriter::flushBuffer);
}

RecordWriter::~RecordWriter()
{
    if (m_active) {
        m_frequencyPending = false;
        writeOut(true);
        if (m_output)
            m_output->drain(kDrainMs);
        m_output.reset();
        m_file.close();
    }
}

QByteArray RecordWriter::headerLine()
{
    return RecordFormat::headerLine();
}

QString RecordWriter::unwritableReason(const QString &path)
{
    if (path == QLatin1String("-"))
        return {};
    const QFileInfo file(path);
    if (file.isDir())
        return systemReason(EISDIR);
    const QByteArray probe = QFile::encodeName(file.exists() ? path : file.absolutePath());
    const int access = file.exists() ? W_OK : W_OK | X_OK;
    return ::access(probe.constData(), access) == 0 ? QString() : systemReason(errno);
}

bool RecordWriter::openWithHead(const QString &path, const QByteArray &head, OpenOptions options)
{
    options.setFlag(FrequencyToCome, false);
    const bool opened = open(path, RecordHeader(), options);
    m_givenHead = head;
    return opened;
}

bool RecordWriter::open(const QString &path, const RecordHeader &header, OpenOptions options)
{
    m_path = path;
    m_header = header;
    m_givenHead.clear();
    m_error.clear();
    m_output.reset();
    m_file.close();
    if (options.testFlag(CreateOnFirstRow))
        m_error = unwritableReason(path);
    else
        createFile();
    if (!m_error.isEmpty())
        return false;
    m_active = true;
    m_headWritten = false;
    m_frequencyPending = options.testFlag(FrequencyToCome);
    m_frequencyFromFrames = options.testFlag(FrequencyFromFrames);
    m_holdForMarkers = options.testFlag(HoldForMarkers);
    m_openClock.start();
    discardHeldRows(); // nothing held yet: it starts the time base afresh
    if (!m_frequencyPending)
        m_timeline.nameRate(header.frequencyHz);
    m_rowsOut = 0;
    m_lastOutUs = -1;
    m_afterOutRow = 0;
    m_heldMarkers.clear();
    m_dropped.store(0, std::memory_order_relaxed);
    m_leavingOut = false;
    m_lineRate.clear();
    m_leftOutRateHz = 0;
    m_newestLineUs = 0;
    m_flushTimer->start();
    return true;
}

bool RecordWriter::createFile()
{
    // Our own buffer decides when bytes go out; the file writes them at once.
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
    const bool opened = m_path == QLatin1String("-")
                            ? m_file.open(STDOUT_FILENO, mode)
                            : (m_file.setFileName(m_path), m_file.open(mode | QIODevice::Truncate));
    if (!opened) {
        m_error = m_file.errorString();
        return false;
    }
    // Reported in the output's thread; this object hears of it through its own.
    m_output = std::make_unique<OutputQueue>(m_file.handle(), [this] {
        QMetaObject::invokeMethod(this, &RecordWriter::outputFailed, Qt::QueuedConnection);
    });
    return true;
}

bool RecordWriter::discardHeldRows()
{
    if (m_headWritten)
        return false;
    m_buffer.clear();
    m_heldRows.clear();
    m_frames.store(0, std::memory_order_relaxed);
    m_timeline.restart();
    m_gap = PendingGap();
    return true;
}

void RecordWriter::writeFrame(const FrameStamp &stamp, const QList<Axit_t> &readings, uint num)
{
    if (!m_active)
        return;
    if (m_frequencyPending && m_frequencyFromFrames && stamp.frequencyHz > 0)
        setFrequency(stamp.frequencyHz);
    if (outputFallsBehind()) {
        leaveOut(stamp);
        return;
    }
    if (m_gap.isOpen())
        m_buffer += m_gap.close(m_timeline.timeOf(stamp));
    m_timeline.appendFrame(&m_buffer, stamp, readings, num);
    m_heldRows.push_back({stamp.sequence, m_timeline.newestMicros(), m_buffer.size()});
    m_frames.fetch_add(1, std::memory_order_relaxed);
    for (const auto &[number, label] : m_heldMarkers)
        insertLine(m_buffer.size(), RecordFormat::markerLine(0, number, label));
    m_heldMarkers.clear();
    if (m_buffer.size() >= kWriteThresholdBytes)
        writeOut();
}

// Rows are left out as writeFrame() leaves them out, at the times they carry. A frequency line
// goes in with its row: when that row is left out, the rate is named again before the next row
// that goes in; the other lines of rows left out (their markers) go with them.
void RecordWriter::writeLine(const QByteArray &line)
{
    if (!m_active)
        return;
    if (line.startsWith(RecordFormat::kFrequencyPrefix)) {
        m_lineRate = line;
        return;
    }
    if (!RecordFormat::isRow(line)) {
        if (!m_gap.isOpen())
            m_buffer += line;
        return;
    }
    qint64 micros = 0;
    RecordFormat::rowTime(line, &micros);
    m_newestLineUs = micros;
    if (outputFallsBehind()) {
        m_gap.begin(micros, QString::fromLatin1(kOutputGapCause));
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        RecordRateChange change;
        QString error;
        if (!m_lineRate.isEmpty() &&
            RecordFormat::parseFrequencyLine(m_lineRate.trimmed(), change, error))
            m_leftOutRateHz = change.hz;
        m_lineRate.clear();
        return;
    }
    if (m_gap.isOpen())
        m_buffer += m_gap.close(micros);
    if (m_lineRate.isEmpty() && m_leftOutRateHz > 0)
        m_lineRate = RecordFormat::frequencyLine(micros, m_leftOutRateHz);
    m_leftOutRateHz = 0;
    m_buffer += std::exchange(m_lineRate, {});
    m_buffer += line;
    m_heldRows.push_back({0, micros, m_buffer.size()});
    m_frames.fetch_add(1, std::memory_order_relaxed);
    if (m_buffer.size() >= kWriteThresholdBytes)
        writeOut();
}

// After the row of the marked frame while it is held, else after the newest row of the file; a
// frame from before the recording is marked on its first row.
void RecordWriter::writeMarker(const FrameStamp &marked, int number, const QString &label)
{
    if (!m_active)
        return;
    if (!m_timeline.hasStarted()) {
        m_heldMarkers.emplace_back(number, label);
        return;
    }
    auto row = m_heldRows.end(); // none held: after the file's newest row
    if (!m_heldRows.empty() && !marked.isValid()) {
        row = std::prev(row);
    } else if (!m_heldRows.empty()) {
        row = std::upper_bound(
            m_heldRows.begin(), m_heldRows.end(), marked.sequence,
            [](quint64 sequence, const HeldRow &held) { return sequence < held.sequence; });
        if (row != m_heldRows.begin())
            --row;
        else if (m_lastOutUs >= 0)
            row = m_heldRows.end(); // its row has gone out
    }
    if (row != m_heldRows.end()) {
        insertLine(row->end, RecordFormat::markerLine(row->micros, number, label));
    } else if (m_lastOutUs >= 0) {
        const QByteArray line = RecordFormat::markerLine(m_lastOutUs, number, label);
        insertLine(m_afterOutRow, line);
        m_afterOutRow += line.size();
    }
}

// Rows ending at or after `at` move on by the line.
void RecordWriter::insertLine(qsizetype at, const QByteArray &line)
{
    m_buffer.insert(at, line);
    for (auto row = m_heldRows.rbegin(); row != m_heldRows.rend() && row->end >= at; ++row)
        row->end += line.size();
}

void RecordWriter::beginGap(const QString &cause)
{
    if (m_active && m_timeline.hasStarted())
        m_gap.begin(m_timeline.microsAt(FrameStamp::clockMicros()), cause);
}

// Once the output has fallen behind by its bound, rows are left out until it has caught up by
// half, so that a reader that cannot keep up gets few long gaps rather than many short ones.
bool RecordWriter::outputFallsBehind()
{
    if (!m_output)
        return false;
    const qint64 waiting = m_output->pendingBytes();
    m_leavingOut = waiting >= (m_leavingOut ? kOutputQueueBytes / 2 : kOutputQueueBytes);
    return m_leavingOut;
}

// The gap begins at the first row left out; one that is open already (the port was lost)
// stands for these rows too.
void RecordWriter::leaveOut(const FrameStamp &stamp)
{
    m_gap.begin(m_timeline.timeOf(stamp), QString::fromLatin1(kOutputGapCause));
    m_dropped.fetch_add(1, std::memory_order_relaxed);
}

void RecordWriter::setFrequency(int hz)
{
    if (!m_active || !m_frequencyPending)
        return;
    m_timeline.nameRate(hz);
    m_frequencyPending = false;
    writeOut();
}

void RecordWriter::flushBuffer()
{
    // A frequency that never comes is left out rather than holding the recording back.
    if (m_frequencyPending && m_frequencyWaitMs >= 0 && m_openClock.hasExpired(m_frequencyWaitMs))
        setFrequency(0);
    if (!writeOut())
        return;
    if (++m_flushTicks % kFlushTicksPerProgress == 0 && framesWritten() != m_reportedFrames) {
        m_reportedFrames = framesWritten();
        emit progress(m_reportedFrames);
    }
}

// False after a failed write, which ends the recording.
bool RecordWriter::writeOut(bool everything)
{
    if (!m_active)
        return false;
    if (m_frequencyPending)
        return true;
    if (!m_file.isOpen()) {
        if (m_buffer.isEmpty())
            return true; // created with the first row
        if (!createFile()) {
            fail(m_error);
            return false;
        }
    }
    if (!m_headWritten) {
        const QDateTime start =
            m_timeline.hasStarted() ? m_timeline.startTime() : QDateTime::currentDateTime();
        m_header.frequencyHz = m_timeline.headRate();
        insertLine(0,
                   m_givenHead.isEmpty() ? RecordFormat::headLines(m_header, start) : m_givenHead);
        m_headWritten = true;
    }
    const qsizetype bytes = everything ? m_buffer.size() : dueBytes();
    if (bytes == 0)
        return true;
    const QByteArray lines = m_buffer.first(bytes);
    m_output->push(lines, takeOut(bytes));
    return true;
}

// Every line, unless rows are held for markers: then the rows older than the hold with their
// markers; the lines that wait for the next row stay.
qsizetype RecordWriter::dueBytes() const
{
    if (!m_holdForMarkers)
        return m_buffer.size();
    const qint64 dueUs =
        m_timeline.microsAt(FrameStamp::clockMicros()) - qint64(kMarkerHoldMs) * 1000;
    const auto firstHeld =
        std::upper_bound(m_heldRows.begin(), m_heldRows.end(), dueUs,
                         [](qint64 due, const HeldRow &row) { return due < row.micros; });
    return firstHeld == m_heldRows.begin() ? 0 : std::prev(firstHeld)->end;
}

// The first `bytes` of the buffer go out; returns the rows among them.
qint64 RecordWriter::takeOut(qsizetype bytes)
{
    qint64 rows = 0;
    while (!m_heldRows.empty() && m_heldRows.front().end <= bytes) {
        m_lastOutUs = m_heldRows.front().micros;
        m_heldRows.pop_front();
        ++rows;
    }
    m_rowsOut += rows;
    for (HeldRow &row : m_heldRows)
        row.end -= bytes;
    m_afterOutRow = 0;
    if (bytes == m_buffer.size())
        m_buffer.resize(0); // keeps its room for the next lines
    else
        m_buffer.remove(0, bytes);
    return rows;
}

void RecordWriter::finish()
{
    if (!m_active)
        return;
    m_frequencyPending = false;
    // Lines composed elsewhere have their own time base: a gap reaches to the newest row.
    if (m_gap.isOpen())
        m_buffer +=
            m_gap.close(m_timeline.hasStarted() ? m_timeline.microsAt(FrameStamp::clockMicros())
                                                : m_newestLineUs);
    m_lineRate.clear(); // its row did not come
    if (!writeOut(true) || !closeOutput())
        return; // fail() has reported the end
    const qint64 rows = m_frames.load(std::memory_order_relaxed);
    m_flushTimer->stop();
    m_active = false;
    emit finished(rows, QString());
}

// The rows that the output has not taken in time are left out too.
bool RecordWriter::closeOutput()
{
    if (m_output && !m_output->drain(kDrainMs)) {
        m_output->stop();
        if (!m_output->error().isEmpty()) {
            fail(m_output->error());
            return false;
        }
        m_dropped.fetch_add(m_rowsOut - m_output->rowsWritten(), std::memory_order_relaxed);
    }
    m_frames.store(rowsInFile(), std::memory_order_relaxed);
    m_output.reset();
    m_file.close();
    return true;
}

qint64 RecordWriter::rowsInFile() const
{
    return m_output ? m_output->rowsWritten() : 0;
}

void RecordWriter::outputFailed()
{
    if (m_active && m_output)
        fail(m_output->error());
}

void RecordWriter::fail(const QString &what)
{
    m_error = what;
    m_buffer.clear();
    m_heldRows.clear();
    m_flushTimer->stop();
    const qint64 rows = rowsInFile();
    m_output.reset();
    m_file.close();
    m_active = false;
    m_frames.store(rows, std::memory_order_relaxed);
    emit finished(rows, m_error);
}
