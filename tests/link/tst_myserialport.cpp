// SPDX-License-Identifier: GPL-3.0-or-later
// The driver-card object on its worker thread, against the simulated card over a real
// pseudo-terminal: opening and closing, the stream, a lost line, every request with its answer
// and with a silent card, and lines that corrupt or split what the card sends.

#include "cardmodel.h"
#include "simulatedcard.h"
#include "workerport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

constexpr int kFrequencyIndex = 3;
constexpr int kAnswerMs = 10000; // the card answers at once, but the machine may be loaded
constexpr int kNoAnswerMs = kReplyTimeoutMs + 1500;
// The reply time-out of the cases that wait one out but do not depend on its length.
constexpr int kShortReplyMs = 300;

std::atomic<int> g_readErrorLines{0};
QtMessageHandler g_previousHandler = nullptr;

// Counts the worker's "通信出错" lines, which a dead line would otherwise produce by the
// thousand.
void countReadErrors(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QStringLiteral("通信出错")))
        ++g_readErrorLines;
    g_previousHandler(type, context, message);
}

using PortCall = std::function<void(MySerialport &)>;

} // namespace

Q_DECLARE_METATYPE(PortCall)

class tst_MySerialport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void open_readsCardFrequencyFirst_thenStreams();
    void stream_atSelectedRate_deliversEveryFrame_data();
    void stream_atSelectedRate_deliversEveryFrame();
    void openMissingPath_reportsFailure_andAsksNothing();
    void openPort_whenOpen_closesWhateverArguments();
    void closePort_whenClosed_stillResetsAndReports();
    void hangUp_reportsLostPortOnce_andReopenWorks();
    void request_answeredByCard_data();
    void request_answeredByCard();
    void request_silentCard_timesOut_data();
    void request_silentCard_timesOut();
    void baselineWrite_isReadBackByTheCard();
    void calibrationPoints_arriveInCardOrder();
    void accumulation_fillsSums_data();
    void accumulation_fillsSums();
    void faultyLine_deliversEveryIntactFrame_data();
    void faultyLine_deliversEveryIntactFrame();
    void backlogBeyondSixtyFourKiB_isDeliveredWhole();

private:
    void openAndWaitForStream();
    void drainStream();
    void requestRows(bool silent);
    QString link() const { return m_dir.filePath(QStringLiteral("card")); }

    QTemporaryDir m_dir;
    std::unique_ptr<SimulatedCard> m_card;
    std::unique_ptr<WorkerPort> m_worker;
};

void tst_MySerialport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    g_previousHandler = qInstallMessageHandler(countReadErrors);
}

void tst_MySerialport::init()
{
    m_card = std::make_unique<SimulatedCard>();
    QVERIFY2(m_card->start(link(),
                           [](CardModel &card) {
                               card.setSeed(7);
                               card.setFrequencyIndex(kFrequencyIndex);
                           }),
             qPrintable(m_card->errorString()));
    m_worker = std::make_unique<WorkerPort>();
}

void tst_MySerialport::cleanup()
{
    m_worker.reset();
    m_card.reset();
}

void tst_MySerialport::openAndWaitForStream()
{
    m_worker->open(link());
    QTRY_COMPARE_WITH_TIMEOUT(
        m_worker->count(QStringLiteral("sampleFreResult 0 0 %1").arg(kFrequencyIndex)), 1,
        kAnswerMs);
    QTRY_VERIFY_WITH_TIMEOUT(m_worker->frames.size() > 5, kAnswerMs);
}

// The card's answer to a frequency read follows whatever it sent before on the same line: once
// it has come, so has every frame before it.
void tst_MySerialport::drainStream()
{
    const QString answer = QStringLiteral("sampleFreResult 0 0");
    const auto answers = [&] {
        return int(m_worker->replies().filter(answer).size());
    };
    const int before = answers();
    m_worker->run([](MySerialport &p) { p.readCurrentSampleFre(kReplyTimeoutMs); });
    QTRY_COMPARE_WITH_TIMEOUT(answers(), before + 1, kNoAnswerMs);
}

void tst_MySerialport::open_readsCardFrequencyFirst_thenStreams()
{
    openAndWaitForStream();

    QCOMPARE(m_card->receivedBytes().left(4).toHex(' '), QByteArray("a5 02 84 2b"));
    QVERIFY(m_worker->port->isPortOpen());
    QCOMPARE(m_worker->port->freIndex(), kFrequencyIndex);
    QCOMPARE(m_worker->replies().first(), QStringLiteral("flush"));
    QCOMPARE(m_worker->frames.last().size(), kMaxSensors);
    QCOMPARE(m_worker->events.last(), QStringLiteral("frame 16"));
}

void tst_MySerialport::stream_atSelectedRate_deliversEveryFrame_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("10 Hz") << 0;
    QTest::newRow("50 Hz") << 2;
    QTest::newRow("200 Hz") << 4;
}

// How fast the frames come is the card's affair and a benchmark's; here, the card runs the
// chosen rate, and every frame it sends at that rate arrives.
void tst_MySerialport::stream_atSelectedRate_deliversEveryFrame()
{
    QFETCH(int, index);
    openAndWaitForStream();
    m_worker->run([index](MySerialport &p) { p.setSampleFre(uint(index), kReplyTimeoutMs); });
    QTRY_COMPARE_WITH_TIMEOUT(m_worker->count(QStringLiteral("sampleFreResult 1 0 0")), 1,
                              kAnswerMs);
    int cardIndex = -1;
    m_card->withModel([&](CardModel &card) {
        cardIndex = card.frequencyIndex();
        card.setStreaming(false);
    });
    QCOMPARE(cardIndex, index);
    drainStream();
    m_worker->clear();
    quint64 sentBefore = 0;
    m_card->withModel([&](CardModel &card) {
        sentBefore = card.sensorFramesSent();
        card.setStreaming(true);
    });

    QTRY_VERIFY_WITH_TIMEOUT(m_worker->frames.size() >= 10, 10000);
    quint64 sent = 0;
    m_card->withModel([&](CardModel &card) {
        card.setStreaming(false);
        sent = card.sensorFramesSent() - sentBefore;
    });
    drainStream();
    QCOMPARE(quint64(m_worker->frames.size()), sent);
}

// The worker reports the failure without waiting for anyone, and asks nothing of a port that
// did not open.
void tst_MySerialport::openMissingPath_reportsFailure_andAsksNothing()
{
    m_worker->runBlocking([](MySerialport &p) { p.setReplyTimeoutMs(kShortReplyMs); });
    m_worker->open(m_dir.filePath(QStringLiteral("no-such-port")));
    const QStringList failed{QStringLiteral("openFailed %1").arg(QSerialPort::DeviceNotFoundError),
                             QStringLiteral("flush")};
    QTRY_COMPARE_WITH_TIMEOUT(m_worker->replies(), failed, kAnswerMs);

    QTest::qWait(3 * kShortReplyMs); // a frequency read's time-out would have come by now
    QCOMPARE(m_worker->replies(), failed);
    QVERIFY(!m_worker->port->isPortOpen());
}

void tst_MySerialport::openPort_whenOpen_closesWhateverArguments()
{
    openAndWaitForStream();
    m_worker->clear();

    m_worker->run([](MySerialport &p) { p.openPort(QStringLiteral("/nonexistent"), -5); });

    QTRY_COMPARE(m_worker->count(QStringLiteral("flush")), 1);
    QVERIFY(!m_worker->port->isPortOpen());
    QCOMPARE(m_worker->port->freIndex(), -1);
    QTest::qWait(300);
    QCOMPARE(m_worker->replies(), QStringList{QStringLiteral("flush")});
    m_worker->clear();
    QTest::qWait(300);
    QVERIFY(m_worker->frames.isEmpty());
}

void tst_MySerialport::closePort_whenClosed_stillResetsAndReports()
{
    m_worker->run([](MySerialport &p) { p.setSampleFre(2, 0); });
    QTRY_COMPARE(m_worker->count(QStringLiteral("sampleFreResult 1 -1 0")), 1);
    QCOMPARE(m_worker->port->freIndex(), 2);
    m_worker->clear();

    m_worker->run([](MySerialport &p) { p.closePort(); });

    QTRY_COMPARE(m_worker->replies(), QStringList{QStringLiteral("flush")});
    QCOMPARE(m_worker->port->freIndex(), -1);
    QVERIFY(!m_worker->port->isPortOpen());
}

void tst_MySerialport::hangUp_reportsLostPortOnce_andReopenWorks()
{
    openAndWaitForStream();
    g_readErrorLines = 0;

    m_card->hangUp();

    QTRY_COMPARE_WITH_TIMEOUT(m_worker->count(QStringLiteral("portLost")), 1, kAnswerMs);
    QTest::qWait(500);
    QCOMPARE(m_worker->count(QStringLiteral("portLost")), 1);
    QVERIFY2(g_readErrorLines <= 1, qPrintable(QString::number(g_readErrorLines)));
    // Still open for the rest of the program until it closes the port; the worker answers.
    QVERIFY(m_worker->port->isPortOpen());
    m_worker->runBlocking([](MySerialport &p) { p.closePort(); });
    QVERIFY(!m_worker->port->isPortOpen());

    QVERIFY2(m_card->reconnect(), qPrintable(m_card->errorString()));
    m_worker->clear();
    openAndWaitForStream();
    QVERIFY(m_worker->port->isPortOpen());
    QCOMPARE(m_worker->count(QStringLiteral("portLost")), 0);
}

void tst_MySerialport::requestRows(bool silent)
{
    QTest::addColumn<PortCall>("request");
    QTest::addColumn<QStringList>("expected");
    const auto answer = [silent](const QString &done, const QString &timedOut = QString()) {
        return silent ? (timedOut.isEmpty() ? QStringList() : QStringList{timedOut})
                      : QStringList{done};
    };

    QTest::newRow("set frequency")
        << PortCall([](MySerialport &p) { p.setSampleFre(1, p.replyTimeoutMs()); })
        << answer("sampleFreResult 1 0 0", "sampleFreResult 1 -1 0");
    QTest::newRow("read frequency")
        << PortCall([](MySerialport &p) { p.readCurrentSampleFre(p.replyTimeoutMs()); })
        << answer("sampleFreResult 0 0 3", "sampleFreResult 0 -1 3");
    QTest::newRow("baseline write") << PortCall([](MySerialport &p) {
        QList<AxitSingle_t> entries{{0, 1, 2, 3}, {5, -1, 0, 0}};
        p.checkDataWrite(entries);
    }) << answer("sampleFreResult 2 0 0", "sampleFreResult 2 -1 0");
    QTest::newRow("baseline read")
        << PortCall([](MySerialport &p) { p.readCheckData(); }) << answer("slaveCheckRec 1");
    QTest::newRow("remove all points")
        << PortCall([](MySerialport &p) { p.demarcateRemoveAll(); })
        << answer("demarcateOperationResult 135 0 0", "demarcateOperationResult 135 -1 0");
    QTest::newRow("remove a point") << PortCall([](MySerialport &p) {
        QList<short> pressures{1234};
        p.demarcateRemove(2, pressures);
    }) << answer("demarcateRemoveResult 0 2 [1234]", "demarcateRemoveResult -1 2 [1234]");
    QTest::newRow("single write") << PortCall([](MySerialport &p) {
        p.demarcateSingleWrite(1, 3, 150, -20);
    }) << answer("demarcateOperationResult 137 0 0", "demarcateOperationResult 137 -1 0");
    QTest::newRow("single read") << PortCall([](MySerialport &p) { p.demarcateSingleRead(0, 9); })
                                 << answer("demarcateSingleReadInfo 0 9 [(-300,42)]");
    QTest::newRow("single remove") << PortCall([](MySerialport &p) {
        QList<short> pressures{-300};
        p.demarcateSingleRemove(0, 9, pressures);
    })
                                   << answer("demarcateSingleRemoveResult 0 0 9 [-300]",
                                             "demarcateSingleRemoveResult -1 0 9 [-300]");
    QTest::newRow("single remove all")
        << PortCall([](MySerialport &p) { p.demarcateSingleRemoveAll(0, 9); })
        << answer("demarcateOperationResult 139 0 0", "demarcateOperationResult 139 -1 0");
}

void tst_MySerialport::request_answeredByCard_data()
{
    requestRows(false);
}

// The card holds a calibration point at 12.34 on Z and the single point (-3.00, 42) for sensor 9
// on X, so that reads and removals find something.
void tst_MySerialport::request_answeredByCard()
{
    QFETCH(PortCall, request);
    QFETCH(QStringList, expected);
    m_card->withModel([](CardModel &card) {
        card.storeCalibrationPoint(2, 1234, QList<qint16>(kMaxSensors, 5));
    });
    openAndWaitForStream();
    m_worker->runBlocking([](MySerialport &p) { p.demarcateSingleWrite(0, 9, -300, 42); });
    QTRY_COMPARE(m_worker->count(QStringLiteral("demarcateOperationResult 137 0 0")), 1);
    m_worker->clear();

    m_worker->run(request);

    QTRY_COMPARE_WITH_TIMEOUT(m_worker->replies(), expected, kAnswerMs);
}

void tst_MySerialport::request_silentCard_timesOut_data()
{
    requestRows(true);
}

// The baseline write waits out the card's own reply time-out; the others a short one.
void tst_MySerialport::request_silentCard_timesOut()
{
    QFETCH(PortCall, request);
    QFETCH(QStringList, expected);
    const bool realLength = QTest::currentDataTag() == QByteArrayLiteral("baseline write");
    const int timeoutMs = realLength ? kReplyTimeoutMs : kShortReplyMs;
    openAndWaitForStream();
    m_worker->runBlocking([timeoutMs](MySerialport &p) { p.setReplyTimeoutMs(timeoutMs); });
    m_card->withModel([](CardModel &card) { card.setSilent(true); });
    m_worker->clear();

    const qint64 asked = m_worker->now();
    m_worker->run(request);

    if (expected.isEmpty()) {
        QTest::qWait(timeoutMs + 300);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(m_worker->replies(), expected, timeoutMs + kNoAnswerMs);
        const qint64 waited = m_worker->timeOf(expected.first()) - asked;
        QVERIFY2(waited >= timeoutMs * 9 / 10, qPrintable(QString::number(waited)));
        QTest::qWait(300); // nothing follows
    }
    QCOMPARE(m_worker->replies(), expected);
}

void tst_MySerialport::baselineWrite_isReadBackByTheCard()
{
    openAndWaitForStream();
    m_worker->run([](MySerialport &p) {
        QList<AxitSingle_t> entries{{0, 100, -200, 300}, {15, -32768, 32767, 0}};
        p.checkDataWrite(entries);
        p.readCheckData();
    });
    QTRY_COMPARE(m_worker->count(QStringLiteral("slaveCheckRec 1")), 1);

    QList<AxitSingle_t> stored;
    m_card->withModel([&](CardModel &card) { stored = card.baseline(); });
    const AxitSum_t *sums = m_worker->port->demarcateSums();
    QCOMPARE(m_worker->port->sensorCount(), kMaxSensors);
    QCOMPARE((QList<int>{sums[0].x, sums[0].y, sums[0].z}), (QList<int>{100, -200, 300}));
    QCOMPARE((QList<int>{sums[15].x, sums[15].y, sums[15].z}), (QList<int>{-32768, 32767, 0}));
    for (const AxitSingle_t &entry : stored)
        QCOMPARE((QList<int>{sums[entry.id].x, sums[entry.id].y, sums[entry.id].z}),
                 (QList<int>{entry.x, entry.y, entry.z}));
}

void tst_MySerialport::calibrationPoints_arriveInCardOrder()
{
    QList<CardCalibrationPoint> stored;
    m_card->withModel([&](CardModel &card) {
        card.storeCalibrationPoint(1, 700, QList<qint16>(kMaxSensors, -7));
        card.storeCalibrationPoint(1, -25, QList<qint16>(kMaxSensors, 25));
        stored = card.calibrationPoints(1);
    });
    QStringList expected;
    for (const CardCalibrationPoint &point : stored)
        expected << QStringLiteral("demarcateInfo 1 %1 ").arg(point.pressure) +
                        describeShorts(QList<short>(point.values.begin(), point.values.end()));
    openAndWaitForStream();
    m_worker->clear();

    m_worker->run([](MySerialport &p) { p.readDemarcateInfo(1); });

    QTRY_COMPARE_WITH_TIMEOUT(m_worker->replies(), expected, kAnswerMs);
    QVERIFY(expected.size() >= 2);
}

void tst_MySerialport::accumulation_fillsSums_data()
{
    QTest::addColumn<PortCall>("start");
    QTest::addColumn<PortCall>("stop");
    QTest::addColumn<int>("samples"); // the sums are averages when 1
    QTest::newRow("calibration run of 20")
        << PortCall([](MySerialport &p) { p.demarcateStart(20); })
        << PortCall([](MySerialport &p) { p.demarcateStop(); }) << 20;
    QTest::newRow("baseline check") << PortCall([](MySerialport &p) { p.setChecking(true); })
                                    << PortCall([](MySerialport &p) { p.setChecking(false); }) << 1;
}

void tst_MySerialport::accumulation_fillsSums()
{
    QFETCH(PortCall, start);
    QFETCH(PortCall, stop);
    QFETCH(int, samples);
    openAndWaitForStream();
    m_worker->runBlocking(start);
    QTest::qWait(500);
    QTRY_COMPARE_WITH_TIMEOUT(m_worker->port->demarcateRemaining(), 0u, 2 * kAnswerMs);
    m_worker->runBlocking(stop);

    const AxitSum_t *sums = m_worker->port->demarcateSums();
    bool anyNonZero = false;
    for (int i = 0; i < kMaxSensors; ++i) {
        for (qint32 sum : {sums[i].x, sums[i].y, sums[i].z}) {
            QVERIFY(sum >= samples * -32768 && sum <= samples * 32767);
            anyNonZero = anyNonZero || sum != 0;
        }
    }
    QVERIFY(anyNonZero);
    QCOMPARE(m_worker->port->sensorCount(), kMaxSensors);
    QVERIFY(m_card->receivedBytes().toHex(' ').contains("a5 03 82 01 2b"));
    QTRY_VERIFY(m_card->receivedBytes().toHex(' ').endsWith("a5 03 82 00 2a"));
    bool sampling = true;
    m_card->withModel([&](CardModel &card) { sampling = card.isSampling(); });
    QVERIFY(!sampling);
}

void tst_MySerialport::faultyLine_deliversEveryIntactFrame_data()
{
    QTest::addColumn<double>("corruption");
    QTest::addColumn<int>("chunkBytes");
    QTest::addColumn<int>("delayMs");
    QTest::newRow("clean line") << 0.0 << 0 << 0;
    QTest::newRow("one byte in 200 corrupted") << 0.005 << 0 << 0;
    QTest::newRow("split in 7-byte pieces") << 0.0 << 7 << 1;
    QTest::newRow("split in single bytes") << 0.0 << 1 << 0;
    QTest::newRow("corrupted and split") << 0.005 << 33 << 2;
}

void tst_MySerialport::faultyLine_deliversEveryIntactFrame()
{
    QFETCH(double, corruption);
    QFETCH(int, chunkBytes);
    QFETCH(int, delayMs);
    openAndWaitForStream();
    m_card->withModel([](CardModel &card) { card.setStreaming(false); });
    drainStream();
    m_worker->clear();
    quint64 sentBefore = 0;
    quint64 intactBefore = 0;
    m_card->withModel([&](CardModel &card) {
        sentBefore = card.sensorFramesSent();
        intactBefore = card.intactSensorFramesSent();
        card.setCorruption(corruption);
        card.setSplit(chunkBytes, delayMs);
        card.setStreaming(true);
    });

    const auto sentSinceStart = [&] {
        quint64 count = 0;
        m_card->withModel([&](CardModel &card) { count = card.sensorFramesSent() - sentBefore; });
        return count;
    };
    QTRY_VERIFY_WITH_TIMEOUT(sentSinceStart() > 100, 20000);
    quint64 sent = 0;
    quint64 intact = 0;
    m_card->withModel([&](CardModel &card) {
        card.setStreaming(false);
        sent = card.sensorFramesSent() - sentBefore;
        intact = card.intactSensorFramesSent() - intactBefore;
    });
    // A split line sends slower than the card samples: its pieces keep arriving for seconds
    // after the stream stopped, more so on a loaded machine.
    const auto received = [this] {
        return quint64(m_worker->frames.size());
    };
    QTRY_VERIFY2_WITH_TIMEOUT(received() >= intact,
                              qPrintable(QStringLiteral("sent %1, intact %2, received %3")
                                             .arg(sent)
                                             .arg(intact)
                                             .arg(received())),
                              20000);
    if (corruption == 0.0)
        QTRY_COMPARE_WITH_TIMEOUT(received(), sent, 20000);
    // A frame cut short by a corrupted length is dropped by the receive time-out, and must not
    // turn into an extra frame.
    QTRY_VERIFY(!m_worker->runBlocking([](MySerialport &p) { return p.rxTimerActive(); }));
    QVERIFY2(received() <= sent, qPrintable(QString::number(received())));
}

// A worker that could not read for seconds finds more than the codec's 16-bit count in one read;
// all of it must reach the codec.
void tst_MySerialport::backlogBeyondSixtyFourKiB_isDeliveredWhole()
{
    openAndWaitForStream();
    m_card->withModel([](CardModel &card) {
        card.setStreaming(false);
        card.setFrequencyIndex(4);
    });
    QTest::qWait(300);
    m_worker->clear();
    quint64 sentBefore = 0;
    m_card->withModel([&](CardModel &card) { sentBefore = card.sensorFramesSent(); });
    const auto holdReadyRead = [](bool hold) {
        return [hold](MySerialport &p) {
            p.findChild<QSerialPort *>()->blockSignals(hold);
        };
    };

    m_worker->runBlocking(holdReadyRead(true));
    m_card->withModel([](CardModel &card) { card.setStreaming(true); });
    // About 80 KB must wait in the port, 800 frames of 100 bytes: four seconds at 200 Hz, more
    // when the machine is busy.
    const auto sentSinceStart = [&] {
        quint64 count = 0;
        m_card->withModel([&](CardModel &card) { count = card.sensorFramesSent() - sentBefore; });
        return count;
    };
    QTRY_VERIFY_WITH_TIMEOUT(sentSinceStart() >= 800, 20000);
    m_worker->runBlocking(holdReadyRead(false));
    QTest::qWait(200);
    quint64 sent = 0;
    m_card->withModel([&](CardModel &card) {
        card.setStreaming(false);
        sent = card.sensorFramesSent() - sentBefore;
    });

    QVERIFY(sent * 100 > 0xFFFF);
    QTRY_COMPARE_WITH_TIMEOUT(quint64(m_worker->frames.size()), sent, 10000);
}

QTEST_MAIN(tst_MySerialport)
#include "tst_myserialport.moc"
