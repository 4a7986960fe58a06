// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardmodel.h"

#include "skinreadings.h"
#include "slavecodec.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMsPerSecond = 1000;

// Demonstration points stored on a new card, on purpose not in ascending pressure order.
constexpr qint16 kDemoPressures[] = {200, 50, 100};
// Units per 1.00 of pressure on each axis; pressing drives Z negative.
constexpr int kDemoGain[kAxisCount] = {300, 300, -1500};

quint8 checksum(const char *data, qsizetype len)
{
    quint8 sum = 0;
    for (qsizetype i = 0; i < len; ++i)
        sum = quint8(sum + quint8(data[i]));
    return sum;
}

QByteArray frame(quint8 cmd, const QByteArray &payload)
{
    Q_ASSERT(payload.size() <= kMaxFramePayload);
    QByteArray out;
    out.reserve(payload.size() + 4);
    out.append(char(kFrameSync));
    out.append(char(payload.size() + 2));
    out.append(char(cmd));
    out.append(payload);
    out.append(char(checksum(out.constData(), out.size())));
    return out;
}

void appendWord(QByteArray &out, int value)
{
    out.append(char((value >> 8) & 0xFF));
    out.append(char(value & 0xFF));
}

qint16 wordAt(const QByteArray &bytes, qsizetype pos)
{
    return qint16((quint8(bytes.at(pos)) << 8) | quint8(bytes.at(pos + 1)));
}

int byteAt(const QByteArray &bytes, qsizetype pos)
{
    return quint8(bytes.at(pos));
}

// Pressures given as 2-byte values from `from` on; false when a byte is left over.
bool readPressures(const QByteArray &payload, qsizetype from, QList<qint16> &pressures)
{
    if ((payload.size() - from) % 2 != 0)
        return false;
    for (qsizetype pos = from; pos < payload.size(); pos += 2)
        pressures.append(wordAt(payload, pos));
    return true;
}

} // namespace

CardModel::CardModel(QObject *parent)
    : QObject(parent)
    , m_readings(std::make_unique<SkinReadings>(0))
    , m_tickTimer(new QTimer(this))
    , m_chunkTimer(new QTimer(this))
{
    m_tickTimer->setTimerType(Qt::PreciseTimer);
    m_chunkTimer->setTimerType(Qt::PreciseTimer);
    m_chunkTimer->setSingleShot(true);
    connect(m_tickTimer, &QTimer::timeout, this, &CardModel::onTick);
    connect(m_chunkTimer, &QTimer::timeout, this, [this] {
        if (!m_chunks.empty())
            releaseChunks();
    });
    m_clock.start();
    setSeed(QRandomGenerator::system()->generate());
    storeDemonstrationPoints();
}

CardModel::~CardModel()
{
    stop();
}

// ---- Configuration --------------------------------------------------------------------------

void CardModel::setSensorCount(int count)
{
    m_sensorCount = std::clamp(count, 1, kMaxSensors);
}

int CardModel::sensorCount() const
{
    return m_sensorCount;
}

void CardModel::setSeed(quint32 seed)
{
    m_rng.seed(seed);
    m_readings->reseed(seed);
    resetBaseline();
}

void CardModel::setFrequencyIndex(int index)
{
    if (index < 0 || index >= kCardFrequencyCount)
        return;
    m_frequencyIndex = index;
    if (m_running)
        restartSchedule();
}

int CardModel::frequencyIndex() const
{
    return m_frequencyIndex;
}

void CardModel::setSinglePointCapacity(int entries)
{
    m_singlePointCapacity = std::clamp(entries, 0, kMaxSinglePointCapacity);
}

int CardModel::singlePointCapacity() const
{
    return m_singlePointCapacity;
}

// ---- Faults ---------------------------------------------------------------------------------

void CardModel::setSilent(bool silent)
{
    m_silent = silent;
}

void CardModel::setRefusing(bool refusing)
{
    m_refusing = refusing;
}

void CardModel::setStorageFull(bool full)
{
    m_storageFull = full;
}

void CardModel::setCorruption(double fraction)
{
    m_corruption = std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0);
}

void CardModel::setSplit(int chunkBytes, int delayMs)
{
    m_chunkBytes = std::max(chunkBytes, 0);
    m_chunkDelayMs = std::max(delayMs, 0);
}

void CardModel::setStreaming(bool streaming)
{
    m_streaming = streaming;
}

bool CardModel::isStreaming() const
{
    return m_streaming;
}

void CardModel::hangUp()
{
    emit hangUpRequested();
}

void CardModel::setWaitsForHost(bool waits)
{
    m_waitsForHost = waits;
}

bool CardModel::waitsForHost() const
{
    return m_waitsForHost;
}

void CardModel::setHostOpen(bool open)
{
    if (open == m_hostOpen)
        return;
    m_hostOpen = open;
    emit hostOpenChanged(open);
}

void CardModel::setFixedFrequency(bool fixed)
{
    m_fixedFrequency = fixed;
}

// ---- Stored state ---------------------------------------------------------------------------

QList<AxitSingle_t> CardModel::baseline() const
{
    return QList<AxitSingle_t>(std::begin(m_baseline), std::end(m_baseline));
}

void CardModel::storeCalibrationPoint(int xyz, qint16 pressure, const QList<qint16> &values)
{
    if (xyz < 0 || xyz >= kAxisCount)
        return;
    CardCalibrationPoint point{pressure,
                               values.first(std::min<qsizetype>(values.size(), kMaxSensors))};
    std::vector<CardCalibrationPoint> &points = m_points[xyz];
    const auto same = std::find_if(points.begin(), points.end(),
                                   [pressure](const auto &p) { return p.pressure == pressure; });
    if (same != points.end())
        *same = point;
    else
        points.push_back(point);
}

QList<CardCalibrationPoint> CardModel::calibrationPoints(int xyz) const
{
    if (xyz < 0 || xyz >= kAxisCount)
        return {};
    return QList<CardCalibrationPoint>(m_points[xyz].begin(), m_points[xyz].end());
}

QList<singleDemarcateInfoUnit_t> CardModel::singlePoints(int xyz, int sensorId) const
{
    if (xyz < 0 || xyz >= kAxisCount || sensorId < 0 || sensorId >= kMaxSensors)
        return {};
    return m_singlePoints[xyz][sensorId];
}

bool CardModel::isSampling() const
{
    return m_sampling;
}

quint64 CardModel::sensorFramesSent() const
{
    return m_sensorFramesSent;
}

quint64 CardModel::intactSensorFramesSent() const
{
    return m_intactSensorFramesSent;
}

void CardModel::resetBaseline()
{
    for (int i = 0; i < kMaxSensors; ++i) {
        const Axit_t offset = m_readings->offset(i);
        m_baseline[i] = {quint16(i), offset.x, offset.y, offset.z};
    }
}

// Values in proportion to the pressure, a little different from sensor to sensor.
void CardModel::storeDemonstrationPoints()
{
    for (int xyz = 0; xyz < kAxisCount; ++xyz) {
        for (qint16 pressure : kDemoPressures) {
            QList<qint16> values;
            for (int i = 0; i < kMaxSensors; ++i)
                values.append(qint16(pressure * kDemoGain[xyz] * (90 + 2 * i) / 10000));
            storeCalibrationPoint(xyz, pressure, values);
        }
    }
}

// ---- Running --------------------------------------------------------------------------------

void CardModel::start()
{
    m_running = true;
    m_stopped = false;
    restartSchedule();
}

void CardModel::stop()
{
    m_running = false;
    m_stopped = true;
    m_tickTimer->stop();
    m_chunkTimer->stop();
    m_chunks.clear();
}

void CardModel::restartSchedule()
{
    if (!m_ownSampling) {
        m_tickTimer->stop();
        return;
    }
    const int hz = kSampleRatesHz[m_frequencyIndex];
    m_schedule.restart(m_clock.nsecsElapsed(), hz);
    m_tickTimer->start(kMsPerSecond / hz);
}

void CardModel::onTick()
{
    const int due = m_schedule.framesDue(m_clock.nsecsElapsed());
    // Whoever receives the bytes may stop the card in between.
    for (int i = 0; i < due && m_running; ++i)
        sampleOnce();
}

// One sample feeds both the sensor-data frame and, while sampling, the accumulation frame.
void CardModel::sampleOnce()
{
    const double dt = 1.0 / kSampleRatesHz[m_frequencyIndex];
    sampleReadings(m_readings->next(dt, m_sensorCount));
}

void CardModel::setOwnSampling(bool own)
{
    m_ownSampling = own;
    if (m_running)
        restartSchedule();
}

void CardModel::sampleReadings(const QList<Axit_t> &readings)
{
    QByteArray payload;
    payload.reserve(readings.size() * kAxitWireBytes);
    for (const Axit_t &a : readings) {
        appendWord(payload, a.x);
        appendWord(payload, a.y);
        appendWord(payload, a.z);
    }
    if (m_streaming)
        sendSample(CmdSensorData, payload);
    if (m_sampling)
        sendSample(CmdAccumulation, payload);
}

// ---- Receiving ------------------------------------------------------------------------------

void CardModel::receiveFromHost(const QByteArray &bytes)
{
    m_rx.append(bytes);
    extractRequests();
}

// Frames are taken as the host's codec takes them: a length below 2 or a checksum mismatch
// skips only the sync byte, and the bytes after it are searched again.
void CardModel::extractRequests()
{
    qsizetype from = 0;
    for (;;) {
        const qsizetype s = m_rx.indexOf(char(kFrameSync), from);
        if (s < 0) {
            m_rx.clear();
            return;
        }
        if (s + 1 >= m_rx.size()) {
            m_rx.remove(0, s);
            return;
        }
        const int length = byteAt(m_rx, s + 1);
        if (length < kMinFrameLength) {
            from = s + 1;
            continue;
        }
        if (s + length + 2 > m_rx.size()) {
            // A noise byte that looks like a sync byte must not hold back a frame that has
            // arrived whole behind it: the host waits for the answer and sends nothing more.
            if (holdsCheckedFrameAfter(s)) {
                from = s + 1;
                continue;
            }
            m_rx.remove(0, s);
            return;
        }
        if (checksum(m_rx.constData() + s, length + 1) != quint8(m_rx.at(s + length + 1))) {
            from = s + 1;
            continue;
        }
        const quint8 cmd = quint8(m_rx.at(s + 2));
        const QByteArray payload = m_rx.mid(s + 3, length - 2);
        m_rx.remove(0, s + length + 2);
        from = 0;
        emit requestReceived(cmd, payload);
        handleRequest(cmd, payload);
    }
}

bool CardModel::holdsCheckedFrameAfter(qsizetype start) const
{
    for (qsizetype s = m_rx.indexOf(char(kFrameSync), start + 1); s >= 0 && s + 1 < m_rx.size();
         s = m_rx.indexOf(char(kFrameSync), s + 1)) {
        const int length = byteAt(m_rx, s + 1);
        if (length >= kMinFrameLength && s + length + 2 <= m_rx.size() &&
            checksum(m_rx.constData() + s, length + 1) == quint8(m_rx.at(s + length + 1)))
            return true;
    }
    return false;
}

void CardModel::handleRequest(quint8 cmd, const QByteArray &payload)
{
    if (m_refusing && answeredByStatus(cmd)) {
        sendStatus(cmd, kStatusFailed);
        return;
    }
    switch (cmd) {
    case CmdBaselineWrite:
        sendStatus(cmd, writeBaseline(payload));
        break;
    case CmdBaselineRead:
        answerBaseline();
        break;
    case CmdSampling:
        handleSampling(payload);
        break;
    case CmdSetFrequency:
        sendStatus(cmd, setFrequencyFromHost(payload));
        break;
    case CmdReadFrequency:
        sendReply(cmd, QByteArray(1, char(m_frequencyIndex)));
        break;
    case CmdRemovePoints:
        sendStatus(cmd, removePoints(payload));
        break;
    case CmdRemoveAllPoints:
        for (auto &points : m_points)
            points.clear();
        sendStatus(cmd, kStatusDone);
        break;
    case CmdCalibrationPoint:
        answerPoints(payload);
        break;
    case CmdSingleWrite:
        sendStatus(cmd, writeSinglePoint(payload));
        break;
    case CmdSingleRemove:
        sendStatus(cmd, removeSinglePoints(payload));
        break;
    case CmdSingleRemoveAll:
        sendStatus(cmd, clearSinglePoints(payload));
        break;
    case CmdSingleRead:
        answerSinglePoints(payload);
        break;
    default:
        break; // the card ignores commands it does not know
    }
}

// Nothing is stored unless every entry is well formed.
int CardModel::writeBaseline(const QByteArray &payload)
{
    if (payload.isEmpty() || payload.size() % kBaselineWireBytes != 0)
        return kStatusFailed;
    for (qsizetype pos = 0; pos < payload.size(); pos += kBaselineWireBytes) {
        if (byteAt(payload, pos) >= kMaxSensors)
            return kStatusFailed;
    }
    for (qsizetype pos = 0; pos < payload.size(); pos += kBaselineWireBytes) {
        const int id = byteAt(payload, pos);
        m_baseline[id] = {quint16(id), wordAt(payload, pos + 1), wordAt(payload, pos + 3),
                          wordAt(payload, pos + 5)};
    }
    return kStatusDone;
}

void CardModel::answerBaseline()
{
    QByteArray payload;
    for (int i = 0; i < m_sensorCount; ++i) {
        appendWord(payload, m_baseline[i].x);
        appendWord(payload, m_baseline[i].y);
        appendWord(payload, m_baseline[i].z);
    }
    sendReply(CmdBaselineRead, payload);
}

void CardModel::handleSampling(const QByteArray &payload)
{
    if (payload.isEmpty())
        return;
    if (payload.at(0) == 1)
        m_sampling = true;
    else if (payload.at(0) == 0)
        m_sampling = false;
}

int CardModel::setFrequencyFromHost(const QByteArray &payload)
{
    if (payload.isEmpty() || byteAt(payload, 0) >= kCardFrequencyCount ||
        (m_fixedFrequency && byteAt(payload, 0) != m_frequencyIndex))
        return kStatusFailed;
    setFrequencyIndex(byteAt(payload, 0));
    return kStatusDone;
}

// Points that exist are removed even when others of the list do not.
int CardModel::removePoints(const QByteArray &payload)
{
    QList<qint16> pressures;
    if (payload.isEmpty() || byteAt(payload, 0) >= kAxisCount ||
        !readPressures(payload, 1, pressures))
        return kStatusFailed;
    std::vector<CardCalibrationPoint> &points = m_points[byteAt(payload, 0)];
    int status = kStatusDone;
    for (qint16 pressure : pressures) {
        const auto found = std::find_if(points.begin(), points.end(), [pressure](const auto &p) {
            return p.pressure == pressure;
        });
        if (found == points.end())
            status = kStatusFailed;
        else
            points.erase(found);
    }
    return status;
}

void CardModel::answerPoints(const QByteArray &payload)
{
    if (payload.isEmpty() || byteAt(payload, 0) >= kAxisCount)
        return;
    const int xyz = byteAt(payload, 0);
    for (const CardCalibrationPoint &point : m_points[xyz]) {
        QByteArray answer(1, char(xyz));
        appendWord(answer, point.pressure);
        const qsizetype count = std::min<qsizetype>(point.values.size(), m_sensorCount);
        for (qsizetype i = 0; i < count; ++i)
            appendWord(answer, point.values.at(i));
        sendReply(CmdCalibrationPoint, answer);
    }
}

CardModel::SinglePointList *CardModel::singleList(const QByteArray &payload)
{
    if (payload.size() < 2 || byteAt(payload, 0) >= kAxisCount || byteAt(payload, 1) >= kMaxSensors)
        return nullptr;
    return &m_singlePoints[byteAt(payload, 0)][byteAt(payload, 1)];
}

// A known pressure is replaced in place even when the list is full.
int CardModel::writeSinglePoint(const QByteArray &payload)
{
    SinglePointList *list = singleList(payload);
    if (!list || payload.size() != 6)
        return kStatusFailed;
    if (m_storageFull)
        return kStatusStorageFull;
    const singleDemarcateInfoUnit_t entry{wordAt(payload, 2), wordAt(payload, 4)};
    for (singleDemarcateInfoUnit_t &stored : *list) {
        if (stored.pressure == entry.pressure) {
            stored.value = entry.value;
            return kStatusDone;
        }
    }
    if (list->size() >= m_singlePointCapacity)
        return kStatusStorageFull;
    list->append(entry);
    return kStatusDone;
}

int CardModel::removeSinglePoints(const QByteArray &payload)
{
    SinglePointList *list = singleList(payload);
    QList<qint16> pressures;
    if (!list || !readPressures(payload, 2, pressures))
        return kStatusFailed;
    int status = kStatusDone;
    for (qint16 pressure : pressures) {
        const auto removed =
            list->removeIf([pressure](const auto &e) { return e.pressure == pressure; });
        if (removed == 0)
            status = kStatusFailed;
    }
    return status;
}

int CardModel::clearSinglePoints(const QByteArray &payload)
{
    SinglePointList *list = singleList(payload);
    if (!list)
        return kStatusFailed;
    list->clear();
    return kStatusDone;
}

void CardModel::answerSinglePoints(const QByteArray &payload)
{
    if (payload.size() < 2)
        return;
    QByteArray answer = payload.first(2);
    if (const SinglePointList *list = singleList(payload)) {
        for (const singleDemarcateInfoUnit_t &entry : *list) {
            appendWord(answer, entry.pressure);
            appendWord(answer, entry.value);
        }
    }
    sendReply(CmdSingleRead, answer);
}

// ---- Sending --------------------------------------------------------------------------------

void CardModel::sendReply(quint8 cmd, const QByteArray &payload)
{
    if (!m_silent)
        transmit(frame(cmd, payload));
}

void CardModel::sendStatus(quint8 cmd, int status)
{
    sendReply(cmd, QByteArray(1, char(status)));
}

void CardModel::sendSample(quint8 cmd, const QByteArray &payload)
{
    ++m_sensorFramesSent;
    if (transmit(frame(cmd, payload)))
        ++m_intactSensorFramesSent;
}

// Returns whether the bytes left without a flipped bit.
bool CardModel::transmit(QByteArray bytes)
{
    if (m_stopped)
        return false;
    const bool intact = corrupt(bytes) == 0;
    if (m_chunkBytes == 0 && m_chunks.empty() && !m_releasing) {
        emit bytesToHost(bytes);
        return intact;
    }
    // Later writes queue behind the chunks of earlier ones, even once splitting is off.
    const qsizetype step = m_chunkBytes > 0 ? m_chunkBytes : bytes.size();
    for (qsizetype pos = 0; pos < bytes.size(); pos += step)
        m_chunks.push_back(bytes.mid(pos, step));
    if (!m_chunkTimer->isActive() && !m_releasing)
        releaseChunks();
    return intact;
}

int CardModel::corrupt(QByteArray &bytes)
{
    if (m_corruption <= 0.0)
        return 0;
    int flipped = 0;
    for (char &byte : bytes) {
        if (m_rng.generateDouble() < m_corruption) {
            byte = char(quint8(byte) ^ (1u << m_rng.bounded(8)));
            ++flipped;
        }
    }
    return flipped;
}

// Emits the next chunk now and the rest delayMs apart. The timer also runs after the last
// chunk, so that the first chunk of the next write keeps the same distance.
void CardModel::releaseChunks()
{
    m_releasing = true;
    do {
        const QByteArray chunk = m_chunks.front();
        m_chunks.pop_front();
        emit bytesToHost(chunk);
    } while (!m_chunks.empty() && m_chunkDelayMs == 0);
    m_releasing = false;
    if (m_chunkDelayMs > 0 && !m_stopped)
        m_chunkTimer->start(m_chunkDelayMs);
}
