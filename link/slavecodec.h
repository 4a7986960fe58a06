// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SLAVECODEC_H
#define SLAVECODEC_H

#include "linkhealth.h"
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
// complete, and drops a frame that stops arriving halfway after the receive time-out.
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

    // How long a frame may stop arriving halfway before it is dropped; kRxTimeoutMs unless set.
    void setReceiveTimeoutMs(int ms);

    // What has been received since the last reset (the port's open). Until the first whole
    // frame after a reset, nothing counts as an error.
    const LinkCounters &linkCounters() const { return m_counters; }
    void resetLinkCounters()
    {
        m_counters = LinkCounters{};
        m_framed = false;
    }

private slots:
    void rx_timerout_callback();

private:
    void appendAndExtract(const char *data, quint16 n);
    void extractFrames();
    void dropDeadPrefix();
    void countDiscarded(quint64 bytes);
    void countChecksumError();

    std::unique_ptr<quint8[]> m_rxBuf;
    quint16 m_rxLen = 0;
    quint16 m_rxPending = 0;
    // Held bytes before this index have been searched already and hold no frame start; set
    // while a tail that ends in a lone sync byte waits for its length byte.
    quint16 m_searchFrom = 0;
    LinkCounters m_counters;
    // A whole frame has come since the last reset.
    bool m_framed = false;
    quint8 m_frameBuf[kFrameBufBytes] = {};
    QTimer *m_rxTimer = nullptr;
};

#endif // SLAVECODEC_H
