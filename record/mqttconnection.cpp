// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqttconnection.h"

#include "recordlogging.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <mosquitto.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <utility>

namespace {

// Often enough to see a connection complete, and output that waited for room go out.
constexpr int kPollMs = 10;
constexpr int kKeepAliveCheckMs = 1000;

void initLibrary()
{
    static const int initialised = mosquitto_lib_init();
    Q_UNUSED(initialised)
}

// Why the system ended a connection that was being made, empty while it is not known to have
// failed. While TLS waits for its handshake, the library takes a failed connection for one that
// is still being made, and would try the handshake again and again; the error it already took
// from the socket may be in `lastError`.
QString connectFailure(int socket, int lastError)
{
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error != 0)
        return QString::fromLocal8Bit(std::strerror(error));
    // Closed, and nothing left to read (such as the broker's reason for a TLS refusal, which the
    // library then reports).
    pollfd state{socket, 0, 0};
    int unread = 0;
    if (::poll(&state, 1, 0) <= 0 || !(state.revents & (POLLHUP | POLLERR)) ||
        ::ioctl(socket, FIONREAD, &unread) != 0 || unread > 0)
        return {};
    return lastError != 0 ? QString::fromLocal8Bit(std::strerror(lastError))
                          : QStringLiteral("the connection was closed");
}

QString plain(const char *text)
{
    QString line = QString::fromUtf8(text).trimmed();
    if (line.endsWith(u'.'))
        line.chop(1);
    return line;
}

} // namespace

MqttConnection::MqttConnection(QObject *parent)
    : QObject(parent)
    , m_pollTimer(new QTimer(this))
    , m_keepTimer(new QTimer(this))
    , m_connectTimer(new QTimer(this))
    , m_retryTimer(new QTimer(this))
{
    initLibrary();
    m_pollTimer->setInterval(kPollMs);
    m_keepTimer->setInterval(kKeepAliveCheckMs);
    m_connectTimer->setSingleShot(true);
    m_retryTimer->setSingleShot(true);
    connect(m_pollTimer, &QTimer::timeout, this, &MqttConnection::service);
    connect(m_keepTimer, &QTimer::timeout, this, &MqttConnection::service);
    connect(m_connectTimer, &QTimer::timeout, this, [this] {
        connectionFailed(QStringLiteral("no answer within %1 s").arg(kConnectTimeoutMs / 1000));
    });
    connect(m_retryTimer, &QTimer::timeout, this, &MqttConnection::attempt);
}

MqttConnection::~MqttConnection()
{
    if (m_mosq)
        mosquitto_destroy(m_mosq);
}

void MqttConnection::open(const MqttOptions &options, const QPair<QByteArray, QByteArray> &will,
                          const QList<QByteArray> &subscriptions)
{
    close(0);
    m_options = options;
    m_subscriptions = subscriptions;
    m_closing = false;
    m_retryMs = kFirstRetryMs;
    m_setupError.clear();
    if (!setUp(will) && m_setupError.isEmpty())
        m_setupError = QString::fromLocal8Bit(std::strerror(errno));
    attempt();
}

// A new client of the library for the options; false (with m_setupError when it says why) when
// the library refuses them.
bool MqttConnection::setUp(const QPair<QByteArray, QByteArray> &will)
{
    if (m_mosq)
        mosquitto_destroy(m_mosq);
    m_mosq = mosquitto_new(nullptr, true, this);
    if (!m_mosq)
        return false;
    mosquitto_connect_callback_set(m_mosq, &MqttConnection::onConnect);
    mosquitto_publish_callback_set(m_mosq, &MqttConnection::onPublish);
    mosquitto_message_callback_set(m_mosq, &MqttConnection::onMessage);
    mosquitto_log_callback_set(m_mosq, &MqttConnection::onLog);
    // Rows go out at most every 10 ms already: the system must not hold them back further,
    // waiting for the broker's acknowledgement of the last ones.
    mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    const MqttUrl &url = m_options.url;
    const QByteArray user = url.user.toUtf8();
    const QByteArray &password = m_options.password;
    if (!user.isEmpty() &&
        mosquitto_username_pw_set(m_mosq, user.constData(),
                                  password.isEmpty() ? nullptr : password.constData()) !=
            MOSQ_ERR_SUCCESS)
        return false;
    if (!will.first.isEmpty() &&
        mosquitto_will_set(m_mosq, will.first.constData(), int(will.second.size()),
                           will.second.constData(), 1, true) != MOSQ_ERR_SUCCESS)
        return false;
    if (!url.tls)
        return true;
    // The broker's certificate must name the host of the URL (the library checks it).
    const int tls = m_options.caFile.isEmpty()
                        ? mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                        : mosquitto_tls_set(m_mosq, QFile::encodeName(m_options.caFile).constData(),
                                            nullptr, nullptr, nullptr, nullptr);
    if (tls != MOSQ_ERR_SUCCESS)
        m_setupError = QStringLiteral("cannot use %1 for TLS").arg(m_options.caFile);
    return tls == MOSQ_ERR_SUCCESS;
}

void MqttConnection::attempt()
{
    if (m_closing)
        return;
    if (!m_setupError.isEmpty() || !m_mosq) {
        connectionFailed(m_setupError);
        return;
    }
    setState(State::Connecting);
    m_accepted = false;
    m_refusal.clear();
    m_libraryError.clear();
    const QByteArray host = m_options.url.host.toUtf8();
    // Not blocking: the connection completes in service().
    const int result =
        mosquitto_connect_async(m_mosq, host.constData(), m_options.url.port, kKeepAliveSeconds);
    const int error = errno;
    if (result != MOSQ_ERR_SUCCESS) {
        connectionFailed(reasonOf(result, error));
        return;
    }
    m_connectTimer->start(kConnectTimeoutMs);
    watchSocket();
    if (const QString failure = connectFailure(m_socket, error); !failure.isEmpty()) {
        connectionFailed(failure);
        return;
    }
    service();
}

// Whatever the socket is ready for: reading, writing, the connection's steps, keep-alive.
void MqttConnection::service()
{
    if (m_socket < 0 || m_closing)
        return;
    if (m_state == State::Connecting && !m_accepted) {
        if (const QString failure = connectFailure(m_socket, 0); !failure.isEmpty()) {
            connectionFailed(failure);
            return;
        }
    }
    const int result = mosquitto_loop(m_mosq, 0, 1);
    const int error = errno;
    if (m_accepted && m_state == State::Connecting) {
        m_connectTimer->stop();
        m_retryMs = kFirstRetryMs;
        for (const QByteArray &topic : m_subscriptions)
            mosquitto_subscribe(m_mosq, nullptr, topic.constData(), 1);
        setState(State::Connected);
    }
    for (const auto &[topic, payload] : std::exchange(m_received, {}))
        emit messageReceived(topic, payload);
    if (result != MOSQ_ERR_SUCCESS) {
        connectionFailed(reasonOf(result, error));
        return;
    }
    if (mosquitto_socket(m_mosq) < 0) {
        connectionFailed(QStringLiteral("the broker closed the connection"));
        return;
    }
    watchSocket();
}

bool MqttConnection::publish(const QByteArray &topic, const QByteArray &payload, int qos,
                             bool retain)
{
    if (m_state != State::Connected)
        return false;
    int id = 0;
    m_unknownWritten = 0;
    // The library writes what it can at once, and tells of a message of QoS 0 written whole
    // before this returns.
    const int result = mosquitto_publish(m_mosq, &id, topic.constData(), int(payload.size()),
                                         payload.constData(), qos, retain);
    if (result == MOSQ_ERR_SUCCESS && qos > 0) {
        m_unacknowledged.insert(id);
    } else if (result == MOSQ_ERR_SUCCESS && m_unknownWritten != id) {
        m_unsent.insert(id, payload.size());
        m_unsentBytes += payload.size();
    }
    service(); // also sees a connection that the write found broken
    return result == MOSQ_ERR_SUCCESS;
}

void MqttConnection::close(int drainMs)
{
    if (m_state == State::Stopped)
        return;
    const bool connected = m_state == State::Connected;
    m_closing = true;
    m_retryTimer->stop();
    m_connectTimer->stop();
    const QDeadlineTimer deadline(drainMs);
    if (connected && drain(deadline, false)) {
        mosquitto_disconnect(m_mosq);
        drain(deadline, true);
    }
    m_socket = -1;
    delete std::exchange(m_readable, nullptr);
    m_pollTimer->stop();
    m_keepTimer->stop();
    setState(State::Stopped);
}

// Runs the connection until what is queued has gone (and been acknowledged), or until it has
// ended when `disconnecting`; false when it failed or time ran out first.
bool MqttConnection::drain(const QDeadlineTimer &deadline, bool disconnecting)
{
    while (!deadline.hasExpired()) {
        const bool done = disconnecting ? mosquitto_socket(m_mosq) < 0
                                        : m_unsentBytes == 0 && m_unacknowledged.isEmpty() &&
                                              !mosquitto_want_write(m_mosq);
        if (done)
            return true;
        if (mosquitto_loop(m_mosq, 10, 1) != MOSQ_ERR_SUCCESS)
            return disconnecting;
    }
    return false;
}

void MqttConnection::watchSocket()
{
    const int socket = mosquitto_socket(m_mosq);
    if (socket != m_socket) {
        delete std::exchange(m_readable, nullptr);
        m_socket = socket;
        if (socket >= 0) {
            m_readable = new QSocketNotifier(socket, QSocketNotifier::Read, this);
            connect(m_readable, &QSocketNotifier::activated, this, &MqttConnection::service);
        }
    }
    const bool open = socket >= 0;
    const bool poll = open && (m_state != State::Connected || mosquitto_want_write(m_mosq));
    if (poll != m_pollTimer->isActive())
        poll ? m_pollTimer->start() : m_pollTimer->stop();
    if (open != m_keepTimer->isActive())
        open ? m_keepTimer->start() : m_keepTimer->stop();
}

void MqttConnection::connectionFailed(const QString &reason)
{
    m_connectTimer->stop();
    m_pollTimer->stop();
    m_keepTimer->stop();
    delete std::exchange(m_readable, nullptr);
    m_socket = -1;
    // The library forgets the messages of QoS 0 it holds on the next attempt.
    m_unsent.clear();
    m_unacknowledged.clear();
    m_unsentBytes = 0;
    if (m_closing)
        return;
    const int wait = m_retryMs;
    m_retryMs = qMin(m_retryMs * 2, kMaxRetryMs);
    m_retryTimer->start(wait);
    setState(State::Waiting, reason, wait);
}

void MqttConnection::setState(State state, const QString &reason, int retryMs)
{
    if (state == m_state && state != State::Waiting)
        return;
    m_state = state;
    emit stateChanged(state, reason, retryMs);
}

QString MqttConnection::reasonOf(int result, int error) const
{
    if (!m_refusal.isEmpty())
        return m_refusal;
    switch (result) {
    case MOSQ_ERR_ERRNO:
        if (error != 0)
            return QString::fromLocal8Bit(std::strerror(error));
        break;
    case MOSQ_ERR_EAI:
        return plain(gai_strerror(error));
    case MOSQ_ERR_TLS:
        if (!m_libraryError.isEmpty())
            return m_libraryError;
        break;
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("no answer within %1 s").arg(kKeepAliveSeconds);
    case MOSQ_ERR_CONN_LOST:
        return QStringLiteral("the connection was lost");
    default:
        break;
    }
    return plain(mosquitto_strerror(result));
}

// The library's callbacks come from inside mosquitto_loop(), in this thread: they only take
// note, and service() acts once the library has returned.
void MqttConnection::onConnect(mosquitto *, void *self, int result)
{
    auto *connection = static_cast<MqttConnection *>(self);
    if (result == 0)
        connection->m_accepted = true;
    else
        connection->m_refusal = plain(mosquitto_connack_string(result));
}

void MqttConnection::onPublish(mosquitto *, void *self, int messageId)
{
    auto *connection = static_cast<MqttConnection *>(self);
    const auto unsent = connection->m_unsent.constFind(messageId);
    if (unsent != connection->m_unsent.constEnd()) {
        connection->m_unsentBytes -= *unsent;
        connection->m_unsent.erase(unsent);
    } else if (!connection->m_unacknowledged.remove(messageId)) {
        connection->m_unknownWritten = messageId; // the one being published
    }
}

void MqttConnection::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *connection = static_cast<MqttConnection *>(self);
    connection->m_received.append(
        {QByteArray(message->topic),
         QByteArray(static_cast<const char *>(message->payload), message->payloadlen)});
}

void MqttConnection::onLog(mosquitto *, void *self, int level, const char *text)
{
    if (level == MOSQ_LOG_ERR)
        static_cast<MqttConnection *>(self)->m_libraryError = plain(text);
}
