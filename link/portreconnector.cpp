// SPDX-License-Identifier: GPL-3.0-or-later
#include "portreconnector.h"

#include "myserialport.h"

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

void PortReconnector::setTiming(qint64 holdOffMs, int checkIntervalMs)
{
    m_holdOffMs = holdOffMs;
    m_checkTimer->setInterval(checkIntervalMs);
}

void PortReconnector::setEnabled(bool on)
{
    m_enabled = on;
    if (!on)
        stopWaiting();
}

void PortReconnector::followCard(MySerialport *card)
{
    connect(card, &MySerialport::portOpened, this, &PortReconnector::portOpened);
    connect(card, &MySerialport::reconnectUnanswered, this, &PortReconnector::portUnanswered);
    connect(this, &PortReconnector::reconnectRequested, card, &MySerialport::reconnectPort);
}

bool PortReconnector::takeLostPort()
{
    if (!m_enabled || m_portName.isEmpty())
        return false;
    qCDebug(lcLink) << "waiting for lost port" << m_portName;
    m_unansweredProbes = 0;
    m_lostClock.start();
    m_checkTimer->start();
    setWait(ReconnectWait::Lost);
    return true;
}

void PortReconnector::portOpened(const QString &portName, int baudRate)
{
    // A reopen keeps the identity of the first open: a port that came back without its
    // identity (the system may be slow to tell) must not make the next loss take any device.
    if (!isWaiting() || portName != m_portName || !m_identity.isKnown())
        m_identity = m_lookup(portName);
    m_portName = portName;
    m_baudRate = baudRate;
    stopWaiting();
}

// The port is closed again; it is tried again after the hold-off, as long as it is listed. Each
// try writes a request into whatever holds the name now: one known only by its name is tried a
// few times only.
void PortReconnector::portUnanswered(const QString &portName)
{
    if (!isWaiting() || portName != m_portName)
        return;
    if (!m_identity.isKnown() && ++m_unansweredProbes >= kMaxProbes) {
        qCDebug(lcLink) << "no card answers on" << m_portName << "- no longer tried";
        m_checkTimer->stop();
        setWait(ReconnectWait::GaveUp);
        return;
    }
    m_lostClock.start();
    setWait(ReconnectWait::Unanswered);
}

void PortReconnector::stopWaiting()
{
    if (m_wait == ReconnectWait::None)
        return;
    m_checkTimer->stop();
    setWait(ReconnectWait::None);
}

void PortReconnector::setWait(ReconnectWait wait)
{
    m_wait = wait;
    emit waitChanged(wait, m_portName);
}

// Asked again at every check until the port has opened: the card ignores the request while it
// tries the port or once it is open, and a port that is listed may still refuse to open for a
// moment.
void PortReconnector::reconnectIfReturned()
{
    if (!isWaiting() || m_lostClock.elapsed() < m_holdOffMs)
        return;
    if (!m_ports->presentNames().contains(m_portName))
        return;
    if (m_identity.isKnown()) {
        const PortIdentity present = m_lookup(m_portName);
        // Listed, but not yet described by the system: looked at again at the next check.
        if (!present.isKnown())
            return;
        if (present != m_identity) {
            if (m_wait != ReconnectWait::OtherDevice) {
                qCDebug(lcLink) << "another device under" << m_portName;
                setWait(ReconnectWait::OtherDevice);
            }
            return;
        }
        if (m_wait == ReconnectWait::OtherDevice)
            setWait(ReconnectWait::Lost);
    }
    emit reconnectRequested(m_portName, m_baudRate);
}
