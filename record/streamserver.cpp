// SPDX-License-Identifier: GPL-3.0-or-later
#include "streamserver.h"

#include "recordformat.h"
#include "streamfeed.h"
#include "streamhub.h"
#include "workercall.h"
#include "workerthread.h"

#include <QRegularExpression>

namespace {

bool parsePort(const QString &text, quint16 *port)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    if (!digits.match(text).hasMatch())
        return false;
    const uint value = text.toUInt();
    if (value > 65535)
        return false;
    *port = quint16(value);
    return true;
}

// A dotted IPv4 address of four numbers, an IPv6 address (given in brackets) or "localhost";
// no names to look up, and none of the short forms an address parser also takes ("127.1").
bool parseHost(const QString &text, bool bracketed, QHostAddress *address)
{
    static const QRegularExpression ipv4(
        QStringLiteral("^[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}$"));
    static const QRegularExpression ipv6(QStringLiteral("^[0-9A-Fa-f:.]*:[0-9A-Fa-f:.]*(%\\w+)?$"));
    if (!bracketed && text == QLatin1String("localhost")) {
        *address = QHostAddress(QHostAddress::LocalHost);
        return true;
    }
    if (!(bracketed ? ipv6 : ipv4).match(text).hasMatch())
        return false;
    return address->setAddress(text);
}

} // namespace

StreamServer::StreamServer(QObject *parent)
    : QObject(parent)
    , m_thread(new WorkerThread(this))
    , m_refusalLog([this](const QString &line) { emit refusalLogged(line); })
{
    m_thread->setObjectName(QStringLiteral("stream server"));
    m_feed = std::make_unique<StreamFeed>(
        [this] { QMetaObject::invokeMethod(m_hub, &StreamHub::distribute, Qt::QueuedConnection); });
    m_hub = new StreamHub(m_feed.get());
    m_hub->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_hub, &QObject::deleteLater);
    connect(m_hub, &StreamHub::clientCountChanged, this, [this](int clients) {
        m_clients = clients;
        emit clientCountChanged(clients);
    });
    connect(m_hub, &StreamHub::clientDropped, this, [this](const QString &peer, qint64 dropped) {
        m_dropped = dropped;
        emit clientDropped(peer);
    });
    connect(m_hub, &StreamHub::clientRefused, this,
            [this](const QString &peer, const QString &reason, qint64 refused) {
                m_refused = refused;
                m_refusalLog.note([&] {
                    return QStringLiteral("refused the stream client %1: %2").arg(peer, reason);
                });
                emit clientRefused();
            });
}

StreamServer::~StreamServer()
{
    m_feed->stop();
    if (!m_thread->isRunning()) {
        delete m_hub;
        return;
    }
    StreamHub *hub = m_hub;
    callInWorker(hub, [hub] { hub->close(); });
    m_thread->end();
}

bool StreamServer::parseAddress(const QString &text, QHostAddress *address, quint16 *port)
{
    QString host = QStringLiteral("127.0.0.1");
    QString portText = text;
    bool bracketed = false;
    if (text.startsWith(u'[')) {
        const qsizetype end = text.indexOf(QLatin1String("]:"));
        if (end < 0)
            return false;
        host = text.mid(1, end - 1);
        portText = text.mid(end + 2);
        bracketed = true;
    } else if (const qsizetype colon = text.lastIndexOf(u':'); colon >= 0) {
        host = text.left(colon);
        portText = text.mid(colon + 1);
    }
    QHostAddress parsedAddress;
    quint16 parsedPort = 0;
    if (!parsePort(portText, &parsedPort) || !parseHost(host, bracketed, &parsedAddress))
        return false;
    *address = parsedAddress;
    *port = parsedPort;
    return true;
}

QString StreamServer::addressText(const QHostAddress &address, quint16 port)
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    return host + u':' + QString::number(port);
}

void StreamServer::startThread()
{
    if (!m_thread->isRunning())
        m_thread->start();
}

bool StreamServer::listen(const QHostAddress &address, quint16 port)
{
    close();
    startThread();
    struct Result
    {
        bool listening = false;
        QHostAddress address;
        quint16 port = 0;
        QString error = QStringLiteral("the stream server's thread did not answer");
    };
    // Shared with the call, which may outlive a wait that gave up.
    const auto result = std::make_shared<Result>();
    StreamHub *hub = m_hub;
    m_feed->start();
    callInWorker(hub, [hub, address, port, result] {
        result->listening = hub->listen(address, port);
        result->address = hub->serverAddress();
        result->port = hub->serverPort();
        result->error = hub->errorString();
    });
    m_listening = result->listening;
    m_error = result->error;
    if (!m_listening) {
        m_feed->stop();
        return false;
    }
    m_address = result->address;
    m_port = result->port;
    return true;
}

void StreamServer::close()
{
    if (!m_listening)
        return;
    m_listening = false;
    m_feed->stop();
    StreamHub *hub = m_hub;
    callInWorker(hub, [hub] { hub->close(); });
}

void StreamServer::setHeader(const RecordHeader &header)
{
    m_feed->setHeader(header);
}

void StreamServer::addFrame(const FrameStamp &stamp, const QList<Axit_t> &readings, uint num)
{
    m_feed->addFrame(stamp, readings, num);
}

void StreamServer::addLine(const std::function<QByteArray(qint64 newestFrameMicros)> &compose)
{
    m_feed->addLine(compose);
}

void StreamServer::addMarker(const FrameStamp &marked, int number, const QString &label)
{
    m_feed->addMarker(marked, number, label);
}

void StreamServer::beginGap(const QString &cause)
{
    m_feed->beginGap(cause);
}
