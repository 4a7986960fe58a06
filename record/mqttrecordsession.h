// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MQTTRECORDSESSION_H
#define MQTTRECORDSESSION_H

#include "mqttconnection.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

class MqttClient;
class MqttStreamRecording;
class QTimer;

// eskin-record --from-mqtt: records the streams published under a prefix of a broker
// (MqttStreamRecording each), until stopped, for a time from the first row, or for a number of
// rows (one prefix only). With "+" in the prefix, each stream that matches goes to its own file
// in the output folder, named by the levels that "+" stands for; a stream that starts anew (a
// head with another start) goes on in a file of its own, NAME-2.csv and so on.
//
// A broker that cannot be reached at the start ends the session with its reason; once it has
// been reached, a lost broker is tried again for as long as the session runs, and the streams'
// files have a gap line where it was lost. An output that does not keep up loses whole rows,
// with gap lines (RecordWriter), and the run ends with status 1 saying so.
class MqttRecordSession : public QObject
{
    Q_OBJECT
public:
    static constexpr int kProgressIntervalMs = 1000;
    // Streams recorded at a time, at most; the next prefixes are left out (and told once).
    static constexpr int kMaxStreams = 256;

    struct Settings
    {
        MqttOptions mqtt;
        QString output; // a file, "-" for standard output; a folder when the prefix has "+"
        double seconds = 0;
        qint64 frames = 0;
        bool progress = false;
    };

    explicit MqttRecordSession(const Settings &settings, QObject *parent = nullptr);
    ~MqttRecordSession() override;

    // Starts from the event loop; ended() reports the exit code.
    void start();
    // Ends cleanly (a signal from the operator); before any row it is a failure.
    void stop();
    // One line on a complete run: the frames, and where they went.
    QString summary() const;

signals:
    // 0 when complete, 1 with `error` (one line) when something failed.
    void ended(int code, const QString &error);
    // Something worth a line that is not an error: the broker's state, the streams' files.
    void notice(const QString &line);

private:
    bool prepareOutput();
    void connectionChanged(MqttConnection::State state, const QString &reason, int retryMs);
    void messageReceived(const QByteArray &topic, const QByteArray &payload);
    MqttStreamRecording *recordingOf(const QString &prefix);
    MqttStreamRecording *startRecording(const QString &prefix);
    QString fileName(const QString &prefix) const;
    void framesTaken(MqttStreamRecording *recording);
    qint64 frames() const;
    qint64 droppedRows() const;
    void reportProgress();
    void end(int code, QString error = QString());

    Settings m_settings;
    MqttClient *m_client;
    QHash<QString, MqttStreamRecording *> m_recordings; // the current one of each prefix
    QSet<QString> m_paths;                              // every file begun
    QSet<QString> m_refusedPrefixes;
    qint64 m_framesOfEnded = 0;
    qint64 m_droppedOfEnded = 0;
    QTimer *m_durationTimer;
    QTimer *m_progressTimer;
    QElapsedTimer m_progressClock;
    qint64 m_framesAtLastProgress = 0;
    bool m_reached = false; // the broker has been reached once
    bool m_connected = false;
    bool m_ended = false;
};

#endif // MQTTRECORDSESSION_H
