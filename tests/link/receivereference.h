// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECEIVEREFERENCE_H
#define RECEIVEREFERENCE_H

// A plain model of the receive path (frame extraction and the decoding of what the card sends),
// written apart from the codec, and a replay that feeds a byte stream through the real codec in
// given pieces and compares both after every piece. The fuzz-style test and the libFuzzer target
// share it.

#include "slavecodec.h"

#include <QByteArray>
#include <QList>
#include <QMetaObject>
#include <QStringList>

#include <algorithm>
#include <limits>

namespace receiveref {

inline qint16 be16(const QByteArray &payload, qsizetype at)
{
    return qint16(quint16(quint8(payload.at(at))) << 8 | quint8(payload.at(at + 1)));
}

inline QString readingsEvent(const QList<Axit_t> &readings)
{
    QStringList parts;
    for (const Axit_t &a : readings)
        parts << QStringLiteral("(%1,%2,%3)").arg(a.x).arg(a.y).arg(a.z);
    return QStringLiteral("readings ") + parts.join(' ');
}

inline QString pointEvent(int type, short pressure, const QList<short> &values)
{
    QStringList parts;
    for (short v : values)
        parts << QString::number(v);
    return QStringLiteral("point %1 %2 [%3]").arg(type).arg(pressure).arg(parts.join(','));
}

inline QString singleEvent(int xyz, int sensorId, const QList<singleDemarcateInfoUnit_t> &list)
{
    QStringList parts;
    for (const singleDemarcateInfoUnit_t &e : list)
        parts << QStringLiteral("(%1,%2)").arg(e.pressure).arg(e.value);
    return QStringLiteral("single %1 %2 [%3]").arg(xyz).arg(sensorId).arg(parts.join(','));
}

// The extraction rule over the whole stream seen so far. Everything before `m_from` is settled:
// decoded, or skipped whatever follows; the search resumes there with every new piece.
class ReferenceExtractor
{
public:
    // Appends a piece; returns the command-and-payload of every frame it completes, in order.
    QList<QByteArray> feed(const QByteArray &piece)
    {
        m_stream += piece;
        QList<QByteArray> frames;
        const qsizetype n = m_stream.size();
        qsizetype pos = m_from;
        for (;;) {
            const qsizetype s = m_stream.indexOf(char(kFrameSync), pos);
            if (s < 0) {
                m_from = n;
                m_pending = 0;
                return frames;
            }
            m_from = s;
            m_pending = int(std::min<qsizetype>(n - s, std::numeric_limits<int>::max()));
            if (s + 1 == n)
                return frames;
            const int length = quint8(m_stream.at(s + 1));
            if (length < 2) {
                pos = s + 1;
                continue;
            }
            if (s + length + 2 > n)
                return frames;
            quint8 sum = 0;
            for (qsizetype i = s; i <= s + length; ++i)
                sum = quint8(sum + quint8(m_stream.at(i)));
            if (sum != quint8(m_stream.at(s + length + 1))) {
                pos = s + 1;
                continue;
            }
            frames << m_stream.mid(s + 2, length - 1);
            pos = s + length + 2;
        }
    }

    // The codec's receive time-out: whatever is held is gone.
    void dropHeld()
    {
        m_from = m_stream.size();
        m_pending = 0;
    }

    // What the codec must report as rxPending: 0, 1 for a lone sync byte at the end, or the
    // bytes held of an incomplete frame.
    int pending() const { return m_pending; }

private:
    QByteArray m_stream;
    qsizetype m_from = 0;
    int m_pending = 0;
};

// Requests whose replies the card may send: a reply that nobody asked for changes nothing.
// Baseline and single-point reads take one reply each; a point read takes every point.
struct ReferenceReads
{
    int baseline = 0;
    int single = 0;
    bool points = false;
};

// What the protocol layer does with each frame the card sends, as far as anyone can see it.
struct ReferenceCard
{
    ReferenceReads reads;
    qint64 sums[kMaxSensors][kAxisCount] = {};
    quint16 checkCnt = 0;
    bool checking = false;
    uint remaining = 0;
    int freIndex = -1;
    int sensorCount = -1;
    QStringList events;

    void decode(const QByteArray &frame)
    {
        const quint8 cmd = quint8(frame.at(0));
        const QByteArray p = frame.mid(1);
        const int n = int(p.size() / 6);
        switch (cmd) {
        case 0x00:
            if (n <= kMaxSensors) {
                QList<Axit_t> readings;
                for (int i = 0; i < n; ++i)
                    readings << Axit_t{be16(p, 6 * i), be16(p, 6 * i + 2), be16(p, 6 * i + 4)};
                events << readingsEvent(readings);
                sensorCount = n;
            }
            break;
        case 0x01:
            accumulate(p, n);
            break;
        case 0x81:
            if (reads.baseline == 0)
                break;
            --reads.baseline;
            if (p.size() % 6 != 0 || n > kMaxSensors) {
                events << QStringLiteral("baseline 0");
                break;
            }
            for (int i = 0; i < n; ++i)
                for (int axis = 0; axis < kAxisCount; ++axis)
                    sums[i][axis] = be16(p, 6 * i + 2 * axis);
            sensorCount = n;
            events << QStringLiteral("baseline 1");
            break;
        case 0x84:
            // Only a frequency read that waits for it takes the index; no replay asks for one.
            break;
        case 0x88:
            if (reads.points && p.size() >= 3 && (p.size() - 3) / 2 <= kMaxSensors) {
                QList<short> values;
                for (qsizetype at = 3; at + 1 < p.size(); at += 2)
                    values << be16(p, at);
                events << pointEvent(quint8(p.at(0)), be16(p, 1), values);
            }
            break;
        case 0x8C:
            if (reads.single == 0)
                break;
            --reads.single;
            if (p.size() >= 2) {
                QList<singleDemarcateInfoUnit_t> entries;
                for (qsizetype at = 2; at + 3 < p.size(); at += 4)
                    entries << singleDemarcateInfoUnit_t{be16(p, at), be16(p, at + 2)};
                events << singleEvent(quint8(p.at(0)), quint8(p.at(1)), entries);
            }
            break;
        default:
            break;
        }
    }

    void accumulate(const QByteArray &p, int n)
    {
        const bool checkCounts = checking && checkCnt < 0xFFFF;
        if ((!checkCounts && remaining == 0) || n > kMaxSensors)
            return;
        for (int i = 0; i < n; ++i)
            for (int axis = 0; axis < kAxisCount; ++axis)
                sums[i][axis] = std::clamp<qint64>(sums[i][axis] + be16(p, 6 * i + 2 * axis),
                                                   std::numeric_limits<qint32>::min(),
                                                   std::numeric_limits<qint32>::max());
        if (checkCnt < 0xFFFF)
            ++checkCnt;
        if (remaining > 0)
            --remaining;
        sensorCount = n;
    }

    void endCheck()
    {
        for (auto &record : sums)
            for (qint64 &sum : record)
                sum = checkCnt > 0 ? sum / checkCnt : sum;
        checking = false;
    }
};

// The codec under test: writes go nowhere, every visible signal becomes an event.
class ObservedCodec : public SlaveCodec
{
public:
    ObservedCodec()
    {
        connect(this, &SlaveProtocol::AxitReflushGraphic, this,
                [this](QList<Axit_t> &readings, uint) { events << readingsEvent(readings); });
        connect(this, &SlaveProtocol::slaveCheckRec, this,
                [this](bool ok) { events << QStringLiteral("baseline %1").arg(int(ok)); });
        connect(this, &SlaveProtocol::demarcateInfo, this,
                [this](int type, short pressure, QList<short> &values) {
                    events << pointEvent(type, pressure, values);
                });
        connect(this, &SlaveProtocol::demarcateSingleReadInfo, this,
                [this](int xyz, int sensorId, QList<singleDemarcateInfoUnit_t> &list) {
                    events << singleEvent(xyz, sensorId, list);
                });
    }

    QStringList events;
    // The reads asked of this codec whose replies have not come yet, as the model counts them.
    // A read stays open for the reply time-out after the last request; replays follow each
    // other closely enough that none expires.
    ReferenceReads reads;
};

inline QString describeSums(const AxitSum_t *sums)
{
    QStringList parts;
    for (int i = 0; i < kMaxSensors; ++i)
        parts << QStringLiteral("(%1,%2,%3)").arg(sums[i].x).arg(sums[i].y).arg(sums[i].z);
    return parts.join(' ');
}

inline bool sameSums(const AxitSum_t *sums, const ReferenceCard &card)
{
    for (int i = 0; i < kMaxSensors; ++i)
        if (sums[i].x != card.sums[i][0] || sums[i].y != card.sums[i][1] ||
            sums[i].z != card.sums[i][2])
            return false;
    return true;
}

// Empty when the codec and the model agree on what was decoded and what is held. Events before
// `checked` have been compared already.
inline QString compare(const ObservedCodec &codec, const ReferenceExtractor &extractor,
                       const ReferenceCard &card, qsizetype &checked)
{
    QStringList faults;
    if (codec.events.size() != card.events.size())
        faults << QStringLiteral("%1 events, expected %2")
                      .arg(codec.events.size())
                      .arg(card.events.size());
    for (; checked < std::min(codec.events.size(), card.events.size()); ++checked)
        if (codec.events.at(checked) != card.events.at(checked)) {
            faults << QStringLiteral("event %1 is %2, expected %3")
                          .arg(checked)
                          .arg(codec.events.at(checked), card.events.at(checked));
            break;
        }
    const int pending = extractor.pending();
    if (codec.rxPending() != pending || codec.rxTimerActive() != (pending != 0))
        faults << QStringLiteral("rxPending %1, expected %2").arg(codec.rxPending()).arg(pending);
    // Held bytes: none, one incomplete frame, or a tail that ends in a lone sync byte.
    if (pending != 1 ? codec.rxLen() != pending : codec.rxLen() < 1)
        faults << QStringLiteral("rxLen %1 with rxPending %2").arg(codec.rxLen()).arg(pending);
    if (codec.demarcateRemaining() != card.remaining)
        faults << QStringLiteral("demarcateRemaining %1, expected %2")
                      .arg(codec.demarcateRemaining())
                      .arg(card.remaining);
    if (codec.freIndex() != card.freIndex || codec.sensorCount() != card.sensorCount)
        faults << QStringLiteral("freIndex %1 sensorCount %2, expected %3 %4")
                      .arg(codec.freIndex())
                      .arg(codec.sensorCount())
                      .arg(card.freIndex)
                      .arg(card.sensorCount);
    if (!sameSums(codec.demarcateSums(), card))
        faults << QStringLiteral("sums %1").arg(describeSums(codec.demarcateSums()));
    return faults.join(QStringLiteral("; "));
}

// Feeds `stream` in pieces of the given sizes (repeated; the last piece takes what is left)
// to the codec, with a baseline check and a calibration run of `runCount` frames started
// afresh, and compares it with the model after every piece, after the check ends and after a
// receive time-out. Returns an empty string, or where and how they first differed. The codec
// may be reused: the time-out and the check's start leave nothing of an earlier replay behind.
inline QString replay(ObservedCodec &codec, const QByteArray &stream, const QList<int> &pieceSizes,
                      uint runCount)
{
    QMetaObject::invokeMethod(&codec, "rx_timerout_callback", Qt::DirectConnection);
    codec.events.clear();
    ReferenceExtractor extractor;
    ReferenceCard card;
    card.freIndex = codec.freIndex();
    card.sensorCount = codec.sensorCount();
    card.reads = codec.reads;
    const auto askForReplies = [&] {
        codec.readCheckData();
        codec.demarcateSingleRead(0, 0);
        codec.readDemarcateInfo(0);
        ++card.reads.baseline;
        ++card.reads.single;
        card.reads.points = true;
    };
    codec.setChecking(true);
    card.checking = true;
    codec.demarcateStart(runCount);
    card.remaining = runCount;

    qsizetype checked = 0;
    const auto feed = [&](const QByteArray &piece) {
        codec.receiveBytes(piece.constData(), quint16(piece.size()));
        for (const QByteArray &frame : extractor.feed(piece))
            card.decode(frame);
        return compare(codec, extractor, card, checked);
    };
    qsizetype at = 0;
    for (int i = 0; at < stream.size(); ++i) {
        const int size = pieceSizes.isEmpty() ? 0xFFFF : pieceSizes.at(i % pieceSizes.size());
        const QByteArray piece = stream.mid(at, std::clamp(size, 1, 0xFFFF));
        if (i % 64 == 0)
            askForReplies();
        const QString fault = feed(piece);
        if (!fault.isEmpty())
            return QStringLiteral("after byte %1: ").arg(at + piece.size()) + fault;
        at += piece.size();
    }

    codec.setChecking(false);
    card.endCheck();
    QMetaObject::invokeMethod(&codec, "rx_timerout_callback", Qt::DirectConnection);
    extractor.dropHeld();
    codec.reads = card.reads;
    QString fault = compare(codec, extractor, card, checked);
    if (fault.isEmpty()) // nothing stale may remain: a clean frame after the time-out decodes
        fault = feed(QByteArray::fromHex("a50800000100020003b3"));
    return fault.isEmpty() ? fault : QStringLiteral("after the time-out: ") + fault;
}

} // namespace receiveref

#endif // RECEIVEREFERENCE_H
