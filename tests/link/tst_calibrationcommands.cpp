// SPDX-License-Identifier: GPL-3.0-or-later
// Calibration requests and replies: array calibration runs, point removal, single-point
// write / read / remove, and the 0x88 and 0x8C frames the card sends back. Replies are fed as
// raw bytes through the codec.

#include "recordingcodec.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <functional>

namespace {

QList<short> pressures(int count)
{
    QList<short> out;
    for (int i = 0; i < count; ++i)
        out << short(i * 100 - 2000);
    return out;
}

QString describe(const QList<singleDemarcateInfoUnit_t> &entries)
{
    QStringList parts;
    for (const singleDemarcateInfoUnit_t &e : entries)
        parts << QStringLiteral("(%1,%2)").arg(e.pressure).arg(e.value);
    return parts.join(' ');
}

// Captures the list-carrying result signals; their list arguments are references, so the
// values are copied out on emission.
struct RemoveResult
{
    int res = 0;
    int xyz = 0;
    int sensorId = -1;
    QList<short> list;
};

struct PointInfo
{
    int type = 0;
    short pressure = 0;
    QList<short> values;
};

struct SingleReadInfo
{
    int xyz = 0;
    int sensorId = 0;
    QList<singleDemarcateInfoUnit_t> entries;
};

struct Capture
{
    QList<RemoveResult> removals;
    QList<RemoveResult> singleRemovals;
    QList<PointInfo> points;
    QList<SingleReadInfo> singleReads;

    explicit Capture(SlaveProtocol &p)
    {
        QObject::connect(&p, &SlaveProtocol::demarcateRemoveResult,
                         [this](int res, int xyz, QList<short> &list) {
                             removals << RemoveResult{res, xyz, -1, list};
                         });
        QObject::connect(&p, &SlaveProtocol::demarcateSingleRemoveResult,
                         [this](int res, int xyz, int sensorId, QList<short> &list) {
                             singleRemovals << RemoveResult{res, xyz, sensorId, list};
                         });
        QObject::connect(&p, &SlaveProtocol::demarcateInfo,
                         [this](int type, short pressure, QList<short> &info) {
                             points << PointInfo{type, pressure, info};
                         });
        QObject::connect(&p, &SlaveProtocol::demarcateSingleReadInfo,
                         [this](int xyz, int sensorId, QList<singleDemarcateInfoUnit_t> &list) {
                             singleReads << SingleReadInfo{xyz, sensorId, list};
                         });
    }
};

} // namespace

class TestCalibrationCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerDeviceRecordTypes(); }

    void requests_writeExpectedFrame_data();
    void requests_writeExpectedFrame();
    void readRequests_doNotWait_data();
    void readRequests_doNotWait();
    void removeLists_limitedTo55Values_data();
    void removeLists_limitedTo55Values();

    void operationResult_carriesCommandAndStatus_data();
    void operationResult_carriesCommandAndStatus();
    void removeResults_returnCallersList_data();
    void removeResults_returnCallersList();

    void calibrationRun_countsDownAndSumsFrames();
    void demarcateStop_endsRunEarly();
    void demarcateStop_withoutRun_stillSendsStop();
    void calibrationRun_duringBaselineCheck_keepsAccumulatingAfterCount();
    void demarcateStart_keepsBaselineCheckCount();
    void calibrationRun_afterCheckCountIsFull_stillCountsDown();

    void unaskedReply_changesNothing_data();
    void unaskedReply_changesNothing();
    void calibrationPoint_emitsInfo_data();
    void calibrationPoint_emitsInfo();
    void calibrationPoint_malformed_isDropped_data();
    void calibrationPoint_malformed_isDropped();
    void singleEntries_emitReadInfo_data();
    void singleEntries_emitReadInfo();
};

void TestCalibrationCommands::requests_writeExpectedFrame_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QStringList>("debugLines");

    QTest::newRow("run start") << Request([](RecordingCodec &c) { c.demarcateStart(20); })
                               << bytes({0xA5, 0x03, 0x82, 0x01, 0x2B}) << QStringList();
    QTest::newRow("run stop") << Request([](RecordingCodec &c) { c.demarcateStop(); })
                              << bytes({0xA5, 0x03, 0x82, 0x00, 0x2A}) << QStringList();
    QTest::newRow("remove all points") << Request([](RecordingCodec &c) { c.demarcateRemoveAll(); })
                                       << bytes({0xA5, 0x02, 0x87, 0x2E}) << QStringList();
    QTest::newRow("remove points") << Request([](RecordingCodec &c) {
        QList<short> list{100, 250};
        c.demarcateRemove(1, list);
    }) << bytes({0xA5, 0x07, 0x86, 0x01, 0x00, 0x64, 0x00, 0xFA, 0x91})
                                   << QStringList();
    QTest::newRow("remove points, signed extremes") << Request([](RecordingCodec &c) {
        QList<short> list{-1, -32768, 32767};
        c.demarcateRemove(2, list);
    }) << bytes({0xA5, 0x09, 0x86, 0x02, 0xFF, 0xFF, 0x80, 0x00, 0x7F, 0xFF, 0x32})
                                                    << QStringList();
    QTest::newRow("single write") << Request([](RecordingCodec &c) {
        c.demarcateSingleWrite(2, 5, 1000, -3);
    }) << bytes({0xA5, 0x08, 0x89, 0x02, 0x05, 0x03, 0xE8, 0xFF, 0xFD, 0x24})
                                  << QStringList{"single write return: 0"};
    QTest::newRow("single remove all")
        << Request([](RecordingCodec &c) { c.demarcateSingleRemoveAll(0, 2); })
        << bytes({0xA5, 0x04, 0x8B, 0x00, 0x02, 0x36}) << QStringList();
    QTest::newRow("single remove") << Request([](RecordingCodec &c) {
        QList<short> list{100};
        c.demarcateSingleRemove(0, 2, list);
    }) << bytes({0xA5, 0x06, 0x8A, 0x00, 0x02, 0x00, 0x64, 0x9B})
                                   << QStringList{"single remove: 0 100"};
    QTest::newRow("single remove, two values")
        << Request([](RecordingCodec &c) {
               QList<short> list{100, -250};
               c.demarcateSingleRemove(1, 4, list);
           })
        << bytes({0xA5, 0x08, 0x8A, 0x01, 0x04, 0x00, 0x64, 0xFF, 0x06, 0xA5})
        << QStringList{"single remove: 0 100", "single remove: 1 -250"};
    QTest::newRow("single read") << Request([](RecordingCodec &c) { c.demarcateSingleRead(0, 3); })
                                 << bytes({0xA5, 0x04, 0x8C, 0x00, 0x03, 0x38}) << QStringList();
    QTest::newRow("read points of an axis")
        << Request([](RecordingCodec &c) { c.readDemarcateInfo(2); })
        << bytes({0xA5, 0x03, 0x88, 0x02, 0x32}) << QStringList();
}

void TestCalibrationCommands::requests_writeExpectedFrame()
{
    QFETCH(Request, request);
    QFETCH(QByteArray, frame);
    QFETCH(QStringList, debugLines);

    RecordingCodec card;
    card.responder = statusCard(bytes({0x00}));
    for (const QString &line : debugLines)
        QTest::ignoreMessage(QtDebugMsg, qPrintable(line));

    request(card);

    QCOMPARE(card.written, QList<QByteArray>{frame});
}

void TestCalibrationCommands::readRequests_doNotWait_data()
{
    QTest::addColumn<Request>("request");

    QTest::newRow("single read") << Request([](RecordingCodec &c) { c.demarcateSingleRead(1, 3); });
    QTest::newRow("read points of an axis")
        << Request([](RecordingCodec &c) { c.readDemarcateInfo(0); });
}

// The answers to these come as data frames, whenever the card sends them; the request itself
// returns at once and reports nothing.
void TestCalibrationCommands::readRequests_doNotWait()
{
    QFETCH(Request, request);

    RecordingCodec card;
    Capture capture(card);
    QSignalSpy operations(&card, &SlaveProtocol::demarcateOperationResult);

    QElapsedTimer clock;
    clock.start();
    request(card);

    QVERIFY(clock.elapsed() < kReplyTimeoutMs);
    QCOMPARE(card.written.size(), 1);
    QCOMPARE(operations.count(), 0);
    QVERIFY(capture.points.isEmpty());
    QVERIFY(capture.singleReads.isEmpty());
}

void TestCalibrationCommands::removeLists_limitedTo55Values_data()
{
    QTest::addColumn<bool>("singlePoint");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("sent");

    QTest::newRow("array, 55 values") << false << 55 << true;
    QTest::newRow("array, 56 values") << false << 56 << false;
    QTest::newRow("single point, 55 values") << true << 55 << true;
    QTest::newRow("single point, 56 values") << true << 56 << false;
}

void TestCalibrationCommands::removeLists_limitedTo55Values()
{
    QFETCH(bool, singlePoint);
    QFETCH(int, count);
    QFETCH(bool, sent);

    RecordingCodec card;
    card.responder = statusCard(bytes({0x00}));
    Capture capture(card);
    QList<short> list = pressures(count);
    const int xyz = 2;
    const int sensorId = 7;

    QElapsedTimer clock;
    clock.start();
    if (singlePoint)
        card.demarcateSingleRemove(xyz, sensorId, list);
    else
        card.demarcateRemove(xyz, list);

    const QList<RemoveResult> &results = singlePoint ? capture.singleRemovals : capture.removals;
    QCOMPARE(results.size(), 1);
    const RemoveResult &r = results.at(0);
    QCOMPARE(r.res, sent ? 0 : -1);
    QCOMPARE(r.xyz, xyz);
    if (singlePoint)
        QCOMPARE(r.sensorId, sensorId);
    QCOMPARE(r.list, pressures(count));
    QVERIFY(clock.elapsed() < kReplyTimeoutMs);
    if (!sent) {
        QVERIFY(card.written.isEmpty());
        return;
    }
    const QByteArray header = singlePoint ? bytes({xyz, sensorId}) : bytes({xyz});
    const QByteArray frame = makeFrame(singlePoint ? 0x8A : 0x86, header + words(list));
    QCOMPARE(card.written, QList<QByteArray>{frame});
}

void TestCalibrationCommands::operationResult_carriesCommandAndStatus_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<int>("option");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<int>("res");

    const Request removeAll = [](RecordingCodec &c) {
        c.demarcateRemoveAll();
    };
    const Request singleWrite = [](RecordingCodec &c) {
        c.demarcateSingleWrite(1, 3, 250, 812);
    };
    const Request singleRemoveAll = [](RecordingCodec &c) {
        c.demarcateSingleRemoveAll(2, 15);
    };
    struct Kind
    {
        const char *name;
        Request request;
        int option;
    };
    struct Outcome
    {
        const char *name;
        QByteArray status;
        int res;
    };
    const QList<Kind> kinds{{"remove all points", removeAll, 135},
                            {"single write", singleWrite, 137},
                            {"single remove all", singleRemoveAll, 139}};
    const QList<Outcome> outcomes{{"done", bytes({0x00}), 0},
                                  {"failed", bytes({0x01}), 1},
                                  {"storage full", bytes({0x02}), 2},
                                  {"other status", bytes({0x42}), 0x42},
                                  {"reply without status byte", QByteArray(), 1}};
    for (const Kind &kind : kinds) {
        for (const Outcome &outcome : outcomes) {
            const QString name = QStringLiteral("%1, %2").arg(kind.name, outcome.name);
            QTest::newRow(qPrintable(name))
                << kind.request << kind.option << true << outcome.status << outcome.res;
        }
    }
    // One per way of getting no status.
    QTest::newRow("single write, silence") << singleWrite << 137 << false << QByteArray() << -1;
    QTest::newRow("remove all points, status 255")
        << removeAll << 135 << true << bytes({0xFF}) << -1;
}

void TestCalibrationCommands::operationResult_carriesCommandAndStatus()
{
    QFETCH(Request, request);
    QFETCH(int, option);
    QFETCH(bool, answers);
    QFETCH(QByteArray, status);
    QFETCH(int, res);

    RecordingCodec card;
    if (res == kNoReply)
        card.setReplyTimeoutMs(kShortReplyTimeoutMs);
    if (answers)
        card.responder = statusCard(status);
    QSignalSpy results(&card, &SlaveProtocol::demarcateOperationResult);
    if (option == 137)
        QTest::ignoreMessage(QtDebugMsg,
                             qPrintable(QStringLiteral("single write return: %1").arg(res)));

    QElapsedTimer clock;
    clock.start();
    request(card);
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(results.count(), 1);
    QCOMPARE(intArgs(results.at(0)), (QList<int>{option, res, 0}));
    if (res == kNoReply)
        QVERIFY2(elapsed >= card.replyTimeoutMs() * 9 / 10, qPrintable(QString::number(elapsed)));
}

void TestCalibrationCommands::removeResults_returnCallersList_data()
{
    QTest::addColumn<bool>("singlePoint");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<int>("res");

    QTest::newRow("array, done") << false << true << bytes({0x00}) << 0;
    QTest::newRow("array, failed") << false << true << bytes({0x01}) << 1;
    QTest::newRow("array, silence") << false << false << QByteArray() << -1;
    QTest::newRow("single point, done") << true << true << bytes({0x00}) << 0;
    QTest::newRow("single point, failed") << true << true << bytes({0x01}) << 1;
    QTest::newRow("single point, other status") << true << true << bytes({0x05}) << 5;
}

// The result carries the caller's list back unchanged, so that the dialog knows which entries
// it concerns, whatever the card answered.
void TestCalibrationCommands::removeResults_returnCallersList()
{
    QFETCH(bool, singlePoint);
    QFETCH(bool, answers);
    QFETCH(QByteArray, status);
    QFETCH(int, res);

    RecordingCodec card;
    if (res == kNoReply)
        card.setReplyTimeoutMs(kShortReplyTimeoutMs);
    if (answers)
        card.responder = statusCard(status);
    Capture capture(card);
    const QList<short> values{-500, 0, 32000};
    QList<short> list = values;

    QElapsedTimer clock;
    clock.start();
    if (singlePoint)
        card.demarcateSingleRemove(2, 9, list);
    else
        card.demarcateRemove(1, list);
    const qint64 elapsed = clock.elapsed();

    const QList<RemoveResult> &results = singlePoint ? capture.singleRemovals : capture.removals;
    QCOMPARE(results.size(), 1);
    const RemoveResult &r = results.at(0);
    QCOMPARE(r.res, res);
    QCOMPARE(r.xyz, singlePoint ? 2 : 1);
    QCOMPARE(r.sensorId, singlePoint ? 9 : -1);
    QCOMPARE(r.list, values);
    QCOMPARE(list, values);
    if (res == kNoReply)
        QVERIFY2(elapsed >= card.replyTimeoutMs() * 9 / 10, qPrintable(QString::number(elapsed)));
}

void TestCalibrationCommands::calibrationRun_countsDownAndSumsFrames()
{
    RecordingCodec card;
    card.readCheckData();
    card.feed(makeFrame(0x81, triple(5, 5, 5) + triple(6, 6, 6) + triple(7, 7, 7)));
    card.written.clear();

    card.demarcateStart(20);
    QCOMPARE(card.demarcateRemaining(), 20u);
    QCOMPARE(describe(card.demarcateSums()), describeSums({}));

    for (int i = 1; i <= 20; ++i) {
        card.feed(accumulationFrame({{qint16(i), 0, 1}, {0, qint16(-i), -1}}));
        QCOMPARE(card.demarcateRemaining(), uint(20 - i));
    }
    const QString afterRun = describeSums({{210, 0, 20}, {0, -210, -20}});
    QCOMPARE(describe(card.demarcateSums()), afterRun);
    QCOMPARE(card.sensorCount(), 2);

    card.feed(accumulationFrame({{1000, 1000, 1000}, {1000, 1000, 1000}, {1, 1, 1}}));
    QCOMPARE(card.demarcateRemaining(), 0u);
    QCOMPARE(describe(card.demarcateSums()), afterRun);
    QCOMPARE(card.sensorCount(), 2);
    // Reaching the count tells the card nothing; only the stop does.
    QCOMPARE(card.written, QList<QByteArray>{bytes({0xA5, 0x03, 0x82, 0x01, 0x2B})});
}

void TestCalibrationCommands::demarcateStop_endsRunEarly()
{
    RecordingCodec card;
    card.demarcateStart(20);
    for (int i = 0; i < 5; ++i)
        card.feed(accumulationFrame({{2, 3, 4}}));

    card.demarcateStop();
    card.feed(accumulationFrame({{100, 100, 100}}));

    QCOMPARE(card.demarcateRemaining(), 0u);
    QCOMPARE(describe(card.demarcateSums()), describeSums({{10, 15, 20}}));
    QCOMPARE(card.written, (QList<QByteArray>{bytes({0xA5, 0x03, 0x82, 0x01, 0x2B}),
                                              bytes({0xA5, 0x03, 0x82, 0x00, 0x2A})}));
}

void TestCalibrationCommands::demarcateStop_withoutRun_stillSendsStop()
{
    RecordingCodec card;

    card.demarcateStop();

    QCOMPARE(card.demarcateRemaining(), 0u);
    QCOMPARE(card.written, QList<QByteArray>{bytes({0xA5, 0x03, 0x82, 0x00, 0x2A})});
}

void TestCalibrationCommands::calibrationRun_duringBaselineCheck_keepsAccumulatingAfterCount()
{
    RecordingCodec card;
    card.setChecking(true);
    card.demarcateStart(2);
    for (int i = 0; i < 3; ++i)
        card.feed(accumulationFrame({{1, 2, 3}}));

    QCOMPARE(card.demarcateRemaining(), 0u);
    QCOMPARE(describe(card.demarcateSums()), describeSums({{3, 6, 9}}));
}

// A run started inside a baseline check clears the sums but not the check's frame count, so
// the average divides by every frame the check has seen.
void TestCalibrationCommands::demarcateStart_keepsBaselineCheckCount()
{
    RecordingCodec card;
    card.setChecking(true);
    card.feed(accumulationFrame({{100, 100, 100}}));
    card.demarcateStart(5);
    card.feed(accumulationFrame({{10, 20, 30}}));
    card.feed(accumulationFrame({{20, 40, 60}}));

    QTest::ignoreMessage(QtDebugMsg, "checkCnt= 3");
    card.setChecking(false);

    QCOMPARE(describe(card.demarcateSums()), describeSums({{10, 20, 30}}));
}

// The check's 16-bit count stops at 65,535 frames; a run started after that must still end.
void TestCalibrationCommands::calibrationRun_afterCheckCountIsFull_stillCountsDown()
{
    RecordingCodec card;
    card.setChecking(true);
    const QByteArray one = accumulationFrame({{1, 1, 1}});
    for (int i = 0; i < 0xFFFF; ++i)
        card.feed(one);
    card.feed(accumulationFrame({{1000, 1000, 1000}}));
    QCOMPARE(describe(card.demarcateSums()), describeSums({{0xFFFF, 0xFFFF, 0xFFFF}}));

    card.demarcateStart(3);
    for (int i = 1; i <= 3; ++i)
        card.feed(accumulationFrame({{qint16(i), 0, 0}}));

    QCOMPARE(card.demarcateRemaining(), 0u);
    QCOMPARE(describe(card.demarcateSums()), describeSums({{6, 0, 0}}));
}

void TestCalibrationCommands::calibrationPoint_emitsInfo_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("pressure");
    QTest::addColumn<QList<short>>("values");

    QTest::newRow("two sensors") << bytes({0xA5, 0x09, 0x88, 0x00, 0x01, 0xF4, 0x00, 0x0A, 0x00,
                                           0x14, 0x49})
                                 << 0 << 500 << QList<short>{10, 20};
    QTest::newRow("trailing odd byte ignored")
        << makeFrame(0x88, bytes({0x01, 0xFF, 0x38, 0x80, 0x00, 0x7F})) << 1 << -200
        << QList<short>{-32768};
    QTest::newRow("pressure only")
        << makeFrame(0x88, bytes({0x02, 0x80, 0x00})) << 2 << -32768 << QList<short>();
    QTest::newRow("one byte after pressure")
        << makeFrame(0x88, bytes({0x02, 0x7F, 0xFF, 0x05})) << 2 << 32767 << QList<short>();
    QTest::newRow("sixteen sensors")
        << makeFrame(0x88, bytes({0x01, 0x00, 0x64}) + words(pressures(16))) << 1 << 100
        << pressures(16);
    QTest::newRow("axis passed through")
        << makeFrame(0x88, bytes({0x07, 0x00, 0x01, 0xFF, 0xFF})) << 7 << 1 << QList<short>{-1};
}

void TestCalibrationCommands::calibrationPoint_emitsInfo()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, type);
    QFETCH(int, pressure);
    QFETCH(QList<short>, values);

    RecordingCodec card;
    Capture capture(card);
    card.readDemarcateInfo(type);

    card.feed(frame);

    QCOMPARE(capture.points.size(), 1);
    QCOMPARE(capture.points.at(0).type, type);
    QCOMPARE(int(capture.points.at(0).pressure), pressure);
    QCOMPARE(capture.points.at(0).values, values);
}

void TestCalibrationCommands::calibrationPoint_malformed_isDropped_data()
{
    QTest::addColumn<QByteArray>("payload");

    QTest::newRow("seventeen values") << bytes({0x00, 0x01, 0xF4}) + words(pressures(17));
    QTest::newRow("two bytes") << bytes({0x00, 0x01});
    QTest::newRow("one byte") << bytes({0x00});
    QTest::newRow("empty") << QByteArray();
}

void TestCalibrationCommands::calibrationPoint_malformed_isDropped()
{
    QFETCH(QByteArray, payload);

    RecordingCodec card;
    Capture capture(card);
    card.readDemarcateInfo(0);

    card.feed(makeFrame(0x88, payload));

    QVERIFY(capture.points.isEmpty());
}

void TestCalibrationCommands::singleEntries_emitReadInfo_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("xyz");
    QTest::addColumn<int>("sensorId");
    QTest::addColumn<QList<singleDemarcateInfoUnit_t>>("entries");
    QTest::addColumn<QStringList>("debugLines");

    QTest::newRow("one entry") << bytes(
                                      {0xA5, 0x08, 0x8C, 0x01, 0x03, 0x00, 0x64, 0x01, 0x2C, 0xCE})
                               << 1 << 3 << QList<singleDemarcateInfoUnit_t>{{100, 300}}
                               << QStringList{"single read: 1 3 100 300"};
    QTest::newRow("no entries") << makeFrame(0x8C, bytes({0x00, 0x02})) << 0 << 2
                                << QList<singleDemarcateInfoUnit_t>() << QStringList();
    QTest::newRow("partial entry ignored")
        << makeFrame(0x8C, bytes({0x02, 0x05, 0xFF, 0x9C, 0x80, 0x00, 0x00, 0x07, 0x00})) << 2 << 5
        << QList<singleDemarcateInfoUnit_t>{{-100, -32768}}
        << QStringList{"single read: 2 5 -100 -32768"};
    QTest::newRow("three entries in order")
        << makeFrame(0x8C, bytes({0x00, 0x0F}) + words({10, 1, 20, -2, 30, 32767})) << 0 << 15
        << QList<singleDemarcateInfoUnit_t>{{10, 1}, {20, -2}, {30, 32767}}
        << QStringList{"single read: 0 15 10 1", "single read: 0 15 20 -2",
                       "single read: 0 15 30 32767"};
    QTest::newRow("out-of-range axis and sensor passed through")
        << makeFrame(0x8C, bytes({0x05, 0x20, 0x00, 0x01, 0x00, 0x02})) << 5 << 32
        << QList<singleDemarcateInfoUnit_t>{{1, 2}} << QStringList{"single read: 5 32 1 2"};
}

void TestCalibrationCommands::singleEntries_emitReadInfo()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, xyz);
    QFETCH(int, sensorId);
    QFETCH(QList<singleDemarcateInfoUnit_t>, entries);
    QFETCH(QStringList, debugLines);

    RecordingCodec card;
    Capture capture(card);
    for (const QString &line : debugLines)
        QTest::ignoreMessage(QtDebugMsg, qPrintable(line));
    card.demarcateSingleRead(xyz, sensorId);

    card.feed(frame);

    QCOMPARE(capture.singleReads.size(), 1);
    QCOMPARE(capture.singleReads.at(0).xyz, xyz);
    QCOMPARE(capture.singleReads.at(0).sensorId, sensorId);
    QCOMPARE(describe(capture.singleReads.at(0).entries), describe(entries));
}

void TestCalibrationCommands::unaskedReply_changesNothing_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("copies");
    QTest::addColumn<int>("answers");
    const Request none = [](RecordingCodec &) {
    };
    const Request readBaseline = [](RecordingCodec &c) {
        c.readCheckData();
    };
    const QByteArray baseline = makeFrame(0x81, triple(1, 2, 3));
    const QByteArray single = makeFrame(0x8C, bytes({0x07, 0x00}));
    const QByteArray point = makeFrame(0x88, bytes({0x07, 0x00, 0x64, 0x00, 0x05}));

    QTest::newRow("baseline, not asked") << none << 0 << baseline << 2 << 0;
    QTest::newRow("baseline sent twice") << readBaseline << 0 << baseline << 2 << 1;
    QTest::newRow("baseline after its time-out")
        << readBaseline << kShortReplyTimeoutMs + 200 << baseline << 1 << 0;
    QTest::newRow("single point, not asked") << none << 0 << single << 2 << 0;
    QTest::newRow("single point sent twice")
        << Request([](RecordingCodec &c) { c.demarcateSingleRead(0, 0); }) << 0 << single << 2 << 1;
    QTest::newRow("points, not asked") << none << 0 << point << 3 << 0;
    QTest::newRow("points of one read, all taken")
        << Request([](RecordingCodec &c) { c.readDemarcateInfo(0); }) << 0 << point << 3 << 3;
}

// Line noise that passes the checksum, or a card that answers twice, must not reach the
// interface: each reply there ends in a message box or replaces the baseline.
void TestCalibrationCommands::unaskedReply_changesNothing()
{
    QFETCH(Request, request);
    QFETCH(int, delayMs);
    QFETCH(QByteArray, frame);
    QFETCH(int, copies);
    QFETCH(int, answers);
    RecordingCodec card;
    // Waited past, the window is a short one; the others stay open long after their reply.
    if (delayMs > 0)
        card.setReplyTimeoutMs(kShortReplyTimeoutMs);
    Capture capture(card);
    QSignalSpy baselines(&card, &SlaveProtocol::slaveCheckRec);
    request(card);
    QTest::qWait(delayMs);

    for (int i = 0; i < copies; ++i)
        card.feed(frame);

    QCOMPARE(baselines.count() + capture.points.size() + capture.singleReads.size(), answers);
    if (answers == 0) {
        QCOMPARE(describe(card.demarcateSums()), describeSums({}));
        QCOMPARE(card.sensorCount(), -1);
    }
}

QTEST_GUILESS_MAIN(TestCalibrationCommands)
#include "tst_calibrationcommands.moc"
