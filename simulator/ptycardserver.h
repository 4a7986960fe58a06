// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PTYCARDSERVER_H
#define PTYCARDSERVER_H

#include <QByteArray>
#include <QObject>
#include <QString>

class CardModel;
class QSocketNotifier;

// Serves a card model on a pseudo-terminal: the host opens the terminal's path like any serial
// port. Bytes the host writes go to the model; bytes the model sends go to the host. A stable
// symbolic link can follow the terminal across hang-ups, since every new line gets a new path.
//
// The server keeps the terminal's own end open as well, so that the host may close and reopen
// the port without the line going down; only hangUp() takes the line away.
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
    void writeToHost(const QByteArray &bytes);

private:
    bool fail(const QString &what);
    bool updateLink();
    void closeLine();

    CardModel *m_model;
    int m_master = -1;
    int m_slave = -1;
    QSocketNotifier *m_notifier = nullptr;
    QString m_terminalPath;
    QString m_linkPath;
    QString m_error;
    QByteArray m_received;
};

#endif // PTYCARDSERVER_H
