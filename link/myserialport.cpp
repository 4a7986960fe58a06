// SPDX-License-Identifier: GPL-3.0-or-later
#include "myserialport.h"

#include <QDebug>
#include <QTimer>

#include <QLoggingCategory>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace {
Q_LOGGING_CATEGORY(lcLink, "eskin.link")
} // namespace

MySerialport::MySerialport()
    : m_readErrorLog(lcLink())
{
    serialPort = new QSerialPort(this);
    serialPort->setReadBufferSize(kSerialReadBufferBytes);
    connect(serialPort, &QSerialPort::readyRead, this, &MySerialport::SerialHandleReadyRead);
    connect(serialPort, &QSerialPort::errorOccurred, this, &MySerialport::onSerialError);
    qRegisterMetaType<LinkHealth>();
    m_healthTimer = new QTimer(this);
    m_healthTimer->setInterval(kHealthIntervalMs);
    connect(m_healthTimer, &QTimer::timeout, this, &MySerialport::publishHealth);
}

MySerialport::~MySerialport()
{
    // The port is a child: it is closed here and destroyed with this object.
    serialPort->close();
}

void MySerialport::openPort(QString portName, int baudRate)
{
    abandonTrial();
    if (isPortOpen()) {
        closePort();
        return;
    }
    qCDebug(lcLink).noquote() << "port : " + portName;
    const bool opened = openLine(portName, baudRate);
    if (!opened)
        reportOpenFailure(portName);
    emit flushMainwindowsSerialView();
    if (!opened)
        return;
    emit portOpened(portName, baudRate);
    readCurrentSampleFre(replyTimeoutMs());
}

// The port that returns under the lost one's name is not taken for the card until the card has
// answered the frequency read: until then it is open to this object only, and the rest of the
// program sees it closed. Another device, or a card that does not answer, is let go again.
void MySerialport::reconnectPort(QString portName, int baudRate)
{
    if (isPortOpen() || m_trialOpen)
        return;
    if (!tryOpen(portName, baudRate)) {
        qCDebug(lcLink).noquote() << "reconnect : " + portName + " : " + serialPort->errorString();
        return;
    }
    m_trialOpen = true;
    readFrequencyThen(replyTimeoutMs(), [this, portName, baudRate](int res) {
        // The operator has opened or closed a port meanwhile, or the line went away.
        if (!m_trialOpen)
            return;
        m_trialOpen = false;
        if (res < 0) {
            endTrial(portName);
            return;
        }
        qCDebug(lcLink).noquote() << "reconnected : " + portName;
        startLine(portName, baudRate);
        emit flushMainwindowsSerialView();
        emit portOpened(portName, baudRate);
        emit sampleFreResult(0, res, freIndex());
    });
}

void MySerialport::endTrial(const QString &portName)
{
    qCDebug(lcLink).noquote() << "reconnect : no answer on " + portName;
    m_trialOpen = false;
    // Unless a port has been opened since.
    if (!isPortOpen())
        serialPort->close();
    emit reconnectUnanswered(portName);
}

// A reopen still waiting for the card's answer gives way to whatever the operator asks for.
void MySerialport::abandonTrial()
{
    if (!m_trialOpen)
        return;
    m_trialOpen = false;
    serialPort->close();
}

bool MySerialport::openLine(const QString &portName, int baudRate)
{
    const bool opened = tryOpen(portName, baudRate);
    if (opened)
        startLine(portName, baudRate);
    else
        m_portOpen.store(false, std::memory_order_relaxed);
    return opened;
}

// The counts and the health publication start afresh with every open.
void MySerialport::startLine(const QString &portName, int baudRate)
{
    m_portOpen.store(true, std::memory_order_relaxed);
    m_openedName = portName;
    m_openedBaud = baudRate;
    resetLinkCounters();
    m_healthClock.start();
    m_healthMeter.restart(0);
    m_healthTimer->start();
    publishHealth();
}

void MySerialport::publishHealth()
{
    LinkHealth health = m_healthMeter.sample(m_healthClock.elapsed(), linkCounters());
    health.portName = m_openedName;
    health.baudRate = m_openedBaud;
    if (health.counters.sensorFrames() > 0)
        health.sensorCount = sensorCount();
    emit linkHealthChanged(health);
}

bool MySerialport::tryOpen(const QString &portName, int baudRate)
{
    m_lineLost = false;
    serialPort->setPortName(portName);
    serialPort->setBaudRate(baudRate, QSerialPort::AllDirections);
    serialPort->setDataBits(QSerialPort::Data8);
    serialPort->setParity(QSerialPort::NoParity);
    serialPort->setStopBits(QSerialPort::OneStop);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);
    if (!serialPort->open(QIODevice::ReadWrite))
        return false;
    // What the line held before the open is of unknown age (a terminal keeps what a card sent
    // while no one read): the stream starts with the open.
    serialPort->clear(QSerialPort::Input);
    return true;
}

// The box belongs to the interface thread, and the worker never waits for it: the interface
// could be waiting for the worker at the same moment. Nothing is sent on a port that did not
// open, so nothing follows the failure.
void MySerialport::reportOpenFailure(const QString &portName)
{
    qCDebug(lcLink) << "串口打开失败" << portName << serialPort->errorString();
    emit openFailed(portName, int(serialPort->error()), serialPort->errorString());
}

void MySerialport::closePort()
{
    const bool wasOpen = isPortOpen();
    m_trialOpen = false;
    m_healthTimer->stop();
    serialPort->close();
    m_portOpen.store(false, std::memory_order_relaxed);
    forgetFrequency();
    emit flushMainwindowsSerialView();
    if (wasOpen)
        emit portClosed();
}

void MySerialport::SerialHandleReadyRead()
{
    const QByteArray bytes = serialPort->readAll();
    // A read beyond the codec's 16-bit count (only after a long stall) is passed on in pieces.
    for (qint64 offset = 0; offset < bytes.size(); offset += kMaxReceiveChunk) {
        const qint64 chunk = std::min<qint64>(kMaxReceiveChunk, bytes.size() - offset);
        receiveBytes(bytes.constData() + offset, quint16(chunk));
    }
}

void MySerialport::onSerialError(QSerialPort::SerialPortError error)
{
    if (m_trialOpen && (error == QSerialPort::ResourceError ||
                        (error == QSerialPort::ReadError && lineIsGone()))) {
        // Closed once the port's own error handling has returned, as for a lost line.
        m_trialOpen = false;
        QMetaObject::invokeMethod(
            this,
            [this, name = serialPort->portName()] {
                if (!m_trialOpen)
                    endTrial(name);
            },
            Qt::QueuedConnection);
        return;
    }
    // A reopen that has been let go reports its line's errors until its close comes.
    if (!isPortOpen())
        return;
    switch (error) {
    case QSerialPort::ReadError:
        if (lineIsGone())
            reportLostLine();
        else if (!m_lineLost)
            m_readErrorLog.note([] { return QStringLiteral("通信出错"); });
        break;
    case QSerialPort::ResourceError:
        emit portLost();
        break;
    default:
        break;
    }
}

// A line whose other end has gone (a hung-up terminal, a removed adapter that still reads as
// a read error) keeps the port readable forever: every read fails at once.
bool MySerialport::lineIsGone() const
{
    if (m_lineLost || !serialPort->isOpen())
        return true;
#ifdef Q_OS_UNIX
    pollfd line{int(serialPort->handle()), POLLIN, 0};
    if (::poll(&line, 1, 0) < 0)
        return true;
    return (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return false;
#endif
}

// Reported once. The device handle is released right after the port's own error handling has
// returned, which ends the stream of read errors; the port stays open as far as the rest of the
// program knows until closePort() is called.
void MySerialport::reportLostLine()
{
    if (m_lineLost)
        return;
    m_lineLost = true;
    qCDebug(lcLink) << "line lost:" << serialPort->portName();
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_lineLost)
                serialPort->close();
        },
        Qt::QueuedConnection);
    emit portLost();
}

qint64 MySerialport::writeRaw(const char *data, qint64 len)
{
    if (!serialPort)
        return -1;
    return serialPort->write(data, len);
}

qint64 MySerialport::writeRaw(const QByteArray &bytes)
{
    if (!serialPort)
        return -1;
    return serialPort->write(bytes);
}
