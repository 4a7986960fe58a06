// SPDX-License-Identifier: GPL-3.0-or-later
#include "streamhub.h"

#include "recordlogging.h"
#include "sendpacer.h"
#include "streamconnection.h"
#include "streamfeed.h"
#include "streamserver.h"

#include <QTcpServer>

#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Hands each accepted socket over as it is: a QTcpSocket would take the end of a client's input
// for the end of the connection.
class DescriptorServer : public QTcpServer
{
public:
    DescriptorServer(std::function<void(qintptr)> take, QObject *parent)
        : QTcpServer(parent)
        , m_take(std::move(take))
    {}

protected:
    void incomingConnection(qintptr fd) override { m_take(fd); }

private:
    std::function<void(qintptr)> m_take;
};

} // namespace

StreamHub::StreamHub(StreamFeed *feed, QObject *parent)
    : QObject(parent)
    , m_feed(feed)
    , m_server(new DescriptorServer([this](qintptr fd) { accept(fd); }, this))
    , m_pacer(new SendPacer(
          kMinSendIntervalMs, [this] { sendPending(); }, this))
{}

StreamHub::~StreamHub() = default;

bool StreamHub::listen(const QHostAddress &address, quint16 port)
{
    close();
    m_error.clear();
    if (m_server->listen(address, port))
        return true;
    m_error = m_server->errorString();
    return false;
}

void StreamHub::close()
{
    m_pacer->sendNow();
    m_server->close();
    const QList<StreamConnection *> clients = m_clients.keys();
    for (StreamConnection *client : clients) {
        // What the system has taken still reaches the client after the close.
        if (client->queuedBytes() > 0) {
            qCWarning(lcRecord).noquote() << "stream client" << client->peer() << "closed with"
                                          << client->queuedBytes() << "bytes unsent";
        }
        remove(client);
    }
}

QHostAddress StreamHub::serverAddress() const
{
    return m_server->serverAddress();
}

quint16 StreamHub::serverPort() const
{
    return m_server->serverPort();
}

void StreamHub::distribute()
{
    m_pacer->request();
}

void StreamHub::sendPending()
{
    const StreamFeed::Batch batch = m_feed->take();
    const QList<StreamConnection *> clients = m_clients.keys();
    for (StreamConnection *client : clients) {
        // Looked up again after each send, which may have parted with the client.
        if (!m_clients.contains(client))
            continue; // gone while an earlier one was served
        if (!m_clients[client].started) {
            if (batch.head.isEmpty())
                continue;
            m_clients[client].started = true;
            sendTo(client, batch.head);
            if (!m_clients.contains(client))
                continue;
        }
        const bool joined = m_clients[client].joined;
        if (batch.overflowed) {
            // Lines this client should have had are lost: it must not read a stream with a gap.
            // One that has had none starts with the next ones.
            if (joined)
                drop(client, "missed lines while the server fell behind");
            continue;
        }
        const QByteArray lines = joined ? batch.lines : batch.linesForNewcomer();
        if (lines.isEmpty())
            continue;
        m_clients[client].joined = true;
        sendTo(client, lines);
    }
}

void StreamHub::accept(qintptr fd)
{
    if (m_clients.size() >= kMaxClients) {
        const QString peer = StreamConnection::peerOf(fd);
        ::close(int(fd));
        refuse(peer, QStringLiteral("%1 clients are served already").arg(kMaxClients));
        return;
    }
    const int sendBuffer = kSendBufferBytes;
    const int noDelay = 1;
    ::setsockopt(int(fd), SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    auto *client = new StreamConnection(fd, this);
    connect(client, &StreamConnection::received, this, [this, client] { checkInput(client); });
    connect(client, &StreamConnection::broken, this, [this, client] { remove(client); });
    m_clients.insert(client, Client());
    m_feed->setReaders(true);
    qCDebug(lcRecord).noquote() << "stream client" << client->peer() << "connected";
    countChanged();
    // Before the first frame there is no head yet: distribute() sends it with that frame.
    const QByteArray head = m_feed->head();
    if (!head.isEmpty()) {
        m_clients[client].started = true;
        sendTo(client, head);
    }
}

void StreamHub::checkInput(StreamConnection *client)
{
    if (!m_clients.contains(client) || client->receivedBytes() <= kMaxClientInputBytes)
        return;
    const QString peer = client->peer();
    remove(client);
    refuse(peer, QStringLiteral("it sent more than %1 bytes").arg(kMaxClientInputBytes));
}

void StreamHub::sendTo(StreamConnection *client, const QByteArray &bytes)
{
    if (client->queuedBytes() + bytes.size() > kClientQueueBytes) {
        drop(client, "did not keep up");
        return;
    }
    client->send(bytes);
}

void StreamHub::drop(StreamConnection *client, const char *why)
{
    const QString peer = client->peer();
    ++m_dropped;
    qCWarning(lcRecord).noquote() << "dropped stream client" << peer << why << "with"
                                  << client->queuedBytes() << "bytes queued";
    remove(client);
    emit clientDropped(peer, m_dropped);
}

void StreamHub::refuse(const QString &peer, const QString &reason)
{
    ++m_refused;
    emit clientRefused(peer, reason, m_refused);
}

void StreamHub::remove(StreamConnection *client)
{
    if (!m_clients.remove(client))
        return;
    client->disconnect(this);
    client->deleteLater();
    m_feed->setReaders(!m_clients.isEmpty());
    countChanged();
}

void StreamHub::countChanged()
{
    emit clientCountChanged(int(m_clients.size()));
}
