// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MQTTCLIENT_H
#define MQTTCLIENT_H

#include "mqttconnection.h"

#include <QObject>
#include <QString>

class WorkerThread;

// A connection to an MQTT broker (MqttConnection) in a thread of its own, for the thread this
// object lives in: the connection's state and the messages it receives come here as signals,
// and nothing here waits for the network but stop(), for at most kStopMs. What has to run
// beside the connection (a publisher's sending) lives in its thread too: connectionThread(),
// connection(). The thread runs from construction to destruction.
class MqttClient : public QObject
{
    Q_OBJECT
public:
    // How long a clean end may take: what is queued goes out, then the connection ends.
    static constexpr int kStopMs = 1000;

    explicit MqttClient(QObject *parent = nullptr);
    ~MqttClient() override;

    // Connects to the broker of `options`, and keeps connecting until stop(); a connection
    // that runs is ended first. See MqttConnection::open() for the rest.
    void start(const MqttOptions &options, const QPair<QByteArray, QByteArray> &will = {},
               const QList<QByteArray> &subscriptions = {});
    // Ends the connection cleanly (at most kStopMs).
    void stop();

    bool isStarted() const { return m_started; }
    // Those of the last start().
    const MqttOptions &options() const { return m_options; }
    MqttConnection::State state() const { return m_state; }
    // Why the last attempt failed or the connection was lost; empty while connected.
    QString reason() const { return m_reason; }
    // The connection, for calls made in its thread only.
    MqttConnection *connection() const { return m_connection; }
    WorkerThread *connectionThread() const { return m_thread; }

signals:
    void stateChanged(MqttConnection::State state, const QString &reason, int retryMs);
    void messageReceived(const QByteArray &topic, const QByteArray &payload);

private:
    MqttOptions m_options;
    WorkerThread *m_thread;
    MqttConnection *m_connection; // lives in m_thread, deleted when it ends
    MqttConnection::State m_state = MqttConnection::State::Stopped;
    QString m_reason;
    bool m_started = false;
};

#endif // MQTTCLIENT_H
