// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqttrecordsession.h"

#include "mqttclient.h"
#include "mqttstreamrecording.h"
#include "recordwriter.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Longer names are cut: a file system takes 255 bytes.
constexpr int kMaxNameCharacters = 100;

// A topic level as a file name: letters, digits, "-", "_" and "." (not leading) stay.
QString fileSafe(const QString &level)
{
    QString name = level.left(kMaxNameCharacters);
    for (QChar &c : name) {
        if (!c.isLetterOrNumber() && c != u'-' && c != u'_' && c != u'.')
            c = u'_';
    }
    if (name.isEmpty() || name.startsWith(u'.'))
        name.prepend(u'_');
    return name;
}

// `path` with "-N" before its extension.
QString numbered(const QString &path, int number)
{
    if (number == 1)
        return path;
    const QFileInfo file(path);
    const QString suffix = file.suffix().isEmpty() ? QString() : u'.' + file.suffix();
    return file.path() + u'/' + file.completeBaseName() + u'-' + QString::number(number) + suffix;
}

} // namespace

MqttRecordSession::MqttRecordSession(const Settings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_client(new MqttClient(this))
    , m_durationTimer(new QTimer(this))
    , m_progressTimer(new QTimer(this))
{
    m_durationTimer->setSingleShot(true);
    m_durationTimer->setTimerType(Qt::PreciseTimer);
    connect(m_durationTimer, &QTimer::timeout, this, [this] { end(0); });
    connect(m_progressTimer, &QTimer::timeout, this, &MqttRecordSession::reportProgress);
    connect(m_client, &MqttClient::stateChanged, this, &MqttRecordSession::connectionChanged);
    connect(m_client, &MqttClient::messageReceived, this, &MqttRecordSession::messageReceived);
}

MqttRecordSession::~MqttRecordSession() = default;

void MqttRecordSession::start()
{
    if (!prepareOutput())
        return;
    const MqttUrl &url = m_settings.mqtt.url;
    m_client->start(m_settings.mqtt, {},
                    {url.topic(MqttUrl::kHeadPart), url.topic(MqttUrl::kFramesPart),
                     url.topic(MqttUrl::kEventsPart), url.topic(MqttUrl::kStatusPart)});
    if (m_settings.progress) {
        m_progressClock.start();
        m_progressTimer->start(kProgressIntervalMs);
    }
}

// Checked before the broker is asked for anything; a folder is made when it is missing.
bool MqttRecordSession::prepareOutput()
{
    QString target = m_settings.output;
    if (m_settings.mqtt.url.hasWildcard()) {
        const QFileInfo folder(target);
        if (folder.exists() && !folder.isDir()) {
            end(1, QStringLiteral("cannot write %1: %2")
                       .arg(target, QString::fromLocal8Bit(std::strerror(ENOTDIR))));
            return false;
        }
        QDir().mkpath(target);
        target = QDir(target).filePath(QStringLiteral("probe.csv"));
    }
    const QString problem = RecordWriter::unwritableReason(target);
    if (!problem.isEmpty())
        end(1, QStringLiteral("cannot write %1: %2").arg(m_settings.output, problem));
    return problem.isEmpty();
}

void MqttRecordSession::connectionChanged(MqttConnection::State state, const QString &reason,
                                          int retryMs)
{
    if (m_ended)
        return;
    const QString broker = m_settings.mqtt.url.brokerText();
    if (state == MqttConnection::State::Connected) {
        emit notice(m_reached ? QStringLiteral("connected again to the MQTT broker %1").arg(broker)
                              : QStringLiteral("recording %1").arg(m_settings.mqtt.url.text()));
        m_reached = m_connected = true;
    } else if (state == MqttConnection::State::Waiting && !m_reached) {
        end(1, QStringLiteral("cannot connect to the MQTT broker %1: %2").arg(broker, reason));
    } else if (state == MqttConnection::State::Waiting && m_connected) {
        m_connected = false;
        emit notice(QStringLiteral("lost the MQTT broker %1: %2; trying again in %3 s")
                        .arg(broker, reason)
                        .arg(retryMs / 1000.0));
        for (MqttStreamRecording *recording : std::as_const(m_recordings))
            recording->brokerLost();
    }
}

void MqttRecordSession::messageReceived(const QByteArray &topic, const QByteArray &payload)
{
    const qsizetype slash = topic.lastIndexOf('/');
    if (m_ended || slash < 0)
        return;
    const QString prefix = QString::fromUtf8(topic.left(slash));
    const QByteArray part = topic.mid(slash + 1);
    if (part == MqttUrl::kStatusPart) {
        if (payload == "online" || payload == "offline")
            emit notice(QStringLiteral("%1: the publisher is %2")
                            .arg(prefix, QString::fromLatin1(payload)));
        return;
    }
    MqttStreamRecording *recording = recordingOf(prefix);
    if (!recording)
        return;
    if (part == MqttUrl::kHeadPart && !recording->takeHead(payload)) {
        emit notice(QStringLiteral("%1: a new stream").arg(prefix));
        recording->finish();
        m_framesOfEnded += recording->frames();
        m_droppedOfEnded += recording->droppedRows();
        m_recordings.remove(prefix);
        recording->deleteLater();
        if ((recording = startRecording(prefix)))
            recording->takeHead(payload);
    } else if (part == MqttUrl::kFramesPart) {
        recording->takeFrames(payload);
        framesTaken(recording);
    } else if (part == MqttUrl::kEventsPart) {
        recording->takeEvents(payload);
    }
}

MqttStreamRecording *MqttRecordSession::recordingOf(const QString &prefix)
{
    if (MqttStreamRecording *recording = m_recordings.value(prefix))
        return recording;
    if (m_recordings.size() < kMaxStreams)
        return startRecording(prefix);
    if (m_refusedPrefixes.size() < kMaxStreams && !m_refusedPrefixes.contains(prefix)) {
        m_refusedPrefixes.insert(prefix);
        emit notice(QStringLiteral("%1: not recorded, %2 streams are recorded already")
                        .arg(prefix)
                        .arg(kMaxStreams));
    }
    return nullptr;
}

MqttStreamRecording *MqttRecordSession::startRecording(const QString &prefix)
{
    const QString base = fileName(prefix);
    if (base == QLatin1String("-") && !m_paths.isEmpty()) {
        end(0); // one stream is all that standard output can hold
        return nullptr;
    }
    int number = 1;
    while (m_paths.contains(numbered(base, number)))
        ++number;
    const QString path = numbered(base, number);
    m_paths.insert(path);
    auto *recording = new MqttStreamRecording(prefix, path, m_settings.frames, this);
    m_recordings.insert(prefix, recording);
    connect(recording, &MqttStreamRecording::warning, this, &MqttRecordSession::notice);
    connect(recording, &MqttStreamRecording::full, this, [this] { end(0); });
    connect(recording, &MqttStreamRecording::finished, this,
            [this, path](qint64, const QString &error) {
                if (!error.isEmpty())
                    end(1, QStringLiteral("cannot write %1: %2").arg(path, error));
            });
    if (path != QLatin1String("-"))
        emit notice(QStringLiteral("%1 goes to %2").arg(prefix, path));
    return recording;
}

// With "+": the levels it stands for, joined with "-", in the output folder.
QString MqttRecordSession::fileName(const QString &prefix) const
{
    const QStringList pattern = m_settings.mqtt.url.prefix.split(u'/');
    const QStringList levels = prefix.split(u'/');
    QStringList matched;
    for (qsizetype i = 0; i < pattern.size() && i < levels.size(); ++i) {
        if (pattern.at(i) == QLatin1String("+"))
            matched << fileSafe(levels.at(i));
    }
    if (matched.isEmpty())
        return m_settings.output;
    return QDir(m_settings.output).filePath(matched.join(u'-') + QStringLiteral(".csv"));
}

// The time runs from the first row.
void MqttRecordSession::framesTaken(MqttStreamRecording *recording)
{
    if (m_settings.seconds > 0 && !m_durationTimer->isActive() && recording->frames() > 0)
        m_durationTimer->start(int(m_settings.seconds * 1000));
}

qint64 MqttRecordSession::frames() const
{
    qint64 total = m_framesOfEnded;
    for (const MqttStreamRecording *recording : m_recordings)
        total += recording->frames();
    return total;
}

qint64 MqttRecordSession::droppedRows() const
{
    qint64 total = m_droppedOfEnded;
    for (const MqttStreamRecording *recording : m_recordings)
        total += recording->droppedRows();
    return total;
}

void MqttRecordSession::reportProgress()
{
    const qint64 total = frames();
    const double seconds = double(m_progressClock.restart()) / 1000.0;
    const double rate = seconds > 0 ? double(total - m_framesAtLastProgress) / seconds : 0.0;
    m_framesAtLastProgress = total;
    const QByteArray dropped =
        droppedRows() > 0
            ? QStringLiteral(", %1 left out of the output").arg(droppedRows()).toUtf8()
            : QByteArray();
    std::fprintf(stderr, "%lld frames, %.1f frames/s, %lld streams, broker %s%s\n",
                 static_cast<long long>(total), rate, static_cast<long long>(m_recordings.size()),
                 m_connected ? "connected" : "not connected", dropped.constData());
}

QString MqttRecordSession::summary() const
{
    const QString where = m_settings.output == QLatin1String("-")
                              ? QStringLiteral("standard output")
                              : m_settings.output;
    return QStringLiteral("%1 frames of %2 streams written to %3")
        .arg(frames())
        .arg(m_paths.size())
        .arg(where);
}

void MqttRecordSession::stop()
{
    if (frames() == 0)
        end(1, QStringLiteral("interrupted before any frame came from %1")
                   .arg(m_settings.mqtt.url.text()));
    else
        end(0);
}

void MqttRecordSession::end(int code, QString error)
{
    if (m_ended)
        return;
    m_ended = true;
    m_durationTimer->stop();
    m_progressTimer->stop();
    m_client->stop();
    for (MqttStreamRecording *recording : std::as_const(m_recordings)) {
        recording->finish();
        if (code == 0 && !recording->errorString().isEmpty()) {
            code = 1;
            error = QStringLiteral("cannot write %1: %2")
                        .arg(recording->path(), recording->errorString());
        }
    }
    if (code == 0 && droppedRows() > 0) {
        code = 1;
        error = summary() + QStringLiteral("; %1 more left out (the gap lines say where), as the "
                                           "output did not take them in time")
                                .arg(droppedRows());
    }
    emit ended(code, error);
}
