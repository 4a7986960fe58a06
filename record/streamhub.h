// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef STREAMHUB_H
#define STREAMHUB_H

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QTcpServer;
class SendPacer;
class StreamConnection;
class StreamFeed;

// The network side of the stream server, in the server's own thread: accepts clients, sends
// each the head and then every line the feed hands over, and parts with clients that fall
// behind. Nothing here ever waits: a client's unsent lines are its queue, bounded by
// kClientQueueBytes; what a client sends is read and thrown away, and a client that has ended its
// input still receives (StreamConnection). A client beyond kMaxClients, or one that sends more
// than kMaxClientInputBytes, is refused: closed, logged and counted.
//
// Lines go out at most every kMinSendIntervalMs (SendPacer).
class StreamHub : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kClientQueueBytes = 1 << 20;
    // What the system itself holds for a client on top of its queue.
    static constexpr int kSendBufferBytes = 64 * 1024;
    // Clients send nothing; a client that sends more than this in all is closed.
    static constexpr qint64 kMaxClientInputBytes = 64 * 1024;
    static constexpr int kMaxClients = 64;
    static constexpr int kMinSendIntervalMs = 10;

    explicit StreamHub(StreamFeed *feed, QObject *parent = nullptr);
    ~StreamHub() override;

    // Closes what runs, then listens; false with errorString() when the address cannot be used.
    bool listen(const QHostAddress &address, quint16 port);
    // Sends what is pending, then closes every client and stops listening.
    void close();
    QHostAddress serverAddress() const;
    quint16 serverPort() const;
    QString errorString() const { return m_error; }

public slots:
    // Hands the feed's pending lines to the clients, now or when the send interval has passed.
    void distribute();

signals:
    void clientCountChanged(int clients);
    // A client fell behind and was disconnected; `dropped` counts them since the start.
    void clientDropped(const QString &peer, qint64 dropped);
    // A client was refused or closed for `reason`; `refused` counts them since the start.
    void clientRefused(const QString &peer, const QString &reason, qint64 refused);

private:
    struct Client
    {
        bool started = false; // has its head
        bool joined = false;  // has had lines, from a row on
    };

    void sendPending();
    void accept(qintptr fd);
    void checkInput(StreamConnection *client);
    void sendTo(StreamConnection *client, const QByteArray &bytes);
    void drop(StreamConnection *client, const char *why);
    void refuse(const QString &peer, const QString &reason);
    void remove(StreamConnection *client);
    void countChanged();

    StreamFeed *const m_feed;
    QTcpServer *m_server = nullptr;
    SendPacer *m_pacer;
    QHash<StreamConnection *, Client> m_clients;
    QString m_error;
    qint64 m_dropped = 0;
    qint64 m_refused = 0;
};

#endif // STREAMHUB_H
