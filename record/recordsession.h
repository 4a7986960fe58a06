// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDSESSION_H
#define RECORDSESSION_H

#include "cardprofile.h"
#include "mqttconnection.h"
#include "portlist.h"
#include "portreconnector.h"
#include "recordwriter.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <optional>

class MqttPublisher;
class MySerialport;
class QTimer;
class StreamServer;

// One headless recording, as eskin-record runs it: open the port, set the card's frequency
// when asked, record and/or serve the stream until a time or a frame count is reached (or until
// stopped), and report why it ended. The driver-card object runs in the session's own thread.
// Every failure is one line naming its cause, and the output keeps its complete lines.
//
// Frames are recorded from the open on, also while the card's frequency is read or set; they
// wait in the writer until the frequency is known (the rows taken before the card changed its
// rate on request are dropped, so that every row is at the rate the file names). The output is
// created or truncated only with the first row: a run that ends without data, or fails before
// the frequency is settled, leaves an existing file as it was. The stream is served, and
// published to an MQTT broker, from the settled frequency on. The broker is reached before the
// port is touched: one that cannot be reached ends the session; one lost later is tried again
// while the recording and the stream go on.
//
// The output is written from a thread of its own (RecordWriter): a reader that does not keep up
// loses whole rows, with gap lines, and the run ends with status 1 saying so. Without reconnect,
// a lost port or data that stop for kNoDataTimeoutMs end the session; with it, the session rides
// through both as the window does (PortReconnector): a lost port is opened again once the same
// device is back and the card answers or streams, the recording and the stream go on after a
// gap line, and each step is a notice.
class RecordSession : public QObject
{
    Q_OBJECT
public:
    static constexpr int kNoDataTimeoutMs = 2000;
    static constexpr int kProgressIntervalMs = 1000;

    struct Settings
    {
        QString port;
        int baudRate = 115200;
        int frequencyHz = 0; // 0: leave the card's frequency as it is
        double seconds = 0;  // 0 and 0: until stopped
        qint64 frames = 0;
        QString output; // "-" for standard output, empty for none
        QHostAddress serveAddress;
        int servePort = -1; // -1: the stream is not served
        std::optional<MqttOptions> mqtt;
        bool progress = false;
        bool reconnect = false; // ride through a lost port or stopped data
        QString program;        // name and version, for the recording's comments
    };

    explicit RecordSession(const Settings &settings, QObject *parent = nullptr);
    ~RecordSession() override;

    // Starts from the event loop; ended() reports the exit code.
    void start();
    // Ends a running recording cleanly (a signal from the operator); while the port is still
    // opening, or before any row of an output, it is a failure, as nothing is written.
    void stop();
    qint64 frames() const { return m_frames; }
    // The frames written (or served, without an output) and those dropped for a bad checksum,
    // and where they went: the line that ends a complete run.
    QString summary() const;
    // A marker on the newest frame decoded so far, numbered from 1, in the output and to the
    // stream's clients (which get nothing before the stream's first frame).
    void addMarker(const QString &label);

signals:
    // 0 for a complete recording, 1 with `error` (one line) when something failed.
    void ended(int code, const QString &error);
    // Something worth a line that is not an error: where the stream is served, a dropped or
    // refused client, the broker's state, the steps of a reconnection.
    void notice(const QString &line);

private:
    bool startServer();
    void startPublisher();
    void publisherChanged(MqttConnection::State state, const QString &reason, int retryMs);
    void startRecording();
    void announceHeader(int frequencyHz);
    bool openOutput();
    bool openPort();
    bool settleFrequency();
    RecordHeader header(int frequencyHz) const;
    void beginRecording();
    void onFrame(const FrameStamp &stamp, const QList<Axit_t> &readings, uint num);
    void followReconnection();
    void portLost();
    void noDataFor();
    void followWait(ReconnectWait wait);
    void cardReconnected(const CardProfile &before, const CardProfile &after);
    void limitReached();
    void reportProgress();
    quint64 checksumErrors() const;
    void end(int code, QString error = QString());

    Settings m_settings;
    MySerialport *m_port = nullptr;
    RecordWriter m_writer;
    StreamServer *m_server = nullptr;
    MqttPublisher *m_publisher = nullptr;
    bool m_brokerReached = false;
    bool m_brokerConnected = false;
    qint64 m_frames = 0;
    FrameStamp m_newest;
    int m_markers = 0;
    QTimer *m_noDataTimer = nullptr;
    QTimer *m_durationTimer = nullptr;
    QTimer *m_progressTimer = nullptr;
    qint64 m_framesAtLastProgress = 0;
    QElapsedTimer m_progressClock;
    int m_frequencyResult = 0;
    PortList m_ports;
    PortReconnector *m_reconnector = nullptr;
    ReconnectWait m_wait = ReconnectWait::None;
    QElapsedTimer m_lostClock;           // since the port was lost, while it is awaited
    QElapsedTimer m_stallClock;          // since the data stopped, while the port stays open
    quint64 m_earlierChecksumErrors = 0; // counted on the port's earlier opens
    bool m_recording = false; // the frequency is settled: rows go out, the stream is served
    bool m_full = false;      // the time or the frame count is reached
    bool m_ended = false;
};

#endif // RECORDSESSION_H
