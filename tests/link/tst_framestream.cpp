// SPDX-License-Identifier: GPL-3.0-or-later
// Randomised stream test of the frame codec: hundreds of sensor-data frames interleaved with
// noise, cut into chunks of random size, must come out of the codec as the readings that went
// in. Each seed gives one reproducible stream.

#include "recordingcodec.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

constexpr int kFramesPerStream = 400;
constexpr int kMaxNoiseBytes = 20;
constexpr int kMaxChunkBytes = 600;
// The longest frame there is; an incomplete frame is held from its sync byte on.
constexpr int kMaxFrameBytes = 257;

Readings randomReadings(QRandomGenerator &rng)
{
    const int sensors = int(rng.bounded(1, kMaxSensors + 1));
    Readings readings;
    for (int i = 0; i < sensors * 3; ++i)
        readings << int(rng.bounded(-32768, 32768));
    return readings;
}

// Without syncs, noise is plain garbage. With syncs, one byte in eight is A5, and no noise byte
// is 00: the command byte of a false frame that starts in the noise is then a noise byte, a
// frame's sync or a frame's length, never the sensor-data command, so any reading that comes
// out is one that was sent.
QByteArray randomNoise(QRandomGenerator &rng, bool withSyncs)
{
    const int size = int(rng.bounded(kMaxNoiseBytes + 1));
    QByteArray noise;
    for (int i = 0; i < size; ++i) {
        int value;
        if (withSyncs) {
            value = rng.bounded(8) == 0 ? 0xA5 : int(rng.bounded(1, 256));
        } else {
            value = int(rng.bounded(255));
            if (value >= 0xA5)
                ++value;
        }
        noise.append(char(value));
    }
    return noise;
}

struct Stream
{
    QByteArray bytes;
    QList<Readings> sent;
    int noiseSyncs = 0;
};

void appendNoise(Stream &stream, QRandomGenerator &rng, bool withSyncs)
{
    const QByteArray noise = randomNoise(rng, withSyncs);
    stream.bytes += noise;
    stream.noiseSyncs += int(noise.count(char(0xA5)));
}

Stream randomStream(QRandomGenerator &rng, bool withSyncs)
{
    Stream stream;
    for (int i = 0; i < kFramesPerStream; ++i) {
        appendNoise(stream, rng, withSyncs);
        stream.sent.append(randomReadings(rng));
        stream.bytes += sensorFrame(stream.sent.last());
    }
    appendNoise(stream, rng, withSyncs);
    return stream;
}

QList<QByteArray> randomChunks(QRandomGenerator &rng, const QByteArray &bytes)
{
    QList<QByteArray> chunks;
    for (qsizetype pos = 0; pos < bytes.size();) {
        const int size = int(rng.bounded(1, kMaxChunkBytes + 1));
        chunks.append(bytes.mid(pos, size));
        pos += size;
    }
    return chunks;
}

class DecodedFrames
{
public:
    explicit DecodedFrames(SlaveCodec &codec)
    {
        QObject::connect(&codec, &SlaveProtocol::AxitReflushGraphic, &codec,
                         [this](QList<Axit_t> &axits, uint num) {
                             Readings flat;
                             for (const Axit_t &axit : axits)
                                 flat << axit.x << axit.y << axit.z;
                             readings.append(flat);
                             countsMatch = countsMatch && num == uint(axits.size());
                         });
    }

    QList<Readings> readings;
    bool countsMatch = true;
};

// Index of the first decoded frame that is not the next sent frame or a later one, or -1 when
// `decoded` is an ordered subsequence of `sent`.
int firstNotInOrder(const QList<Readings> &decoded, const QList<Readings> &sent)
{
    qsizetype next = 0;
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        while (next < sent.size() && sent.at(next) != decoded.at(i))
            ++next;
        if (next == sent.size())
            return int(i);
        ++next;
    }
    return -1;
}

} // namespace

class FrameStreamTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanNoise_everyFrameDecodedOnceInOrder_data() { addSeedRows(); }
    void cleanNoise_everyFrameDecodedOnceInOrder();
    void noiseWithSyncs_decodedFramesAreSentFramesInOrder_data() { addSeedRows(); }
    void noiseWithSyncs_decodedFramesAreSentFramesInOrder();

private:
    static void addSeedRows();
};

void FrameStreamTest::addSeedRows()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 17u, 4242u, 90001u, 123456789u})
        QTest::addRow("seed %u", seed) << seed;
}

void FrameStreamTest::cleanNoise_everyFrameDecodedOnceInOrder()
{
    QFETCH(quint32, seed);
    QRandomGenerator rng(seed);
    const Stream stream = randomStream(rng, false);

    RecordingCodec codec;
    DecodedFrames decoded(codec);
    for (const QByteArray &chunk : randomChunks(rng, stream.bytes)) {
        codec.feed(chunk);
        // At most one incomplete frame, or noise that ends in a frame's lone sync byte.
        QVERIFY2(codec.rxLen() <= kMaxFrameBytes, qPrintable(QString::number(codec.rxLen())));
        QCOMPARE(codec.rxTimerActive(), codec.rxPending() != 0);
    }

    QCOMPARE(decoded.readings.size(), stream.sent.size());
    QCOMPARE(decoded.readings, stream.sent);
    QVERIFY(decoded.countsMatch);
    QCOMPARE(codec.rxLen(), quint16(0));
    QVERIFY(!codec.rxTimerActive());
}

void FrameStreamTest::noiseWithSyncs_decodedFramesAreSentFramesInOrder()
{
    QFETCH(quint32, seed);
    QRandomGenerator rng(seed);
    const Stream stream = randomStream(rng, true);
    QVERIFY(stream.noiseSyncs > kFramesPerStream / 2);

    RecordingCodec codec;
    DecodedFrames decoded(codec);
    for (const QByteArray &chunk : randomChunks(rng, stream.bytes))
        codec.feed(chunk);
    // Which frames survive depends on the bytes only, never on where the chunks end.
    QVERIFY(stream.bytes.size() <= kMaxHeldBytes);
    RecordingCodec wholeCodec;
    DecodedFrames wholeDecoded(wholeCodec);
    wholeCodec.feed(stream.bytes);
    QCOMPARE(decoded.readings, wholeDecoded.readings);

    const int stray = firstNotInOrder(decoded.readings, stream.sent);
    QVERIFY2(stray < 0, qPrintable(QStringLiteral("decoded frame %1 was never sent, or came out "
                                                  "of order")
                                       .arg(stray)));
    QVERIFY(decoded.countsMatch);
    // A false frame swallows the frames it spans only when its checksum happens to match.
    QVERIFY2(decoded.readings.size() >= stream.sent.size() * 95 / 100,
             qPrintable(QStringLiteral("%1 of %2 frames decoded")
                            .arg(decoded.readings.size())
                            .arg(stream.sent.size())));
}

QTEST_GUILESS_MAIN(FrameStreamTest)
#include "tst_framestream.moc"
