// SPDX-License-Identifier: GPL-3.0-or-later
// Protocol layer: requests on the wire, status waits, sensor data, baseline check, baseline
// read and write, sample frequency. The card is played by RecordingCodec: replies are fed as
// raw bytes, so every reply also goes through frame extraction.

#include "recordingcodec.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

constexpr int kShortTimeoutMs = 200;

struct ReadingCapture
{
    QList<QList<Axit_t>> lists;
    QList<uint> nums;

    void attach(SlaveProtocol &protocol)
    {
        QObject::connect(&protocol, &SlaveProtocol::AxitReflushGraphic,
                         [this](QList<Axit_t> &list, uint num) {
                             lists << list;
                             nums << num;
                         });
    }
};

QList<AxitSingle_t> baselineEntries(int count)
{
    QList<AxitSingle_t> entries;
    for (int i = 0; i < count; ++i)
        entries << AxitSingle_t{quint16(i), qint16(i * 100), qint16(-i), qint16(1000 + i)};
    return entries;
}

QByteArray baselinePayload(int count)
{
    QByteArray payload;
    for (int i = 0; i < count; ++i)
        payload += bytes({i}) + triple(i * 100, -i, 1000 + i);
    return payload;
}

void loadBaseline(RecordingCodec &card, const QByteArray &payload)
{
    QSignalSpy confirmed(&card, &SlaveProtocol::slaveCheckRec);
    card.readCheckData();
    card.feed(makeFrame(0x81, payload));
    QCOMPARE(confirmed.count(), 1);
    QCOMPARE(confirmed.at(0).at(0).toBool(), true);
}

} // namespace

class TestSlaveProtocol : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerDeviceRecordTypes(); }

    void requests_writeExpectedFrame_data();
    void requests_writeExpectedFrame();
    void readCheckData_returnsWriteResultWithoutWaiting();

    void setSampleFre_reportsStatusOrTimeout_data();
    void setSampleFre_reportsStatusOrTimeout();
    void sensorFrames_areStampedInOrder_withTheRateTheCardConfirmed();
    void readCurrentSampleFre_reportsIndex_data();
    void readCurrentSampleFre_reportsIndex();
    void checkDataWrite_reportsStatus_data();
    void checkDataWrite_reportsStatus();
    void checkDataWrite_refusedList_sendsNothing_data();
    void checkDataWrite_refusedList_sendsNothing();

    void sendAndWait_ownStatusEndsWaitEarly_data();
    void sendAndWait_ownStatusEndsWaitEarly();
    void sendAndWait_withoutOwnStatus_timesOut_data();
    void sendAndWait_withoutOwnStatus_timesOut();
    void sendAndWait_returnsOnReplyBeforeLaterEvents();
    void staleStatusBeforeRequest_doesNotAnswerIt();
    void requestDuringWait_isHeldUntilFirstResult();
    void heldFrequencyRequest_takesIndexAtOnce();

    void sensorData_emitsReadings_data();
    void sensorData_emitsReadings();
    void sensorData_moreThanSixteenSensors_isDropped();
    void sensorData_replacesPreviousReadings();

    void baselineCheck_averagesAccumulation_data();
    void baselineCheck_averagesAccumulation();
    void baselineCheck_averagesEveryAxisOfEverySensor();
    void baselineCheck_withoutFrames_leavesSumsZero();
    void baselineCheck_restart_forgetsPreviousCheck();
    void accumulation_ignoredWhenNotSampling();
    void accumulation_moreThanSixteenSensors_isDropped();

    void baselineReply_replacesLeadingRecords();
    void baselineReply_rejected_keepsState_data();
    void baselineReply_rejected_keepsState();
};

void TestSlaveProtocol::requests_writeExpectedFrame_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QStringList>("debugLines");

    QTest::newRow("check start") << Request([](RecordingCodec &c) { c.setChecking(true); })
                                 << bytes({0xA5, 0x03, 0x82, 0x01, 0x2B}) << QStringList();
    QTest::newRow("check stop") << Request([](RecordingCodec &c) { c.setChecking(false); })
                                << bytes({0xA5, 0x03, 0x82, 0x00, 0x2A})
                                << QStringList{"checkCnt= 0"};
    QTest::newRow("baseline read") << Request([](RecordingCodec &c) { c.readCheckData(); })
                                   << bytes({0xA5, 0x02, 0x81, 0x28}) << QStringList();
    QTest::newRow("frequency read")
        << Request([](RecordingCodec &c) { c.readCurrentSampleFre(kReplyTimeoutMs); })
        << bytes({0xA5, 0x02, 0x84, 0x2B}) << QStringList();
    QTest::newRow("frequency set")
        << Request([](RecordingCodec &c) { c.setSampleFre(3, kReplyTimeoutMs); })
        << bytes({0xA5, 0x03, 0x83, 0x03, 0x2E}) << QStringList{"freIndex= 3"};
    QTest::newRow("baseline write, two entries")
        << Request([](RecordingCodec &c) {
               QList<AxitSingle_t> entries{{0, 1, 2, 3}, {1, -1, 0, 0}};
               c.checkDataWrite(entries);
           })
        << bytes({0xA5, 0x10, 0x80, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x01, 0xFF, 0xFF,
                  0x00, 0x00, 0x00, 0x00, 0x3A})
        << QStringList{"checkWrite"};
    QTest::newRow("baseline write, sixteen entries") << Request([](RecordingCodec &c) {
        QList<AxitSingle_t> entries = baselineEntries(kMaxSensors);
        c.checkDataWrite(entries);
    }) << makeFrame(0x80, baselinePayload(kMaxSensors))
                                                     << QStringList{"checkWrite"};
}

void TestSlaveProtocol::requests_writeExpectedFrame()
{
    QFETCH(Request, request);
    QFETCH(QByteArray, frame);
    QFETCH(QStringList, debugLines);

    RecordingCodec card;
    card.responder = statusCard(bytes({0x00}), bytes({0x02}));
    for (const QString &line : debugLines)
        QTest::ignoreMessage(QtDebugMsg, qPrintable(line));

    request(card);

    QCOMPARE(card.written, QList<QByteArray>{frame});
}

void TestSlaveProtocol::readCheckData_returnsWriteResultWithoutWaiting()
{
    RecordingCodec card;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(card.readCheckData(), 4);
    QVERIFY(clock.elapsed() < kReplyTimeoutMs);

    SlaveProtocol unlinked;
    QCOMPARE(unlinked.readCheckData(), -1);
}

void TestSlaveProtocol::setSampleFre_reportsStatusOrTimeout_data()
{
    QTest::addColumn<bool>("answers");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<int>("mesc");
    QTest::addColumn<int>("res");

    const QByteArray none;
    QTest::newRow("done") << true << bytes({0x00}) << kReplyTimeoutMs << 0;
    QTest::newRow("failed") << true << bytes({0x01}) << kReplyTimeoutMs << 1;
    QTest::newRow("storage full") << true << bytes({0x02}) << kReplyTimeoutMs << 2;
    QTest::newRow("other status passed on") << true << bytes({0x07}) << kReplyTimeoutMs << 7;
    QTest::newRow("reply without status byte") << true << none << kReplyTimeoutMs << 1;
    QTest::newRow("status 255 counts as none") << true << bytes({0xFF}) << kShortTimeoutMs << -1;
    QTest::newRow("silence") << false << none << kShortTimeoutMs << -1;
}

void TestSlaveProtocol::setSampleFre_reportsStatusOrTimeout()
{
    QFETCH(bool, answers);
    QFETCH(QByteArray, status);
    QFETCH(int, mesc);
    QFETCH(int, res);

    RecordingCodec card;
    if (answers)
        card.responder = statusCard(status);
    QSignalSpy results(&card, &SlaveProtocol::sampleFreResult);

    QElapsedTimer clock;
    clock.start();
    card.setSampleFre(3, mesc);
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(results.count(), 1);
    QCOMPARE(intArgs(results.at(0)), (QList<int>{1, res, 0}));
    // The index is taken as set before the card answers; a refusal gives back the card's own,
    // unknown here.
    QCOMPARE(card.freIndex(), res == kStatusFailed ? -1 : 3);
    if (res == kNoReply)
        QVERIFY2(elapsed >= mesc * 9 / 10, qPrintable(QString::number(elapsed)));
    else
        QVERIFY2(elapsed < mesc, qPrintable(QString::number(elapsed)));
}

// A frame that comes in the same read right after the card's acceptance is already at the new
// rate; frames read together share one reading of the clock.
void TestSlaveProtocol::sensorFrames_areStampedInOrder_withTheRateTheCardConfirmed()
{
    RecordingCodec card;
    const QByteArray frame = sensorFrame({1, 2, 3});
    card.responder = [&frame](const QByteArray &written) {
        if (commandOf(written) == CmdReadFrequency)
            return makeFrame(CmdReadFrequency, bytes({3}));
        if (commandOf(written) == CmdSetFrequency)
            return frame + makeFrame(CmdSetFrequency, bytes({0x00})) + frame;
        return QByteArray();
    };
    QList<FrameStamp> stamps;
    connect(&card, &SlaveProtocol::stampedFrame, this,
            [&stamps](const FrameStamp &stamp) { stamps << stamp; });

    card.feed(frame + frame);
    card.readCurrentSampleFre(kReplyTimeoutMs);
    card.feed(frame);
    card.setSampleFre(4, kReplyTimeoutMs);

    QList<int> rates;
    for (int i = 0; i < stamps.size(); ++i) {
        QCOMPARE(stamps[i].sequence, quint64(i + 1));
        QVERIFY(i == 0 || stamps[i].timeUs > stamps[i - 1].timeUs);
        rates << stamps[i].frequencyHz;
    }
    QCOMPARE(rates, (QList<int>{0, 0, 100, 100, 200}));
    QCOMPARE(stamps[1].timeUs, stamps[0].timeUs + 1);
}

void TestSlaveProtocol::readCurrentSampleFre_reportsIndex_data()
{
    QTest::addColumn<int>("indexBefore");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("mesc");
    QTest::addColumn<int>("res");
    QTest::addColumn<int>("index");

    const QByteArray none;
    QTest::newRow("reply sets index") << -1 << true << bytes({0x02}) << kReplyTimeoutMs << 0 << 2;
    QTest::newRow("reply of index 0") << 4 << true << bytes({0x00}) << kReplyTimeoutMs << 0 << 0;
    QTest::newRow("silence keeps unknown index")
        << -1 << false << none << kShortTimeoutMs << -1 << -1;
    QTest::newRow("silence keeps set index") << 4 << false << none << kShortTimeoutMs << -1 << 4;
    QTest::newRow("reply without index byte fails")
        << 4 << true << none << kShortTimeoutMs << -1 << 4;
}

void TestSlaveProtocol::readCurrentSampleFre_reportsIndex()
{
    QFETCH(int, indexBefore);
    QFETCH(bool, answers);
    QFETCH(QByteArray, reply);
    QFETCH(int, mesc);
    QFETCH(int, res);
    QFETCH(int, index);

    RecordingCodec card;
    if (indexBefore >= 0) {
        card.responder = statusCard(bytes({0x00}));
        card.setSampleFre(uint(indexBefore), kReplyTimeoutMs);
    }
    card.responder = answers ? statusCard({}, reply) : RecordingCodec::Responder();
    QSignalSpy results(&card, &SlaveProtocol::sampleFreResult);

    QElapsedTimer clock;
    clock.start();
    card.readCurrentSampleFre(mesc);
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(results.count(), 1);
    QCOMPARE(intArgs(results.at(0)), (QList<int>{0, res, index}));
    QCOMPARE(card.freIndex(), index);
    if (res == 0)
        QVERIFY2(elapsed < mesc, qPrintable(QString::number(elapsed)));
}

void TestSlaveProtocol::checkDataWrite_reportsStatus_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<int>("res");

    QTest::newRow("done") << bytes({0x00}) << 0;
    QTest::newRow("failed") << bytes({0x01}) << 1;
    QTest::newRow("reply without status byte") << QByteArray() << 1;
    QTest::newRow("status 255 times out") << bytes({0xFF}) << -1;
}

void TestSlaveProtocol::checkDataWrite_reportsStatus()
{
    QFETCH(QByteArray, status);
    QFETCH(int, res);

    RecordingCodec card;
    if (res == kNoReply)
        card.setReplyTimeoutMs(kShortTimeoutMs);
    card.responder = statusCard(status);
    QSignalSpy results(&card, &SlaveProtocol::sampleFreResult);
    QList<AxitSingle_t> entries = baselineEntries(2);

    QTest::ignoreMessage(QtDebugMsg, "checkWrite");
    card.checkDataWrite(entries);

    QCOMPARE(results.count(), 1);
    QCOMPARE(intArgs(results.at(0)), (QList<int>{2, res, 0}));
}

void TestSlaveProtocol::checkDataWrite_refusedList_sendsNothing_data()
{
    QTest::addColumn<int>("entries");

    QTest::newRow("empty") << 0;
    QTest::newRow("seventeen entries") << kMaxSensors + 1;
}

void TestSlaveProtocol::checkDataWrite_refusedList_sendsNothing()
{
    QFETCH(int, entries);

    RecordingCodec card;
    card.responder = statusCard(bytes({0x00}));
    QSignalSpy results(&card, &SlaveProtocol::sampleFreResult);
    QList<AxitSingle_t> list = baselineEntries(entries);

    QElapsedTimer clock;
    clock.start();
    card.checkDataWrite(list);

    QVERIFY(card.written.isEmpty());
    QCOMPARE(results.count(), 1);
    QCOMPARE(intArgs(results.at(0)), (QList<int>{2, -1, 0}));
    QVERIFY(clock.elapsed() < kReplyTimeoutMs);
}

void TestSlaveProtocol::sendAndWait_ownStatusEndsWaitEarly_data()
{
    QTest::addColumn<int>("cmd");
    QTest::addColumn<int>("status");

    QTest::newRow("baseline write") << 0x80 << 0;
    QTest::newRow("frequency set") << 0x83 << 1;
    QTest::newRow("remove points") << 0x86 << 2;
    QTest::newRow("remove all points") << 0x87 << 3;
    QTest::newRow("single write") << 0x89 << 0;
    QTest::newRow("single remove") << 0x8A << 9;
    QTest::newRow("single remove all") << 0x8B << 254;
}

void TestSlaveProtocol::sendAndWait_ownStatusEndsWaitEarly()
{
    QFETCH(int, cmd);
    QFETCH(int, status);

    RecordingCodec card;
    card.responder = statusCard(bytes({status}));
    const quint8 payload = 0x05;

    QElapsedTimer clock;
    clock.start();
    const int res = card.sendAndWait(quint8(cmd), &payload, 1, kReplyTimeoutMs);
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(res, status);
    QVERIFY2(elapsed < kReplyTimeoutMs, qPrintable(QString::number(elapsed)));
    QCOMPARE(card.written, QList<QByteArray>{makeFrame(quint8(cmd), bytes({0x05}))});
}

void TestSlaveProtocol::sendAndWait_withoutOwnStatus_timesOut_data()
{
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("silence") << QByteArray();
    QTest::newRow("status 255") << makeFrame(0x83, bytes({0xFF}));
    QTest::newRow("status of another request") << makeFrame(0x87, bytes({0x00}));
    QTest::newRow("calibration point") << makeFrame(0x88, bytes({0x00, 0x01, 0xF4, 0x00, 0x0A}));
    QTest::newRow("sensor data") << makeFrame(0x00, triple(1, 2, 3));
}

void TestSlaveProtocol::sendAndWait_withoutOwnStatus_timesOut()
{
    QFETCH(QByteArray, reply);

    RecordingCodec card;
    card.responder = [reply](const QByteArray &) {
        return reply;
    };
    const quint8 index = 3;

    QElapsedTimer clock;
    clock.start();
    const int res = card.sendAndWait(0x83, &index, 1, kShortTimeoutMs);
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(res, -1);
    QVERIFY2(elapsed >= kShortTimeoutMs * 9 / 10, qPrintable(QString::number(elapsed)));
}

// The reply ends the wait at once: an event posted right after the reply has been delivered is
// not run inside the wait but only once the request has returned.
void TestSlaveProtocol::sendAndWait_returnsOnReplyBeforeLaterEvents()
{
    RecordingCodec card;
    bool laterEventRan = false;
    // Half-way through a 10 ms slice, so that the slice is not ending anyway.
    QTimer::singleShot(25, &card, [&] {
        card.feed(makeFrame(0x83, bytes({0x00})));
        QMetaObject::invokeMethod(
            &card, [&] { laterEventRan = true; }, Qt::QueuedConnection);
    });
    const quint8 index = 3;

    QCOMPARE(card.sendAndWait(0x83, &index, 1, kReplyTimeoutMs), 0);

    QVERIFY(!laterEventRan);
    QTRY_VERIFY(laterEventRan);
}

void TestSlaveProtocol::staleStatusBeforeRequest_doesNotAnswerIt()
{
    RecordingCodec card;
    QSignalSpy results(&card, &SlaveProtocol::sampleFreResult);

    card.feed(makeFrame(0x83, bytes({0x00})));
    card.setSampleFre(3, kShortTimeoutMs);

    QCOMPARE(results.count(), 1);
    QCOMPARE(intArgs(results.at(0)), (QList<int>{1, -1, 0}));
}

void TestSlaveProtocol::requestDuringWait_isHeldUntilFirstResult()
{
    RecordingCodec card;
    card.replyDelayMs = 100;
    card.responder = [](const QByteArray &written) {
        const quint8 cmd = commandOf(written);
        return makeFrame(cmd, bytes({cmd == 0x83 ? 0x01 : 0x00}));
    };
    qsizetype writtenAtFrequencyResult = -1;
    connect(&card, &SlaveProtocol::sampleFreResult, this,
            [&] { writtenAtFrequencyResult = card.written.size(); });
    QSignalSpy frequencyResults(&card, &SlaveProtocol::sampleFreResult);
    QSignalSpy removeAllResults(&card, &SlaveProtocol::demarcateOperationResult);
    qsizetype writtenRightAfterSecondRequest = -1;
    QTimer::singleShot(30, &card, [&] {
        card.demarcateRemoveAll();
        writtenRightAfterSecondRequest = card.written.size();
        // Not the awaited command: must not end the frequency wait.
        card.feed(makeFrame(0x87, bytes({0x09})));
    });

    card.setSampleFre(3, kReplyTimeoutMs);

    QCOMPARE(writtenRightAfterSecondRequest, 1);
    QCOMPARE(frequencyResults.count(), 1);
    QCOMPARE(intArgs(frequencyResults.at(0)), (QList<int>{1, 1, 0}));
    QCOMPARE(writtenAtFrequencyResult, 1);
    QTRY_COMPARE(removeAllResults.count(), 1);
    QCOMPARE(intArgs(removeAllResults.at(0)), (QList<int>{135, 0, 0}));
    QCOMPARE(card.written, (QList<QByteArray>{bytes({0xA5, 0x03, 0x83, 0x03, 0x2E}),
                                              bytes({0xA5, 0x02, 0x87, 0x2E})}));
}

// The interface asks for a new index only when it differs from freIndex(); a held request
// must not leave the old index there for up to two seconds.
void TestSlaveProtocol::heldFrequencyRequest_takesIndexAtOnce()
{
    RecordingCodec card;
    card.replyDelayMs = 100;
    card.responder = statusCard(bytes({0x00}));
    int indexRightAfterCall = -1;
    qsizetype writtenRightAfterCall = -1;
    QTimer::singleShot(30, &card, [&] {
        card.setSampleFre(4, kReplyTimeoutMs);
        indexRightAfterCall = card.freIndex();
        writtenRightAfterCall = card.written.size();
    });

    card.demarcateRemoveAll();

    QCOMPARE(indexRightAfterCall, 4);
    QCOMPARE(writtenRightAfterCall, 1);
    QCOMPARE(card.written, (QList<QByteArray>{bytes({0xA5, 0x02, 0x87, 0x2E}),
                                              bytes({0xA5, 0x03, 0x83, 0x04, 0x2F})}));
}

void TestSlaveProtocol::sensorData_emitsReadings_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QList<Axit_t>>("readings");

    QTest::newRow("one sensor") << bytes(
                                       {0xA5, 0x08, 0x00, 0x00, 0x10, 0xFF, 0xF0, 0x01, 0x00, 0xAD})
                                << QList<Axit_t>{{16, -16, 256}};

    QByteArray payload;
    QList<Axit_t> sixteen;
    for (int i = 0; i < kMaxSensors; ++i) {
        const Axit_t a{qint16(i), qint16(-100 * i), qint16(1000 + i)};
        sixteen << a;
        payload += triple(a.x, a.y, a.z);
    }
    QTest::newRow("sixteen sensors and a spare byte")
        << makeFrame(0x00, payload + bytes({0x7F})) << sixteen;
    QTest::newRow("partial triple ignored")
        << makeFrame(0x00, triple(1, 2, 3) + bytes({0x00, 0x04, 0x00, 0x05, 0x00}))
        << QList<Axit_t>{{1, 2, 3}};
    QTest::newRow("empty payload") << makeFrame(0x00) << QList<Axit_t>();
}

void TestSlaveProtocol::sensorData_emitsReadings()
{
    QFETCH(QByteArray, frame);
    QFETCH(QList<Axit_t>, readings);

    RecordingCodec card;
    ReadingCapture capture;
    capture.attach(card);

    card.feed(frame);

    QCOMPARE(capture.lists.size(), 1);
    QCOMPARE(describe(capture.lists.at(0)), describe(readings));
    QCOMPARE(capture.nums.at(0), uint(readings.size()));
    QCOMPARE(card.sensorCount(), int(readings.size()));
}

void TestSlaveProtocol::sensorData_moreThanSixteenSensors_isDropped()
{
    RecordingCodec card;
    card.feed(makeFrame(0x00, triple(16, -16, 256)));
    ReadingCapture capture;
    capture.attach(card);

    QByteArray seventeen;
    for (int i = 0; i <= kMaxSensors; ++i)
        seventeen += triple(i, i, i);
    QCOMPARE(seventeen.size(), 102);
    card.feed(makeFrame(0x00, seventeen));

    QVERIFY(capture.lists.isEmpty());
    QCOMPARE(card.sensorCount(), 1);
}

void TestSlaveProtocol::sensorData_replacesPreviousReadings()
{
    RecordingCodec card;
    ReadingCapture capture;
    capture.attach(card);

    card.feed(makeFrame(0x00, triple(1, 1, 1) + triple(2, 2, 2) + triple(3, 3, 3)));
    card.feed(makeFrame(0x00, triple(-7, 8, -9)));

    QCOMPARE(capture.lists.size(), 2);
    QCOMPARE(describe(capture.lists.at(1)), describe({{-7, 8, -9}}));
    QCOMPARE(capture.nums.at(1), 1u);
    QCOMPARE(card.sensorCount(), 1);
}

void TestSlaveProtocol::baselineCheck_averagesAccumulation_data()
{
    QTest::addColumn<QList<int>>("xs");
    QTest::addColumn<int>("average");

    QTest::newRow("three frames") << QList<int>{10, 11, 13} << 11;
    QTest::newRow("negative truncates toward zero") << QList<int>{-10, -11, -13} << -11;
    QTest::newRow("negative half truncates toward zero") << QList<int>{-1, -2} << -1;
    QTest::newRow("sum beyond 16 bits") << QList<int>{32767, 32767, 32766} << 32766;
    QTest::newRow("negative sum beyond 16 bits") << QList<int>{-32768, -32768} << -32768;
}

void TestSlaveProtocol::baselineCheck_averagesAccumulation()
{
    QFETCH(QList<int>, xs);
    QFETCH(int, average);

    RecordingCodec card;
    card.setChecking(true);
    for (int x : xs)
        card.feed(accumulationFrame({{qint16(x), 0, 0}}));

    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("checkCnt= %1").arg(xs.size())));
    card.setChecking(false);

    QCOMPARE(describe(card.demarcateSums()), describeSums({{average, 0, 0}}));
    QCOMPARE(card.sensorCount(), 1);
}

void TestSlaveProtocol::baselineCheck_averagesEveryAxisOfEverySensor()
{
    RecordingCodec card;
    card.setChecking(true);
    card.feed(accumulationFrame({{1, 2, 3}, {-5, 100, 7}, {0, 0, 0}}));
    card.feed(accumulationFrame({{3, 4, 5}, {-6, 200, 8}, {1, 1, -1}}));
    QTest::ignoreMessage(QtDebugMsg, "checkCnt= 2");
    card.setChecking(false);

    QCOMPARE(describe(card.demarcateSums()), describeSums({{2, 3, 4}, {-5, 150, 7}, {0, 0, 0}}));
    QCOMPARE(card.sensorCount(), 3);
}

void TestSlaveProtocol::baselineCheck_withoutFrames_leavesSumsZero()
{
    RecordingCodec card;
    loadBaseline(card, triple(5, 6, 7) + triple(-8, 9, 10));

    card.setChecking(true);
    QTest::ignoreMessage(QtDebugMsg, "checkCnt= 0");
    card.setChecking(false);

    QCOMPARE(describe(card.demarcateSums()), describeSums({}));
}

void TestSlaveProtocol::baselineCheck_restart_forgetsPreviousCheck()
{
    RecordingCodec card;
    card.setChecking(true);
    for (int x : {10, 11, 13})
        card.feed(accumulationFrame({{qint16(x), 0, 0}}));
    card.setChecking(false);

    card.setChecking(true);
    card.feed(accumulationFrame({{5, 6, 7}}));
    QTest::ignoreMessage(QtDebugMsg, "checkCnt= 1");
    card.setChecking(false);

    QCOMPARE(describe(card.demarcateSums()), describeSums({{5, 6, 7}}));
}

void TestSlaveProtocol::accumulation_ignoredWhenNotSampling()
{
    RecordingCodec card;
    card.feed(accumulationFrame({{100, 100, 100}}));
    QCOMPARE(describe(card.demarcateSums()), describeSums({}));
    QCOMPARE(card.sensorCount(), -1);

    card.setChecking(true);
    card.feed(accumulationFrame({{10, 20, 30}}));
    card.setChecking(false);
    card.feed(accumulationFrame({{100, 100, 100}, {1, 1, 1}}));

    QCOMPARE(describe(card.demarcateSums()), describeSums({{10, 20, 30}}));
    QCOMPARE(card.sensorCount(), 1);
}

void TestSlaveProtocol::accumulation_moreThanSixteenSensors_isDropped()
{
    RecordingCodec card;
    card.setChecking(true);
    card.feed(accumulationFrame({{4, 5, 6}}));
    QList<Axit_t> seventeen;
    for (int i = 0; i <= kMaxSensors; ++i)
        seventeen << Axit_t{1000, 1000, 1000};
    card.feed(accumulationFrame(seventeen));
    QTest::ignoreMessage(QtDebugMsg, "checkCnt= 1");
    card.setChecking(false);

    QCOMPARE(describe(card.demarcateSums()), describeSums({{4, 5, 6}}));
    QCOMPARE(card.sensorCount(), 1);
}

void TestSlaveProtocol::baselineReply_replacesLeadingRecords()
{
    RecordingCodec card;
    loadBaseline(card, triple(7, 7, 7) + triple(8, 8, 8) + triple(9, 9, 9));

    QSignalSpy confirmed(&card, &SlaveProtocol::slaveCheckRec);
    card.readCheckData();
    card.feed(bytes({0xA5, 0x0E, 0x81, 0x00, 0x01, 0xFF, 0xFE, 0x00, 0x03, 0x80, 0x00, 0x7F, 0xFF,
                     0xFF, 0xFF, 0x31}));

    QCOMPARE(confirmed.count(), 1);
    QCOMPARE(confirmed.at(0).at(0).toBool(), true);
    QCOMPARE(describe(card.demarcateSums()),
             describeSums({{1, -2, 3}, {-32768, 32767, -1}, {9, 9, 9}}));
    QCOMPARE(card.sensorCount(), 2);
}

void TestSlaveProtocol::baselineReply_rejected_keepsState_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("debugLine");

    QByteArray seventeen;
    for (int i = 0; i <= kMaxSensors; ++i)
        seventeen += triple(i, i, i);

    QTest::newRow("13 bytes") << triple(1, 1, 1) + triple(2, 2, 2) + bytes({0x03})
                              << QStringLiteral("decodeSlaveBase len error");
    QTest::newRow("5 bytes") << bytes({0, 1, 0, 2, 0})
                             << QStringLiteral("decodeSlaveBase len error");
    QTest::newRow("17 sensors") << seventeen << QString();
}

void TestSlaveProtocol::baselineReply_rejected_keepsState()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, debugLine);

    RecordingCodec card;
    loadBaseline(card, triple(5, 6, 7) + triple(-8, 9, 10));
    QSignalSpy confirmed(&card, &SlaveProtocol::slaveCheckRec);

    if (!debugLine.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, qPrintable(debugLine));
    card.readCheckData();
    card.feed(makeFrame(0x81, payload));

    QCOMPARE(confirmed.count(), 1);
    QCOMPARE(confirmed.at(0).at(0).toBool(), false);
    QCOMPARE(describe(card.demarcateSums()), describeSums({{5, 6, 7}, {-8, 9, 10}}));
    QCOMPARE(card.sensorCount(), 2);
}

QTEST_GUILESS_MAIN(TestSlaveProtocol)
#include "tst_slaveprotocol.moc"
