// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptycardserver.h"

#include "cardmodel.h"

#include <QDebug>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <QLoggingCategory>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
Q_LOGGING_CATEGORY(lcSim, "eskin.sim")

// How often the line is looked at while no host has it open: the delay before a host that opens
// the port gets the first frame, at most.
constexpr int kHostWatchMs = 10;
// How long after it has seen a host the card starts to stream to it.
constexpr int kHostSettleMs = 20;
} // namespace

PtyCardServer::PtyCardServer(CardModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_hostWatch(new QTimer(this))
{
    m_hostWatch->setInterval(kHostWatchMs);
    connect(m_hostWatch, &QTimer::timeout, this, &PtyCardServer::watchForHost);
    connect(m_model, &CardModel::bytesToHost, this, &PtyCardServer::writeToHost);
    connect(m_model, &CardModel::hangUpRequested, this, &PtyCardServer::hangUp);
}

PtyCardServer::~PtyCardServer()
{
    m_hostOpen = false; // the model may be on its way out: it is not told
    closeLine();
    if (!m_linkPath.isEmpty())
        QFile::remove(m_linkPath);
}

bool PtyCardServer::open(const QString &linkPath)
{
    closeLine();
    m_linkPath = linkPath;
    m_received.clear();
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (::openpty(&m_master, &m_slave, name, &raw, nullptr) != 0)
        return fail(QStringLiteral("openpty"));
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_terminalPath = QString::fromLocal8Bit(name);
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyCardServer::readFromHost);
    m_watching = m_model->waitsForHost();
    if (m_watching) {
        ::close(m_slave);
        m_slave = -1;
        m_notifier->setEnabled(false); // a line without a host reads as hung up
        m_hostWatch->start();
    }
    return updateLink();
}

QString PtyCardServer::portName() const
{
    return m_linkPath.isEmpty() ? m_terminalPath : m_linkPath;
}

void PtyCardServer::hangUp()
{
    qCDebug(lcSim) << "card: hang-up of" << m_terminalPath;
    closeLine();
}

bool PtyCardServer::reconnect()
{
    return open(m_linkPath);
}

void PtyCardServer::readFromHost()
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n > 0) {
            const QByteArray bytes(chunk, int(n));
            m_received += bytes;
            m_model->receiveFromHost(bytes);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return; // drained
        // The host has closed the port (the server does not hold the terminal's end), or
        // something that cannot happen otherwise: stop listening rather than spin.
        m_notifier->setEnabled(false);
        if (m_watching) {
            setHostOpen(false);
            m_hostWatch->start();
        }
        return;
    }
}

// A card does not wait for a host that does not read: what the terminal cannot take is lost.
void PtyCardServer::writeToHost(const QByteArray &bytes)
{
    if (m_master < 0 || (m_watching && !m_hostOpen))
        return;
    qsizetype offset = 0;
    while (offset < bytes.size()) {
        const ssize_t n =
            ::write(m_master, bytes.constData() + offset, size_t(bytes.size() - offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        offset += n;
    }
}

bool PtyCardServer::fail(const QString &what)
{
    m_error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    closeLine();
    return false;
}

// The link is replaced in one step, so that a host looking it up never finds it missing.
bool PtyCardServer::updateLink()
{
    if (m_linkPath.isEmpty())
        return true;
    const QString temporary = m_linkPath + QStringLiteral(".new");
    QFile::remove(temporary);
    if (::symlink(QFile::encodeName(m_terminalPath).constData(),
                  QFile::encodeName(temporary).constData()) != 0)
        return fail(QStringLiteral("symlink ") + temporary);
    if (::rename(QFile::encodeName(temporary).constData(),
                 QFile::encodeName(m_linkPath).constData()) != 0)
        return fail(QStringLiteral("rename ") + m_linkPath);
    return true;
}

// The master reports a hang-up for as long as no one has the terminal's end open.
void PtyCardServer::watchForHost()
{
    pollfd line{m_master, POLLIN, 0};
    if (m_master < 0 || ::poll(&line, 1, 0) < 0 || (line.revents & POLLHUP))
        return;
    m_hostWatch->stop();
    m_notifier->setEnabled(true);
    // Answers go out at once. A host drops what its line holds right after the open: the model
    // hears of the host, and starts to stream, a moment later.
    m_hostOpen = true;
    qCDebug(lcSim) << "card: a host has opened" << m_terminalPath;
    QTimer::singleShot(kHostSettleMs, this, [this] {
        if (m_hostOpen)
            m_model->setHostOpen(true);
    });
}

void PtyCardServer::setHostOpen(bool open)
{
    if (open == m_hostOpen)
        return;
    m_hostOpen = open;
    qCDebug(lcSim) << "card: a host has" << (open ? "opened" : "closed") << m_terminalPath;
    m_model->setHostOpen(open);
}

void PtyCardServer::closeLine()
{
    m_hostWatch->stop();
    setHostOpen(false);
    delete m_notifier;
    m_notifier = nullptr;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}
