// SPDX-License-Identifier: GPL-3.0-or-later
// The receive path against a fixed corpus of hostile byte streams, each replayed in many piece
// sizes while a baseline check and a calibration run are active: every intact frame that the
// extraction rule lets through is decoded once and in order, held bytes stay within their bound,
// and the device state follows. Expectations come from the plain model in receivereference.h.

#include "receivereference.h"
#include "recordingcodec.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

using Pieces = QList<QList<int>>;

QtMessageHandler g_previousHandler = nullptr;

// The replays send and drop thousands of frames; their debug lines would drown the log.
void dropDebugLines(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg)
        g_previousHandler(type, context, message);
}

QByteArray randomBytes(QRandomGenerator &rng, int count, int syncOneIn = 0)
{
    QByteArray out(count, Qt::Uninitialized);
    for (char &c : out)
        c = char(syncOneIn > 0 && rng.bounded(syncOneIn) == 0 ? kFrameSync : rng.bounded(256));
    return out;
}

// A frame of a command the card sends (or any other), with a payload length that the decoder
// treats specially more often than chance would, and payloads dense in sync bytes.
QByteArray randomFrame(QRandomGenerator &rng)
{
    static const int commands[] = {0x00, 0x01, 0x81, 0x84, 0x88, 0x8C, 0x83, 0x85, 0x42};
    static const int lengths[] = {0, 1, 2, 3, 5, 6, 12, 13, 96, 97, 102, 253};
    const int cmd = rng.bounded(10) == 0 ? rng.bounded(256) : commands[rng.bounded(9)];
    const int length = rng.bounded(4) == 0 ? rng.bounded(254) : lengths[rng.bounded(12)];
    return makeFrame(quint8(cmd), randomBytes(rng, length, 8));
}

// Intact frames mixed with every kind of damage the line can do.
QByteArray mixedStream(quint32 seed, int items)
{
    QRandomGenerator rng(seed);
    QByteArray out;
    for (int i = 0; i < items; ++i) {
        QByteArray frame = randomFrame(rng);
        switch (rng.bounded(8)) {
        case 0:
            out += frame.left(1 + rng.bounded(int(frame.size()) - 1)); // truncated
            break;
        case 1:
            frame[frame.size() - 1] = char(frame.back() ^ (1 + rng.bounded(255))); // checksum
            out += frame;
            break;
        case 2:
            out += randomBytes(rng, 1 + rng.bounded(24), 4);
            break;
        case 3:
            out += bytes({0xA5, rng.bounded(3) == 0 ? 0xFF : rng.bounded(2)});
            break;
        default:
            out += frame;
        }
    }
    return out;
}

QByteArray sensorFrameOf(int sensors, int base)
{
    Readings readings;
    for (int i = 0; i < 3 * sensors; ++i)
        readings << base + i;
    return sensorFrame(readings);
}

QString describePieces(const QList<int> &sizes)
{
    QStringList parts;
    for (int size : sizes)
        parts << QString::number(size);
    return QLatin1Char('[') + parts.join(',') + QLatin1Char(']');
}

Pieces standardPieces(qsizetype streamSize, quint32 seed)
{
    Pieces pieces{{}, {2}, {3}, {7}, {64}, {257}, {4097}};
    if (streamSize <= 8192)
        pieces << QList<int>{1};
    QRandomGenerator rng(seed);
    for (int round = 0; round < 3; ++round) {
        QList<int> sizes;
        for (int i = 0; i < 50; ++i)
            sizes << 1 + rng.bounded(rng.bounded(2) ? 8 : 300);
        pieces << sizes;
    }
    return pieces;
}

// Two pieces cut at every position: every byte boundary of the stream is a chunk boundary once.
Pieces everySplit(qsizetype streamSize)
{
    Pieces pieces;
    for (int cut = 1; cut < streamSize; ++cut)
        pieces << QList<int>{cut, 0xFFFF};
    return pieces;
}

} // namespace

class TestReceiveCorpus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerDeviceRecordTypes();
        g_previousHandler = qInstallMessageHandler(dropDebugLines);
    }
    void cleanupTestCase() { qInstallMessageHandler(g_previousHandler); }

    void corpus_decodesEveryIntactFrameOnceInOrder_data();
    void corpus_decodesEveryIntactFrameOnceInOrder();
};

void TestReceiveCorpus::corpus_decodesEveryIntactFrameOnceInOrder_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<uint>("runCount");
    QTest::addColumn<bool>("splitEverywhere");

    QRandomGenerator rng(16);
    const QByteArray reading = sensorFrameOf(2, 7);
    const QByteArray reply = makeFrame(0x84, bytes({0x02}));
    const QByteArray sixteen = sensorFrameOf(16, -40);

    QTest::newRow("random bytes") << randomBytes(rng, 4096) << 20u << false;
    QTest::newRow("random bytes dense in sync bytes") << randomBytes(rng, 4096, 3) << 20u << false;

    const QByteArray inner = makeFrame(0x88, bytes({0x01}) + word(-0x5A5B) + word(0xA5));
    QByteArray badOuter = makeFrame(0x8C, bytes({0xA5, 0xA5}) + inner);
    badOuter[badOuter.size() - 1] = char(badOuter.back() + 1);
    QTest::newRow("sync bytes inside payloads")
        << sensorFrame({-0x5A5B, 0xA5, 0xA500}) + makeFrame(0x8C, bytes({0xA5, 0x05}) + inner) +
               badOuter + reading
        << 20u << true;

    QTest::newRow("lengths 0, 1, 2 and 255")
        << bytes({0xA5, 0x00, 0xA5, 0x01}) + makeFrame(0x00) + makeFrame(0x81) + makeFrame(0x84) +
               makeFrame(0x8C) + makeFrame(0x88) + makeFrame(0x8C, randomBytes(rng, 253, 5)) +
               makeFrame(0x00, randomBytes(rng, 253)) + makeFrame(0x88, randomBytes(rng, 253)) +
               bytes({0xA5, 0x01}) + reading
        << 20u << true;

    QByteArray truncated;
    const QByteArray point = makeFrame(0x88, bytes({0x02}) + words({500, -1, 2, 3}));
    for (int keep = 1; keep < point.size(); ++keep)
        truncated += point.left(keep) + reading;
    QTest::newRow("truncated frames") << truncated << 20u << true;

    QByteArray wrongSums;
    for (int delta = 1; delta < 256; delta += 37) {
        QByteArray bad = reading;
        bad[bad.size() - 1] = char(bad.back() + delta);
        wrongSums += bad + point;
    }
    QTest::newRow("wrong checksums") << wrongSums << 20u << true;

    QTest::newRow("stray A5 FF before a reply")
        << bytes({0xA5, 0xFF}) + reply + makeFrame(0x83, bytes({0x00})) + sixteen + sixteen +
               sixteen + bytes({0xA5, 0xFF}) + reply
        << 20u << true;

    QByteArray accumulation;
    for (int i = 0; i < 30; ++i)
        accumulation += accumulationFrame({{qint16(i), qint16(-i), 7}, {1, 2, 3}}) +
                        (i % 3 ? QByteArray() : bytes({0xA5, i % 2}));
    accumulation += accumulationFrame({{5, 5, 5}, {1, 1, 1}, {2, 2, 2}});
    QTest::newRow("accumulation past the run's count") << accumulation << 20u << false;

    QTest::newRow("sync bytes of length 0 beyond 64 KiB")
        << bytes({0xA5, 0x00}).repeated(33000) + bytes({0xA5}) + reading << 20u << false;

    for (quint32 seed = 1; seed <= 6; ++seed)
        QTest::addRow("mixed stream %u", seed) << mixedStream(seed, 150) << seed * 4 << false;
}

void TestReceiveCorpus::corpus_decodesEveryIntactFrameOnceInOrder()
{
    QFETCH(QByteArray, stream);
    QFETCH(uint, runCount);
    QFETCH(bool, splitEverywhere);

    Pieces pieces = standardPieces(stream.size(), quint32(stream.size()));
    if (splitEverywhere)
        pieces += everySplit(stream.size());
    receiveref::ObservedCodec codec;
    for (const QList<int> &sizes : pieces) {
        const QString fault = receiveref::replay(codec, stream, sizes, runCount);
        QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("pieces %1 (of %2 bytes): %3")
                                                 .arg(describePieces(sizes))
                                                 .arg(stream.size())
                                                 .arg(fault)));
    }
}

QTEST_GUILESS_MAIN(TestReceiveCorpus)
#include "tst_receivecorpus.moc"
