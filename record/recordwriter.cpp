// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordwriter.h"

#include <QTimer>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// Held lines are written out once they pass this size, whatever the timer says.
constexpr qsizetype kWriteThresholdBytes = 64 * 1024;
constexpr int kFlushTicksPerProgress = 2; // progress about twice a second

// A row starts with its time; the header line and comment lines do not start with a digit.
bool isRow(QByteArrayView line)
{
    return !line.isEmpty() && line.front() >= '0' && line.front() <= '9';
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
        writeOut();
        m_file.close();
    }
}

QByteArray RecordWriter::headerLine()
{
    return RecordFormat::headerLine();
}

bool RecordWriter::open(const QString &path, const RecordHeader &header, OpenOptions options)
{
    m_path = path;
    m_header = header;
    m_error.clear();
    m_file.close();
    if (!options.testFlag(CreateOnFirstRow) && !createFile())
        return false;
    m_active = true;
    m_headWritten = false;
    m_frequencyPending = options.testFlag(FrequencyToCome);
    m_openClock.start();
    discardHeldRows(); // nothing held yet: it starts the time base afresh
    m_rowsOut = m_bytesOut = 0;
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
    m_rowsHeld = 0;
    m_frames.store(0, std::memory_order_relaxed);
    m_clock.invalidate();
    m_firstFrameTime = QDateTime();
    m_newestUs = 0;
    m_gapStartUs = -1;
    return true;
}

void RecordWriter::writeFrame(const QList<Axit_t> &readings, uint num)
{
    if (!m_active)
        return;
    qint64 micros = 0;
    if (m_clock.isValid()) {
        micros = m_clock.nsecsElapsed() / 1000;
    } else { // the first frame is the recording's time zero
        m_clock.start();
        m_firstFrameTime = QDateTime::currentDateTime();
    }
    if (m_gapStartUs >= 0)
        writeGapLine(micros);
    RecordFormat::appendFrameLine(m_buffer, micros, readings, num);
    m_newestUs = micros;
    ++m_rowsHeld;
    m_frames.fetch_add(1, std::memory_order_relaxed);
    for (const auto &[number, label] : m_heldMarkers)
        m_buffer += RecordFormat::markerLine(micros, number, label);
    m_heldMarkers.clear();
    if (m_buffer.size() >= kWriteThresholdBytes)
        writeOut();
}

void RecordWriter::writeMarker(int number, const QString &label)
{
    if (!m_active)
        return;
    if (!m_clock.isValid())
        m_heldMarkers.emplace_back(number, label);
    else
        m_buffer += RecordFormat::markerLine(m_newestUs, number, label);
}

void RecordWriter::beginGap(const QString &cause)
{
    if (!m_active || !m_clock.isValid() || m_gapStartUs >= 0)
        return;
    m_gapStartUs = m_clock.nsecsElapsed() / 1000;
    m_gapCause = cause;
}

void RecordWriter::setFrequency(int hz)
{
    if (!m_active || !m_frequencyPending)
        return;
    m_header.frequencyHz = qMax(hz, 0);
    m_frequencyPending = false;
    writeOut();
}

void RecordWriter::writeGapLine(qint64 endUs)
{
    m_buffer += RecordFormat::gapLine(m_gapStartUs, endUs - m_gapStartUs, m_gapCause);
    m_gapStartUs = -1;
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
bool RecordWriter::writeOut()
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
            m_firstFrameTime.isValid() ? m_firstFrameTime : QDateTime::currentDateTime();
        m_buffer.prepend(RecordFormat::headLines(m_header, start));
        m_headWritten = true;
    }
    if (m_buffer.isEmpty())
        return true;
    const qint64 written = writeAll(m_buffer);
    if (written < m_buffer.size()) {
        keepCompleteRows(written);
        fail(m_error);
        return false;
    }
    m_rowsOut += m_rowsHeld;
    m_rowsHeld = 0;
    m_bytesOut += written;
    m_buffer.resize(0); // keeps its room for the next lines
    return true;
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
            m_error = QString::fromLocal8Bit(std::strerror(n < 0 ? errno : EIO));
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
        m_rowsOut += isRow(out.sliced(at, end - at)) ? 1 : 0;
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
    if (m_gapStartUs >= 0)
        writeGapLine(m_clock.nsecsElapsed() / 1000);
    if (!writeOut())
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
    m_rowsHeld = 0;
    m_flushTimer->stop();
    m_file.close();
    m_active = false;
    m_frames.store(m_rowsOut, std::memory_order_relaxed);
    emit finished(m_rowsOut, m_error);
}
