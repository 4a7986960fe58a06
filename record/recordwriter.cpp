// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordwriter.h"

#include <QTimer>

#include <unistd.h>

namespace {

// Held lines are written out once they pass this size, whatever the timer says.
constexpr qsizetype kWriteThresholdBytes = 64 * 1024;
constexpr int kFlushTicksPerProgress = 2; // progress about twice a second

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
    if (m_file.isOpen()) {
        writeOut();
        m_file.close();
    }
}

QByteArray RecordWriter::headerLine()
{
    return RecordFormat::headerLine();
}

bool RecordWriter::open(const QString &path, const RecordHeader &header)
{
    m_path = path;
    m_error.clear();
    // Our own buffer decides when bytes go out; the file writes them at once.
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
    const bool opened = path == QLatin1String("-")
                            ? m_file.open(STDOUT_FILENO, mode)
                            : (m_file.setFileName(path), m_file.open(mode | QIODevice::Truncate));
    if (!opened) {
        m_error = m_file.errorString();
        return false;
    }
    const QByteArray head = RecordFormat::commentLines(header) + headerLine() + '\n';
    if (m_file.write(head) != head.size()) {
        m_error = m_file.errorString();
        m_file.close();
        return false;
    }
    m_buffer.clear();
    m_frames.store(0, std::memory_order_relaxed);
    m_clock.invalidate();
    m_newestUs = 0;
    m_heldMarkers.clear();
    m_gapStartUs = -1;
    m_flushTimer->start();
    return true;
}

void RecordWriter::writeFrame(const QList<Axit_t> &readings, uint num)
{
    if (!m_file.isOpen())
        return;
    // The first frame is the recording's time zero.
    const qint64 micros = m_clock.isValid() ? m_clock.nsecsElapsed() / 1000 : (m_clock.start(), 0);
    if (m_gapStartUs >= 0)
        writeGapLine(micros);
    RecordFormat::appendFrameLine(m_buffer, micros, readings, num);
    m_newestUs = micros;
    m_frames.fetch_add(1, std::memory_order_relaxed);
    for (const auto &[number, label] : m_heldMarkers)
        m_buffer += RecordFormat::markerLine(micros, number, label);
    m_heldMarkers.clear();
    if (m_buffer.size() >= kWriteThresholdBytes)
        writeOut();
}

void RecordWriter::writeMarker(int number, const QString &label)
{
    if (!m_file.isOpen())
        return;
    if (!m_clock.isValid())
        m_heldMarkers.emplace_back(number, label);
    else
        m_buffer += RecordFormat::markerLine(m_newestUs, number, label);
}

void RecordWriter::beginGap(const QString &cause)
{
    if (!m_file.isOpen() || !m_clock.isValid() || m_gapStartUs >= 0)
        return;
    m_gapStartUs = m_clock.nsecsElapsed() / 1000;
    m_gapCause = cause;
}

void RecordWriter::writeGapLine(qint64 endUs)
{
    m_buffer += RecordFormat::gapLine(m_gapStartUs, endUs - m_gapStartUs, m_gapCause);
    m_gapStartUs = -1;
}

void RecordWriter::flushBuffer()
{
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
    if (!m_file.isOpen())
        return false;
    if (m_buffer.isEmpty())
        return true;
    const qint64 written = m_file.write(m_buffer);
    if (written != m_buffer.size()) {
        fail(m_file.errorString());
        return false;
    }
    m_buffer.clear();
    return true;
}

void RecordWriter::finish()
{
    if (!m_file.isOpen())
        return;
    if (m_gapStartUs >= 0)
        writeGapLine(m_clock.nsecsElapsed() / 1000);
    if (!writeOut())
        return; // fail() has reported the end
    m_flushTimer->stop();
    m_file.close();
    emit finished(framesWritten(), QString());
}

void RecordWriter::fail(const QString &what)
{
    m_error = what;
    m_buffer.clear();
    m_flushTimer->stop();
    m_file.close();
    emit finished(framesWritten(), m_error);
}
