// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordinganalysis.h"

#include "recordinput.h"

#include <QFile>
#include <QSaveFile>

#include <charconv>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kChunkBytes = 256 * 1024;
// Lines go out in pieces of about this size.
constexpr qsizetype kOutputBytes = 256 * 1024;
// A row is well under this.
constexpr int kMaxRowBytes = 256;
constexpr double kMicrosPerUnit = 1e6;
constexpr char kHeaderLine[] = "time_s,contacts,total_x,total_y,total_z,total_magnitude,cop_column,"
                               "cop_row,peak_sensor,peak_magnitude";
constexpr char kProgramPrefix[] = "# program: ";
constexpr char kRecordedByPrefix[] = "# recorded_by: ";
constexpr char kStandardInput[] = "/dev/stdin";

struct stat fileStatus(const QString &path, bool &found)
{
    struct stat status = {};
    found = ::stat(QFile::encodeName(path).constData(), &status) == 0;
    return status;
}

// Both paths name one file.
bool sameFile(const QString &a, const QString &b)
{
    bool foundA = false, foundB = false;
    const struct stat first = fileStatus(a, foundA);
    const struct stat second = fileStatus(b, foundB);
    return foundA && foundB && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// A device or a FIFO is written where it is: it cannot be replaced by another file.
bool isSpecialFile(const QString &path)
{
    bool found = false;
    const struct stat status = fileStatus(path, found);
    return found && !S_ISREG(status.st_mode);
}

char *putInt(char *out, qint64 value)
{
    return std::to_chars(out, out + 20, value).ptr;
}

// With six decimals, as the times are written; `value` is 0 or more.
char *putFraction(char *out, double value)
{
    return RecordFormat::writeTime(out, std::llround(value * kMicrosPerUnit));
}

} // namespace

RecordingAnalysis::RecordingAnalysis(const QString &input, const QString &output, int threshold,
                                     const QString &program)
    : m_inputPath(input)
    , m_outputPath(output)
    , m_program(program)
    , m_analysis(threshold)
{}

RecordingAnalysis::~RecordingAnalysis() = default;

QByteArray RecordingAnalysis::headerLine()
{
    return QByteArray(kHeaderLine);
}

QString RecordingAnalysis::inputName() const
{
    return m_inputPath == QLatin1String(kStandardStream) ? QStringLiteral("standard input")
                                                         : m_inputPath;
}

bool RecordingAnalysis::run()
{
    m_error.clear();
    m_writeError.clear();
    m_warnings.clear();
    m_frames = 0;
    m_headerLineWritten = false;
    const QString inputPath = m_inputPath == QLatin1String(kStandardStream)
                                  ? QString::fromLatin1(kStandardInput)
                                  : m_inputPath;
    RecordInput input;
    if (!input.open(inputPath)) {
        m_error = QStringLiteral("%1: cannot be read: %2").arg(inputName(), input.errorString());
        return false;
    }
    if (!openOutput(inputPath)) {
        m_error = m_writeError;
        return false;
    }
    writeHead();
    RecordChecker checker(inputName(),
                          [this](const RecordedFrame &frame, qint64, qint64) { writeRow(frame); });
    checker.streamLinesTo(this);
    const bool read = readAll(input, checker) && checker.finish();
    m_warnings = checker.warnings();
    if (!m_writeError.isEmpty() || (read && !finishOutput())) {
        m_error = m_writeError;
        return false;
    }
    if (!read) {
        m_error = checker.errorString();
        return false;
    }
    m_frames = checker.frameCount();
    return true;
}

// Until the input ends; false once the recording is refused or cannot be read, or the output
// cannot be written.
bool RecordingAnalysis::readAll(RecordInput &input, RecordChecker &checker)
{
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 n = input.read(chunk.data(), chunk.size());
        if (n < 0)
            return checker.failRead(input.errorString());
        if (n == 0)
            return true;
        if (!checker.feed(chunk.constData(), n) || !m_writeError.isEmpty())
            return false;
        if (!input.isRegularFile())
            flush(); // a reader downstream sees the frames as they come
    }
}

bool RecordingAnalysis::openOutput(const QString &inputPath)
{
    m_buffer.clear();
    m_buffer.reserve(kOutputBytes + kMaxRowBytes);
    if (m_outputPath == QLatin1String(kStandardStream)) {
        auto out = std::make_unique<QFile>();
        if (!out->open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered))
            return failWrite(out->errorString());
        m_output = std::move(out);
        return true;
    }
    if (sameFile(inputPath, m_outputPath))
        return failWrite(QStringLiteral("it is the recording to analyse"));
    if (isSpecialFile(m_outputPath))
        m_output = std::make_unique<QFile>(m_outputPath);
    else
        m_output = std::make_unique<QSaveFile>(m_outputPath);
    return m_output->open(QIODevice::WriteOnly) || failWrite(m_output->errorString());
}

void RecordingAnalysis::writeHead()
{
    writeLine(kProgramPrefix + m_program.toUtf8());
    writeLine("# source: " + RecordFormat::oneLineText(inputName()).toUtf8());
    writeLine("# threshold: " + QByteArray::number(m_analysis.threshold()));
}

void RecordingAnalysis::writeHeaderLineOnce()
{
    if (m_headerLineWritten)
        return;
    writeLine(headerLine());
    m_headerLineWritten = true;
}

void RecordingAnalysis::topComment(QByteArrayView line)
{
    if (line.startsWith(kProgramPrefix))
        writeLine(kRecordedByPrefix + line.sliced(qstrlen(kProgramPrefix)).toByteArray());
    else
        writeLine(line.toByteArray());
}

void RecordingAnalysis::marker(const RecordMarker &marker)
{
    put(RecordFormat::markerLine(marker.timeUs, marker.number, marker.label));
}

void RecordingAnalysis::gap(const RecordGap &gap)
{
    put(RecordFormat::gapLine(gap.startUs, gap.lengthUs, gap.cause));
}

void RecordingAnalysis::rateChange(const RecordRateChange &change)
{
    writeHeaderLineOnce(); // a stream joined after a change starts with its rate
    put(RecordFormat::frequencyLine(change.timeUs, change.hz));
}

void RecordingAnalysis::writeRow(const RecordedFrame &frame)
{
    writeHeaderLineOnce();
    const FrameAnalysis &a = m_analysis;
    m_analysis.analyse(frame.readings.data(), frame.sensors);
    char row[kMaxRowBytes];
    char *p = RecordFormat::writeTime(row, frame.timeUs);
    for (const int value : {a.contacts(), a.totalX(), a.totalY(), a.totalZ()}) {
        *p++ = ',';
        p = putInt(p, value);
    }
    *p++ = ',';
    p = putFraction(p, a.totalMagnitude());
    for (const double value : {a.centreColumn(), a.centreRow()}) {
        *p++ = ',';
        if (a.hasCentre())
            p = putFraction(p, value);
    }
    *p++ = ',';
    if (a.peakSensor() >= 0)
        p = putInt(p, a.peakSensor());
    *p++ = ',';
    if (a.peakSensor() >= 0)
        p = putFraction(p, a.peakMagnitude());
    *p++ = '\n';
    put(QByteArrayView(row, p - row));
}

void RecordingAnalysis::writeLine(const QByteArray &line)
{
    put(line + '\n');
}

void RecordingAnalysis::put(QByteArrayView bytes)
{
    m_buffer.append(bytes);
    if (m_buffer.size() >= kOutputBytes)
        flush();
}

bool RecordingAnalysis::flush()
{
    if (!m_writeError.isEmpty() || m_buffer.isEmpty())
        return m_writeError.isEmpty();
    const qint64 written = m_output->write(m_buffer);
    if (written != m_buffer.size())
        return failWrite(m_output->errorString());
    m_buffer.resize(0); // keeps its room, unlike clear()
    return true;
}

bool RecordingAnalysis::finishOutput()
{
    if (!flush())
        return false;
    if (auto *file = qobject_cast<QSaveFile *>(m_output.get()))
        return file->commit() || failWrite(file->errorString());
    return m_output->flush() || failWrite(m_output->errorString());
}

bool RecordingAnalysis::failWrite(const QString &reason)
{
    const QString name = m_outputPath == QLatin1String(kStandardStream)
                             ? QStringLiteral("standard output")
                             : m_outputPath;
    m_writeError = QStringLiteral("cannot write %1: %2").arg(name, reason);
    return false;
}
