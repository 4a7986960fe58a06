// SPDX-License-Identifier: GPL-3.0-or-later
#include "slaveprotocol.h"

#include "samplerates.h"

#include <QDebug>
#include <QEventLoop>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>

#include <QLoggingCategory>
#include <algorithm>
#include <limits>

namespace {

Q_LOGGING_CATEGORY(lcLink, "eskin.link")

constexpr quint8 kSamplingStart = 0x01;
constexpr quint8 kSamplingStop = 0x00;
// While the reply slot holds this value no status has arrived; a card status of 255 is
// therefore indistinguishable from silence.
constexpr int kReplyPending = 255;
// A point header: axis byte and pressure.
constexpr int kPointHeaderBytes = 3;
// A single-point reply header: axis byte and sensor byte; each entry is pressure and value.
constexpr int kSingleHeaderBytes = 2;
constexpr int kSingleEntryBytes = 4;

qint16 readBe16(const quint8 *p)
{
    return qint16(quint16(p[0]) << 8 | p[1]);
}

Axit_t readAxit(const quint8 *p)
{
    return Axit_t{readBe16(p), readBe16(p + 2), readBe16(p + 4)};
}

quint8 *writeBe16(quint8 *p, qint16 value)
{
    p[0] = quint8(quint16(value) >> 8);
    p[1] = quint8(quint16(value) & 0xFF);
    return p + 2;
}

// Sums never wrap: a run far longer than any check saturates instead of overflowing.
void addSaturated(qint32 &sum, qint16 value)
{
    constexpr qint64 lowest = std::numeric_limits<qint32>::min();
    constexpr qint64 highest = std::numeric_limits<qint32>::max();
    sum = qint32(std::clamp(qint64(sum) + value, lowest, highest));
}

// Payload of a removal request: the header bytes, then every value high byte first. The caller
// has checked that the values fit (at most kMaxRemoveValues).
int buildRemovePayload(quint8 (&buf)[kRemovePayloadBytes], std::initializer_list<quint8> header,
                       const QList<short> &values)
{
    quint8 *p = buf;
    for (quint8 b : header)
        *p++ = b;
    for (short v : values)
        p = writeBe16(p, v);
    return int(p - buf);
}

} // namespace

SlaveProtocol::SlaveProtocol()
    : QObject(nullptr)
    , m_axitList(kMaxSensors, Axit_t{0, 0, 0})
    , m_unawaitedLog(lcLink())
    , m_unaskedLog(lcLink())
    , m_malformedLog(lcLink())
{
    registerDeviceRecordTypes();
}

SlaveProtocol::~SlaveProtocol() = default;

int SlaveProtocol::sendFrame(quint8, const void *, int)
{
    return -1;
}

void SlaveProtocol::setReplyTimeoutMs(int ms)
{
    m_replyTimeoutMs = ms;
    for (AwaitedReply *read : {&m_baselineRead, &m_singleRead, &m_pointRead})
        read->setWindowMs(ms);
}

// ---- Requests -------------------------------------------------------------------------------

void SlaveProtocol::runInTurn(std::function<void()> request)
{
    m_heldRequests.push_back(std::move(request));
    if (m_requestRunning) {
        qCDebug(lcLink) << "request held until the waiting one has its result";
        return;
    }
    m_requestRunning = true;
    while (!m_heldRequests.empty()) {
        const std::function<void()> next = std::move(m_heldRequests.front());
        m_heldRequests.pop_front();
        next();
    }
    m_requestRunning = false;
}

int SlaveProtocol::sendAndWait(quint8 cmd, const void *data, int len, int timeoutMs)
{
    if (m_waiting) {
        qCWarning(lcLink) << "sendAndWait: another request is waiting; command" << cmd
                          << "not sent";
        return kNoReply;
    }
    m_replyResult = kReplyPending;
    m_awaitedCmd = cmd;
    m_waiting = true;
    sendFrame(cmd, data, len);

    // The limit counts 10 ms slices; a reply that is decoded during a slice ends it at once. A
    // worker thread asked to stop (the program is closing) waits no longer.
    QThread *const worker = QThread::currentThread();
    for (int elapsed = 0; m_replyResult == kReplyPending && elapsed < timeoutMs &&
                          !worker->isInterruptionRequested();
         elapsed += kReplyPollMs) {
        QEventLoop slice;
        m_sliceLoop = &slice;
        QTimer::singleShot(kReplyPollMs, &slice, &QEventLoop::quit);
        slice.exec();
        m_sliceLoop = nullptr;
    }
    m_waiting = false;
    return m_replyResult == kReplyPending ? kNoReply : m_replyResult;
}

void SlaveProtocol::endWait(quint8 cmd, int result)
{
    if (!isAwaiting(cmd)) {
        m_unawaitedLog.note(
            [cmd] { return QStringLiteral("reply %1 is not awaited").arg(cmd, 0, 16); });
        return;
    }
    m_replyResult = result;
    if (m_sliceLoop && result != kReplyPending)
        m_sliceLoop->quit();
}

void SlaveProtocol::readCurrentSampleFre(int mesc)
{
    readFrequencyThen(mesc, [this](int res) { emit sampleFreResult(0, res, freIndex()); });
}

void SlaveProtocol::readFrequencyThen(int mesc, std::function<void(int)> outcome)
{
    runInTurn([this, mesc, outcome = std::move(outcome)] {
        outcome(sendAndWait(CmdReadFrequency, nullptr, 0, mesc));
    });
}

void SlaveProtocol::forgetFrequency()
{
    m_freIndex.store(-1, std::memory_order_relaxed);
    m_cardFreIndex = -1;
}

// A card that refuses still runs its former rate, and says so: the index it runs is known again
// and the same choice can be asked for again. Not after a time-out, when the rate is unknown.
// A choice made while this one waited stays.
void SlaveProtocol::takeBackRefusedIndex(int refused)
{
    m_freIndex.compare_exchange_strong(refused, m_cardFreIndex, std::memory_order_relaxed);
}

void SlaveProtocol::setSampleFre(uint freIndex, int mesc)
{
    qCDebug(lcLink) << "freIndex=" << freIndex;
    // Taken at once, before the card has answered and even while the request is held behind
    // another one, so that the interface does not ask for the same index again.
    m_freIndex.store(int(freIndex), std::memory_order_relaxed);
    runInTurn([this, freIndex, mesc] {
        const quint8 index = quint8(freIndex);
        m_askedFreIndex = int(freIndex);
        const int res = sendAndWait(CmdSetFrequency, &index, 1, mesc);
        if (res == kStatusFailed)
            takeBackRefusedIndex(int(freIndex));
        emit sampleFreResult(1, res, 0);
    });
}

int SlaveProtocol::readCheckData()
{
    const int sent = sendFrame(CmdBaselineRead, nullptr, 0);
    if (sent >= 0)
        m_baselineRead.expect();
    return sent;
}

void SlaveProtocol::setChecking(bool check)
{
    if (check) {
        clearSums();
        sendFrame(CmdSampling, &kSamplingStart, 1);
        m_checking = true;
        return;
    }
    sendFrame(CmdSampling, &kSamplingStop, 1);
    QMutexLocker lock(&m_accumulatorLock);
    qCDebug(lcLink) << "checkCnt=" << m_checkCnt;
    if (m_checkCnt > 0) {
        for (AxitSum_t &sum : m_demarcateSums) {
            sum.x /= m_checkCnt;
            sum.y /= m_checkCnt;
            sum.z /= m_checkCnt;
        }
    }
    m_checking = false;
}

void SlaveProtocol::clearSums()
{
    QMutexLocker lock(&m_accumulatorLock);
    zeroSums();
    m_checkCnt = 0;
}

void SlaveProtocol::zeroSums()
{
    std::fill(std::begin(m_demarcateSums), std::end(m_demarcateSums), AxitSum_t{0, 0, 0});
}

void SlaveProtocol::checkDataWrite(QList<AxitSingle_t> &axit)
{
    if (axit.isEmpty() || axit.size() > kMaxSensors) {
        qCDebug(lcLink) << "checkWrite refused:" << axit.size() << "entries";
        emit sampleFreResult(2, kNoReply, 0);
        return;
    }
    runInTurn([this, entries = axit] {
        qCDebug(lcLink) << "checkWrite";
        quint8 *p = m_checkWriteBuf;
        for (const AxitSingle_t &entry : entries) {
            *p++ = quint8(entry.id & 0xFF);
            p = writeBe16(p, entry.x);
            p = writeBe16(p, entry.y);
            p = writeBe16(p, entry.z);
        }
        const int len = int(p - m_checkWriteBuf);
        const int res = sendAndWait(CmdBaselineWrite, m_checkWriteBuf, len, m_replyTimeoutMs);
        emit sampleFreResult(2, res, 0);
    });
}

// ---- Calibration requests -------------------------------------------------------------------

void SlaveProtocol::demarcateStart(uint count)
{
    {
        QMutexLocker lock(&m_accumulatorLock);
        // The check's sample count is left alone: a run may start while a check goes on.
        zeroSums();
        m_demarcateRemaining.store(count, std::memory_order_relaxed);
    }
    sendFrame(CmdSampling, &kSamplingStart, 1);
}

void SlaveProtocol::demarcateStop()
{
    {
        QMutexLocker lock(&m_accumulatorLock);
        m_demarcateRemaining.store(0, std::memory_order_relaxed);
    }
    sendFrame(CmdSampling, &kSamplingStop, 1);
}

void SlaveProtocol::demarcateRemoveAll()
{
    runInTurn([this] {
        const int res = sendAndWait(CmdRemoveAllPoints, nullptr, 0, m_replyTimeoutMs);
        emit demarcateOperationResult(CmdRemoveAllPoints, res, 0);
    });
}

void SlaveProtocol::demarcateRemove(int xyz, QList<short> &list)
{
    if (list.size() > kMaxRemoveValues) {
        qCDebug(lcLink) << "demarcateRemove refused:" << list.size() << "values";
        emit demarcateRemoveResult(kNoReply, xyz, list);
        return;
    }
    runInTurn([this, xyz, values = list]() mutable {
        quint8 payload[kRemovePayloadBytes];
        const int len = buildRemovePayload(payload, {quint8(xyz)}, values);
        const int res = sendAndWait(CmdRemovePoints, payload, len, m_replyTimeoutMs);
        emit demarcateRemoveResult(res, xyz, values);
    });
}

void SlaveProtocol::demarcateSingleRemove(int xyz, int sensorId, QList<short> &list)
{
    if (list.size() > kMaxRemoveValues) {
        qCDebug(lcLink) << "demarcateSingleRemove refused:" << list.size() << "values";
        emit demarcateSingleRemoveResult(kNoReply, xyz, sensorId, list);
        return;
    }
    runInTurn([this, xyz, sensorId, values = list]() mutable {
        for (int i = 0; i < values.size(); ++i)
            qCDebug(lcLink).noquote()
                << QStringLiteral("single remove: %1 %2").arg(i).arg(values[i]);
        quint8 payload[kRemovePayloadBytes];
        const int len = buildRemovePayload(payload, {quint8(xyz), quint8(sensorId)}, values);
        const int res = sendAndWait(CmdSingleRemove, payload, len, m_replyTimeoutMs);
        emit demarcateSingleRemoveResult(res, xyz, sensorId, values);
    });
}

void SlaveProtocol::demarcateSingleRemoveAll(int xyz, int sensorId)
{
    runInTurn([this, xyz, sensorId] {
        const quint8 payload[] = {quint8(xyz), quint8(sensorId)};
        const int res = sendAndWait(CmdSingleRemoveAll, payload, sizeof payload, m_replyTimeoutMs);
        emit demarcateOperationResult(CmdSingleRemoveAll, res, 0);
    });
}

void SlaveProtocol::demarcateSingleWrite(int xyz, int sensorId, short pressure, short value)
{
    runInTurn([this, xyz, sensorId, pressure, value] {
        quint8 payload[6] = {quint8(xyz), quint8(sensorId)};
        writeBe16(writeBe16(payload + 2, pressure), value);
        const int res = sendAndWait(CmdSingleWrite, payload, sizeof payload, m_replyTimeoutMs);
        qCDebug(lcLink) << "single write return:" << res;
        emit demarcateOperationResult(CmdSingleWrite, res, 0);
    });
}

void SlaveProtocol::demarcateSingleRead(int xyz, int sensorId)
{
    const quint8 payload[] = {quint8(xyz), quint8(sensorId)};
    if (sendFrame(CmdSingleRead, payload, sizeof payload) >= 0)
        m_singleRead.expect();
}

void SlaveProtocol::readDemarcateInfo(int xyz)
{
    const quint8 axis = quint8(xyz);
    if (sendFrame(CmdCalibrationPoint, &axis, 1) >= 0)
        m_pointRead.expect();
}

// ---- Decoding -------------------------------------------------------------------------------

void SlaveProtocol::decodeFrame(const quint8 *frame, quint16 len)
{
    if (!frame || len == 0)
        return;
    const quint8 cmd = frame[0];
    const quint8 *payload = frame + 1;
    const int payloadLen = len - 1;
    switch (cmd) {
    case CmdSensorData:
        decodeSensorData(payload, payloadLen);
        break;
    case CmdAccumulation:
        decodeAccumulation(payload, payloadLen);
        break;
    case CmdBaselineRead:
        decodeBaseline(payload, payloadLen);
        break;
    case CmdReadFrequency:
        decodeFrequency(payload, payloadLen);
        break;
    case CmdCalibrationPoint:
        decodeCalibrationPoint(payload, payloadLen);
        break;
    case CmdSingleRead:
        decodeSingleEntries(payload, payloadLen);
        break;
    default:
        if (answeredByStatus(cmd))
            decodeStatus(cmd, payload, payloadLen);
        break;
    }
}

void SlaveProtocol::decodeSensorData(const quint8 *payload, int len)
{
    const int n = len / kAxitWireBytes;
    if (n > kMaxSensors)
        return;
    // clear() keeps the buffer unless the previous frame's list is still held by a receiver.
    m_axitList.clear();
    for (int i = 0; i < n; ++i)
        m_axitList.append(readAxit(payload + i * kAxitWireBytes));
    m_sensorCount.store(n, std::memory_order_relaxed);
    emit AxitReflushGraphic(m_axitList, uint(n));
    emit stampedFrame(m_stamper.next(sampleRateHz(m_cardFreIndex)), m_axitList, uint(n));
}

void SlaveProtocol::decodeAccumulation(const quint8 *payload, int len)
{
    const int n = len / kAxitWireBytes;
    QMutexLocker lock(&m_accumulatorLock);
    const uint remaining = m_demarcateRemaining.load(std::memory_order_relaxed);
    // A check that has already counted 65,535 samples takes no more, as its count is 16-bit;
    // a calibration run still takes each frame until its own countdown ends.
    const bool checkCounts = m_checking && m_checkCnt < std::numeric_limits<quint16>::max();
    if (!checkCounts && remaining == 0)
        return;
    if (n > kMaxSensors)
        return;
    for (int i = 0; i < n; ++i) {
        const Axit_t a = readAxit(payload + i * kAxitWireBytes);
        addSaturated(m_demarcateSums[i].x, a.x);
        addSaturated(m_demarcateSums[i].y, a.y);
        addSaturated(m_demarcateSums[i].z, a.z);
    }
    if (m_checkCnt < std::numeric_limits<quint16>::max())
        ++m_checkCnt;
    if (remaining > 0)
        m_demarcateRemaining.store(remaining - 1, std::memory_order_relaxed);
    m_sensorCount.store(n, std::memory_order_relaxed);
}

void SlaveProtocol::decodeBaseline(const quint8 *payload, int len)
{
    if (!m_baselineRead.take()) {
        m_unaskedLog.note([] { return QStringLiteral("unasked reply dropped (command 81)"); });
        return;
    }
    const int n = len / kAxitWireBytes;
    if (len % kAxitWireBytes != 0 || n > kMaxSensors) {
        qCDebug(lcLink) << "decodeSlaveBase len error";
        emit slaveCheckRec(false);
        return;
    }
    {
        QMutexLocker lock(&m_accumulatorLock);
        for (int i = 0; i < n; ++i) {
            const Axit_t a = readAxit(payload + i * kAxitWireBytes);
            m_demarcateSums[i] = AxitSum_t{a.x, a.y, a.z};
        }
    }
    m_sensorCount.store(n, std::memory_order_relaxed);
    emit slaveCheckRec(true);
}

// Only the read that asked for it takes the index: an unasked one would make the interface
// take the card for running at a rate it was never set to, and not send that rate when chosen.
void SlaveProtocol::decodeFrequency(const quint8 *payload, int len)
{
    if (!isAwaiting(CmdReadFrequency)) {
        m_unaskedLog.note([] { return QStringLiteral("unasked reply dropped (command 84)"); });
        return;
    }
    // A reply without its index byte tells nothing; the read counts as failed.
    if (len < 1) {
        qCDebug(lcLink) << "frequency reply without index";
        endWait(CmdReadFrequency, kNoReply);
        return;
    }
    m_freIndex.store(payload[0], std::memory_order_relaxed);
    m_cardFreIndex = payload[0];
    endWait(CmdReadFrequency, kStatusDone);
}

void SlaveProtocol::decodeStatus(quint8 cmd, const quint8 *payload, int len)
{
    // A status reply without its status byte is a failed reply, never a success.
    const int status = len >= 1 ? payload[0] : kStatusFailed;
    if (cmd == CmdSetFrequency && isAwaiting(cmd) && status == kStatusDone)
        m_cardFreIndex = m_askedFreIndex;
    endWait(cmd, status);
}

void SlaveProtocol::decodeCalibrationPoint(const quint8 *payload, int len)
{
    if (!m_pointRead.takePart()) {
        m_unaskedLog.note([] { return QStringLiteral("unasked reply dropped (command 88)"); });
        return;
    }
    const int k = (len - kPointHeaderBytes) / 2;
    if (len < kPointHeaderBytes || k > kMaxSensors) {
        m_malformedLog.note(
            [len] { return QStringLiteral("calibration point of %1 bytes dropped").arg(len); });
        return;
    }
    const int type = payload[0];
    const short pressure = readBe16(payload + 1);
    QList<short> info;
    info.reserve(k);
    for (int i = 0; i < k; ++i)
        info.append(readBe16(payload + kPointHeaderBytes + 2 * i));
    emit demarcateInfo(type, pressure, info);
}

void SlaveProtocol::decodeSingleEntries(const quint8 *payload, int len)
{
    if (!m_singleRead.take()) {
        m_unaskedLog.note([] { return QStringLiteral("unasked reply dropped (command 8c)"); });
        return;
    }
    if (len < kSingleHeaderBytes) {
        m_malformedLog.note(
            [len] { return QStringLiteral("single-point reply of %1 bytes dropped").arg(len); });
        return;
    }
    const int xyz = payload[0];
    const int sensorId = payload[1];
    const int m = (len - kSingleHeaderBytes) / kSingleEntryBytes;
    QList<singleDemarcateInfoUnit_t> list;
    list.reserve(m);
    for (int i = 0; i < m; ++i) {
        const quint8 *entry = payload + kSingleHeaderBytes + i * kSingleEntryBytes;
        const singleDemarcateInfoUnit_t unit{readBe16(entry), readBe16(entry + 2)};
        qCDebug(lcLink).noquote() << QStringLiteral("single read: %1 %2 %3 %4")
                                         .arg(xyz)
                                         .arg(sensorId)
                                         .arg(unit.pressure)
                                         .arg(unit.value);
        list.append(unit);
    }
    emit demarcateSingleReadInfo(xyz, sensorId, list);
}
