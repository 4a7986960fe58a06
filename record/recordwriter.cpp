// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordwriter.h"

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
    m_file.close();
    if (!options.testFlag(CreateOnFirstRow) && !createFile())
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
    m_rowsOut = m_bytesOut = 0;
    m_lastOutUs = -1;
    m_afterOutRow = 0;
    m_heldMarkers.clear();
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
    if (!opened)
        m_error = m_file.errorString();
    return opened;
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

void RecordWriter::writeLine(const QByteArray &line)
{
    if (!m_active)
        return;
    m_buffer += line;
    if (RecordFormat::isRow(line)) {
        m_heldRows.push_back({0, 0, m_buffer.size()});
        m_frames.fetch_add(1, std::memory_order_relaxed);
    }
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
    const qint64 written = writeAll(QByteArray::fromRawData(m_buffer.constData(), bytes));
    if (written < bytes) {
        keepCompleteRows(written);
        fail(m_error);
        return false;
    }
    m_bytesOut += written;
    takeOut(bytes);
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

// The first `bytes` of the buffer have gone out.
void RecordWriter::takeOut(qsizetype bytes)
{
    while (!m_heldRows.empty() && m_heldRows.front().end <= bytes) {
        m_lastOutUs = m_heldRows.front().micros;
        m_heldRows.pop_front();
        ++m_rowsOut;
    }
    for (HeldRow &row : m_heldRows)
        row.end -= bytes;
    m_afterOutRow = 0;
    if (bytes == m_buffer.size())
        m_buffer.resize(0); // keeps its room for the next lines
    else
        m_buffer.remove(0, bytes);
}

// QFile reports a write that stops halfway as "Unknown error": the system's own reason is
// taken from errno here.
qint64 RecordWriter::writeAll(const QByteArray &bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(m_file.handle(), bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = systemReason(n < 0 ? errno : EIO);
            break;
        }
        written += n;
    }
    return written;
}

// Counts the rows that reached the file whole, and cuts a partial line off where the file can
// be cut (not a pipe or a device), so that the file and the count agree.
void RecordWriter::keepCompleteRows(qint64 written)
{
    const QByteArrayView out(m_buffer.constData(), written);
    const qsizetype complete = out.lastIndexOf('\n') + 1;
    for (qsizetype at = 0; at < complete;) {
        const qsizetype end = out.indexOf('\n', at);
        m_rowsOut += RecordFormat::isRow(out.sliced(at, end - at)) ? 1 : 0;
        at = end + 1;
    }
    if (complete < written) {
        // A pipe or a device cannot be cut; readers leave a partial last line out.
        [[maybe_unused]] const int cut = ::ftruncate(m_file.handle(), m_bytesOut + complete);
    }
    m_bytesOut += complete;
}

void RecordWriter::finish()
{
    if (!m_active)
        return;
    m_frequencyPending = false;
    if (m_gap.isOpen())
        m_buffer += m_gap.close(m_timeline.microsAt(FrameStamp::clockMicros()));
    if (!writeOut(true))
        return; // fail() has reported the end
    m_flushTimer->stop();
    m_file.close();
    m_active = false;
    emit finished(m_rowsOut, QString());
}

void RecordWriter::fail(const QString &what)
{
    m_error = what;
    m_buffer.clear();
    m_heldRows.clear();
    m_flushTimer->stop();
    m_file.close();
    m_active = false;
    m_frames.store(m_rowsOut, std::memory_order_relaxed);
    emit finished(m_rowsOut, m_error);
}
