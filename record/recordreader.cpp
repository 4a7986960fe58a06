// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordreader.h"

#include "recordwriter.h"

#include <QFile>

#include <charconv>
#include <cmath>
#include <limits>

namespace {

constexpr int kColumns = 2 + kAxisCount * kMaxSensors;
constexpr double kMicrosPerSecond = 1e6;

QString columnName(int column)
{
    if (column == 0)
        return QStringLiteral("time_s");
    if (column == 1)
        return QStringLiteral("sensors");
    const int cell = column - 2;
    return QStringLiteral("s%1_%2")
        .arg(cell / kAxisCount)
        .arg(QLatin1Char("xyz"[cell % kAxisCount]));
}

bool parseInt(const QByteArray &text, long long &value)
{
    const char *end = text.constData() + text.size();
    const auto [ptr, ec] = std::from_chars(text.constData(), end, value);
    return ec == std::errc() && ptr == end && !text.isEmpty();
}

// Seconds as a plain decimal number, taken to whole microseconds.
bool parseTime(const QByteArray &text, qint64 &micros)
{
    double seconds = 0;
    const char *end = text.constData() + text.size();
    const auto [ptr, ec] =
        std::from_chars(text.constData(), end, seconds, std::chars_format::fixed);
    if (ec != std::errc() || ptr != end || text.isEmpty() || !std::isfinite(seconds) ||
        seconds < 0 || seconds > double(std::numeric_limits<qint64>::max()) / 1e7)
        return false;
    micros = qint64(std::llround(seconds * kMicrosPerSecond));
    return true;
}

QString timeText(qint64 micros)
{
    return QString::number(double(micros) / kMicrosPerSecond, 'f', 6);
}

} // namespace

bool RecordReader::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_name = path;
        m_lineNumber = 0;
        m_frames.clear();
        m_warnings.clear();
        m_error = QStringLiteral("%1: cannot be read: %2").arg(path, file.errorString());
        return false;
    }
    return read(file, path);
}

bool RecordReader::read(QIODevice &device, const QString &name)
{
    m_name = name;
    m_lineNumber = 0;
    m_frames.clear();
    m_warnings.clear();
    m_error.clear();
    const QByteArray header = RecordWriter::headerLine();
    bool headerSeen = false;
    while (!device.atEnd()) {
        QByteArray line = device.readLine();
        ++m_lineNumber;
        if (!line.endsWith('\n')) {
            m_warnings << QStringLiteral("%1:%2: the last line has no line end (a recording cut "
                                         "short) and is left out")
                              .arg(m_name)
                              .arg(m_lineNumber);
            break;
        }
        line.chop(line.endsWith("\r\n") ? 2 : 1);
        if (m_lineNumber == 1 && line.startsWith("\xEF\xBB\xBF"))
            line.remove(0, 3); // a byte-order mark that an editor may add
        if (!headerSeen) {
            if (line.startsWith('#'))
                continue;
            if (line != header)
                return fail(QStringLiteral("expected the header line \"%1\"")
                                .arg(QString::fromLatin1(header.left(40) + "...")));
            headerSeen = true;
            continue;
        }
        RecordedFrame frame;
        if (!parseFrame(line, frame))
            return false;
        if (!m_frames.empty() && frame.timeUs < m_frames.back().timeUs)
            return fail(QStringLiteral("time %1 is earlier than the line before (%2)")
                            .arg(timeText(frame.timeUs), timeText(m_frames.back().timeUs)));
        m_frames.push_back(frame);
    }
    if (!headerSeen) {
        ++m_lineNumber;
        return fail(QStringLiteral("no header line; not a recording"));
    }
    return true;
}

bool RecordReader::parseFrame(const QByteArray &line, RecordedFrame &frame)
{
    const QList<QByteArray> cells = line.split(',');
    if (cells.size() != kColumns)
        return fail(QStringLiteral("%1 columns, expected %2").arg(cells.size()).arg(kColumns));
    if (!parseTime(cells.at(0), frame.timeUs))
        return fail(QStringLiteral("time_s \"%1\" is not a time in seconds")
                        .arg(QString::fromUtf8(cells.at(0))));
    long long sensors = 0;
    if (!parseInt(cells.at(1), sensors) || sensors < 1 || sensors > kMaxSensors)
        return fail(QStringLiteral("sensors \"%1\" is not a count from 1 to %2")
                        .arg(QString::fromUtf8(cells.at(1)))
                        .arg(kMaxSensors));
    frame.sensors = int(sensors);
    frame.readings.fill(Axit_t{0, 0, 0});
    for (int column = 2; column < kColumns; ++column) {
        const QByteArray &cell = cells.at(column);
        const int sensor = (column - 2) / kAxisCount;
        if (sensor >= frame.sensors) {
            if (!cell.isEmpty())
                return fail(QStringLiteral("%1 is filled, but the line has %2 sensors")
                                .arg(columnName(column))
                                .arg(frame.sensors));
            continue;
        }
        if (cell.isEmpty())
            return fail(QStringLiteral("%1 is empty, but the line has %2 sensors")
                            .arg(columnName(column))
                            .arg(frame.sensors));
        long long value = 0;
        if (!parseInt(cell, value))
            return fail(QStringLiteral("%1 \"%2\" is not an integer")
                            .arg(columnName(column), QString::fromUtf8(cell)));
        if (value < std::numeric_limits<qint16>::min() ||
            value > std::numeric_limits<qint16>::max())
            return fail(QStringLiteral("%1 %2 is outside -32768..32767")
                            .arg(columnName(column))
                            .arg(value));
        Axit_t &reading = frame.readings[std::size_t(sensor)];
        qint16 *const axes[] = {&reading.x, &reading.y, &reading.z};
        *axes[(column - 2) % kAxisCount] = qint16(value);
    }
    return true;
}

bool RecordReader::fail(const QString &what)
{
    m_frames.clear();
    m_error = QStringLiteral("%1:%2: %3").arg(m_name).arg(m_lineNumber).arg(what);
    return false;
}
