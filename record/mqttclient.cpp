// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqttclient.h"

#include "workercall.h"
#include "workerthread.h"

MqttClient::MqttClient(QObject *parent)
    : QObject(parent)
    , m_thread(new WorkerThread(this))
    , m_connection(new MqttConnection)
{
    m_thread->setObjectName(QStringLiteral("mqtt"));
    m_connection->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_connection, &QObject::deleteLater);
    connect(m_connection, &MqttConnection::stateChanged, this,
            [this](MqttConnection::State state, const QString &reason, int retryMs) {
                m_state = state;
                m_reason = reason;
                emit stateChanged(state, reason, retryMs);
            });
    connect(m_connection, &MqttConnection::messageReceived, this, &MqttClient::messageReceived);
    m_thread->start();
}

MqttClient::~MqttClient()
{
    stop();
    m_thread->end();
}

void MqttClient::start(const MqttOptions &options, const QPair<QByteArray, QByteArray> &will,
                       const QList<QByteArray> &subscriptions)
{
    m_options = options;
    m_started = true;
    MqttConnection *connection = m_connection;
    QMetaObject::invokeMethod(
        connection,
        [connection, options, will, subscriptions] {
            connection->open(options, will, subscriptions);
        },
        Qt::QueuedConnection);
}

void MqttClient::stop()
{
    if (!std::exchange(m_started, false))
        return;
    MqttConnection *connection = m_connection;
    callInWorker(
        connection, [connection] { connection->close(kStopMs); }, kStopMs + kWorkerCallTimeoutMs);
}
