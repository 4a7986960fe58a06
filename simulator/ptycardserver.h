// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PTYCARDSERVER_H
#define PTYCARDSERVER_H

#include <QByteArray>
#include <QObject>
#include <QString>

class CardModel;
class QSocketNotifier;
class QTimer;

// Serves a card model on a pseudo-terminal: the host opens the terminal's path like any serial
// port. Bytes the host writes go to the model; bytes the model sends go to the host. A stable
// symbolic link can follow the terminal across hang-ups, since every new line gets a new path.
//
// The server keeps the terminal's own end open as well, so that the host may close and reopen
// the port without the line going down; only hangUp() takes the line away.
//
// For a model that waits for its host (CardModel::waitsForHost(), a replay) the server does not
// hold the terminal's end: the terminal's master then reports a hang-up exactly while no host
// has the port open. The server watches for that and tells the model when a host opens and
// closes the port; what the model sends while no host has it open is dropped, so that a host
// never reads stale bytes on opening.
class PtyCardServer : public QObject
{
    Q_OBJECT
public:
    explicit PtyCardServer(CardModel *model, QObject *parent = nullptr);
    ~PtyCardServer() override;

    // Opens a new line and points linkPath (when given) at it.
    bool open(const QString &linkPath = QString());
    bool isOpen() const { return m_master >= 0; }
    // The path for the host: the link when there is one, else the terminal itself.
    QString portName() const;
    QString terminalPath() const { return m_terminalPath; }
    QString errorString() const { return m_error; }
    // Everything the host has written since the line was opened.
    QByteArray receivedBytes() const { return m_received; }

public slots:
    // The card's end of the line goes away; the host's reads fail from now on.
    void hangUp();
    // A new line after a hang-up, under the same link.
    bool reconnect();

private slots:
    void readFromHost();
    void watchForHost();
    void writeToHost(const QByteArray &bytes);

private:
    bool fail(const QString &what);
    bool updateLink();
    void closeLine();
    void setHostOpen(bool open);

    CardModel *m_model;
    int m_master = -1;
    int m_slave = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_hostWatch = nullptr; // polls for a host while none has the port open
    bool m_watching = false;       // the model waits for its host
    bool m_hostOpen = false;
    QString m_terminalPath;
    QString m_linkPath;
    QString m_error;
    QByteArray m_received;
};

#endif // PTYCARDSERVER_H
