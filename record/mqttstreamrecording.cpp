// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqttstreamrecording.h"

#include <algorithm>
#include <utility>

namespace {

constexpr char kStartPrefix[] = "# start: ";

// The head's start line: a stream's time base, which tells one stream from the next.
QByteArray startLine(const QByteArray &head)
{
    for (const QByteArray &line : head.split('\n')) {
        if (line.startsWith(kStartPrefix))
            return line;
    }
    return {};
}

// Each line of a message, without its line end (the last one may lack it).
template<typename Take> void forEachLine(const QByteArray &payload, Take take)
{
    for (qsizetype at = 0; at < payload.size();) {
        qsizetype end = payload.indexOf('\n', at);
        if (end < 0)
            end = payload.size();
        take(QByteArrayView(payload.constData() + at, end - at));
        at = end + 1;
    }
}

} // namespace

MqttStreamRecording::MqttStreamRecording(const QString &name, const QString &path, qint64 rowLimit,
                                         QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_rowLimit(rowLimit)
    , m_path(path)
{
    connect(&m_writer, &RecordWriter::finished, this, &MqttStreamRecording::finished);
}

bool MqttStreamRecording::takeHead(const QByteArray &head)
{
    if (hasRows())
        return startLine(head) == m_start; // the same stream: its file has its head
    // Before the first row a newer head replaces the one kept (a publisher's last, retained).
    auto checker = std::make_unique<RecordChecker>(m_name, nullptr);
    if (!head.endsWith('\n') || !checker->feed(head.constData(), head.size()) ||
        !checker->headerSeen() || checker->frameCount() > 0) {
        emit warning(QStringLiteral("%1: left out a head that is not a recording's comment lines "
                                    "and header line")
                         .arg(m_name));
        return true;
    }
    m_checker = std::move(checker);
    m_start = startLine(head);
    m_writer.openWithHead(m_path, head, RecordWriter::CreateOnFirstRow);
    return true;
}

void MqttStreamRecording::takeFrames(const QByteArray &payload)
{
    if (!m_checker)
        return; // no columns yet: a stream is recorded from its head on
    forEachLine(payload, [this](QByteArrayView line) {
        if (isFull())
            return;
        if (!RecordFormat::isRow(line)) {
            emit warning(QStringLiteral("%1: left out a line among the frames that is not a row: "
                                        "%2")
                             .arg(m_name, RecordFormat::quoted(line)));
            return;
        }
        qint64 micros = 0;
        if (m_brokerGap.isOpen() && RecordFormat::rowTime(line, &micros))
            takeLine(m_brokerGap.close(micros).chopped(1), true);
        placeRateLine(line);
        if (!takeLine(line))
            return;
        placeHeldMarkers();
        if (isFull())
            emit full();
    });
}

void MqttStreamRecording::takeEvents(const QByteArray &payload)
{
    forEachLine(payload, [this](QByteArrayView line) {
        if (!hasRows() || isFull())
            return; // it belongs to rows this recording does not have
        RecordGap gap;
        RecordMarker marker;
        QString error;
        if (m_brokerGap.isOpen() && line.startsWith(RecordFormat::kGapPrefix) &&
            RecordFormat::parseGapLine(line, gap, error)) {
            // The publisher's gap of the same loss says where its data stopped: one gap, from
            // the newest row here to its end, with its cause.
            const qint64 startUs = qMin(m_brokerGap.startUs, gap.startUs);
            m_brokerGap = PendingGap();
            takeLine(RecordFormat::gapLine(startUs, gap.startUs + gap.lengthUs - startUs, gap.cause)
                         .chopped(1));
            return;
        }
        if (line.startsWith(RecordFormat::kMarkerPrefix) &&
            RecordFormat::parseMarkerLine(line, marker, error) &&
            marker.timeUs > m_checker->lastTimeUs()) {
            holdMarker(marker.timeUs, line);
            return;
        }
        if (line.startsWith(RecordFormat::kFrequencyPrefix)) {
            if (!m_rateLine.isEmpty())
                emit warning(QStringLiteral("%1: left out a frequency line whose row did not "
                                            "come: %2")
                                 .arg(m_name, QString::fromUtf8(m_rateLine)));
            m_rateLine = line.toByteArray();
            return;
        }
        takeLine(line);
    });
}

void MqttStreamRecording::brokerLost()
{
    if (hasRows())
        m_brokerGap.begin(m_checker->lastTimeUs(), QStringLiteral("broker lost"));
}

void MqttStreamRecording::finish()
{
    if (!m_heldMarkers.empty() || !m_rateLine.isEmpty())
        emit warning(QStringLiteral("%1: left out %2 lines whose rows did not come")
                         .arg(m_name)
                         .arg(m_heldMarkers.size() + (m_rateLine.isEmpty() ? 0 : 1)));
    m_heldMarkers.clear();
    m_rateLine.clear();
    m_writer.finish();
}

bool MqttStreamRecording::takeLine(QByteArrayView line, bool quiet)
{
    QString error;
    if (!m_checker->tryLine(line, &error)) {
        if (!quiet)
            emit warning(error + QStringLiteral(" (left out)"));
        return false;
    }
    QByteArray whole = line.toByteArray();
    m_writer.writeLine(whole.append('\n'));
    return true;
}

void MqttStreamRecording::holdMarker(qint64 timeUs, QByteArrayView line)
{
    if (int(m_heldMarkers.size()) == kMaxHeldMarkers) {
        emit warning(
            QStringLiteral("%1: left out a marker that came long before its row").arg(m_name));
        return;
    }
    const auto place = std::upper_bound(
        m_heldMarkers.begin(), m_heldMarkers.end(), timeUs,
        [](qint64 time, const std::pair<qint64, QByteArray> &held) { return time < held.first; });
    m_heldMarkers.emplace(place, timeUs, line.toByteArray());
}

// Markers that came before their rows follow once their rows have come; one whose row did not
// come (it was lost) is left out.
void MqttStreamRecording::placeHeldMarkers()
{
    const qint64 newest = m_checker->lastTimeUs();
    while (!m_heldMarkers.empty() && m_heldMarkers.front().first <= newest) {
        const QByteArray line = m_heldMarkers.front().second;
        m_heldMarkers.erase(m_heldMarkers.begin());
        takeLine(line);
    }
}

// The frequency line that waits goes in before `row` when it is the row of its time.
void MqttStreamRecording::placeRateLine(QByteArrayView row)
{
    if (m_rateLine.isEmpty())
        return;
    RecordRateChange change;
    QString error;
    qint64 micros = -1;
    const QByteArray line = std::exchange(m_rateLine, {});
    if (RecordFormat::parseFrequencyLine(line, change, error) &&
        RecordFormat::rowTime(row, &micros) && micros == change.timeUs)
        takeLine(line);
    else
        emit warning(QStringLiteral("%1: left out a frequency line whose row did not come: %2")
                         .arg(m_name, QString::fromUtf8(line)));
}
