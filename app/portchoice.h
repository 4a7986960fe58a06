// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PORTCHOICE_H
#define PORTCHOICE_H

#include "linkpreferences.h"
#include "portlist.h"
#include "portreconnector.h"

#include <QObject>
#include <QString>
#include <QStringList>

class MySerialport;
class QComboBox;
class QTimer;

// The main window's choice of port (SerialPortSelect): the ports listed, rescanned every 2 s,
// the one selected, the one remembered from the latest open, and the reopening of a lost port
// (PortReconnector). The list changes only when the number of ports does, so that the choice
// survives a scan. Each entry's tooltip holds the whole path, and the drop-down is as wide as
// the longest name.
//
// Two ports are what the operator asked for, and stay listed, and selected when the list is
// rebuilt, even while they do not exist, so that "打开" tries them rather than another port: the
// lost port while it is awaited (also once its wait has given up, until "打开"), and the port
// asked for last: the one this run was started for (a card it started, a port it was given),
// then the one the operator last tried to open. Without them a rebuilt list selects the port
// remembered from the latest open.
class PortChoice : public QObject
{
    Q_OBJECT
public:
    static constexpr int kScanIntervalMs = 2000;

    // `preferences` holds the remembered port and the reconnection switch; it must outlive
    // this object, and is saved when either changes.
    PortChoice(QComboBox *box, LinkPreferences *preferences, QObject *parent);

    const PortList *ports() const { return &m_ports; }
    PortReconnector *reconnector() const { return m_reconnector; }
    // The port to open; empty when none is listed.
    QString selectedPort() const;
    bool isEmpty() const;

    // Ports the system does not enumerate (the simulated card, virtual ports): listed first on
    // every scan while they exist, so that the first of them is the default choice.
    void setExtraPorts(const QStringList &ports);
    void preferPort(const QString &portName);
    // The operator is opening the selected port.
    void noteOpenAttempt(const QString &portName) { m_asked = portName; }
    // Remembers every port the card opens, and reopens a lost one through it.
    void followCard(MySerialport *card);
    void setAutoReconnect(bool on);

    void startScanning();
    void stopScanning();
    // The box's current index has changed.
    void choose(int index);

public slots:
    void refreshSerialPorts();

private:
    void followWait(ReconnectWait wait, const QString &portName);
    QStringList listedNames() const;
    void rememberOpenedPort(const QString &portName, int baudRate);
    void showPathsWhole();
    void selectWanted();

    QComboBox *m_box;
    LinkPreferences *m_preferences;
    QTimer *m_scanTimer;
    PortReconnector *m_reconnector;
    PortList m_ports;
    QString m_asked;
    QString m_awaited;
    int m_portIndex = 0;
};

#endif // PORTCHOICE_H
