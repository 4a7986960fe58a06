// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MYSERIALPORT_H
#define MYSERIALPORT_H

#include "cardprofile.h"
#include "diagnosticthrottle.h"
#include "linkhealthmeter.h"
#include "slavecodec.h"

#include <QElapsedTimer>

#include <QSerialPort>
#include <QString>

#include <atomic>

constexpr qint64 kSerialReadBufferBytes = 0x100000;
// Largest piece handed to the codec at once: its byte count is 16-bit.
constexpr qint64 kMaxReceiveChunk = 0xFFFF;
// How often the link's health is published while a port is open.
constexpr int kHealthIntervalMs = 500;

class QTimer;

// The driver-card object: serial-port worker on top of the frame codec and the protocol layer.
// It is created in the interface thread, moved to a worker thread before that thread starts,
// and from then on every slot and handler runs in the worker thread.
class MySerialport : public SlaveCodec
{
    Q_OBJECT
public:
    MySerialport();
    ~MySerialport() override;

    qint64 writeRaw(const char *data, qint64 len) override;
    qint64 writeRaw(const QByteArray &bytes) override;

    // Read by the interface thread without a lock.
    bool isPortOpen() const { return m_portOpen.load(std::memory_order_relaxed); }

signals:
    void portLost();
    void flushMainwindowsSerialView();
    // Right after the flushMainwindowsSerialView() of an open (also of a reopen after a loss),
    // and of the close of an open port: for those who follow the port rather than the controls.
    void portOpened(const QString &portName, int baudRate);
    void portClosed();
    // The port could not be opened; `error` is the QSerialPort::SerialPortError. Nothing is
    // sent on it: the card's frequency is read only after an open that succeeded.
    void openFailed(const QString &portName, int error, const QString &errorString);
    // Twice a second while a port is open, and once right after it has opened.
    void linkHealthChanged(const LinkHealth &health);
    // reconnectPort() opened the port, but nothing there answered the frequency read or sent a
    // sensor-data frame (or the line went away first): the port has been closed again.
    void reconnectUnanswered(const QString &portName);
    // After a reconnection, once the card has sent a frame and its frequency read has ended: what
    // the card said of itself before the loss and what it says now.
    void cardReconnected(const CardProfile &before, const CardProfile &after);

public slots:
    void SerialHandleReadyRead();
    void openPort(QString portName, int baudRate);
    void closePort();
    // Opens the port again after it was lost: never closes an open port and shows nothing when
    // the port cannot be opened yet. The port counts as open, with portOpened(), once the card
    // has answered the frequency read or sent a sensor-data frame, whichever comes first (a
    // busy card may stream without answering); otherwise it is closed again with
    // reconnectUnanswered(). A frequency that the card tells is reported by sampleFreResult(),
    // one it does not tell leaves the rate unknown without a report.
    void reconnectPort(QString portName, int baudRate);

private slots:
    void onSerialError(QSerialPort::SerialPortError error);

private:
    bool tryOpen(const QString &portName, int baudRate);
    void reportOpenFailure(const QString &portName);
    bool lineIsGone() const;
    void reportLostLine();
    bool openLine(const QString &portName, int baudRate);
    void startLine(const QString &portName, int baudRate);
    void endTrial(const QString &portName);
    void abandonTrial();
    void closeLine();
    void completeReconnect();
    void frequencyAfterReconnect(quint64 line, int res);
    void noteFrame(const FrameStamp &stamp, const QList<Axit_t> &readings, uint num);
    void compareReconnectedCard();
    void publishHealth();

    QTimer *m_healthTimer = nullptr;
    QElapsedTimer m_healthClock;
    LinkHealthMeter m_healthMeter;
    QString m_openedName;
    int m_openedBaud = 0;

    QSerialPort *serialPort = nullptr;
    std::atomic<bool> m_portOpen{false};
    // Set once the line is known to be gone, so that its loss is reported only once.
    bool m_lineLost = false;
    // A reopen after a loss is waiting for the card's answer.
    bool m_trialOpen = false;
    QString m_trialName;
    int m_trialBaud = 0;
    // Counts the lines opened and closed, so that an answer that comes late knows its line.
    quint64 m_line = 0;
    // What the card said of itself with its newest frame.
    CardProfile m_profile;
    // After a reconnection, until the card has told both its rate and its sensors.
    struct ReconnectCheck
    {
        bool active = false;
        bool frequencyTold = false;
        bool frameSeen = false;
        CardProfile before;
        CardProfile after;
    } m_check;
    DiagnosticThrottle m_readErrorLog;
};

#endif // MYSERIALPORT_H
