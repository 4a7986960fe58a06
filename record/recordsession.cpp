// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordsession.h"

#include "mqttpublisher.h"
#include "myserialport.h"
#include "portaccess.h"
#include "portlist.h"
#include "samplerates.h"
#include "streamserver.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

const QString kPortLost = QStringLiteral("port lost");

// What an operator who may not open the port does, as the window says it: join the device's
// group when it is one to join.
QString permissionAdvice(const QString &group)
{
    if (isJoinableGroup(group))
        return QStringLiteral("add yourself to the group %1 that owns it: sudo usermod -aG %1 "
                              "$USER, then log in again")
            .arg(group);
    return QStringLiteral("it belongs to the group %1, which is not one to join: ask an "
                          "administrator for a udev rule (for example GROUP=\"dialout\", "
                          "MODE=\"0660\") or to open it for reading and writing")
        .arg(group.isEmpty() ? QStringLiteral("?") : group);
}

// Why the port would not open, told by an open of our own.
QString openFailureCause(const PortAccess &access)
{
    switch (access.result) {
    case PortAccess::Denied:
        return systemReason(EACCES) + QStringLiteral("; ") + permissionAdvice(access.group);
    case PortAccess::Busy:
        return QStringLiteral("another program is using it");
    case PortAccess::Missing:
        return systemReason(ENOENT);
    case PortAccess::Opened:
        if (!access.terminal)
            return QStringLiteral("not a serial port");
        break;
    case PortAccess::OtherError:
        break;
    }
    return QStringLiteral("busy, or not a serial port");
}

} // namespace

RecordSession::RecordSession(const Settings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_port(new MySerialport)
    , m_noDataTimer(new QTimer(this))
    , m_durationTimer(new QTimer(this))
    , m_progressTimer(new QTimer(this))
{
    m_port->setParent(this);
    m_noDataTimer->setSingleShot(true);
    m_durationTimer->setSingleShot(true);
    m_durationTimer->setTimerType(Qt::PreciseTimer);
    connect(m_noDataTimer, &QTimer::timeout, this, &RecordSession::noDataFor);
    connect(m_durationTimer, &QTimer::timeout, this, &RecordSession::limitReached);
    connect(m_progressTimer, &QTimer::timeout, this, &RecordSession::reportProgress);
    // Queued: the port is closed once its own error handling has returned.
    connect(m_port, &MySerialport::portLost, this, &RecordSession::portLost, Qt::QueuedConnection);
    if (m_settings.reconnect)
        followReconnection();
    connect(m_port, &SlaveProtocol::sampleFreResult, this, [this](int option, int res, int) {
        if (option == 1)
            m_frequencyResult = res;
    });
    connect(&m_writer, &RecordWriter::finished, this, [this](qint64, const QString &error) {
        if (!error.isEmpty())
            end(1, QStringLiteral("cannot write %1: %2").arg(m_settings.output, error));
    });
}

RecordSession::~RecordSession() = default;

void RecordSession::start()
{
    if (!startServer())
        return;
    if (m_settings.mqtt)
        startPublisher(); // the recording starts once the broker has been reached
    else
        startRecording();
}

void RecordSession::startRecording()
{
    if (openOutput() && openPort() && settleFrequency())
        beginRecording();
}

void RecordSession::addMarker(const QString &label)
{
    const int number = ++m_markers;
    if (!m_settings.output.isEmpty())
        m_writer.writeMarker(m_newest, number, label);
    if (m_server)
        m_server->addMarker(m_newest, number, label);
    if (m_publisher)
        m_publisher->addMarker(m_newest, number, label);
}

void RecordSession::startPublisher()
{
    m_publisher = new MqttPublisher(this);
    connect(m_publisher, &MqttPublisher::stateChanged, this, &RecordSession::publisherChanged);
    connect(m_publisher, &MqttPublisher::framesDropped, this, [this](qint64 total) {
        emit notice(QStringLiteral("%1 frames in all not published while the MQTT broker could "
                                   "not take them")
                        .arg(total));
    });
    m_publisher->start(*m_settings.mqtt);
}

void RecordSession::publisherChanged(MqttConnection::State state, const QString &reason,
                                     int retryMs)
{
    if (m_ended)
        return;
    const QString broker = m_settings.mqtt->url.brokerText();
    if (state == MqttConnection::State::Connected) {
        const bool first = !m_brokerReached;
        m_brokerReached = m_brokerConnected = true;
        emit notice(first ? QStringLiteral("publishing to %1").arg(m_settings.mqtt->url.text())
                          : QStringLiteral("connected again to the MQTT broker %1").arg(broker));
        if (first)
            startRecording();
    } else if (state == MqttConnection::State::Waiting && !m_brokerReached) {
        end(1, QStringLiteral("cannot connect to the MQTT broker %1: %2").arg(broker, reason));
    } else if (state == MqttConnection::State::Waiting && m_brokerConnected) {
        m_brokerConnected = false;
        emit notice(QStringLiteral("lost the MQTT broker %1: %2; frames are dropped until it is "
                                   "back, trying again in %3 s")
                        .arg(broker, reason)
                        .arg(retryMs / 1000.0));
    }
}

// First, so that an address that cannot be used fails before the card is touched.
bool RecordSession::startServer()
{
    if (m_settings.servePort < 0)
        return true;
    m_server = new StreamServer(this);
    const QString address =
        StreamServer::addressText(m_settings.serveAddress, quint16(m_settings.servePort));
    if (!m_server->listen(m_settings.serveAddress, quint16(m_settings.servePort))) {
        end(1, QStringLiteral("cannot serve on %1: %2").arg(address, m_server->errorString()));
        return false;
    }
    connect(m_server, &StreamServer::clientDropped, this, [this](const QString &peer) {
        emit notice(QStringLiteral("dropped the stream client %1: it did not keep up").arg(peer));
    });
    connect(m_server, &StreamServer::refusalLogged, this, &RecordSession::notice);
    emit notice(
        QStringLiteral("serving the stream on %1")
            .arg(StreamServer::addressText(m_server->serverAddress(), m_server->serverPort())));
    return true;
}

// The file is only checked here, before the port is touched; the writer creates it with the
// first row.
bool RecordSession::openOutput()
{
    connect(m_port, &SlaveProtocol::stampedFrame, this, &RecordSession::onFrame);
    if (m_settings.output.isEmpty())
        return true;
    // The frequency is settled here or the session ends, however long the card's replies take
    // on a loaded machine: a writer that gave up waiting would create the file of a run that is
    // about to fail, over an earlier recording.
    m_writer.setFrequencyWaitMs(-1);
    if (!m_writer.open(m_settings.output, header(0),
                       RecordWriter::CreateOnFirstRow | RecordWriter::FrequencyToCome)) {
        end(1,
            QStringLiteral("cannot write %1: %2").arg(m_settings.output, m_writer.errorString()));
        return false;
    }
    return true;
}

RecordHeader RecordSession::header(int frequencyHz) const
{
    RecordHeader header;
    header.program = m_settings.program;
    header.port = m_settings.port;
    header.baudRate = m_settings.baudRate;
    header.frequencyHz = frequencyHz;
    return header;
}

// The common reasons a port cannot be opened are told at once; anything else (a busy port, a
// device that is not a serial port) shows when the driver-card object tries. The port is not
// opened twice: some boards restart when their lines are toggled. Opening also reads the
// card's frequency.
bool RecordSession::openPort()
{
    const QString location = PortList::location(m_settings.port);
    const QByteArray path = QFile::encodeName(location);
    if (::access(path.constData(), R_OK | W_OK) != 0) {
        const int error = errno;
        const bool denied = error == EACCES || error == EPERM;
        end(1, QStringLiteral("cannot open %1: %2")
                   .arg(m_settings.port, denied ? openFailureCause(probePortAccess(location))
                                                : systemReason(error)));
        return false;
    }
    m_port->openPort(m_settings.port, m_settings.baudRate);
    if (m_ended)
        return false;
    if (!m_port->isPortOpen()) {
        end(1, QStringLiteral("cannot open %1: %2")
                   .arg(m_settings.port, openFailureCause(probePortAccess(location))));
        return false;
    }
    return true;
}

bool RecordSession::settleFrequency()
{
    const int found = m_port->freIndex(); // read at the open; -1 without an answer
    if (m_settings.frequencyHz == 0) {
        m_writer.setFrequency(sampleRateHz(found));
        announceHeader(sampleRateHz(found));
        return true;
    }
    const int asked = sampleRateIndex(m_settings.frequencyHz);
    m_port->setSampleFre(uint(asked), kReplyTimeoutMs);
    if (m_ended)
        return false;
    if (m_frequencyResult != kStatusDone) {
        end(1, m_frequencyResult == kNoReply
                   ? QStringLiteral("the card on %1 did not answer the frequency request within "
                                    "%2 s")
                         .arg(m_settings.port)
                         .arg(kReplyTimeoutMs / 1000)
                   : QStringLiteral("the card on %1 refused the frequency %2 Hz (status %3)")
                         .arg(m_settings.port)
                         .arg(m_settings.frequencyHz)
                         .arg(m_frequencyResult));
        return false;
    }
    if (found != asked) {
        m_writer.discardHeldRows();
        m_frames = 0;
        m_durationTimer->stop();
        m_full = false;
    }
    m_writer.setFrequency(m_settings.frequencyHz);
    announceHeader(m_settings.frequencyHz);
    return true;
}

void RecordSession::announceHeader(int frequencyHz)
{
    if (m_server)
        m_server->setHeader(header(frequencyHz));
    if (m_publisher)
        m_publisher->setHeader(header(frequencyHz));
}

void RecordSession::beginRecording()
{
    m_recording = true;
    m_noDataTimer->start(kNoDataTimeoutMs);
    if (m_settings.progress) {
        m_progressClock.start();
        m_progressTimer->start(kProgressIntervalMs);
    }
    if (m_full)
        end(0);
}

void RecordSession::onFrame(const FrameStamp &stamp, const QList<Axit_t> &readings, uint num)
{
    if (m_ended)
        return;
    if (m_stallClock.isValid()) {
        emit notice(QStringLiteral("sensor data from %1 again after %2 s")
                        .arg(m_settings.port)
                        .arg(double(m_stallClock.elapsed()) / 1000.0, 0, 'f', 1));
        m_stallClock.invalidate();
    }
    m_newest = stamp;
    // A stream that stops is a failure too, rather than a recorder that waits for ever.
    m_noDataTimer->start(kNoDataTimeoutMs);
    // Only a file holds frames until the frequency is settled.
    if (m_full || (!m_recording && !m_writer.isOpen()))
        return;
    if (m_frames == 0 && m_settings.seconds > 0)
        m_durationTimer->start(int(m_settings.seconds * 1000));
    ++m_frames;
    m_writer.writeFrame(stamp, readings, num);
    if (m_server && m_recording)
        m_server->addFrame(stamp, readings, num);
    if (m_publisher && m_recording)
        m_publisher->addFrame(stamp, readings, num);
    if (m_settings.frames > 0 && m_frames >= m_settings.frames)
        limitReached();
}

// The window's rules: the same device, a card that answers or streams, a gap line.
void RecordSession::followReconnection()
{
    m_ports.setExtraPorts({m_settings.port});
    m_reconnector = new PortReconnector(&m_ports, this);
    m_reconnector->setEnabled(true);
    m_reconnector->followCard(m_port);
    connect(m_reconnector, &PortReconnector::waitChanged, this, &RecordSession::followWait);
    connect(m_port, &MySerialport::cardReconnected, this, &RecordSession::cardReconnected);
}

void RecordSession::portLost()
{
    if (m_ended)
        return;
    if (!m_recording || !m_reconnector || !m_reconnector->takeLostPort()) {
        end(1, QStringLiteral("lost the port %1").arg(m_settings.port));
        return;
    }
    m_earlierChecksumErrors += m_port->linkCounters().checksumErrors;
    m_port->closePort();
    m_noDataTimer->stop();
    m_stallClock.invalidate();
    m_lostClock.start();
    m_writer.beginGap(kPortLost);
    if (m_server)
        m_server->beginGap(kPortLost);
    if (m_publisher)
        m_publisher->beginGap(kPortLost);
    emit notice(
        QStringLiteral("lost the port %1; waiting for it to come back").arg(m_settings.port));
}

// A stream that stops is a failure, rather than a recorder that waits for ever; unless the
// session rides through, telling it once.
void RecordSession::noDataFor()
{
    const int seconds = kNoDataTimeoutMs / 1000;
    if (m_reconnector && m_recording) {
        if (!m_stallClock.isValid()) {
            m_stallClock.start();
            emit notice(QStringLiteral("no sensor data from %1 for %2 s; waiting")
                            .arg(m_settings.port)
                            .arg(seconds));
        }
        return;
    }
    end(1,
        m_frames == 0
            ? QStringLiteral("no sensor data from %1 within %2 s").arg(m_settings.port).arg(seconds)
            : QStringLiteral("sensor data from %1 stopped for %2 s after %3 frames")
                  .arg(m_settings.port)
                  .arg(seconds)
                  .arg(m_frames));
}

// Each step once, as it changes.
void RecordSession::followWait(ReconnectWait wait)
{
    if (m_ended || wait == m_wait)
        return;
    m_wait = wait;
    const QString &port = m_settings.port;
    switch (wait) {
    case ReconnectWait::None:
        emit notice(QStringLiteral("reconnected to %1 after %2 s")
                        .arg(port)
                        .arg(double(m_lostClock.elapsed()) / 1000.0, 0, 'f', 1));
        m_noDataTimer->start(kNoDataTimeoutMs);
        break;
    case ReconnectWait::Unanswered:
        emit notice(QStringLiteral("no card answers on %1 yet; trying again").arg(port));
        break;
    case ReconnectWait::OtherDevice:
        emit notice(QStringLiteral("%1 is another device now; waiting for the card").arg(port));
        break;
    case ReconnectWait::GaveUp:
        end(1, QStringLiteral("the device on %1 does not answer as the card: no longer trying "
                              "to reconnect")
                   .arg(port));
        break;
    case ReconnectWait::Lost:
        break;
    }
}

// The recording and the stream say so themselves: a frequency line before the first row at
// another rate, and each row's sensor count.
void RecordSession::cardReconnected(const CardProfile &before, const CardProfile &after)
{
    if (after.differsFrom(before))
        emit notice(QStringLiteral("the card on %1 is not as before the loss: %2")
                        .arg(m_settings.port, after.changeFrom(before)));
}

// Frames that come while the frequency is being settled are kept up to the limit; the
// recording ends once it is settled.
void RecordSession::limitReached()
{
    m_full = true;
    if (m_recording)
        end(0);
}

// Counted afresh by every open of the port.
quint64 RecordSession::checksumErrors() const
{
    return m_earlierChecksumErrors + m_port->linkCounters().checksumErrors;
}

QString RecordSession::summary() const
{
    const unsigned long long dropped = checksumErrors();
    const QString where = m_settings.output.isEmpty() ? QStringLiteral("served")
                          : m_settings.output == QLatin1String("-")
                              ? QStringLiteral("written to standard output")
                              : QStringLiteral("written to %1").arg(m_settings.output);
    const qint64 frames = m_settings.output.isEmpty() ? m_frames : m_writer.framesWritten();
    return QStringLiteral("%1 frames %2, %3 dropped (bad checksum)")
        .arg(frames)
        .arg(where)
        .arg(dropped);
}

void RecordSession::reportProgress()
{
    const qint64 frames = m_frames;
    const double seconds = double(m_progressClock.restart()) / 1000.0;
    const double rate = seconds > 0 ? double(frames - m_framesAtLastProgress) / seconds : 0.0;
    m_framesAtLastProgress = frames;
    QString more;
    if (m_writer.droppedRows() > 0)
        more += QStringLiteral(", %1 left out of the output").arg(m_writer.droppedRows());
    if (m_server)
        more += QStringLiteral(", %1 stream clients").arg(m_server->clientCount());
    if (m_server && m_server->refusedClients() > 0)
        more += QStringLiteral(", %1 refused").arg(m_server->refusedClients());
    if (m_publisher)
        more += QStringLiteral(", MQTT %1, %2 not published")
                    .arg(m_brokerConnected ? QLatin1String("connected")
                                           : QLatin1String("not connected"))
                    .arg(m_publisher->droppedFrames());
    std::fprintf(stderr, "%lld frames, %.1f frames/s, %llu dropped (bad checksum)%s\n",
                 static_cast<long long>(frames), rate,
                 static_cast<unsigned long long>(checksumErrors()), more.toUtf8().constData());
}

void RecordSession::stop()
{
    if (m_publisher && !m_brokerReached)
        end(1, QStringLiteral("interrupted while connecting to the MQTT broker %1")
                   .arg(m_settings.mqtt->url.brokerText()));
    else if (!m_recording)
        end(1, QStringLiteral("interrupted while opening %1").arg(m_settings.port));
    else if (m_writer.isOpen() && m_frames == 0)
        end(1,
            QStringLiteral("interrupted before any sensor data came from %1").arg(m_settings.port));
    else
        end(0);
}

void RecordSession::end(int code, QString error)
{
    if (m_ended)
        return;
    m_ended = true;
    m_noDataTimer->stop();
    m_durationTimer->stop();
    m_progressTimer->stop();
    // Rows whose frequency was never settled are not a recording.
    if (!m_recording)
        m_writer.discardHeldRows();
    m_recording = false;
    // The last lines are written now: a failure there fails the recording too.
    m_writer.finish();
    if (m_server)
        m_server->close();
    if (m_publisher)
        m_publisher->stop();
    if (code == 0 && !m_writer.errorString().isEmpty()) {
        code = 1;
        error =
            QStringLiteral("cannot write %1: %2").arg(m_settings.output, m_writer.errorString());
    } else if (code == 0 && m_writer.droppedRows() > 0) {
        code = 1;
        error = summary() + QStringLiteral("; %1 more left out (the gap lines say where), as the "
                                           "output did not take them in time")
                                .arg(m_writer.droppedRows());
    }
    m_port->closePort();
    emit ended(code, error);
}
