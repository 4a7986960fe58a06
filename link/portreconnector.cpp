// SPDX-License-Identifier: GPL-3.0-or-later
#include "portreconnector.h"

#include "portlist.h"

#include <QLoggingCategory>
#include <QTimer>

namespace {
Q_LOGGING_CATEGORY(lcLink, "eskin.link")
} // namespace

PortReconnector::PortReconnector(const PortList *ports, QObject *parent)
    : QObject(parent)
    , m_ports(ports)
    , m_checkTimer(new QTimer(this))
{
    m_checkTimer->setInterval(kCheckIntervalMs);
    connect(m_checkTimer, &QTimer::timeout, this, &PortReconnector::reconnectIfReturned);
}

void PortReconnector::setEnabled(bool on)
{
    m_enabled = on;
    if (!on)
        stopWaiting();
}

bool PortReconnector::takeLostPort()
{
    if (!m_enabled || m_portName.isEmpty())
        return false;
    qCDebug(lcLink) << "waiting for lost port" << m_portName;
    m_waiting = true;
    m_lostClock.start();
    m_checkTimer->start();
    emit waitingChanged(true);
    return true;
}

void PortReconnector::portOpened(const QString &portName, int baudRate)
{
    m_portName = portName;
    m_baudRate = baudRate;
    stopWaiting();
}

void PortReconnector::stopWaiting()
{
    if (!m_waiting)
        return;
    m_waiting = false;
    m_checkTimer->stop();
    emit waitingChanged(false);
}

// Asked again at every check until the port has opened: the card ignores the request once it
// is open, and a port that is listed may still refuse to open for a moment.
void PortReconnector::reconnectIfReturned()
{
    if (!m_waiting || m_lostClock.elapsed() < kHoldOffMs)
        return;
    if (m_ports->presentNames().contains(m_portName))
        emit reconnectRequested(m_portName, m_baudRate);
}
