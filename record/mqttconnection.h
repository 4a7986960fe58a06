// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MQTTCONNECTION_H
#define MQTTCONNECTION_H

#include "mqttoptions.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

struct mosquitto;
class QDeadlineTimer;
class QSocketNotifier;
class QTimer;

// One client connection to an MQTT broker (libmosquitto), driven by the event loop of the
// thread it lives in: the socket is watched there and nothing ever blocks on the network. Once
// opened it connects, and connects again after a failure or a loss, waiting longer each time
// (from kFirstRetryMs, doubling, up to kMaxRetryMs) until it is closed; it may be opened again,
// to the same broker or another. An attempt that has not been
// answered within kConnectTimeoutMs has failed. Every change of state is signalled with the
// reason of a failure.
//
// MQTT 3.1.1 with a clean session and an identifier of the library's making; the subscriptions
// are made anew on every connection.
class MqttConnection : public QObject
{
    Q_OBJECT
public:
    enum class State {
        Stopped,    // not opened, or closed
        Connecting, // an attempt runs
        Connected,  // the broker has accepted the connection
        Waiting,    // for the next attempt, after a failure or a loss
    };
    Q_ENUM(State)

    static constexpr int kConnectTimeoutMs = 10000;
    static constexpr int kKeepAliveSeconds = 10;
    static constexpr int kFirstRetryMs = 500;
    static constexpr int kMaxRetryMs = 15000;

    explicit MqttConnection(QObject *parent = nullptr);
    ~MqttConnection() override;

    // Connects now, and again whenever the connection fails, until close(). `will` is the
    // message (topic and payload) the broker publishes, retained, when it loses this client
    // (none when its topic is empty); `subscriptions` are subscribed to (QoS 1) on every
    // connection.
    void open(const MqttOptions &options, const QPair<QByteArray, QByteArray> &will,
              const QList<QByteArray> &subscriptions);
    // Sends what is queued and ends the connection cleanly, waiting at most `drainMs` for it
    // in this thread; then nothing more is tried.
    void close(int drainMs);

    State state() const { return m_state; }
    const MqttOptions &options() const { return m_options; }
    // Hands a message to the broker; false, and nothing is queued, when not connected.
    bool publish(const QByteArray &topic, const QByteArray &payload, int qos, bool retain);
    // Bytes of messages of QoS 0 handed over and not yet taken by the system.
    qint64 unsentBytes() const { return m_unsentBytes; }

signals:
    // `reason` is why an attempt failed or the connection was lost (Waiting, with the time to
    // the next attempt in `retryMs`), else empty.
    void stateChanged(MqttConnection::State state, const QString &reason, int retryMs);
    void messageReceived(const QByteArray &topic, const QByteArray &payload);

private:
    static void onConnect(mosquitto *, void *self, int result);
    static void onPublish(mosquitto *, void *self, int messageId);
    static void onMessage(mosquitto *, void *self, const struct mosquitto_message *message);
    static void onLog(mosquitto *, void *self, int level, const char *text);

    void attempt();
    void service();
    bool drain(const QDeadlineTimer &deadline, bool disconnecting);
    void watchSocket();
    void connectionFailed(const QString &reason);
    void setState(State state, const QString &reason = QString(), int retryMs = 0);
    QString reasonOf(int result, int error) const;

    bool setUp(const QPair<QByteArray, QByteArray> &will);

    MqttOptions m_options;
    mosquitto *m_mosq = nullptr;
    QString m_setupError;
    QList<QByteArray> m_subscriptions;
    State m_state = State::Stopped;
    bool m_closing = false;
    bool m_accepted = false;
    QString m_refusal;      // what the broker answered to a refused connection
    QString m_libraryError; // the library's last error line (TLS)
    QList<QPair<QByteArray, QByteArray>> m_received;
    QHash<int, qint64> m_unsent; // QoS 0 messages by identifier: their size
    QSet<int> m_unacknowledged;  // messages of QoS 1
    qint64 m_unsentBytes = 0;
    int m_unknownWritten = 0; // a message written whole while it was being published
    int m_retryMs = kFirstRetryMs;
    int m_socket = -1;
    QSocketNotifier *m_readable = nullptr;
    QTimer *m_pollTimer;    // while connecting, and while output waits for room
    QTimer *m_keepTimer;    // pings and their time-out
    QTimer *m_connectTimer; // an attempt's time-out
    QTimer *m_retryTimer;
};

#endif // MQTTCONNECTION_H
