// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef STREAMCONNECTION_H
#define STREAMCONNECTION_H

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

// One client of the stream server on a socket of its own, written without ever waiting: what the
// system does not take at once waits in the connection's queue and goes out as the socket takes
// more. What the client sends is read and thrown away. The end of the client's input (a client
// that has shut down its sending side, as `nc -N` does) is not the end of the connection: it goes
// on receiving until it closes the socket or the connection breaks. A socket of Qt's own takes
// the end of the input for the end of the connection, hence the descriptor is kept here. Whether
// such a client has closed its socket, or only its sending side, shows only when it is sent
// something: its system then resets the connection, which is looked for a moment after each send.
class StreamConnection : public QObject
{
    Q_OBJECT
public:
    // Takes over the connected socket `fd`, which it closes when it goes.
    explicit StreamConnection(qintptr fd, QObject *parent = nullptr);
    ~StreamConnection() override;

    // The client's address and port, "127.0.0.1:40000".
    QString peer() const { return m_peer; }
    static QString peerOf(qintptr fd);
    // The bytes that wait for the socket.
    qint64 queuedBytes() const { return m_queue.size() - m_sent; }
    qint64 receivedBytes() const { return m_received; }

    // Queues `bytes` and sends what the socket takes now.
    void send(const QByteArray &bytes);

signals:
    // The client has sent more; receivedBytes() counts it all.
    void received();
    // The connection has broken, or the client has closed it: nothing more can be sent.
    void broken();

private:
    void sendQueued();
    void readInput();
    void checkReset();
    void breakOff();

    int m_fd;
    QString m_peer;
    QSocketNotifier *m_readable;
    QSocketNotifier *m_writable;
    QTimer *m_resetCheck;
    QByteArray m_queue;
    qint64 m_sent = 0; // bytes at the queue's front that have gone out
    qint64 m_received = 0;
    bool m_inputEnded = false;
    bool m_broken = false;
};

#endif // STREAMCONNECTION_H
