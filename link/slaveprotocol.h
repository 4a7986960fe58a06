// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SLAVEPROTOCOL_H
#define SLAVEPROTOCOL_H

#include "awaitedreply.h"
#include "devicerecords.h"
#include "diagnosticthrottle.h"
#include "framestamper.h"

#include <QList>
#include <QMutex>
#include <QObject>

#include <atomic>
#include <deque>
#include <functional>

class QEventLoop;

// Command codes of the driver card. Requests go from host to card; replies and unsolicited
// frames carry the code of the same command.
enum SlaveCommand : quint8 {
    CmdSensorData = 0x00,       // card: n x 6 bytes of readings
    CmdAccumulation = 0x01,     // card: n x 6 bytes, sent between sampling start and stop
    CmdBaselineWrite = 0x80,    // host: n x 7 bytes; card: status
    CmdBaselineRead = 0x81,     // host: empty; card: n x 6 bytes
    CmdSampling = 0x82,         // host: 01 = start, 00 = stop
    CmdSetFrequency = 0x83,     // host: frequency index; card: status
    CmdReadFrequency = 0x84,    // host: empty; card: frequency index
    CmdRemovePoints = 0x86,     // host: xyz, pressures; card: status
    CmdRemoveAllPoints = 0x87,  // host: empty; card: status
    CmdCalibrationPoint = 0x88, // host: xyz; card: one frame per stored point
    CmdSingleWrite = 0x89,      // host: xyz, sensorId, pressure, value; card: status
    CmdSingleRemove = 0x8A,     // host: xyz, sensorId, pressures; card: status
    CmdSingleRemoveAll = 0x8B,  // host: xyz, sensorId; card: status
    CmdSingleRead = 0x8C,       // host: xyz, sensorId; card: xyz, sensorId, entries
};

// Requests that the card answers with a one-byte status under the request's own command.
constexpr bool answeredByStatus(quint8 cmd)
{
    switch (cmd) {
    case CmdBaselineWrite:
    case CmdSetFrequency:
    case CmdRemovePoints:
    case CmdRemoveAllPoints:
    case CmdSingleWrite:
    case CmdSingleRemove:
    case CmdSingleRemoveAll:
        return true;
    default:
        return false;
    }
}

// Status bytes of the card's replies; any other value is passed on unchanged.
constexpr int kStatusDone = 0;
constexpr int kStatusFailed = 1;
constexpr int kStatusStorageFull = 2;
// Result of a request whose reply did not come in time.
constexpr int kNoReply = -1;

constexpr int kReplyTimeoutMs = 2000;
constexpr int kReplyPollMs = 10;
constexpr int kAxitWireBytes = 6;     // x, y, z big-endian
constexpr int kBaselineWireBytes = 7; // id byte, then x, y, z
constexpr int kCheckWriteBufBytes = kMaxSensors * kBaselineWireBytes;
// Payload buffer of the removal requests; each list value takes two bytes.
constexpr int kRemovePayloadBytes = 112;
constexpr int kMaxRemoveValues = (kRemovePayloadBytes - 2) / 2;

// Protocol layer of the driver-card object: turns requests into frames, waits for the card's
// status replies, decodes every checked frame and keeps the device state that the interface
// reads. It reaches the wire only through sendFrame() and receives only through decodeFrame().
//
// All of it runs in the worker thread. A request that expects a status waits in a nested event
// loop; requests that arrive meanwhile are held and run, in order, once it has its result, so
// that a status only ever ends the wait of the request it answers.
class SlaveProtocol : public QObject
{
    Q_OBJECT
public:
    SlaveProtocol();
    ~SlaveProtocol() override;

    void readCurrentSampleFre(int mesc);
    void setSampleFre(uint freIndex, int mesc);
    void decodeFrame(const quint8 *frame, quint16 len);
    int sendAndWait(quint8 cmd, const void *data, int len, int timeoutMs);

    // Read by the interface thread without a lock.
    int freIndex() const { return m_freIndex.load(std::memory_order_relaxed); }
    uint demarcateRemaining() const { return m_demarcateRemaining.load(std::memory_order_relaxed); }
    int sensorCount() const { return m_sensorCount.load(std::memory_order_relaxed); }
    // The 16 records; read them only after a blocking setChecking(false) or demarcateStop(),
    // or after slaveCheckRec, when the worker no longer changes them.
    const AxitSum_t *demarcateSums() const { return m_demarcateSums; }

    virtual int sendFrame(quint8 cmd, const void *data, int len);

    // How long a request whose caller names no time-out waits for the card's answer (the
    // baseline write, the calibration requests, the frequency read after an open), and how long
    // the reads answered by frames of their own take their answer; kReplyTimeoutMs unless set.
    int replyTimeoutMs() const { return m_replyTimeoutMs; }
    void setReplyTimeoutMs(int ms);

signals:
    void slaveCheckRec(bool ok);
    void AxitReflushGraphic(QList<Axit_t> &Axit, uint num);
    // Every sensor-data frame once more, right after AxitReflushGraphic, with its stamp: for the
    // readers that need to know which frame it is and when it came.
    void stampedFrame(const FrameStamp &stamp, const QList<Axit_t> &readings, uint num);
    void sampleFreResult(int option, int res, int param);
    void demarcateOperationResult(int option, int res, int param);
    void demarcateInfo(int type, short pressure, QList<short> &info);
    void demarcateRemoveResult(int res, int xyz, QList<short> &list);
    void demarcateSingleRemoveResult(int res, int xyz, int sensorId, QList<short> &list);
    void demarcateSingleReadInfo(int xyz, int sensorId, QList<singleDemarcateInfoUnit_t> &list);

public slots:
    int readCheckData();
    void setChecking(bool check);
    void demarcateStop();
    void demarcateStart(uint count);
    void checkDataWrite(QList<AxitSingle_t> &axit);
    void demarcateRemoveAll();
    void demarcateRemove(int xyz, QList<short> &list);
    void demarcateSingleRemove(int xyz, int sensorId, QList<short> &list);
    void demarcateSingleRemoveAll(int xyz, int sensorId);
    void demarcateSingleWrite(int xyz, int sensorId, short pressure, short value);
    void demarcateSingleRead(int xyz, int sensorId);
    // Asks the card for the array calibration points of one axis; they arrive as 0x88 frames.
    void readDemarcateInfo(int xyz);

protected:
    // Reads the frequency index in turn with the other requests, like readCurrentSampleFre(),
    // but hands the result to `outcome` instead of reporting it.
    void readFrequencyThen(int mesc, std::function<void(int res)> outcome);
    // The port has closed: the card's index is unknown.
    void forgetFrequency();
    // The codec opens an arrival around the bytes of one read (FrameStamper).
    FrameStamper &frameStamper() { return m_stamper; }

    // Sample-frequency index as last set or read; -1 while unknown.
    std::atomic<int> m_freIndex{-1};

private:
    // Runs a request that waits for a status now, or after the request that is waiting now.
    void runInTurn(std::function<void()> request);
    void decodeSensorData(const quint8 *payload, int len);
    void decodeAccumulation(const quint8 *payload, int len);
    void decodeBaseline(const quint8 *payload, int len);
    void decodeFrequency(const quint8 *payload, int len);
    void decodeStatus(quint8 cmd, const quint8 *payload, int len);
    void decodeCalibrationPoint(const quint8 *payload, int len);
    void decodeSingleEntries(const quint8 *payload, int len);
    void endWait(quint8 cmd, int result);
    bool isAwaiting(quint8 cmd) const { return m_waiting && cmd == m_awaitedCmd; }
    void takeBackRefusedIndex(int refused);
    // Both need the accumulator lock: clearSums() takes it, zeroSums() expects it held.
    void clearSums();
    void zeroSums();

    bool m_checking = false;
    std::atomic<uint> m_demarcateRemaining{0};
    quint16 m_checkCnt = 0;
    AxitSum_t m_demarcateSums[kMaxSensors] = {};
    quint8 m_checkWriteBuf[kCheckWriteBufBytes] = {};
    std::atomic<int> m_sensorCount{-1};
    // The index the card has confirmed by a read or an accepted set; -1 while unknown. It is
    // taken when the card's answer is decoded, so that the frames decoded after the answer are
    // stamped with the new rate.
    int m_cardFreIndex = -1;
    // The index a waiting set asks for.
    int m_askedFreIndex = -1;
    FrameStamper m_stamper;
    int m_replyResult = 255;
    QMutex m_accumulatorLock;
    QList<Axit_t> m_axitList;

    // The request waiting now: the command whose status ends the wait, and the slice loop.
    bool m_waiting = false;
    quint8 m_awaitedCmd = 0;
    QEventLoop *m_sliceLoop = nullptr;
    bool m_requestRunning = false;
    std::deque<std::function<void()>> m_heldRequests;

    int m_replyTimeoutMs = kReplyTimeoutMs;
    // Reads answered by frames of their own, not by a status.
    AwaitedReply m_baselineRead{kReplyTimeoutMs};
    AwaitedReply m_singleRead{kReplyTimeoutMs};
    AwaitedReply m_pointRead{kReplyTimeoutMs};

    // Frames a card can send by the thousand, each kind summed up in the diagnostics.
    DiagnosticThrottle m_unawaitedLog;
    DiagnosticThrottle m_unaskedLog;
    DiagnosticThrottle m_malformedLog;
};

#endif // SLAVEPROTOCOL_H
