// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MQTTFEEDSENDER_H
#define MQTTFEEDSENDER_H

#include "mqttconnection.h"
#include "recordformat.h"

#include <QByteArray>
#include <QObject>

class SendPacer;
class StreamFeed;

// The sending side of a stream published to a broker, in the connection's thread. It takes the
// feed's lines at most every kMinSendIntervalMs and publishes, under the prefix:
//   head    the comment lines and the header line, retained, on every connection and whenever
//           they change;
//   frames  the rows, several whole lines a message, QoS 0;
//   events  every other line among the rows (marker, gap, frequency), one a message, QoS 1, in
//           its place between the frames' messages;
//   status  "online", retained, on every connection ("offline" is the connection's will, and
//           is published on a clean end).
// Whenever the broker cannot take rows (not connected, or more than kMaxUnsentBytes wait for
// it), they are dropped and counted, and the next rows published are preceded by a gap line
// from the first dropped row's time. Markers of dropped rows go with them; a rate that changed
// meanwhile is named by a frequency line before the next row.
class MqttFeedSender : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMinSendIntervalMs = 10;
    static constexpr qint64 kMaxUnsentBytes = 1 << 20;
    static constexpr char kOnline[] = "online";
    static constexpr char kOffline[] = "offline";

    MqttFeedSender(StreamFeed *feed, MqttConnection *connection, QObject *parent = nullptr);

    // A new stream: nothing sent, nothing dropped.
    void reset();
    // Publishes what is pending and, when connected, "offline".
    void finish();

public slots:
    // The feed holds lines: they go now, or with the next send.
    void distribute();

signals:
    // A stretch of dropped rows has ended with its gap line; `total` since the start.
    void framesDropped(qint64 total);

private:
    void sendPending();
    void connectionChanged(MqttConnection::State state);
    bool canPublish() const;
    void dropLine(QByteArrayView line);
    void takeRow(QByteArrayView line);
    void takeEvent(QByteArrayView line);
    void closeGap(qint64 endUs);
    void flushRows();
    void publish(const char *part, const QByteArray &payload, int qos, bool retain = false);

    StreamFeed *const m_feed;
    MqttConnection *const m_connection;
    SendPacer *m_pacer;
    QByteArray m_head;
    QByteArray m_rows; // rows taken for the next frames message
    qint64 m_rowCount = 0;
    PendingGap m_gap;
    qint64 m_droppedInGap = 0;
    qint64 m_dropped = 0;
    int m_droppedRateHz = 0; // the rate of the last frequency line dropped, until it is named
};

#endif // MQTTFEEDSENDER_H
