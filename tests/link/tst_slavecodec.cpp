// SPDX-License-Identifier: GPL-3.0-or-later
// Unit tests of the frame codec: frames on the wire, and the extraction of checked frames from
// the received byte stream (chunking, noise, rejected syncs, the receive time-out and the bound
// on held bytes). Decoding is observed through the sensor-data signal of 0x00 frames.

#include "recordingcodec.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

namespace {

// For the cases where what a dropped tail leaves behind matters, not when it is dropped.
constexpr int kShortRxTimeoutMs = 20;

const Readings kOneSensor = {16, -16, 256};

// The sensor-data frame carrying kOneSensor, byte for byte as the card sends it.
QByteArray oneSensorFrame()
{
    return bytes({0xA5, 0x08, 0x00, 0x00, 0x10, 0xFF, 0xF0, 0x01, 0x00, 0xAD});
}

Readings flatten(const QList<Axit_t> &axits)
{
    Readings out;
    for (const Axit_t &axit : axits)
        out << axit.x << axit.y << axit.z;
    return out;
}

QByteArray txLineOf(const QByteArray &frame)
{
    QByteArray line = "tx data : ";
    for (char c : frame)
        line += QByteArray::number(quint8(c), 16).rightJustified(2, '0').toUpper() + ' ';
    return line;
}

// Appends a checksum that is certainly wrong, and never a sync byte, so that the frame is
// rejected without leaving a lone sync behind.
QByteArray withWrongChecksum(QByteArray frame)
{
    quint8 sum = 0;
    for (char c : frame)
        sum = quint8(sum + quint8(c));
    quint8 wrong = quint8(sum + 1);
    if (wrong == 0xA5)
        wrong = quint8(sum + 2);
    frame.append(char(wrong));
    return frame;
}

// Every sensor-data emission of a codec, in order, with the receive state the decoder saw.
class DecodedFrames
{
public:
    explicit DecodedFrames(SlaveCodec &codec)
    {
        QObject::connect(&codec, &SlaveProtocol::AxitReflushGraphic, &codec,
                         [this, &codec](QList<Axit_t> &axits, uint num) {
                             readings.append(flatten(axits));
                             counts.append(num);
                             heldAtDecode.append(codec.rxLen());
                             pendingAtDecode.append(codec.rxPending());
                         });
    }

    QList<Readings> readings;
    QList<uint> counts;
    QList<int> heldAtDecode;
    QList<int> pendingAtDecode;
};

void verifyIdle(const SlaveCodec &codec)
{
    QCOMPARE(codec.rxLen(), quint16(0));
    QCOMPARE(codec.rxPending(), quint16(0));
    QVERIFY(!codec.rxTimerActive());
}

// Feeds a run of rejected syncs (A5 01 ...) that ends with a lone sync, so that every byte is
// held, in 1000-byte chunks up to 64,999 bytes: the next chunk longer than 536 bytes overflows.
void fillNearBound(RecordingCodec &codec)
{
    QByteArray run;
    for (int i = 0; i < 499; ++i)
        run += bytes({0xA5, 0x01});
    const QByteArray first = run + char(0xA5);
    const QByteArray later = char(0x01) + run + char(0xA5);
    codec.feed(first);
    int held = first.size();
    while (held + later.size() <= kMaxHeldBytes) {
        codec.feed(later);
        held += later.size();
    }
}

} // namespace

class SlaveCodecTest : public QObject
{
    Q_OBJECT

private slots:
    void sendFrame_writesFrameAndTxLine_data();
    void sendFrame_writesFrameAndTxLine();
    void sendFrame_payloadSizeBoundary_data();
    void sendFrame_payloadSizeBoundary();
    void sendFrame_withoutLinkReturnsZero();

    void completeChunk_decodedAtOnceAndIdle_data();
    void completeChunk_decodedAtOnceAndIdle();
    void longestFrame_isExtracted();
    void splitFrame_decodedOnceOnItsLastByte_data();
    void splitFrame_decodedOnceOnItsLastByte();
    void framesAmidNoise_decodedInOrderNoiseDiscarded_data();
    void framesAmidNoise_decodedInOrderNoiseDiscarded();
    void receiveTimeout_dropsFrameThatStopsArriving_data();
    void receiveTimeout_dropsFrameThatStopsArriving();
    void loneTrailingSync_heldWholeWithTimerRunning_data();
    void loneTrailingSync_heldWholeWithTimerRunning();
    void lengthBelowTwo_skipsOnlySyncByte_data();
    void lengthBelowTwo_skipsOnlySyncByte();
    void checksumMismatch_skipsOnlySyncByte_data();
    void checksumMismatch_skipsOnlySyncByte();
    void heldBytes_longRunOfLoneSyncs_staysWithinCountAndLosesNoFrame();
    void heldBytes_frameInOverflowingChunk_isDecoded_data();
    void heldBytes_frameInOverflowingChunk_isDecoded();

    void counters_countFramesErrorsAndDiscards_whateverTheChunks_data();
    void counters_countFramesErrorsAndDiscards_whateverTheChunks();
};

void SlaveCodecTest::sendFrame_writesFrameAndTxLine_data()
{
    QTest::addColumn<int>("cmd");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("txLine");

    QTest::newRow("frequency read, empty payload")
        << 0x84 << QByteArray() << bytes({0xA5, 0x02, 0x84, 0x2B}) << "tx data : A5 02 84 2B ";
    QTest::newRow("baseline read, empty payload")
        << 0x81 << QByteArray() << bytes({0xA5, 0x02, 0x81, 0x28}) << "tx data : A5 02 81 28 ";
    QTest::newRow("sampling start")
        << 0x82 << bytes({0x01}) << bytes({0xA5, 0x03, 0x82, 0x01, 0x2B})
        << "tx data : A5 03 82 01 2B ";
    QTest::newRow("sampling stop") << 0x82 << bytes({0x00}) << bytes({0xA5, 0x03, 0x82, 0x00, 0x2A})
                                   << "tx data : A5 03 82 00 2A ";
    QTest::newRow("single-point read, two bytes")
        << 0x8C << bytes({0x00, 0x03}) << bytes({0xA5, 0x04, 0x8C, 0x00, 0x03, 0x38})
        << "tx data : A5 04 8C 00 03 38 ";
    QTest::newRow("sensor data, checksum wraps")
        << 0x00 << bytes({0x00, 0x10, 0xFF, 0xF0, 0x01, 0x00}) << oneSensorFrame()
        << "tx data : A5 08 00 00 10 FF F0 01 00 AD ";
}

void SlaveCodecTest::sendFrame_writesFrameAndTxLine()
{
    QFETCH(int, cmd);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, wire);
    QFETCH(QString, txLine);

    RecordingCodec codec;
    QTest::ignoreMessage(QtDebugMsg, txLine.toUtf8().constData());
    const int result = codec.sendFrame(quint8(cmd), payload.constData(), int(payload.size()));

    QCOMPARE(result, int(wire.size()));
    QCOMPARE(codec.written, QList<QByteArray>{wire});
}

void SlaveCodecTest::sendFrame_payloadSizeBoundary_data()
{
    QTest::addColumn<int>("len");
    QTest::addColumn<bool>("nullData");
    QTest::addColumn<int>("expectedResult");

    QTest::newRow("no payload, null pointer: L = 2") << 0 << true << 4;
    QTest::newRow("one byte") << 1 << false << 5;
    QTest::newRow("252 bytes, largest: L = 254") << 252 << false << 256;
    QTest::newRow("253 bytes refused") << 253 << false << -1;
    QTest::newRow("negative length refused") << -1 << false << -1;
    QTest::newRow("null pointer with a payload refused") << 1 << true << -1;
}

void SlaveCodecTest::sendFrame_payloadSizeBoundary()
{
    QFETCH(int, len);
    QFETCH(bool, nullData);
    QFETCH(int, expectedResult);

    // Large byte values make the checksum wrap many times.
    QByteArray payload(qMax(len, 0) + 1, '\0');
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = char(0xF0 + i % 16);
    const quint8 cmd = 0x89;
    const bool accepted = expectedResult >= 0;
    if (accepted)
        QTest::ignoreMessage(QtDebugMsg, txLineOf(makeFrame(cmd, payload.left(len))).constData());

    RecordingCodec codec;
    const int result = codec.sendFrame(cmd, nullData ? nullptr : payload.constData(), len);

    QCOMPARE(result, expectedResult);
    if (!accepted) {
        QVERIFY(codec.written.isEmpty());
        return;
    }
    QCOMPARE(codec.written, QList<QByteArray>{makeFrame(cmd, payload.left(len))});
    QCOMPARE(quint8(codec.written.first().at(1)), quint8(len + 2));
}

void SlaveCodecTest::sendFrame_withoutLinkReturnsZero()
{
    SlaveCodec codec;
    QTest::ignoreMessage(QtDebugMsg, "tx data : A5 02 84 2B ");
    QCOMPARE(codec.sendFrame(0x84, nullptr, 0), 0);
}

void SlaveCodecTest::completeChunk_decodedAtOnceAndIdle_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<Readings>("expected");

    Readings sixteen;
    for (int sensor = 0; sensor < kMaxSensors; ++sensor)
        sixteen << -32768 + sensor << 32767 - sensor << (sensor - 8) * 165;

    QTest::newRow("one sensor") << oneSensorFrame() << kOneSensor;
    QTest::newRow("sixteen sensors") << sensorFrame(sixteen) << sixteen;
    QTest::newRow("no sensors, shortest frame") << makeFrame(CmdSensorData) << Readings();
}

void SlaveCodecTest::completeChunk_decodedAtOnceAndIdle()
{
    QFETCH(QByteArray, chunk);
    QFETCH(Readings, expected);

    RecordingCodec codec;
    DecodedFrames decoded(codec);
    codec.feed(chunk);

    QCOMPARE(decoded.readings, QList<Readings>{expected});
    QCOMPARE(decoded.counts, QList<uint>{uint(expected.size() / 3)});
    verifyIdle(codec);
}

void SlaveCodecTest::longestFrame_isExtracted()
{
    // L = 255: 253 payload bytes. A baseline reply of that length is not a whole number of
    // sensors, which the protocol layer answers with slaveCheckRec(false).
    QByteArray payload(253, '\0');
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = char(i == 0 ? 0x01 : 0xFF - i % 0x50);
    const QByteArray frame = makeFrame(CmdBaselineRead, payload);
    QCOMPARE(quint8(frame.at(1)), quint8(255));

    RecordingCodec codec;
    QSignalSpy replies(&codec, &SlaveProtocol::slaveCheckRec);
    QTest::ignoreMessage(QtDebugMsg, "decodeSlaveBase len error");
    codec.readCheckData();
    codec.feed(bytes({0x11, 0x22}) + frame.left(100));
    QCOMPARE(codec.rxLen(), quint16(100));
    codec.feed(frame.mid(100));

    QCOMPARE(replies.size(), 1);
    QCOMPARE(replies.first().first().toBool(), false);
    verifyIdle(codec);
}

void SlaveCodecTest::splitFrame_decodedOnceOnItsLastByte_data()
{
    QTest::addColumn<int>("split");

    for (int split = 1; split < oneSensorFrame().size(); ++split)
        QTest::addRow("after byte %d", split) << split;
}

void SlaveCodecTest::splitFrame_decodedOnceOnItsLastByte()
{
    QFETCH(int, split);

    RecordingCodec codec;
    DecodedFrames decoded(codec);
    codec.feed(oneSensorFrame().left(split));

    QVERIFY(decoded.readings.isEmpty());
    QCOMPARE(codec.rxLen(), quint16(split));
    QCOMPARE(codec.rxPending(), quint16(split));
    QVERIFY(codec.rxTimerActive());

    codec.feed(oneSensorFrame().mid(split));

    QCOMPARE(decoded.readings, QList<Readings>{kOneSensor});
    verifyIdle(codec);
}

void SlaveCodecTest::framesAmidNoise_decodedInOrderNoiseDiscarded_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("between");
    QTest::addColumn<QByteArray>("after");

    const QByteArray noise = bytes({0x00, 0x5A, 0xFF, 0x02, 0x11, 0xA4});
    const QByteArray rejectedSync = bytes({0xA5, 0x01, 0x33});

    QTest::newRow("back to back") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("noise before") << noise << QByteArray() << QByteArray();
    QTest::newRow("noise between") << QByteArray() << noise << QByteArray();
    QTest::newRow("noise after") << QByteArray() << QByteArray() << noise;
    QTest::newRow("noise everywhere") << noise << noise << noise;
    QTest::newRow("rejected sync between") << noise << rejectedSync << noise;
}

void SlaveCodecTest::framesAmidNoise_decodedInOrderNoiseDiscarded()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, between);
    QFETCH(QByteArray, after);

    const Readings second = {-1, 0, 32767, -32768, 0xA5, -0xA5};
    RecordingCodec codec;
    DecodedFrames decoded(codec);
    codec.feed(before + oneSensorFrame() + between + sensorFrame(second) + after);

    QCOMPARE(decoded.readings, (QList<Readings>{kOneSensor, second}));
    QCOMPARE(decoded.counts, (QList<uint>{1, 2}));
    // The frame and everything before it are gone by the time it is decoded.
    const int afterFirst = int(between.size() + sensorFrame(second).size() + after.size());
    QCOMPARE(decoded.heldAtDecode, (QList<int>{afterFirst, int(after.size())}));
    QCOMPARE(decoded.pendingAtDecode, (QList<int>{0, 0}));
    verifyIdle(codec);
}

void SlaveCodecTest::receiveTimeout_dropsFrameThatStopsArriving_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<bool>("decoded");

    const QByteArray head = bytes({0xA5, 0x08, 0x00, 0x00});
    const QByteArray tail = bytes({0x10, 0xFF, 0xF0, 0x01, 0x00, 0xAD});

    // The gaps stay well inside the time-outs set here, however late a busy machine runs them.
    QTest::newRow("rest within the time-out: decoded")
        << QList<QByteArray>{head, tail} << 2000 << 50 << true;
    // The codec's own time-out: the rest comes once the frame has been dropped.
    QTest::newRow("rest after the time-out: all dropped")
        << QList<QByteArray>{head, tail} << kRxTimeoutMs << 0 << false;
    // 1.2 s in all, but never 1 s without a chunk.
    QTest::newRow("each chunk restarts the time-out")
        << QList<QByteArray>{head.left(2), head.mid(2) + tail.left(1), tail.mid(1)} << 1000 << 600
        << true;
}

void SlaveCodecTest::receiveTimeout_dropsFrameThatStopsArriving()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(int, timeoutMs);
    QFETCH(int, gapMs);
    QFETCH(bool, decoded);

    RecordingCodec codec;
    if (timeoutMs != kRxTimeoutMs)
        codec.setReceiveTimeoutMs(timeoutMs);
    DecodedFrames frames(codec);
    QElapsedTimer held;
    held.start();
    codec.feed(chunks.first());
    for (int i = 1; i < chunks.size(); ++i) {
        if (decoded) {
            QTest::qWait(gapMs);
            QVERIFY(codec.rxLen() > 0);
            QVERIFY(codec.rxTimerActive());
        } else {
            QTRY_VERIFY(!codec.rxTimerActive());
            // The receive timer is a coarse one, which may fire up to 5 % early.
            QVERIFY2(held.elapsed() >= timeoutMs * 95 / 100,
                     qPrintable(QString::number(held.elapsed())));
            verifyIdle(codec);
        }
        codec.feed(chunks.at(i));
    }

    QCOMPARE(frames.readings, decoded ? QList<Readings>{kOneSensor} : QList<Readings>());
    verifyIdle(codec);
}

void SlaveCodecTest::loneTrailingSync_heldWholeWithTimerRunning_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("held");
    QTest::addColumn<QList<Readings>>("decodedFirst");

    const Readings other = {1, 2, 3};

    QTest::newRow("sync alone") << bytes({0xA5}) << 1 << QList<Readings>();
    QTest::newRow("after noise") << bytes({0x11, 0x22, 0x33, 0xA5}) << 4 << QList<Readings>();
    QTest::newRow("after a rejected sync")
        << bytes({0xA5, 0x01, 0x33, 0xA5}) << 4 << QList<Readings>();
    QTest::newRow("after a complete frame")
        << sensorFrame(other) + bytes({0x11, 0xA5}) << 2 << QList<Readings>{other};
}

void SlaveCodecTest::loneTrailingSync_heldWholeWithTimerRunning()
{
    QFETCH(QByteArray, chunk);
    QFETCH(int, held);
    QFETCH(QList<Readings>, decodedFirst);

    RecordingCodec codec;
    DecodedFrames decoded(codec);
    codec.feed(chunk);

    QCOMPARE(decoded.readings, decodedFirst);
    QCOMPARE(codec.rxLen(), quint16(held));
    QCOMPARE(codec.rxPending(), quint16(1));
    QVERIFY(codec.rxTimerActive());

    codec.feed(oneSensorFrame().mid(1));

    QCOMPARE(decoded.readings, decodedFirst + QList<Readings>{kOneSensor});
    verifyIdle(codec);
}

void SlaveCodecTest::lengthBelowTwo_skipsOnlySyncByte_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QList<Readings>>("expected");

    QTest::newRow("length 1, no other sync")
        << bytes({0xA5, 0x01, 0x22, 0x33}) << QList<Readings>();
    QTest::newRow("length 0, no other sync") << bytes({0xA5, 0x00}) << QList<Readings>();
    // A6 is the checksum of A5 01: only the length rule rejects this one.
    QTest::newRow("length 1, checksum matches") << bytes({0xA5, 0x01, 0xA6}) << QList<Readings>();
    QTest::newRow("length 1, frame follows")
        << bytes({0xA5, 0x01}) + oneSensorFrame() << QList<Readings>{kOneSensor};
    QTest::newRow("length 0, frame follows")
        << bytes({0xA5, 0x00, 0x07}) + oneSensorFrame() << QList<Readings>{kOneSensor};
}

void SlaveCodecTest::lengthBelowTwo_skipsOnlySyncByte()
{
    QFETCH(QByteArray, chunk);
    QFETCH(QList<Readings>, expected);

    RecordingCodec codec;
    DecodedFrames decoded(codec);
    codec.feed(chunk);

    QCOMPARE(decoded.readings, expected);
    verifyIdle(codec);
}

void SlaveCodecTest::checksumMismatch_skipsOnlySyncByte_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QList<Readings>>("expected");

    const QByteArray inner = oneSensorFrame();
    QByteArray corrupted = inner;
    corrupted[corrupted.size() - 1] = char(0xAE);

    // The outer frame carries the sensor-data command too: accepting it would emit a reading.
    QTest::newRow("inner frame in the payload")
        << withWrongChecksum(bytes({0xA5, 0x0C, 0x00}) + inner) << QList<Readings>{kOneSensor};
    QTest::newRow("inner frame from the command byte on")
        << withWrongChecksum(bytes({0xA5, 0x0C}) + inner + bytes({0x44}))
        << QList<Readings>{kOneSensor};
    // The inner sync doubles as the outer length 0xA5, so the outer frame is 167 bytes long.
    QTest::newRow("inner frame from the length byte on")
        << withWrongChecksum(bytes({0xA5}) + inner + QByteArray(155, char(0x3C)))
        << QList<Readings>{kOneSensor};
    QTest::newRow("corrupted frame alone") << corrupted << QList<Readings>();
}

void SlaveCodecTest::checksumMismatch_skipsOnlySyncByte()
{
    QFETCH(QByteArray, chunk);
    QFETCH(QList<Readings>, expected);

    RecordingCodec codec;
    DecodedFrames decoded(codec);
    codec.feed(chunk);

    QCOMPARE(decoded.readings, expected);
    verifyIdle(codec);
}

void SlaveCodecTest::heldBytes_longRunOfLoneSyncs_staysWithinCountAndLosesNoFrame()
{
    QByteArray run;
    for (int i = 0; i < 499; ++i)
        run += bytes({0xA5, 0x01});
    // The stream is one long A5 01 A5 01 ... run; every chunk ends in a lone sync.
    const QByteArray later = char(0x01) + run + char(0xA5);

    RecordingCodec codec;
    DecodedFrames decoded(codec);
    codec.feed(run + char(0xA5));
    int fed = run.size() + 1;
    int previousHeld = codec.rxLen();
    bool overflowed = false;
    while (fed < 70000) {
        codec.feed(later);
        fed += later.size();
        const int held = codec.rxLen();
        QCOMPARE(codec.rxPending(), quint16(1));
        QVERIFY(codec.rxTimerActive());
        if (previousHeld + later.size() <= kMaxHeldBytes) {
            QCOMPARE(held, previousHeld + int(later.size()));
        } else {
            // Only the pending sync survives from before the chunk.
            overflowed = true;
            QCOMPARE(held, 1 + int(later.size()));
        }
        previousHeld = held;
    }
    QVERIFY(overflowed);

    codec.feed(char(0x01) + oneSensorFrame());

    QCOMPARE(decoded.readings, QList<Readings>{kOneSensor});
    verifyIdle(codec);
}

void SlaveCodecTest::heldBytes_frameInOverflowingChunk_isDecoded_data()
{
    // The stream after the filled buffer: filler bytes 01 (the first one ends the held lone
    // sync), a frame at frameOffset, and a final lone sync when there is room after the frame.
    // At frameOffset -1 the held lone sync is the frame's own. The stream is fed as a chunk of
    // firstChunk bytes and, if anything is left, a second chunk.
    QTest::addColumn<int>("streamSize");
    QTest::addColumn<int>("frameOffset");
    QTest::addColumn<int>("firstChunk");

    // The buffer is filled to 64,999 bytes: 536 more reach the bound of 65,535.
    QTest::newRow("held sync starts the frame") << 2000 << -1 << 2000;
    QTest::newRow("held sync starts the frame, largest chunk") << 65535 << -1 << 65535;
    QTest::newRow("frame before the bound") << 2000 << 100 << 2000;
    QTest::newRow("frame straddles the bound") << 2000 << 530 << 2000;
    QTest::newRow("frame ends at the bound") << 2000 << 526 << 2000;
    QTest::newRow("frame starts at the bound") << 2000 << 536 << 2000;
    QTest::newRow("frame starts after the bound") << 2000 << 537 << 2000;
    QTest::newRow("frame far after the bound") << 2000 << 1500 << 2000;
    QTest::newRow("frame cut by the end of the overflowing chunk") << 2000 << 535 << 540;
    QTest::newRow("largest chunk, frame in the middle") << 65535 << 32767 << 65535;
    QTest::newRow("largest chunk, frame near its end") << 65535 << 65520 << 65535;
    QTest::newRow("largest chunk, frame at its end") << 65535 << 65525 << 65535;
    QTest::newRow("largest chunk cut inside the frame") << 65540 << 65530 << 65535;
}

void SlaveCodecTest::heldBytes_frameInOverflowingChunk_isDecoded()
{
    QFETCH(int, streamSize);
    QFETCH(int, frameOffset);
    QFETCH(int, firstChunk);

    const QByteArray frame = oneSensorFrame();
    QByteArray stream(streamSize, char(0x01));
    if (frameOffset < 0)
        stream.replace(0, frame.size() - 1, frame.mid(1));
    else
        stream.replace(frameOffset, frame.size(), frame);
    const bool endsInLoneSync = frameOffset + frame.size() < streamSize;
    if (endsInLoneSync)
        stream[streamSize - 1] = char(0xA5);

    RecordingCodec codec;
    DecodedFrames decoded(codec);
    fillNearBound(codec);
    QCOMPARE(int(codec.rxLen()), 64999);
    codec.feed(stream.left(firstChunk));
    if (firstChunk < streamSize)
        codec.feed(stream.mid(firstChunk));

    QCOMPARE(decoded.readings, QList<Readings>{kOneSensor});
    if (endsInLoneSync) {
        QCOMPARE(codec.rxPending(), quint16(1));
        QVERIFY(codec.rxTimerActive());
    } else {
        verifyIdle(codec);
    }
}

// "sensor frames, other frames, bytes before the first frame, checksum errors, discarded bytes,
// partial frames timed out".
QString describeCounts(const LinkCounters &c)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6")
        .arg(c.sensorFrames())
        .arg(c.framesDecoded() - c.sensorFrames())
        .arg(c.bytesBeforeFirstFrame)
        .arg(c.checksumErrors)
        .arg(c.discardedBytes)
        .arg(c.partialFramesTimedOut);
}

void SlaveCodecTest::counters_countFramesErrorsAndDiscards_whateverTheChunks_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("counts");

    const QByteArray good = oneSensorFrame();
    QByteArray bad = good;
    bad[bad.size() - 1] = char(bad.back() + 1);
    const QByteArray noise = bytes({0x00, 0x11, 0xA4, 0xFF, 0x5A});

    QTest::newRow("clean") << good + makeFrame(CmdSetFrequency, bytes({0})) + good << "2 1 0 0 0 0";
    QTest::newRow("noise before, between, after")
        << noise + good + noise.left(3) + good + noise.left(2) << "2 0 5 0 5 0";
    // A corrupted frame is rejected once, and its bytes are discarded with the search.
    QTest::newRow("corrupted frames") << good + bad + good + bad + bad + good << "3 0 0 3 30 0";
    // An open in the middle of a frame: its rest, and a false start in it, are no errors.
    QTest::newRow("rest of a frame, then corrupted")
        << bytes({0x11, 0xA5, 0x03, 0x22}) + bad + good + bad + good << "2 0 14 1 10 0";
    QTest::newRow("sync with a short length") << bytes({0xA5, 0x01}) + good << "1 0 2 0 0 0";
    QTest::newRow("no whole frame") << noise.left(4) + good.left(5) << "0 0 9 0 0 0";
    QTest::newRow("frame that stops arriving")
        << good + noise.left(4) + good.left(5) << "1 0 0 0 4 1";
    QTest::newRow("lone sync that stays alone")
        << good + noise.left(3) + good.left(1) << "1 0 0 0 3 1";
}

void SlaveCodecTest::counters_countFramesErrorsAndDiscards_whateverTheChunks()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, counts);

    // Chunks of 11 end a rejected frame's chunk with the next frame's sync byte.
    for (const int chunk : {int(stream.size()), 1, 7, 11}) {
        RecordingCodec codec;
        // The chunks come without a pause: only the tail that stops arriving waits it out.
        codec.setReceiveTimeoutMs(kShortRxTimeoutMs);
        for (int at = 0; at < stream.size(); at += chunk)
            codec.feed(stream.mid(at, chunk));
        QTRY_VERIFY(!codec.rxTimerActive());
        QCOMPARE(describeCounts(codec.linkCounters()), counts);
        QCOMPARE(codec.linkCounters().bytesReceived, quint64(stream.size()));
        codec.resetLinkCounters();
        QCOMPARE(describeCounts(codec.linkCounters()), QStringLiteral("0 0 0 0 0 0"));
    }
}

QTEST_GUILESS_MAIN(SlaveCodecTest)
#include "tst_slavecodec.moc"
