// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptycardserver.h"

#include "cardmodel.h"

#include <QDebug>
#include <QFile>
#include <QSocketNotifier>

#include <QLoggingCategory>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
Q_LOGGING_CATEGORY(lcSim, "eskin.sim")
} // namespace

PtyCardServer::PtyCardServer(CardModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    connect(m_model, &CardModel::bytesToHost, this, &PtyCardServer::writeToHost);
    connect(m_model, &CardModel::hangUpRequested, this, &PtyCardServer::hangUp);
}

PtyCardServer::~PtyCardServer()
{
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
        // EAGAIN: drained. Anything else cannot happen while the server holds the terminal's
        // own end; stop listening rather than spin.
        if (n == 0 || errno != EAGAIN)
            m_notifier->setEnabled(false);
        return;
    }
}

// A card does not wait for a host that does not read: what the terminal cannot take is lost.
void PtyCardServer::writeToHost(const QByteArray &bytes)
{
    if (m_master < 0)
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

void PtyCardServer::closeLine()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}
