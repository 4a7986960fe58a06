// SPDX-License-Identifier: GPL-3.0-or-later
#include "myserialport.h"

#include <QDebug>
#include <QMetaMethod>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <QLoggingCategory>
#include <poll.h>

namespace {
Q_LOGGING_CATEGORY(lcLink, "eskin.link")
} // namespace
#endif

MySerialport::MySerialport()
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
    if (isPortOpen()) {
        closePort();
        return;
    }
    qCDebug(lcLink).noquote() << "port : " + portName;
    const bool opened = openLine(portName, baudRate);
    const bool holdRead = !opened && reportOpenFailure(portName);
    emit flushMainwindowsSerialView();
    if (opened)
        emit portOpened(portName, baudRate);
    if (holdRead)
        ++m_heldFrequencyReads;
    else
        readCurrentSampleFre(kOpenFrequencyTimeoutMs);
}

void MySerialport::reconnectPort(QString portName, int baudRate)
{
    if (isPortOpen())
        return;
    if (!openLine(portName, baudRate)) {
        qCDebug(lcLink).noquote() << "reconnect : " + portName + " : " + serialPort->errorString();
        return;
    }
    qCDebug(lcLink).noquote() << "reconnected : " + portName;
    emit flushMainwindowsSerialView();
    emit portOpened(portName, baudRate);
    readCurrentSampleFre(kOpenFrequencyTimeoutMs);
}

// The counts and the health publication start afresh with every open.
bool MySerialport::openLine(const QString &portName, int baudRate)
{
    const bool opened = tryOpen(portName, baudRate);
    m_portOpen.store(opened, std::memory_order_relaxed);
    if (opened) {
        m_openedName = portName;
        m_openedBaud = baudRate;
        resetLinkCounters();
        m_healthClock.start();
        m_healthMeter.restart(0);
        m_healthTimer->start();
        publishHealth();
    }
    return opened;
}

void MySerialport::publishHealth()
{
    LinkHealth health = m_healthMeter.sample(m_healthClock.elapsed(), linkCounters());
    health.portName = m_openedName;
    health.baudRate = m_openedBaud;
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
// could be waiting for the worker at the same moment. So that the operator still sees the
// failure before the frequency read's time-out, the read is held until the box has been shown;
// true when someone is there to say so.
bool MySerialport::reportOpenFailure(const QString &portName)
{
    static const QMetaMethod failed = QMetaMethod::fromSignal(&MySerialport::openFailed);
    if (!isSignalConnected(failed)) {
        qCDebug(lcLink) << "串口打开失败" << portName << serialPort->errorString();
        return false;
    }
    emit openFailed(portName, int(serialPort->error()), serialPort->errorString());
    return true;
}

void MySerialport::openFailureShown()
{
    if (m_heldFrequencyReads == 0) {
        qCDebug(lcLink) << "open failure shown, but no frequency read is held";
        return;
    }
    --m_heldFrequencyReads;
    readCurrentSampleFre(kOpenFrequencyTimeoutMs);
}

void MySerialport::closePort()
{
    const bool wasOpen = isPortOpen();
    m_healthTimer->stop();
    serialPort->close();
    m_portOpen.store(false, std::memory_order_relaxed);
    m_freIndex.store(-1, std::memory_order_relaxed);
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
    switch (error) {
    case QSerialPort::ReadError:
        if (lineIsGone())
            reportLostLine();
        else if (!m_lineLost)
            qCDebug(lcLink) << "通信出错";
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
