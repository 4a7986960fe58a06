#ifndef SLAVECODEC_H
#define SLAVECODEC_H

#include "slaveprotocol.h"

#include <QByteArray>

#include <memory>

class QTimer;

constexpr quint8 kFrameSync = 0xA5;
constexpr int kMinFrameLength = 2;    // the length byte counts command, payload and checksum
constexpr int kMaxFramePayload = 252; // so that a sent frame fits its 256-byte buffer
constexpr int kTxBufferBytes = 256;
constexpr int kRxBufferBytes = 0x100000;
constexpr int kFrameBufBytes = 1026;
constexpr int kMaxHeldBytes = 0xFFFF; // what the 16-bit receive count can hold
constexpr int kRxTimeoutMs = 500;

// Frame codec of the driver-card link. A frame is
//   A5, L, command, payload (L - 2 bytes), checksum
// where the checksum is the low byte of the sum of every byte before it. The codec assembles
// checked frames from the received byte stream, hands each to decodeFrame() as soon as it is
// complete, and drops a frame that stops arriving halfway after 500 ms.
class SlaveCodec : public SlaveProtocol
{
    Q_OBJECT
public:
    SlaveCodec();
    ~SlaveCodec() override;

    int receiveBytes(const char *data, quint16 n);
    int sendFrame(quint8 cmd, const void *data, int len) override;

    virtual qint64 writeRaw(const char *data, qint64 len);
    virtual qint64 writeRaw(const QByteArray &bytes);

    // The receive state, for diagnostics and tests.
    quint16 rxLen() const { return m_rxLen; }
    quint16 rxPending() const { return m_rxPending; }
    bool rxTimerActive() const;
    // Candidate frames rejected for a wrong checksum since construction (worker thread only).
    quint64 checksumDrops() const { return m_checksumDrops; }

private slots:
    void rx_timerout_callback();

private:
    void appendAndExtract(const char *data, quint16 n);
    void extractFrames();
    void dropDeadPrefix();

    std::unique_ptr<quint8[]> m_rxBuf;
    quint16 m_rxLen = 0;
    quint16 m_rxPending = 0;
    quint8 m_frameBuf[kFrameBufBytes] = {};
    QTimer *m_rxTimer = nullptr;
    quint64 m_checksumDrops = 0;
};

#endif // SLAVECODEC_H
