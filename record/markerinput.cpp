// SPDX-License-Identifier: GPL-3.0-or-later
#include "markerinput.h"

#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

MarkerInput::MarkerInput(int fd, QObject *parent)
    : QObject(parent)
    , m_fd(fd)
    , m_notifier(new QSocketNotifier(fd, QSocketNotifier::Read, this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &MarkerInput::readAvailable);
}

// Called when the descriptor is readable: one read does not wait.
void MarkerInput::readAvailable()
{
    char chunk[kMaxLineBytes];
    const ssize_t got = ::read(m_fd, chunk, sizeof chunk);
    if (got < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (got <= 0) {
        finish();
        return;
    }
    m_partial.append(chunk, got);
    takeLines();
}

void MarkerInput::takeLines()
{
    qsizetype end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        QByteArray line = m_partial.left(end);
        m_partial.remove(0, end + 1);
        if (m_skipping) { // the rest of a line already cut
            m_skipping = false;
            continue;
        }
        if (line.endsWith('\r'))
            line.chop(1);
        emit lineRead(QString::fromUtf8(line.left(kMaxLineBytes)));
    }
    if (m_partial.size() > kMaxLineBytes && !m_skipping) {
        emit lineRead(QString::fromUtf8(m_partial.left(kMaxLineBytes)));
        m_skipping = true;
    }
    if (m_skipping)
        m_partial.clear();
}

void MarkerInput::finish()
{
    m_notifier->setEnabled(false);
    if (!m_partial.isEmpty() && !m_skipping)
        emit lineRead(QString::fromUtf8(m_partial));
    m_partial.clear();
}
