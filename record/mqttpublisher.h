// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MQTTPUBLISHER_H
#define MQTTPUBLISHER_H

#include "devicerecords.h"
#include "framestamp.h"
#include "mqttconnection.h"
#include "recordformat.h"

#include <QObject>
#include <QString>

#include <memory>

class MqttClient;
class MqttFeedSender;
class StreamFeed;

// Publishes the live sensor-data stream to an MQTT broker, in the recording format, under the
// URL's prefix (MqttFeedSender says what goes where). The lines are composed as the stream
// server composes them (StreamFeed), on one time base from the first frame after start(); the
// head follows the header's changes (a port opened again, the card's frequency read).
//
// Frames come in through addFrame() from any thread (a direct connection from the driver-card
// object in the worker thread), which formats the line and hands it over without ever waiting
// for the network: the connection and the sending run in a thread of their own, and a slow,
// missing or lost broker only makes frames be dropped, counted and replaced by a gap line.
// The connection is tried again with a growing pause for as long as it runs.
//
// The object itself, its signals and its accessors belong to the thread it lives in. Whatever
// feeds it directly from another thread must be disconnected, or have stopped, before it is
// destroyed.
class MqttPublisher : public QObject
{
    Q_OBJECT
public:
    explicit MqttPublisher(QObject *parent = nullptr);
    ~MqttPublisher() override;

    // Connects to the broker of `options` and publishes from now on under its prefix; the next
    // frame is the stream's time zero. What was published before is ended first.
    void start(const MqttOptions &options);
    // Publishes what is pending and "offline", and ends the connection (at most
    // MqttClient::kStopMs).
    void stop();

    const MqttClient *client() const { return m_client; }
    // Frames that the broker could not take, since start().
    qint64 droppedFrames() const { return m_dropped; }

    // Thread-safe, as StreamServer's.
    void setHeader(const RecordHeader &header);
    void addFrame(const FrameStamp &stamp, const QList<Axit_t> &readings, uint num);
    void addMarker(const FrameStamp &marked, int number, const QString &label);
    // The card's data stop (its port was lost): a gap line comes before the next frame's row.
    void beginGap(const QString &cause);

signals:
    void stateChanged(MqttConnection::State state, const QString &reason, int retryMs);
    void framesDropped(qint64 total);

private:
    std::unique_ptr<StreamFeed> m_feed;
    MqttClient *m_client;
    MqttFeedSender *m_sender; // lives in the client's thread
    qint64 m_dropped = 0;
};

#endif // MQTTPUBLISHER_H
