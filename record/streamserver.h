// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef STREAMSERVER_H
#define STREAMSERVER_H

#include "devicerecords.h"
#include "diagnosticthrottle.h"
#include "framestamp.h"
#include "recordformat.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class WorkerThread;
class StreamFeed;
class StreamHub;

// Shares the live sensor-data stream with other programs over TCP, in the recording format: a
// client receives the comment lines (program, port, baud rate, frequency, the stream's start)
// and the header line, then one line per frame exactly as a recording writes it, with the time
// in seconds since the stream's first frame, the same for every client. The stream is
// read-only: what a client sends is thrown away and nothing of it reaches the card.
//
// The network runs in a thread of the server's own. Frames come in through addFrame(), from any
// thread (a direct connection from the driver-card object in the worker thread), which formats
// the line and hands it over without ever waiting for the network. Every client has a queue of
// StreamHub::kClientQueueBytes; a client whose queue is full is disconnected and counted, and
// nothing else waits for it. A client beyond StreamHub::kMaxClients, or one that sends too much,
// is refused: counted, and logged with its address and the reason, once a second at most.
//
// The object itself, its signals and its accessors belong to the thread it lives in. Whatever
// feeds it directly from another thread must be disconnected, or have stopped, before it is
// destroyed.
class StreamServer : public QObject
{
    Q_OBJECT
public:
    explicit StreamServer(QObject *parent = nullptr);
    ~StreamServer() override;

    // "[ADDRESS:]PORT": PORT 0 to 65535 (0: any free port); ADDRESS an IPv4 address, an IPv6
    // address in brackets or "localhost", 127.0.0.1 when left out. False when malformed.
    static bool parseAddress(const QString &text, QHostAddress *address, quint16 *port);
    // "127.0.0.1:5555", "[::1]:5555".
    static QString addressText(const QHostAddress &address, quint16 port);

    // Starts a new stream on `address`: the next frame is its time zero. False, with
    // errorString() (the system's reason), when the address or the port cannot be used.
    bool listen(const QHostAddress &address, quint16 port);
    // Sends what is pending, disconnects every client and stops listening.
    void close();
    bool isListening() const { return m_listening; }
    QHostAddress serverAddress() const { return m_address; }
    quint16 serverPort() const { return m_port; }
    QString errorString() const { return m_error; }
    int clientCount() const { return m_clients; }
    qint64 droppedClients() const { return m_dropped; }
    qint64 refusedClients() const { return m_refused; }

    // What the comment lines will say, from any thread: it applies until the first client after
    // the stream's first frame has received them (from then on every client of that stream
    // receives the same), and to the streams that follow.
    void setHeader(const RecordHeader &header);

    // Thread-safe; never waits for the network or for a client.
    void addFrame(const FrameStamp &stamp, const QList<Axit_t> &readings, uint num);
    // Sends an extra line to every client, right after the newest frame's line: the hook for
    // the lines the recording format puts between its rows, such as a marker, which carries the
    // time of the row it follows. `compose` gets that frame's time in microseconds on the
    // stream's time base and returns the line (a line end is added when it has none); it runs
    // with the hand-off held, so it must be quick. Thread-safe; nothing is sent before the
    // stream's first frame.
    void addLine(const std::function<QByteArray(qint64 newestFrameMicros)> &compose);
    // A marker on the frame `marked`: it follows the newest frame's line and carries the time of
    // the frame it marks (RecordTimeline::markerMicros); one given before the stream's first
    // frame follows its line. Thread-safe.
    void addMarker(const FrameStamp &marked, int number, const QString &label);
    // The data stop from now on, for `cause` (the port was lost or closed): the clients get a gap
    // line before the next frame's, as a recording has it. Thread-safe.
    void beginGap(const QString &cause);

signals:
    void clientCountChanged(int clients);
    // A client that did not keep up has been disconnected.
    void clientDropped(const QString &peer);
    // A client has been refused; refusedClients() counts them.
    void clientRefused();
    // The line that logs refused clients: "refused the stream client ADDRESS: reason", at most
    // once a second, with how many it stands for.
    void refusalLogged(const QString &line);

private:
    void startThread();

    std::unique_ptr<StreamFeed> m_feed;
    WorkerThread *m_thread = nullptr;
    StreamHub *m_hub = nullptr; // lives in m_thread, deleted when it ends
    QHostAddress m_address;
    quint16 m_port = 0;
    QString m_error;
    int m_clients = 0;
    qint64 m_dropped = 0;
    qint64 m_refused = 0;
    DiagnosticThrottle m_refusalLog;
    bool m_listening = false;
};

#endif // STREAMSERVER_H
