// SPDX-License-Identifier: GPL-3.0-or-later
#include "sendpacer.h"

#include <QTimer>

#include <utility>

SendPacer::SendPacer(int intervalMs, std::function<void()> send, QObject *parent)
    : QObject(parent)
    , m_intervalMs(intervalMs)
    , m_send(std::move(send))
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &SendPacer::sendNow);
}

void SendPacer::request()
{
    if (m_timer->isActive())
        return; // the lines go with the next send
    const qint64 since = m_sinceSend.isValid() ? m_sinceSend.elapsed() : m_intervalMs;
    if (since < m_intervalMs)
        m_timer->start(int(m_intervalMs - since));
    else
        sendNow();
}

void SendPacer::sendNow()
{
    m_timer->stop();
    m_sinceSend.start();
    m_send();
}
