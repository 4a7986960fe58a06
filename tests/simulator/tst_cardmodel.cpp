// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated driver card: request framing, answers to the host's command set, calibration
// storage, the sample stream and its pacing, the line faults, and the skin readings.

#include "cardmodel.h"
#include "frameschedule.h"
#include "skinreadings.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <tuple>

namespace {

// Sync, length, command, payload, checksum; built apart from the model's own framing.
QByteArray frame(quint8 cmd, const QByteArray &payload)
{
    QByteArray out = QByteArray("\xA5") + char(payload.size() + 2) + char(cmd) + payload;
    int sum = 0;
    for (char c : out)
        sum += quint8(c);
    return out + char(sum & 0xFF);
}

// "89 0205 03e8 | 8c 0205": frames apart by '|', each its command byte, then its payload.
QByteArray frames(const char *hex)
{
    QByteArray out;
    for (const QByteArray &part : QByteArray(hex).split('|')) {
        const QByteArray raw = QByteArray::fromHex(part);
        if (!raw.isEmpty())
            out += frame(quint8(raw.at(0)), raw.mid(1));
    }
    return out;
}

// Everything the card sent, whole and as the chunks it came in.
struct Wire
{
    QByteArray stream;
    QList<QByteArray> chunks;
    explicit Wire(CardModel &card)
    {
        QObject::connect(&card, &CardModel::bytesToHost, [this](const QByteArray &b) {
            stream += b;
            chunks << b;
        });
    }
};

// Splits an uncorrupted stream into its frames.
QList<QByteArray> framesIn(const QByteArray &stream)
{
    QList<QByteArray> out;
    for (qsizetype pos = 0; pos + 1 < stream.size(); pos += quint8(stream.at(pos + 1)) + 2)
        out << stream.mid(pos, quint8(stream.at(pos + 1)) + 2);
    return out;
}

int countFrames(const Wire &wire, int cmd)
{
    int count = 0;
    for (const QByteArray &f : framesIn(wire.stream))
        count += quint8(f.at(2)) == cmd ? 1 : 0;
    return count;
}

constexpr int kStreamWaitMs = 10000;
constexpr int kFullFrameBytes = 4 + kMaxSensors * 6;

using Setup = std::function<void(CardModel &)>;

} // namespace

Q_DECLARE_METATYPE(Setup)

class TestCardModel : public QObject
{
    Q_OBJECT

private slots:
    void requests_areAnswered_data();
    void requests_areAnswered();
    void hostFrames_assembleFromAnyChunks_data();
    void hostFrames_assembleFromAnyChunks();
    void baselineRead_startsAtSensorOffsets();
    void demonstrationPoints_areNotInPressureOrder();

    void frameSchedule_followsClock_data();
    void frameSchedule_followsClock();
    void frequencyRequest_changesStreamRate();
    void accumulation_onlyBetweenSamplingStartAndStop_evenWhenSilent();
    void corruption_intactCounterMatchesUntouchedFrames();
    void split_deliversSameBytesInDelayedChunks();
    void seed_reproducesWholeOutput();

    void readings_pressTravelsWithShearAlongItsPath();
};

void TestCardModel::requests_areAnswered_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QByteArray>("requests");
    QTest::addColumn<QByteArray>("replies");
    const Setup none = [](CardModel &) { /* as built */ };
    const auto row = [](const char *name, const Setup &setup, const char *in, const char *out) {
        QTest::newRow(name) << setup << frames(in) << frames(out);
    };
    row("baseline write, then read", none, "80 00 0001 0002 0003 01 FFFF 0000 0000 | 81",
        "80 00 | 81 0001 0002 0003 FFFF 0000 0000");
    row(
        "baseline write with a bad id stores nothing",
        [](CardModel &c) { c.receiveFromHost(frames("80 00 0001 0002 0003 01 FFFF 0000 0000")); },
        "80 00 0009 0009 0009 10 0000 0000 0000 | 81", "80 01 | 81 0001 0002 0003 FFFF 0000 0000");
    row("baseline write of 8 bytes", none, "80 0000000000000000", "80 01");
    row("frequency read", none, "84", "84 03");
    row("frequency set, then read", none, "83 00 | 84", "83 00 | 84 00");
    row("frequency index 5 is refused", none, "83 05 | 84", "83 01 | 84 03");
    row("frequency set without index", none, "83", "83 01");
    row("sampling switch has no reply", none, "82 01 | 82 00", "");
    row("remove existing points", none, "86 02 00C8 0032", "86 00");
    row("remove with a missing point still removes the rest", none, "86 02 03E7 00C8 | 86 02 00C8",
        "86 01 | 86 01");
    row("remove an empty list", none, "86 02", "86 00");
    row("remove on axis 3", none, "86 03 00C8", "86 01");
    row("remove with an odd byte", none, "86 02 00", "86 01");
    row("remove all, then read points", none, "87 | 88 00 | 88 01 | 88 02", "87 00");
    row("points of axis 3", none, "88 03", "");
    row(
        "points in stored order, replaced in place, cut to the sensor count",
        [](CardModel &c) {
            c.receiveFromHost(frames("87"));
            for (short p : {200, 50, 100})
                c.storeCalibrationPoint(2, p, {p});
            c.storeCalibrationPoint(2, 50, {-11, 5, 9});
            c.storeCalibrationPoint(2, 70, {4});
        },
        "86 02 00C8 | 88 02", "86 00 | 88 02 0032 FFF5 0005 | 88 02 0064 0064 | 88 02 0046 0004");
    row("single write, then read", none, "89 0205 03E8 FFFD | 8C 0205",
        "89 00 | 8C 0205 03E8 FFFD");
    row("single write replaces a pressure in place", none,
        "89 0001 0064 0005 | 89 0001 00C8 0006 | 89 0001 0064 0007 | 8C 0001",
        "89 00 | 89 00 | 89 00 | 8C 0001 0064 0007 00C8 0006");
    row("single write, bad axis", none, "89 0300 0001 0001", "89 01");
    row("single write, bad sensor", none, "89 0010 0001 0001", "89 01");
    row("single write, short", none, "89 0000 0001", "89 01");
    row(
        "full list refuses a new pressure, replaces a known one",
        [](CardModel &c) { c.setSinglePointCapacity(3); },
        "89 0104 0064 0001 | 89 0104 00C8 0002 | 89 0104 012C 0003 | 89 0104 0190 0004 |"
        "89 0104 00C8 0009 | 89 0105 0190 0004 | 8C 0104",
        "89 00 | 89 00 | 89 00 | 89 02 | 89 00 | 89 00 | 8C 0104 0064 0001 00C8 0009 012C 0003");
    row("single remove with a missing pressure", none,
        "89 0001 0064 0005 | 8A 0001 012C 0064 | 8C 0001", "89 00 | 8A 01 | 8C 0001");
    row("single remove all", none, "89 0102 0064 0005 | 8B 0102 | 8C 0102",
        "89 00 | 8B 00 | 8C 0102");
    row("single remove all, bad sensor", none, "8B 0010", "8B 01");
    row("single read, bad sensor", none, "8C 0010", "8C 0010");
    row("single read, short", none, "8C 00", "");
    row("unknown commands", none, "85 | 02 | 00 0001", "");

    row(
        "refusing card fails every status request and carries out none",
        [](CardModel &c) { c.setRefusing(true); },
        "80 00 0001 0002 0003 | 83 01 | 86 02 | 87 | 89 0000 0001 0001 | 8A 0000 | 8B 0000 | 84 | "
        "8C 0000",
        "80 01 | 83 01 | 86 01 | 87 01 | 89 01 | 8A 01 | 8B 01 | 84 03 | 8C 0000");
    row(
        "silent card answers nothing", [](CardModel &c) { c.setSilent(true); },
        "80 00 0001 0002 0003 | 81 | 83 01 | 84 | 86 02 | 87 | 88 02 | 89 0000 0001 0001 | "
        "8A 0000 | 8B 0000 | 8C 0000",
        "");
    row(
        "full storage refuses single writes", [](CardModel &c) { c.setStorageFull(true); },
        "89 0000 0001 0001 | 8C 0000", "89 02 | 8C 0000");
}

void TestCardModel::requests_areAnswered()
{
    QFETCH(Setup, setup);
    QFETCH(QByteArray, requests);
    QFETCH(QByteArray, replies);

    CardModel card;
    card.setSensorCount(2);
    setup(card);
    Wire wire(card);
    card.receiveFromHost(requests);

    QCOMPARE(wire.stream.toHex(' '), replies.toHex(' '));
}

void TestCardModel::hostFrames_assembleFromAnyChunks_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("received"); // the checked frames, in order

    const QByteArray write = frames("89 0205 03E8 FFFD");
    QList<QByteArray> oneByteEach;
    for (char c : write)
        oneByteEach << QByteArray(1, c);
    QTest::newRow("one byte at a time") << oneByteEach << write;
    QTest::newRow("split anywhere")
        << QList{write.first(4), write.mid(4, 3), write.mid(7)} << write;
    QTest::newRow("noise around two frames")
        << QList{QByteArray::fromHex("0013") + frames("84") + "\xFF" + frames("82 01") + "\x42"}
        << frames("84 | 82 01");
    QTest::newRow("bad checksum skips only the sync byte")
        << QList{QByteArray::fromHex("A50681") + frames("84") + '\0'} << frames("84");
    QTest::newRow("length below 2 is skipped")
        << QList{QByteArray::fromHex("A501") + frames("84")} << frames("84");
    QTest::newRow("noise sync with a long length does not hold back a whole frame")
        << QList{QByteArray::fromHex("A5F0"), frames("84")} << frames("84");
}

void TestCardModel::hostFrames_assembleFromAnyChunks()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, received);

    CardModel card;
    QByteArray got;
    connect(&card, &CardModel::requestReceived,
            [&got](quint8 cmd, const QByteArray &payload) { got += frame(cmd, payload); });
    for (const QByteArray &chunk : chunks)
        card.receiveFromHost(chunk);

    QCOMPARE(got.toHex(' '), received.toHex(' '));
}

void TestCardModel::baselineRead_startsAtSensorOffsets()
{
    CardModel card;
    card.setSeed(7);
    Wire wire(card);
    card.receiveFromHost(frames("81"));

    const SkinReadings skin(7);
    QByteArray expected;
    for (int i = 0; i < kMaxSensors; ++i) {
        for (qint16 v : {skin.offset(i).x, skin.offset(i).y, skin.offset(i).z})
            expected += char(v >> 8) + QByteArray(1, char(v));
    }
    QCOMPARE(wire.stream.toHex(' '), frame(0x81, expected).toHex(' '));
}

void TestCardModel::demonstrationPoints_areNotInPressureOrder()
{
    CardModel card;
    card.setSensorCount(3);
    Wire wire(card);
    for (const char *axis : {"88 00", "88 01", "88 02"})
        card.receiveFromHost(frames(axis));

    QList<int> pressures;
    for (const QByteArray &f : framesIn(wire.stream)) {
        QCOMPARE(f.size(), 4 + 3 + 3 * 2);
        pressures << qint16((quint8(f.at(4)) << 8) | quint8(f.at(5)));
    }
    QCOMPARE(pressures, (QList<int>{200, 50, 100, 200, 50, 100, 200, 50, 100}));
}

void TestCardModel::frameSchedule_followsClock_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<QList<int>>("pollsMs");
    QTest::addColumn<QList<int>>("frames");

    QTest::newRow("on time") << 100 << QList{10, 20, 30} << QList{1, 1, 1};
    QTest::newRow("early and late polls") << 100 << QList{5, 14, 31, 40} << QList{0, 1, 2, 1};
    QTest::newRow("stall sends only a few") << 100 << QList{10, 1010, 1020} << QList{1, 4, 1};
    QTest::newRow("10 Hz") << 10 << QList{50, 100, 250, 300} << QList{0, 1, 1, 1};
}

void TestCardModel::frameSchedule_followsClock()
{
    QFETCH(int, rate);
    QFETCH(QList<int>, pollsMs);
    QFETCH(QList<int>, frames);

    constexpr qint64 startNs = 123456789;
    FrameSchedule schedule;
    schedule.restart(startNs, rate);
    QList<int> got;
    for (int ms : pollsMs)
        got << schedule.framesDue(startNs + qint64(ms) * 1000000);
    QCOMPARE(got, frames);
}

// Over a generous window 200 Hz yields far more frames than 10 Hz, however loaded the machine.
void TestCardModel::frequencyRequest_changesStreamRate()
{
    CardModel card;
    Wire wire(card);
    card.receiveFromHost(frames("83 00"));
    card.start();
    QTest::qWait(600);
    const int at10Hz = countFrames(wire, 0x00);
    card.receiveFromHost(frames("83 04"));
    wire.stream.clear();
    QTest::qWait(600);
    const int at200Hz = countFrames(wire, 0x00);

    QVERIFY2(at10Hz >= 1 && at200Hz > 4 * at10Hz,
             qPrintable(QStringLiteral("%1 vs %2").arg(at200Hz).arg(at10Hz)));
}

void TestCardModel::accumulation_onlyBetweenSamplingStartAndStop_evenWhenSilent()
{
    CardModel card;
    card.setFrequencyIndex(4);
    card.setSilent(true);
    Wire wire(card);
    card.start();
    QTRY_VERIFY_WITH_TIMEOUT(countFrames(wire, 0x00) >= 5, kStreamWaitMs);
    QCOMPARE(countFrames(wire, 0x01), 0);

    card.receiveFromHost(frames("82 01"));
    card.setStreaming(false);
    const int streamed = countFrames(wire, 0x00);
    QTRY_VERIFY_WITH_TIMEOUT(countFrames(wire, 0x01) >= 5, kStreamWaitMs);
    QCOMPARE(countFrames(wire, 0x00), streamed);

    card.receiveFromHost(frames("82 00"));
    const int accumulated = countFrames(wire, 0x01);
    card.setStreaming(true);
    QTRY_VERIFY_WITH_TIMEOUT(countFrames(wire, 0x00) >= streamed + 5, kStreamWaitMs);
    QCOMPARE(countFrames(wire, 0x01), accumulated);
}

// Corruption flips bits without moving bytes, so a clean card with the same seed shows which
// frames of the noisy one left untouched.
void TestCardModel::corruption_intactCounterMatchesUntouchedFrames()
{
    CardModel noisy, clean;
    for (CardModel *card : {&noisy, &clean}) {
        card->setSeed(11);
        card->setFrequencyIndex(4);
    }
    noisy.setCorruption(0.002);
    Wire noisyWire(noisy), cleanWire(clean);
    noisy.start();
    QTRY_VERIFY_WITH_TIMEOUT(noisy.sensorFramesSent() >= 150, kStreamWaitMs);
    noisy.stop();
    clean.start();
    QTRY_VERIFY_WITH_TIMEOUT(clean.sensorFramesSent() >= noisy.sensorFramesSent(), kStreamWaitMs);
    clean.stop();

    const qsizetype sent = qsizetype(noisy.sensorFramesSent());
    QCOMPARE(noisyWire.stream.size(), sent * kFullFrameBytes);
    quint64 untouched = 0;
    for (qsizetype i = 0; i < sent; ++i) {
        const qsizetype at = i * kFullFrameBytes;
        untouched +=
            noisyWire.stream.mid(at, kFullFrameBytes) == cleanWire.stream.mid(at, kFullFrameBytes);
    }
    QCOMPARE(noisy.intactSensorFramesSent(), untouched);
    QVERIFY(untouched > 0 && untouched < noisy.sensorFramesSent());
    QCOMPARE(clean.intactSensorFramesSent(), clean.sensorFramesSent());
}

void TestCardModel::split_deliversSameBytesInDelayedChunks()
{
    CardModel whole, split;
    split.setSplit(5, 10);
    Wire wholeWire(whole), splitWire(split);
    for (CardModel *card : {&whole, &split})
        card->receiveFromHost(frames("88 02 | 84"));
    QCOMPARE(splitWire.chunks.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(splitWire.stream.toHex(' '), wholeWire.stream.toHex(' '),
                              kStreamWaitMs);
    for (const QByteArray &chunk : splitWire.chunks)
        QVERIFY(chunk.size() <= 5);

    split.receiveFromHost(frames("88 02"));
    split.stop();
    const qsizetype delivered = splitWire.stream.size();
    QTest::qWait(100);
    QCOMPARE(splitWire.stream.size(), delivered);
}

void TestCardModel::seed_reproducesWholeOutput()
{
    CardModel first, second, other;
    for (CardModel *card : {&first, &second, &other}) {
        card->setSeed(card == &other ? 4 : 3);
        card->setFrequencyIndex(4);
        card->setCorruption(0.01);
    }
    Wire a(first), b(second), c(other);
    for (CardModel *card : {&first, &second, &other})
        card->start();
    constexpr int compared = 30 * kFullFrameBytes;
    QTRY_VERIFY_WITH_TIMEOUT(
        std::min({a.stream.size(), b.stream.size(), c.stream.size()}) >= compared, kStreamWaitMs);
    QCOMPARE(a.stream.first(compared), b.stream.first(compared));
    QVERIFY(a.stream.first(compared) != c.stream.first(compared));
}

// 30 s of skin at 50 Hz: presses come and go, reach thousands of units, and the most pressed
// sensor wanders over the array. Pressing only ever drives Z down; shear stays a fraction of it
// and points the way the force-weighted centre of the contact moves.
void TestCardModel::readings_pressTravelsWithShearAlongItsPath()
{
    SkinReadings skin(5);
    std::set<int> pressedSensors;
    int strongest = 0, agreeing = 0, moving = 0;
    double previousColumn = std::nan("");
    for (int tick = 0; tick < 1500; ++tick) {
        const QList<Axit_t> readings = skin.next(0.02, kMaxSensors);
        QCOMPARE(readings.size(), kMaxSensors);
        int deepest = -1, deepestLoad = 1500;
        double weight = 0, column = 0, shear = 0;
        for (int i = 0; i < kMaxSensors; ++i) {
            const Axit_t base = skin.offset(i);
            const int load = base.z - readings[i].z;
            QVERIFY2(load > -10, qPrintable(QStringLiteral("sensor %1: %2").arg(i).arg(load)));
            QVERIFY(std::abs(readings[i].x - base.x) <= load / 2 + 10);
            QVERIFY(std::abs(readings[i].y - base.y) <= load / 2 + 10);
            strongest = std::max(strongest, load);
            if (load > deepestLoad)
                std::tie(deepest, deepestLoad) = std::pair(i, load);
            weight += std::max(load, 0);
            column += std::max(load, 0) * (i % 4);
            shear += readings[i].x - base.x;
        }
        if (deepest >= 0)
            pressedSensors.insert(deepest);
        column = weight < 3000 ? std::nan("") : column / weight;
        const double travel = column - previousColumn; // NaN unless both samples are pressed
        if (std::abs(travel) > 0.005 && std::abs(shear) > 100) {
            ++moving;
            agreeing += (travel > 0) == (shear > 0);
        }
        previousColumn = column;
    }
    QVERIFY2(strongest > 2000 && strongest < 10000, qPrintable(QString::number(strongest)));
    QVERIFY2(pressedSensors.size() >= 4, qPrintable(QString::number(pressedSensors.size())));
    QVERIFY2(moving > 100 && agreeing >= moving * 9 / 10,
             qPrintable(QStringLiteral("%1 of %2").arg(agreeing).arg(moving)));
}

QTEST_GUILESS_MAIN(TestCardModel)
#include "tst_cardmodel.moc"
