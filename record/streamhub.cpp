// SPDX-License-Identifier: GPL-3.0-or-later
#include "streamhub.h"

#include "recordlogging.h"
#include "sendpacer.h"
#include "streamfeed.h"
#include "streamserver.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace {

// What is read of a client's bytes at a time, to be thrown away.
constexpr qint64 kInputChunkBytes = 4096;

QString peerName(const QTcpSocket *socket)
{
    return StreamServer::addressText(socket->peerAddress(), socket->peerPort());
}

} // namespace

StreamHub::StreamHub(StreamFeed *feed, QObject *parent)
    : QObject(parent)
    , m_feed(feed)
    , m_server(new QTcpServer(this))
    , m_pacer(new SendPacer(
          kMinSendIntervalMs, [this] { sendPending(); }, this))
{
    connect(m_server, &QTcpServer::newConnection, this, &StreamHub::acceptClients);
}

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
    const QList<QTcpSocket *> sockets = m_clients.keys();
    for (QTcpSocket *socket : sockets) {
        // What the system has taken still reaches the client after the close.
        socket->flush();
        if (socket->bytesToWrite() > 0) {
            qCWarning(lcRecord).noquote() << "stream client" << peerName(socket) << "closed with"
                                          << socket->bytesToWrite() << "bytes unsent";
        }
        remove(socket);
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
    const QList<QTcpSocket *> sockets = m_clients.keys();
    for (QTcpSocket *socket : sockets) {
        // Looked up again after each send, which may have parted with the client.
        if (!m_clients.contains(socket))
            continue; // gone while an earlier one was served
        if (!m_clients[socket].started) {
            if (batch.head.isEmpty())
                continue;
            m_clients[socket].started = true;
            sendTo(socket, batch.head);
            if (!m_clients.contains(socket))
                continue;
        }
        const bool joined = m_clients[socket].joined;
        if (batch.overflowed) {
            // Lines this client should have had are lost: it must not read a stream with a gap.
            // One that has had none starts with the next ones.
            if (joined)
                drop(socket, "missed lines while the server fell behind");
            continue;
        }
        const QByteArray lines = joined ? batch.lines : batch.linesForNewcomer();
        if (lines.isEmpty())
            continue;
        m_clients[socket].joined = true;
        sendTo(socket, lines);
    }
}

void StreamHub::acceptClients()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection())
        accept(socket);
}

void StreamHub::accept(QTcpSocket *socket)
{
    if (m_clients.size() >= kMaxClients) {
        qCWarning(lcRecord).noquote()
            << "refused stream client" << peerName(socket) << "beyond" << kMaxClients << "clients";
        socket->abort();
        socket->deleteLater();
        return;
    }
    // Qt stops reading from the system once this much waits, so a client cannot fill memory.
    socket->setReadBufferSize(kInputChunkBytes);
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSendBufferBytes);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { discardInput(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { remove(socket); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] { remove(socket); });
    m_clients.insert(socket, Client());
    m_feed->setReaders(true);
    qCDebug(lcRecord).noquote() << "stream client" << peerName(socket) << "connected";
    countChanged();
    // Before the first frame there is no head yet: distribute() sends it with that frame.
    const QByteArray head = m_feed->head();
    if (!head.isEmpty()) {
        m_clients[socket].started = true;
        sendTo(socket, head);
    }
}

void StreamHub::discardInput(QTcpSocket *socket)
{
    const auto client = m_clients.find(socket);
    if (client == m_clients.end())
        return;
    client->received += socket->skip(socket->bytesAvailable());
    if (client->received > kMaxClientInputBytes) {
        qCWarning(lcRecord).noquote() << "closed stream client" << peerName(socket)
                                      << "that sent more than" << kMaxClientInputBytes << "bytes";
        remove(socket);
    }
}

void StreamHub::sendTo(QTcpSocket *socket, const QByteArray &bytes)
{
    if (socket->bytesToWrite() + bytes.size() > kClientQueueBytes) {
        drop(socket, "did not keep up");
        return;
    }
    socket->write(bytes);
    // At once rather than on the next turn of the event loop: one system call per batch.
    socket->flush();
}

void StreamHub::drop(QTcpSocket *socket, const char *why)
{
    const QString peer = peerName(socket);
    ++m_dropped;
    qCWarning(lcRecord).noquote() << "dropped stream client" << peer << why << "with"
                                  << socket->bytesToWrite() << "bytes queued";
    remove(socket);
    emit clientDropped(peer, m_dropped);
}

void StreamHub::remove(QTcpSocket *socket)
{
    if (!m_clients.remove(socket))
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    m_feed->setReaders(!m_clients.isEmpty());
    countChanged();
}

void StreamHub::countChanged()
{
    emit clientCountChanged(int(m_clients.size()));
}
