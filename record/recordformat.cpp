// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordformat.h"

#include <QDateTime>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr qint64 kMicrosPerSecond = 1000000;
// Times beyond this many seconds cannot be held in microseconds with room to spare.
constexpr qint64 kMaxSeconds = std::numeric_limits<qint64>::max() / 10000000;
constexpr int kTimeDecimals = 6;
constexpr int kQuotedBytes = 40;
// The keys of the comment lines at the top.
constexpr char kProgramKey[] = "program";
constexpr char kPortKey[] = "port";
constexpr char kBaudKey[] = "baud";
constexpr char kFrequencyKey[] = "frequency_hz";

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
    for (int digit = kTimeDecimals - 1; digit >= 0; --digit) {
        out[digit] = char('0' + fraction % 10);
        fraction /= 10;
    }
    return out + kTimeDecimals;
}

QByteArray timeBytes(qint64 micros)
{
    char text[32];
    return QByteArray(text, putTime(text, text + sizeof text, micros) - text);
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

template<typename Int> bool parseInt(QByteArrayView text, Int &value)
{
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.isEmpty() && ec == std::errc() && ptr == end;
}

// The common case, up to six decimals, exactly and without floating point.
bool parsePlainTime(QByteArrayView text, qint64 &micros)
{
    const qsizetype dot = text.indexOf('.');
    const QByteArrayView whole = dot < 0 ? text : text.first(dot);
    const QByteArrayView decimals = dot < 0 ? QByteArrayView() : text.sliced(dot + 1);
    qint64 seconds = 0;
    if (whole.isEmpty() || whole.size() > 12 || decimals.size() > kTimeDecimals ||
        (dot >= 0 && decimals.isEmpty()) || whole.front() == '-' || !parseInt(whole, seconds))
        return false;
    qint64 fraction = 0;
    if (!decimals.isEmpty() && (decimals.front() == '-' || !parseInt(decimals, fraction)))
        return false;
    for (qsizetype digit = decimals.size(); digit < kTimeDecimals; ++digit)
        fraction *= 10;
    if (seconds > kMaxSeconds)
        return false;
    micros = seconds * kMicrosPerSecond + fraction;
    return true;
}

// Seconds as a plain decimal number, taken to whole microseconds.
bool parseTime(QByteArrayView text, qint64 &micros)
{
    if (parsePlainTime(text, micros))
        return true;
    double seconds = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, seconds, std::chars_format::fixed);
    if (text.isEmpty() || ec != std::errc() || ptr != end || !std::isfinite(seconds) ||
        seconds < 0 || seconds > double(kMaxSeconds))
        return false;
    micros = qint64(std::llround(seconds * double(kMicrosPerSecond)));
    return true;
}

// Up to `maxDigits` digits at `p`, as a number; false when there are none.
bool takeDigits(const char *&p, const char *end, int maxDigits, qint64 &value)
{
    const char *const start = p;
    value = 0;
    while (p < end && p - start < maxDigits && unsigned(*p - '0') < 10u)
        value = value * 10 + (*p++ - '0');
    return p > start;
}

// The rows as the writers of the format spell them, read in one pass over the line: plain seconds
// with up to six decimals, a count, readings without a '+' or more than five digits. Whatever
// this does not take (a fault, or an unusual spelling) goes to the general reading, which also
// says what is wrong; both give the same frame for a line this takes.
bool parseWrittenFrameLine(QByteArrayView line, RecordedFrame &frame)
{
    const char *p = line.data();
    const char *const end = p + line.size();
    qint64 seconds = 0;
    qint64 fraction = 0;
    if (!takeDigits(p, end, 12, seconds) || seconds > kMaxSeconds)
        return false;
    if (p < end && *p == '.') {
        const char *const decimals = ++p;
        if (!takeDigits(p, end, kTimeDecimals, fraction))
            return false;
        for (auto digits = p - decimals; digits < kTimeDecimals; ++digits)
            fraction *= 10;
    }
    qint64 sensors = 0;
    if (p == end || *p++ != ',' || !takeDigits(p, end, 2, sensors) || sensors < 1 ||
        sensors > kMaxSensors)
        return false;
    for (int sensor = 0; sensor < kMaxSensors; ++sensor) {
        Axit_t &reading = frame.readings[std::size_t(sensor)];
        for (qint16 *axis : {&reading.x, &reading.y, &reading.z}) {
            if (p == end || *p++ != ',')
                return false;
            if (sensor >= sensors) {
                *axis = 0;
                continue;
            }
            const bool negative = p < end && *p == '-';
            p += negative;
            qint64 value = 0;
            if (!takeDigits(p, end, 5, value))
                return false;
            value = negative ? -value : value;
            if (value < std::numeric_limits<qint16>::min() ||
                value > std::numeric_limits<qint16>::max())
                return false;
            *axis = qint16(value);
        }
    }
    if (p != end)
        return false;
    frame.timeUs = seconds * kMicrosPerSecond + fraction;
    frame.sensors = int(sensors);
    return true;
}

// The line after `prefix`, cut at its first two commas.
bool splitComment(QByteArrayView line, qsizetype prefixSize, QByteArrayView (&fields)[3])
{
    QByteArrayView rest = line.sliced(prefixSize);
    for (int i = 0; i < 2; ++i) {
        const qsizetype comma = rest.indexOf(',');
        if (comma < 0)
            return false;
        fields[i] = rest.first(comma);
        rest = rest.sliced(comma + 1);
    }
    fields[2] = rest;
    return true;
}

} // namespace

QByteArray RecordFormat::headerLine()
{
    QByteArray line("time_s,sensors");
    for (int sensor = 0; sensor < kMaxSensors; ++sensor) {
        for (const char *axis : {"x", "y", "z"})
            line += ",s" + QByteArray::number(sensor) + '_' + axis;
    }
    return line;
}

QByteArray RecordFormat::commentLines(const RecordHeader &header, const QDateTime &start)
{
    QByteArray out;
    const auto add = [&out](const char *key, const QString &value) {
        if (!value.isEmpty())
            out += QByteArray("# ") + key + ": " + value.toUtf8() + '\n';
    };
    add(kProgramKey, header.program);
    add(kPortKey, header.port);
    add(kBaudKey, header.baudRate > 0 ? QString::number(header.baudRate) : QString());
    add(kFrequencyKey, header.frequencyHz > 0 ? QString::number(header.frequencyHz) : QString());
    add("start", isoTimeWithOffset(start));
    return out;
}

QByteArray RecordFormat::headLines(const RecordHeader &header, const QDateTime &start)
{
    return commentLines(header, start) + headerLine() + '\n';
}

void RecordFormat::appendFrameLine(QByteArray &out, qint64 micros, const QList<Axit_t> &readings,
                                   uint num)
{
    const int count = int(qMin<qsizetype>(qMin<uint>(num, kMaxSensors), readings.size()));
    char line[kMaxFrameLineBytes];
    char *const end = line + sizeof line;
    char *put = putTime(line, end, micros);
    *put++ = ',';
    put = putInt(put, end, count);
    for (int sensor = 0; sensor < kMaxSensors; ++sensor) {
        if (sensor < count) {
            const Axit_t &a = readings.at(sensor);
            for (qint16 value : {a.x, a.y, a.z}) {
                *put++ = ',';
                put = putInt(put, end, value);
            }
        } else {
            for (int axis = 0; axis < kAxisCount; ++axis)
                *put++ = ',';
        }
    }
    *put++ = '\n';
    out.append(line, put - line);
}

QByteArray RecordFormat::markerLine(qint64 micros, int number, const QString &label)
{
    return kMarkerPrefix + timeBytes(micros) + ',' + QByteArray::number(number) + ',' +
           oneLineText(label).toUtf8() + '\n';
}

QByteArray RecordFormat::gapLine(qint64 startMicros, qint64 lengthMicros, const QString &cause)
{
    return kGapPrefix + timeBytes(startMicros) + ',' + timeBytes(lengthMicros) + ',' +
           oneLineText(cause).toUtf8() + '\n';
}

QByteArray RecordFormat::frequencyLine(qint64 micros, int hz)
{
    return kFrequencyPrefix + timeBytes(micros) + ',' + QByteArray::number(hz) + '\n';
}

QString RecordFormat::oneLineText(const QString &text)
{
    QString line = text;
    for (QChar &c : line) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            c = u' ';
    }
    QByteArray utf8 = line.toUtf8();
    if (utf8.size() <= kMaxTextBytes)
        return line;
    qsizetype cut = kMaxTextBytes;
    while (cut > 0 && (quint8(utf8.at(cut)) & 0xC0) == 0x80)
        --cut; // not inside a character
    utf8.truncate(cut);
    return QString::fromUtf8(utf8);
}

void RecordFormat::readCommentLine(QByteArrayView line, RecordHeader &header)
{
    const qsizetype colon = line.indexOf(": ");
    if (!line.startsWith("# ") || colon < 0)
        return;
    const QByteArrayView key = line.sliced(2, colon - 2);
    const QString value = QString::fromUtf8(line.sliced(colon + 2)).trimmed();
    if (key == kProgramKey)
        header.program = value;
    else if (key == kPortKey)
        header.port = value;
    else if (key == kBaudKey)
        header.baudRate = qMax(value.toInt(), 0);
    else if (key == kFrequencyKey)
        header.frequencyHz = qMax(value.toInt(), 0);
}

bool RecordFormat::parseFrameLine(QByteArrayView line, RecordedFrame &frame, QString &error)
{
    return parseWrittenFrameLine(line, frame) || parseAnyFrameLine(line, frame, error);
}

bool RecordFormat::parseAnyFrameLine(QByteArrayView line, RecordedFrame &frame, QString &error)
{
    std::array<QByteArrayView, kColumns> cells;
    int count = 0;
    const char *p = line.data();
    const char *const end = p + line.size();
    for (;;) {
        const auto *comma =
            p == end ? nullptr : static_cast<const char *>(std::memchr(p, ',', size_t(end - p)));
        const char *cellEnd = comma ? comma : end;
        if (count < kColumns)
            cells[std::size_t(count)] = QByteArrayView(p, cellEnd - p);
        ++count;
        if (!comma)
            break;
        p = comma + 1;
    }
    if (count != kColumns) {
        error = QStringLiteral("%1 columns, expected %2").arg(count).arg(kColumns);
        return false;
    }
    if (!parseTime(cells[0], frame.timeUs)) {
        error = QStringLiteral("time_s %1 is not a time in seconds").arg(quoted(cells[0]));
        return false;
    }
    int sensors = 0;
    if (!parseInt(cells[1], sensors) || sensors < 1 || sensors > kMaxSensors) {
        error = QStringLiteral("sensors %1 is not a count from 1 to %2")
                    .arg(quoted(cells[1]))
                    .arg(kMaxSensors);
        return false;
    }
    frame.sensors = sensors;
    for (int column = 2; column < kColumns; ++column) {
        const QByteArrayView cell = cells[std::size_t(column)];
        const int sensor = (column - 2) / kAxisCount;
        if (sensor >= sensors) {
            if (!cell.isEmpty()) {
                error = QStringLiteral("%1 is filled, but the line has %2 sensors")
                            .arg(columnName(column))
                            .arg(sensors);
                return false;
            }
            continue;
        }
        if (cell.isEmpty()) {
            error = QStringLiteral("%1 is empty, but the line has %2 sensors")
                        .arg(columnName(column))
                        .arg(sensors);
            return false;
        }
        long long value = 0;
        if (!parseInt(cell, value)) {
            error = QStringLiteral("%1 %2 is not an integer").arg(columnName(column), quoted(cell));
            return false;
        }
        if (value < std::numeric_limits<qint16>::min() ||
            value > std::numeric_limits<qint16>::max()) {
            error =
                QStringLiteral("%1 %2 is outside -32768..32767").arg(columnName(column)).arg(value);
            return false;
        }
        Axit_t &reading = frame.readings[std::size_t(sensor)];
        qint16 *const axes[] = {&reading.x, &reading.y, &reading.z};
        *axes[(column - 2) % kAxisCount] = qint16(value);
    }
    for (int sensor = sensors; sensor < kMaxSensors; ++sensor)
        frame.readings[std::size_t(sensor)] = Axit_t{0, 0, 0};
    return true;
}

bool RecordFormat::parseMarkerLine(QByteArrayView line, RecordMarker &marker, QString &error)
{
    QByteArrayView fields[3];
    if (!splitComment(line, qsizetype(std::strlen(kMarkerPrefix)), fields)) {
        error = QStringLiteral("a marker line is \"%1time_s,number,label\"")
                    .arg(QLatin1String(kMarkerPrefix));
        return false;
    }
    if (!parseTime(fields[0], marker.timeUs)) {
        error = QStringLiteral("marker time %1 is not a time in seconds").arg(quoted(fields[0]));
        return false;
    }
    if (!parseInt(fields[1], marker.number)) {
        error = QStringLiteral("marker number %1 is not an integer").arg(quoted(fields[1]));
        return false;
    }
    marker.label = QString::fromUtf8(fields[2]);
    return true;
}

bool RecordFormat::parseGapLine(QByteArrayView line, RecordGap &gap, QString &error)
{
    QByteArrayView fields[3];
    if (!splitComment(line, qsizetype(std::strlen(kGapPrefix)), fields)) {
        error = QStringLiteral("a gap line is \"%1start_s,length_s,cause\"")
                    .arg(QLatin1String(kGapPrefix));
        return false;
    }
    if (!parseTime(fields[0], gap.startUs)) {
        error = QStringLiteral("gap start %1 is not a time in seconds").arg(quoted(fields[0]));
        return false;
    }
    if (!parseTime(fields[1], gap.lengthUs) || gap.lengthUs > kMaxSeconds * kMicrosPerSecond) {
        error = QStringLiteral("gap length %1 is not a time in seconds").arg(quoted(fields[1]));
        return false;
    }
    gap.cause = QString::fromUtf8(fields[2]);
    return true;
}

bool RecordFormat::parseFrequencyLine(QByteArrayView line, RecordRateChange &change, QString &error)
{
    const QByteArrayView rest = line.sliced(qsizetype(std::strlen(kFrequencyPrefix)));
    const qsizetype comma = rest.indexOf(',');
    if (comma < 0) {
        error = QStringLiteral("a frequency line is \"%1time_s,hz\"")
                    .arg(QLatin1String(kFrequencyPrefix));
        return false;
    }
    if (!parseTime(rest.first(comma), change.timeUs)) {
        error = QStringLiteral("frequency time %1 is not a time in seconds")
                    .arg(quoted(rest.first(comma)));
        return false;
    }
    const QByteArrayView hz = rest.sliced(comma + 1);
    if (!parseInt(hz, change.hz) || change.hz < 1 || change.hz > kMaxRateHz) {
        error = QStringLiteral("frequency %1 is not a rate from 1 to %2 Hz")
                    .arg(quoted(hz))
                    .arg(kMaxRateHz);
        return false;
    }
    return true;
}

int RecordFormat::rateAt(int firstHz, const std::vector<RecordRateChange> &changes,
                         qint64 frameIndex)
{
    const auto after = std::upper_bound(
        changes.begin(), changes.end(), frameIndex,
        [](qint64 index, const RecordRateChange &c) { return index < c.frameIndex; });
    return after == changes.begin() ? firstHz : std::prev(after)->hz;
}

bool RecordFormat::rowTime(QByteArrayView row, qint64 *micros)
{
    const qsizetype comma = row.indexOf(',');
    return parseTime(comma < 0 ? row : row.first(comma), *micros);
}

QString RecordFormat::quoted(QByteArrayView cell)
{
    qsizetype shown = qMin<qsizetype>(cell.size(), kQuotedBytes);
    while (shown > 0 && shown < cell.size() && (quint8(cell.at(shown)) & 0xC0) == 0x80)
        --shown; // not inside a character
    QString out(1, u'"');
    for (const QChar c : QString::fromUtf8(cell.first(shown))) {
        if (c == u'\n')
            out += QLatin1String("\\n");
        else if (c == u'\r')
            out += QLatin1String("\\r");
        else if (c == u'\t')
            out += QLatin1String("\\t");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else if (c == u'"' || c == u'\\')
            out += u'\\' + QString(c);
        else
            out += c;
    }
    out += u'"';
    if (shown < cell.size())
        out += QStringLiteral("... (%1 bytes)").arg(cell.size());
    return out;
}

char *RecordFormat::writeTime(char *out, qint64 micros)
{
    return putTime(out, out + kMaxTimeBytes, micros);
}

QString RecordFormat::timeText(qint64 micros)
{
    return QString::fromLatin1(timeBytes(micros));
}

int RecordFormat::nearestCardRate(double hz)
{
    if (std::isnan(hz) || hz <= 0)
        return 0;
    if (hz >= kSampleRatesHz.back())
        return kSampleRatesHz.back();
    int best = kSampleRatesHz.front();
    for (int rate : kSampleRatesHz) {
        if (std::abs(hz - rate) < std::abs(hz - best))
            best = rate;
    }
    return best;
}
