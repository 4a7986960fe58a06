// SPDX-License-Identifier: GPL-3.0-or-later
#include "streamconnection.h"

#include "streamserver.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// What is read of a client's bytes at a time, to be thrown away, and how many such reads one
// notification makes before the other clients get their turn.
constexpr int kInputChunkBytes = 4096;
constexpr int kReadsPerTurn = 16;
// Sent bytes at the queue's front are let go once there are this many.
constexpr qint64 kCompactBytes = 64 * 1024;
// Beyond the time a reset takes to come back on the loopback or a lab's network.
constexpr int kResetCheckMs = 100;

} // namespace

StreamConnection::StreamConnection(qintptr fd, QObject *parent)
    : QObject(parent)
    , m_fd(int(fd))
    , m_peer(peerOf(fd))
    , m_readable(new QSocketNotifier(fd, QSocketNotifier::Read, this))
    , m_writable(new QSocketNotifier(fd, QSocketNotifier::Write, this))
    , m_resetCheck(new QTimer(this))
{
    m_resetCheck->setSingleShot(true);
    m_resetCheck->setInterval(kResetCheckMs);
    connect(m_resetCheck, &QTimer::timeout, this, &StreamConnection::checkReset);
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    m_writable->setEnabled(false);
    connect(m_readable, &QSocketNotifier::activated, this, &StreamConnection::readInput);
    connect(m_writable, &QSocketNotifier::activated, this, &StreamConnection::sendQueued);
}

// What the system has taken still reaches the client after the close. Input left unread would
// make the system reset the connection instead, and the client could lose its last lines.
StreamConnection::~StreamConnection()
{
    if (!m_broken) {
        sendQueued();
        char chunk[kInputChunkBytes];
        while (::recv(m_fd, chunk, sizeof chunk, 0) > 0) {
        }
    }
    delete m_readable;
    delete m_writable;
    ::close(m_fd);
}

QString StreamConnection::peerOf(qintptr fd)
{
    sockaddr_storage address = {};
    socklen_t length = sizeof address;
    if (::getpeername(int(fd), reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return QStringLiteral("?");
    const auto *generic = reinterpret_cast<const sockaddr *>(&address);
    const quint16 port = ntohs(address.ss_family == AF_INET6
                                   ? reinterpret_cast<const sockaddr_in6 *>(&address)->sin6_port
                                   : reinterpret_cast<const sockaddr_in *>(&address)->sin_port);
    return StreamServer::addressText(QHostAddress(generic), port);
}

void StreamConnection::send(const QByteArray &bytes)
{
    if (m_broken)
        return;
    m_queue += bytes;
    sendQueued();
}

void StreamConnection::sendQueued()
{
    while (!m_broken && m_sent < m_queue.size()) {
        const ssize_t n =
            ::send(m_fd, m_queue.constData() + m_sent, size_t(queuedBytes()), MSG_NOSIGNAL);
        if (n > 0 && m_inputEnded && !m_resetCheck->isActive())
            m_resetCheck->start();
        if (n > 0)
            m_sent += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        else {
            breakOff();
            return;
        }
    }
    if (m_sent == m_queue.size()) {
        m_queue.resize(0); // keeps its room
        m_sent = 0;
    } else if (m_sent >= kCompactBytes) {
        m_queue.remove(0, m_sent);
        m_sent = 0;
    }
    m_writable->setEnabled(queuedBytes() > 0);
}

// The end of the input stops the reading only: the client may still read.
void StreamConnection::readInput()
{
    char chunk[kInputChunkBytes];
    const qint64 before = m_received;
    for (int reads = 0; reads < kReadsPerTurn; ++reads) {
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            m_received += n;
        } else if (n == 0) {
            m_inputEnded = true;
            m_readable->setEnabled(false);
            break;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            break;
        } else if (errno != EINTR) {
            breakOff();
            return;
        }
    }
    if (m_received > before)
        emit received();
}

// With its input ended the socket is no longer read, which would have told of the reset.
void StreamConnection::checkReset()
{
    pollfd state = {m_fd, 0, 0};
    if (::poll(&state, 1, 0) == 1 && (state.revents & (POLLERR | POLLHUP)))
        breakOff();
}

void StreamConnection::breakOff()
{
    if (m_broken)
        return;
    m_broken = true;
    m_readable->setEnabled(false);
    m_writable->setEnabled(false);
    emit broken();
}
