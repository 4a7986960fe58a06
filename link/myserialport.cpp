// SPDX-License-Identifier: GPL-3.0-or-later
#include "myserialport.h"

#include "samplerates.h"

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
    qRegisterMetaType<CardProfile>();
    // Connected before anyone else can be: the frame that completes a reconnection reaches the
    // others after portOpened().
    connect(this, &SlaveProtocol::AxitReflushGraphic, this, [this](QList<Axit_t> &, uint num) {
        if (m_trialOpen && num > 0)
            completeReconnect();
    });
    connect(this, &SlaveProtocol::stampedFrame, this, &MySerialport::noteFrame);
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
// answered the frequency read or sent a sensor-data frame: until then it is open to this object
// only, and the rest of the program sees it closed. Another device, or a card that neither
// answers nor streams, is let go again.
void MySerialport::reconnectPort(QString portName, int baudRate)
{
    if (isPortOpen() || m_trialOpen)
        return;
    if (!tryOpen(portName, baudRate)) {
        qCDebug(lcLink).noquote() << "reconnect : " + portName + " : " + serialPort->errorString();
        return;
    }
    m_trialOpen = true;
    m_trialName = portName;
    m_trialBaud = baudRate;
    m_check = ReconnectCheck{true, false, false, m_profile, {}};
    const quint64 line = m_line;
    readFrequencyThen(replyTimeoutMs(),
                      [this, line](int res) { frequencyAfterReconnect(line, res); });
}

// The read goes on after a frame has completed the reconnection: a card that answers it tells
// its rate, one that does not leaves it unknown, as after an open whose read went unanswered but
// without a message: nobody is there to read it.
void MySerialport::frequencyAfterReconnect(quint64 line, int res)
{
    if (line != m_line)
        return; // the operator has opened or closed a port meanwhile, or the line went away
    if (m_trialOpen && res < 0) {
        endTrial(m_trialName);
        return;
    }
    if (m_trialOpen)
        completeReconnect();
    if (res >= 0)
        emit sampleFreResult(0, res, freIndex());
    m_check.after.frequencyHz = res >= 0 ? sampleRateHz(freIndex()) : 0;
    m_check.frequencyTold = true;
    compareReconnectedCard();
}

void MySerialport::completeReconnect()
{
    m_trialOpen = false;
    qCDebug(lcLink).noquote() << "reconnected : " + m_trialName;
    startLine(m_trialName, m_trialBaud);
    emit flushMainwindowsSerialView();
    emit portOpened(m_trialName, m_trialBaud);
}

void MySerialport::noteFrame(const FrameStamp &stamp, const QList<Axit_t> &, uint num)
{
    if (num == 0)
        return;
    m_profile = {stamp.frequencyHz, int(num)};
    if (m_check.active && !m_check.frameSeen) {
        m_check.after.sensors = int(num);
        m_check.frameSeen = true;
        compareReconnectedCard();
    }
}

void MySerialport::compareReconnectedCard()
{
    if (!m_check.active || !m_check.frequencyTold || !m_check.frameSeen)
        return;
    m_check.active = false;
    if (m_check.after.differsFrom(m_check.before))
        qCDebug(lcLink).noquote() << "reconnected card differs:"
                                  << m_check.after.changeFrom(m_check.before);
    emit cardReconnected(m_check.before, m_check.after);
}

void MySerialport::endTrial(const QString &portName)
{
    qCDebug(lcLink).noquote() << "reconnect : no answer on " + portName;
    m_trialOpen = false;
    m_check.active = false;
    // Unless a port has been opened since.
    if (!isPortOpen())
        closeLine();
    emit reconnectUnanswered(portName);
}

// A reopen still waiting for the card's answer gives way to whatever the operator asks for.
void MySerialport::abandonTrial()
{
    if (!m_trialOpen)
        return;
    m_trialOpen = false;
    m_check.active = false;
    closeLine();
}

// Whatever still waits for an answer on the line closed here is told by the count.
void MySerialport::closeLine()
{
    ++m_line;
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
    ++m_line;
    // What the line held before the open is of unknown age (a terminal keeps what a card sent
    // while no one read): the stream starts with the open. The counts too, also those of a
    // reopen whose frames complete it.
    serialPort->clear(QSerialPort::Input);
    resetLinkCounters();
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
    m_check.active = false;
    m_healthTimer->stop();
    closeLine();
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
        // Closed once the port's own error handling has returned, as for a lost line; the
        // frequency read that waits on it no longer counts.
        m_trialOpen = false;
        ++m_line;
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
