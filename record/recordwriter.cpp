// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordwriter.h"

#include <QDateTime>
#include <QTimer>

#include <charconv>
#include <unistd.h>

namespace {

constexpr qint64 kMicrosPerSecond = 1000000;
// Held lines are written out once they pass this size, whatever the timer says.
constexpr qsizetype kWriteThresholdBytes = 64 * 1024;
// A frame of 16 sensors is well under 400 bytes.
constexpr int kMaxLineBytes = 512;
constexpr int kFlushTicksPerProgress = 2; // progress about twice a second

char *putInt(char *out, char *end, qint64 value)
{
    return std::to_chars(out, end, value).ptr;
}

// Seconds with exactly six decimals, from whole microseconds.
char *putTime(char *out, char *end, qint64 micros)
{
    out = putInt(out, end, micros / kMicrosPerSecond);
    *out++ = '.';
    qint64 fraction = micros % kMicrosPerSecond;
    for (int digit = 5; digit >= 0; --digit) {
        out[digit] = char('0' + fraction % 10);
        fraction /= 10;
    }
    return out + 6;
}

// ISO 8601 with the offset written out, also when it is zero.
QString isoTimeWithOffset(const QDateTime &time)
{
    const int offset = time.offsetFromUtc() / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
           QStringLiteral("%1%2:%3")
               .arg(QLatin1Char(offset < 0 ? '-' : '+'))
               .arg(qAbs(offset) / 60, 2, 10, QLatin1Char('0'))
               .arg(qAbs(offset) % 60, 2, 10, QLatin1Char('0'));
}

QByteArray commentLines(const RecordHeader &header)
{
    QByteArray out;
    const auto add = [&out](const char *key, const QString &value) {
        if (!value.isEmpty())
            out += QByteArray("# ") + key + ": " + value.toUtf8() + '\n';
    };
    add("program", header.program);
    add("port", header.port);
    add("baud", header.baudRate > 0 ? QString::number(header.baudRate) : QString());
    add("frequency_hz", header.frequencyHz > 0 ? QString::number(header.frequencyHz) : QString());
    add("start", isoTimeWithOffset(QDateTime::currentDateTime()));
    return out;
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
    if (m_file.isOpen()) {
        writeOut();
        m_file.close();
    }
}

QByteArray RecordWriter::headerLine()
{
    QByteArray line("time_s,sensors");
    for (int sensor = 0; sensor < kMaxSensors; ++sensor) {
        for (const char *axis : {"x", "y", "z"})
            line += ",s" + QByteArray::number(sensor) + '_' + axis;
    }
    return line;
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
    const QByteArray head = commentLines(header) + headerLine() + '\n';
    if (m_file.write(head) != head.size()) {
        m_error = m_file.errorString();
        m_file.close();
        return false;
    }
    m_buffer.clear();
    m_frames.store(0, std::memory_order_relaxed);
    m_clock.invalidate();
    m_flushTimer->start();
    return true;
}

void RecordWriter::writeFrame(const QList<Axit_t> &readings, uint num)
{
    if (!m_file.isOpen())
        return;
    // The first frame is the recording's time zero.
    const qint64 micros = m_clock.isValid() ? m_clock.nsecsElapsed() / 1000 : (m_clock.start(), 0);
    const int count = int(qMin<qsizetype>(qMin<uint>(num, kMaxSensors), readings.size()));
    char line[kMaxLineBytes];
    char *const end = line + sizeof line;
    char *out = putTime(line, end, micros);
    *out++ = ',';
    out = putInt(out, end, count);
    for (int sensor = 0; sensor < kMaxSensors; ++sensor) {
        if (sensor < count) {
            const Axit_t &a = readings.at(sensor);
            for (qint16 value : {a.x, a.y, a.z}) {
                *out++ = ',';
                out = putInt(out, end, value);
            }
        } else {
            for (int axis = 0; axis < kAxisCount; ++axis)
                *out++ = ',';
        }
    }
    *out++ = '\n';
    m_buffer.append(line, out - line);
    m_frames.fetch_add(1, std::memory_order_relaxed);
    if (m_buffer.size() >= kWriteThresholdBytes)
        writeOut();
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
