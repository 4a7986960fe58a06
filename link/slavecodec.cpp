// SPDX-License-Identifier: GPL-3.0-or-later
#include "slavecodec.h"

#include <QDebug>
#include <QTimer>

#include <QLoggingCategory>
#include <algorithm>
#include <cstring>

namespace {

Q_LOGGING_CATEGORY(lcLink, "eskin.link")

// Low byte of the plain sum of the bytes: no seed, no complement.
quint8 checksum(const quint8 *data, int len)
{
    quint8 sum = 0;
    for (int i = 0; i < len; ++i)
        sum = quint8(sum + data[i]);
    return sum;
}

QString hexLine(const quint8 *data, int len)
{
    QString line = QStringLiteral("tx data : ");
    line.reserve(line.size() + 3 * len);
    for (int i = 0; i < len; ++i)
        line += QStringLiteral("%1 ").arg(data[i], 2, 16, QLatin1Char('0')).toUpper();
    return line;
}

} // namespace

SlaveCodec::SlaveCodec()
    : m_rxBuf(new quint8[kRxBufferBytes]())
    , m_rxTimer(new QTimer(this))
{
    m_rxTimer->setInterval(kRxTimeoutMs);
    connect(m_rxTimer, &QTimer::timeout, this, &SlaveCodec::rx_timerout_callback);
}

SlaveCodec::~SlaveCodec()
{
    m_rxTimer->stop();
}

bool SlaveCodec::rxTimerActive() const
{
    return m_rxTimer->isActive();
}

void SlaveCodec::setReceiveTimeoutMs(int ms)
{
    m_rxTimer->setInterval(ms);
}

qint64 SlaveCodec::writeRaw(const char *, qint64)
{
    return 0;
}

qint64 SlaveCodec::writeRaw(const QByteArray &)
{
    return 0;
}

int SlaveCodec::sendFrame(quint8 cmd, const void *data, int len)
{
    if (len < 0 || len > kMaxFramePayload || (len > 0 && !data)) {
        qCWarning(lcLink) << "sendFrame: payload of" << len << "bytes refused, command" << cmd;
        return -1;
    }
    quint8 frame[kTxBufferBytes];
    const int length = len + 2;
    frame[0] = kFrameSync;
    frame[1] = quint8(length);
    frame[2] = cmd;
    if (len > 0)
        std::memcpy(frame + 3, data, size_t(len));
    frame[length + 1] = checksum(frame, length + 1);
    qCDebug(lcLink).noquote() << hexLine(frame, length + 2);
    return int(writeRaw(reinterpret_cast<const char *>(frame), length + 2));
}

int SlaveCodec::receiveBytes(const char *data, quint16 n)
{
    if (!data)
        return 0;
    m_counters.bytesReceived += n;
    frameStamper().beginArrival();
    // The held count is 16-bit: a chunk that would overflow it is taken in pieces.
    while (n > 0) {
        if (m_rxLen + n > kMaxHeldBytes)
            dropDeadPrefix();
        const quint16 take = quint16(std::min<int>(n, kMaxHeldBytes - m_rxLen));
        std::memcpy(m_rxBuf.get() + m_rxLen, data, take);
        m_rxLen = quint16(m_rxLen + take);
        extractFrames();
        data += take;
        n = quint16(n - take);
    }
    frameStamper().endArrival();
    if (m_rxPending != 0)
        m_rxTimer->start();
    else
        m_rxTimer->stop();
    return 0;
}

// Only a tail that ends in a lone sync byte can hold bytes before the frame start, and those
// bytes have all been searched already: no frame can begin in them.
void SlaveCodec::dropDeadPrefix()
{
    if (m_rxPending == 1 && m_rxLen > 1) {
        countDiscarded(quint64(m_rxLen - 1));
        m_searchFrom = 0;
        m_rxBuf[0] = kFrameSync;
        std::memset(m_rxBuf.get() + 1, 0, size_t(m_rxLen - 1));
        m_rxLen = 1;
    }
}

// Frames are taken from the front of the held bytes; `held` points at the first byte still
// held, and the buffer is compacted once when the chunk is exhausted rather than after every
// frame, so a chunk of many frames costs one move.
//
// The search resumes after the bytes a previous pass has already rejected: they would be
// rejected again, and counted again.
void SlaveCodec::extractFrames()
{
    quint8 *const buf = m_rxBuf.get();
    quint8 *held = buf;
    int n = m_rxLen;
    int s0 = m_searchFrom;
    m_searchFrom = 0;
    m_rxPending = 0;
    while (n > 0) {
        const void *sync = s0 < n ? std::memchr(held + s0, kFrameSync, size_t(n - s0)) : nullptr;
        if (!sync) {
            std::memset(buf, 0, size_t(held - buf) + size_t(n));
            countDiscarded(quint64(n));
            m_rxLen = 0;
            return;
        }
        const int s = int(static_cast<const quint8 *>(sync) - held);
        m_rxPending = 1;
        if (s + 1 == n) {
            m_searchFrom = quint16(s); // the length byte has not arrived: everything is held
            break;
        }
        const int length = held[s + 1];
        if (length < kMinFrameLength) {
            m_rxPending = 0;
            s0 = s + 1;
            continue;
        }
        if (length + 2 > n - s) {
            // Incomplete: only the frame's own bytes are kept, to wait for the rest.
            countDiscarded(quint64(s));
            held += s;
            n -= s;
            m_rxPending = quint16(n);
            break;
        }
        if (checksum(held + s, length + 1) != held[s + length + 1]) {
            // Only the sync byte is rejected: a frame may start inside the rejected bytes.
            countChecksumError();
            m_rxPending = 0;
            s0 = s + 1;
            continue;
        }
        std::memcpy(m_frameBuf, held + s + 2, size_t(length - 1));
        countDiscarded(quint64(s));
        m_framed = true;
        ++m_counters.framesByCommand[m_frameBuf[0]];
        held += s + length + 2;
        n -= s + length + 2;
        m_rxLen = quint16(n);
        m_rxPending = 0;
        decodeFrame(m_frameBuf, quint16(length - 1));
        s0 = 0;
    }
    if (held != buf)
        std::memmove(buf, held, size_t(n));
    m_rxLen = quint16(n);
}

void SlaveCodec::countDiscarded(quint64 bytes)
{
    (m_framed ? m_counters.discardedBytes : m_counters.bytesBeforeFirstFrame) += bytes;
}

// A false frame start inside the piece of a frame that an open lands in is no error.
void SlaveCodec::countChecksumError()
{
    if (m_framed)
        ++m_counters.checksumErrors;
}

void SlaveCodec::rx_timerout_callback()
{
    if (m_rxLen > 0 && !m_framed) {
        m_counters.bytesBeforeFirstFrame += m_rxLen;
    } else if (m_rxLen > 0) {
        ++m_counters.partialFramesTimedOut;
        // A lone sync byte is held with every byte before it; those were never part of a frame.
        if (m_rxPending == 1)
            m_counters.discardedBytes += quint64(m_rxLen - 1);
    }
    m_searchFrom = 0;
    m_rxPending = 0;
    m_rxLen = 0;
    std::memset(m_rxBuf.get(), 0, kRxBufferBytes);
    m_rxTimer->stop();
}
