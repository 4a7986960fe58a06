// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqttfeedsender.h"

#include "sendpacer.h"
#include "streamfeed.h"

#include <utility>

MqttFeedSender::MqttFeedSender(StreamFeed *feed, MqttConnection *connection, QObject *parent)
    : QObject(parent)
    , m_feed(feed)
    , m_connection(connection)
    , m_pacer(new SendPacer(
          kMinSendIntervalMs, [this] { sendPending(); }, this))
{
    connect(connection, &MqttConnection::stateChanged, this, &MqttFeedSender::connectionChanged);
}

void MqttFeedSender::distribute()
{
    m_pacer->request();
}

void MqttFeedSender::reset()
{
    m_head.clear();
    m_rows.clear();
    m_rowCount = 0;
    m_gap = PendingGap();
    m_droppedInGap = m_dropped = 0;
    m_droppedRateHz = 0;
}

void MqttFeedSender::finish()
{
    m_pacer->sendNow();
    publish(MqttUrl::kStatusPart, kOffline, 1, true);
}

// The broker forgets what it held when it restarts without persistence: it is told again.
void MqttFeedSender::connectionChanged(MqttConnection::State state)
{
    if (state != MqttConnection::State::Connected)
        return;
    publish(MqttUrl::kStatusPart, kOnline, 1, true);
    if (!m_head.isEmpty())
        publish(MqttUrl::kHeadPart, m_head, 1, true);
}

bool MqttFeedSender::canPublish() const
{
    return m_connection->state() == MqttConnection::State::Connected &&
           m_connection->unsentBytes() <= kMaxUnsentBytes;
}

void MqttFeedSender::sendPending()
{
    const StreamFeed::Batch batch = m_feed->take();
    if (!batch.head.isEmpty() && batch.head != m_head) {
        m_head = batch.head;
        publish(MqttUrl::kHeadPart, m_head, 1, true);
    }
    if (batch.overflowed && batch.droppedFrames > 0) {
        m_gap.begin(batch.droppedFromUs, QStringLiteral("publisher fell behind"));
        m_droppedInGap += batch.droppedFrames;
    }
    const QByteArray &lines = batch.lines;
    for (qsizetype at = 0; at < lines.size();) {
        const qsizetype end = lines.indexOf('\n', at);
        const QByteArrayView line(lines.constData() + at, end - at);
        at = end + 1;
        if (!canPublish())
            dropLine(line);
        else if (RecordFormat::isRow(line))
            takeRow(line);
        else
            takeEvent(line);
    }
    flushRows();
}

// Markers and gaps of dropped rows go with them: the gap covers them.
void MqttFeedSender::dropLine(QByteArrayView line)
{
    qint64 micros = 0;
    RecordRateChange change;
    QString error;
    if (RecordFormat::isRow(line)) {
        if (!m_gap.isOpen() && RecordFormat::rowTime(line, &micros))
            m_gap.begin(micros, m_connection->state() == MqttConnection::State::Connected
                                    ? QStringLiteral("broker too slow")
                                    : QStringLiteral("broker lost"));
        ++m_droppedInGap;
    } else if (line.startsWith(RecordFormat::kFrequencyPrefix) &&
               RecordFormat::parseFrequencyLine(line, change, error)) {
        m_droppedRateHz = change.hz;
    }
}

void MqttFeedSender::takeRow(QByteArrayView line)
{
    qint64 micros = 0;
    if ((m_gap.isOpen() || m_droppedRateHz > 0) && RecordFormat::rowTime(line, &micros)) {
        if (m_gap.isOpen())
            closeGap(micros);
        flushRows();
        // A frequency line carries the time of the first row at its rate.
        if (m_droppedRateHz > 0)
            publish(MqttUrl::kEventsPart,
                    RecordFormat::frequencyLine(micros, std::exchange(m_droppedRateHz, 0)), 1);
    }
    m_rows.append(line.data(), line.size()).append('\n');
    ++m_rowCount;
}

void MqttFeedSender::takeEvent(QByteArrayView line)
{
    if (line.startsWith(RecordFormat::kFrequencyPrefix))
        m_droppedRateHz = 0; // named here, for the next row
    if (m_gap.isOpen()) {
        RecordGap gap;
        QString error;
        if (line.startsWith(RecordFormat::kMarkerPrefix))
            return; // it marks a row that was dropped
        if (line.startsWith(RecordFormat::kGapPrefix) &&
            RecordFormat::parseGapLine(line, gap, error))
            closeGap(gap.startUs);
    }
    flushRows();
    publish(MqttUrl::kEventsPart, line.toByteArray() + '\n', 1);
}

// The gap of the dropped rows, ending where the next line's time begins.
void MqttFeedSender::closeGap(qint64 endUs)
{
    flushRows();
    publish(MqttUrl::kEventsPart, m_gap.close(endUs), 1);
    m_dropped += std::exchange(m_droppedInGap, 0);
    emit framesDropped(m_dropped);
}

void MqttFeedSender::flushRows()
{
    if (m_rowCount == 0)
        return;
    if (!m_connection->publish(m_connection->options().url.topic(MqttUrl::kFramesPart), m_rows, 0,
                               false)) {
        // The connection broke: the rows count as dropped.
        const QByteArray rows = std::exchange(m_rows, {});
        m_rowCount = 0;
        for (const QByteArray &row : rows.split('\n'))
            if (!row.isEmpty())
                dropLine(row);
        return;
    }
    m_rows.clear();
    m_rowCount = 0;
}

void MqttFeedSender::publish(const char *part, const QByteArray &payload, int qos, bool retain)
{
    m_connection->publish(m_connection->options().url.topic(part), payload, qos, retain);
}
