// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PORTRECONNECTOR_H
#define PORTRECONNECTOR_H

#include "portlist.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>

class MySerialport;
class QTimer;

// What a wait for a lost port has come to.
enum class ReconnectWait {
    None,        // no port is awaited
    Lost,        // the port has not come back yet
    Unanswered,  // a port came back, but no card answered there; it has been closed again
    OtherDevice, // the port's name has come back for another device, which is left alone
    GaveUp,      // the port, known only by its name, came back but never answered as the card:
                 // it is no longer tried, until the operator opens a port
};

// Opens a lost port again. While reconnection is on, a port that the card reports lost is
// closed as after any loss but without a message, and opened again with the same baud rate as
// soon as the same device is listed again: the same serial number, vendor and product where the
// system reports them, else the same name. The wait ends when the card has answered on the
// reopened port, when the operator takes the port controls over, or when reconnection is turned
// off. A port known only by its name (a pseudo-terminal, some adapters) may have been taken by
// another program's terminal: it is asked at most kMaxProbes times whether it is the card, and
// then left alone (GaveUp) until the operator takes over.
//
// The window drives it with portOpened() after every open (the port to come back to),
// takeLostPort() when the card reports the loss and stopWaiting() when the operator takes over.
// The reopen is asked for by reconnectRequested(), meant for MySerialport::reconnectPort, which
// shows nothing while the port cannot be opened yet (it is then asked again) and reports a port
// on which no card answers by reconnectUnanswered(), to be passed to portUnanswered();
// followCard() makes these connections. waitChanged() tells the status bar.
class PortReconnector : public QObject
{
    Q_OBJECT
public:
    // A lost port is opened again no sooner than this: a running baseline check or calibration
    // run polls the port state and must see it closed, so that it ends as after any loss. The
    // same pause follows a reopen on which no card answered.
    static constexpr qint64 kHoldOffMs = 1000;
    // While a lost port is awaited, its return is looked for this often.
    static constexpr int kCheckIntervalMs = 500;
    // Reopens of a port without identity on which no card answered, before the wait gives up.
    static constexpr int kMaxProbes = 3;

    using IdentityLookup = std::function<PortIdentity(const QString &portName)>;

    // `ports` says which ports are present; it must outlive this object.
    explicit PortReconnector(const PortList *ports, QObject *parent = nullptr);

    // Where the identity of the device behind a port comes from (the system's port list by
    // default).
    void setIdentityLookup(IdentityLookup lookup) { m_lookup = std::move(lookup); }

    // The hold-off and the check interval, kHoldOffMs and kCheckIntervalMs unless set.
    void setTiming(qint64 holdOffMs, int checkIntervalMs);
    qint64 holdOffMs() const { return m_holdOffMs; }

    bool isEnabled() const { return m_enabled; }
    // Off ends a wait.
    void setEnabled(bool on);
    // A port is awaited and still tried.
    bool isWaiting() const
    {
        return m_wait != ReconnectWait::None && m_wait != ReconnectWait::GaveUp;
    }

    // Follows the driver-card object's opens and reopens, and has it reopen the lost port.
    void followCard(MySerialport *card);

    // The card reports the open port lost. True when the port is now awaited (reconnection is
    // on and a port has been open): the caller closes it quietly. False: the caller reports the
    // loss as usual.
    bool takeLostPort();

public slots:
    void portOpened(const QString &portName, int baudRate);
    void portUnanswered(const QString &portName);
    void stopWaiting();

signals:
    void reconnectRequested(const QString &portName, int baudRate);
    void waitChanged(ReconnectWait wait, const QString &portName);

private:
    void reconnectIfReturned();
    void setWait(ReconnectWait wait);

    const PortList *m_ports;
    IdentityLookup m_lookup = &PortList::identity;
    QTimer *m_checkTimer;
    QElapsedTimer m_lostClock;
    qint64 m_holdOffMs = kHoldOffMs;
    QString m_portName;
    PortIdentity m_identity;
    int m_baudRate = 0;
    int m_unansweredProbes = 0;
    bool m_enabled = false;
    ReconnectWait m_wait = ReconnectWait::None;
};

#endif // PORTRECONNECTOR_H
