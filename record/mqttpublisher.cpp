// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqttpublisher.h"

#include "mqttclient.h"
#include "mqttfeedsender.h"
#include "streamfeed.h"
#include "workercall.h"
#include "workerthread.h"

MqttPublisher::MqttPublisher(QObject *parent)
    : QObject(parent)
    , m_client(new MqttClient(this))
{
    m_feed = std::make_unique<StreamFeed>(
        [this] {
            QMetaObject::invokeMethod(m_sender, &MqttFeedSender::distribute, Qt::QueuedConnection);
        },
        StreamFeed::HeadPolicy::FollowsHeader);
    m_feed->setReaders(true); // the sender keeps every line, or counts it dropped
    m_sender = new MqttFeedSender(m_feed.get(), m_client->connection());
    m_sender->moveToThread(m_client->connectionThread());
    connect(m_client->connectionThread(), &QThread::finished, m_sender, &QObject::deleteLater);
    connect(m_client, &MqttClient::stateChanged, this, &MqttPublisher::stateChanged);
    connect(m_sender, &MqttFeedSender::framesDropped, this, [this](qint64 total) {
        m_dropped = total;
        emit framesDropped(total);
    });
}

MqttPublisher::~MqttPublisher()
{
    stop();
    delete m_client; // its thread ends, and the sender with it, before the feed goes
}

void MqttPublisher::start(const MqttOptions &options)
{
    stop();
    m_dropped = 0;
    MqttFeedSender *sender = m_sender;
    callInWorker(sender, [sender] { sender->reset(); });
    m_feed->start();
    m_client->start(options, {options.url.topic(MqttUrl::kStatusPart), MqttFeedSender::kOffline});
}

void MqttPublisher::stop()
{
    if (!m_client->isStarted())
        return;
    m_feed->stop();
    MqttFeedSender *sender = m_sender;
    callInWorker(sender, [sender] { sender->finish(); });
    m_client->stop();
}

void MqttPublisher::setHeader(const RecordHeader &header)
{
    m_feed->setHeader(header);
}

void MqttPublisher::addFrame(const FrameStamp &stamp, const QList<Axit_t> &readings, uint num)
{
    m_feed->addFrame(stamp, readings, num);
}

void MqttPublisher::addMarker(const FrameStamp &marked, int number, const QString &label)
{
    m_feed->addMarker(marked, number, label);
}

void MqttPublisher::beginGap(const QString &cause)
{
    m_feed->beginGap(cause);
}
