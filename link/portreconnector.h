// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PORTRECONNECTOR_H
#define PORTRECONNECTOR_H

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class PortList;
class QTimer;

// Opens a lost port again. While reconnection is on, a port that the card reports lost is
// closed as after any loss but without a message, and opened again with the same baud rate as
// soon as it is listed again. The wait ends when the port is back, when the operator takes the
// port controls over, or when reconnection is turned off.
//
// The window drives it with portOpened() after every open (the port to come back to),
// takeLostPort() when the card reports the loss and stopWaiting() when the operator takes over.
// The reopen is asked for by reconnectRequested(), meant for MySerialport::reconnectPort, which
// shows nothing while the port cannot be opened yet (it is then asked again); waitingChanged()
// tells the status bar.
class PortReconnector : public QObject
{
    Q_OBJECT
public:
    // A lost port is opened again no sooner than this: a running baseline check or calibration
    // run polls the port state and must see it closed, so that it ends as after any loss.
    static constexpr qint64 kHoldOffMs = 1000;
    // While a lost port is awaited, its return is looked for this often.
    static constexpr int kCheckIntervalMs = 500;

    // `ports` says which ports are present; it must outlive this object.
    explicit PortReconnector(const PortList *ports, QObject *parent = nullptr);

    bool isEnabled() const { return m_enabled; }
    // Off ends a wait.
    void setEnabled(bool on);
    bool isWaiting() const { return m_waiting; }

    // The card reports the open port lost. True when the port is now awaited (reconnection is
    // on and a port has been open): the caller closes it quietly. False: the caller reports the
    // loss as usual.
    bool takeLostPort();

public slots:
    void portOpened(const QString &portName, int baudRate);
    void stopWaiting();

signals:
    void reconnectRequested(const QString &portName, int baudRate);
    void waitingChanged(bool waiting);

private:
    void reconnectIfReturned();

    const PortList *m_ports;
    QTimer *m_checkTimer;
    QElapsedTimer m_lostClock;
    QString m_portName;
    int m_baudRate = 0;
    bool m_enabled = false;
    bool m_waiting = false;
};

#endif // PORTRECONNECTOR_H
