// SPDX-License-Identifier: GPL-3.0-or-later
// Device records: the list types known to the meta-type system, the signed big-endian fields,
// the one-byte wire forms of sensor number and axis, and readings handed to another thread.

// First, so that nothing else has brought QDebug in: whoever includes the records must see
// QList<short>'s debug operator, or the instantiations of its meta-type disagree and the one that
// wins may print nothing.
#include "devicerecords.h"
static_assert(QTypeTraits::has_ostream_operator_v<QDebug, QList<short>>);

#include "recordingcodec.h"
#include "workerthread.h"

#include <QMetaType>
#include <QMutex>
#include <QSemaphore>
#include <QSequentialIterable>
#include <QTest>

#include <functional>

namespace {

QByteArray readingsPayload(const QList<Axit_t> &readings)
{
    QByteArray payload;
    for (const Axit_t &a : readings)
        payload += word(a.x) + word(a.y) + word(a.z);
    return payload;
}

QString joined(const QList<short> &values)
{
    QStringList parts;
    for (short v : values)
        parts << QString::number(v);
    return parts.join(',');
}

// Stands in for the interface thread: an object living in a thread of its own that keeps what
// reaches it through queued connections.
class InterfaceSide
{
public:
    InterfaceSide()
    {
        m_receiver->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_receiver, &QObject::deleteLater);
        m_thread.start();
    }

    ~InterfaceSide()
    {
        release();
        m_thread.end();
    }

    QObject *context() const { return m_receiver; }

    // Keeps the thread busy until release(), so that queued deliveries pile up behind it.
    void hold()
    {
        m_held = true;
        QMetaObject::invokeMethod(
            m_receiver, [this] { m_gate.acquire(); }, Qt::QueuedConnection);
    }

    void release()
    {
        if (m_held)
            m_gate.release();
        m_held = false;
    }

    void keep(const QList<Axit_t> &readings)
    {
        QMutexLocker lock(&m_mutex);
        m_readings << readings;
    }

    void record(const QString &delivery)
    {
        QMutexLocker lock(&m_mutex);
        m_deliveries << delivery;
    }

    QList<QList<Axit_t>> readings() const
    {
        QMutexLocker lock(&m_mutex);
        return m_readings;
    }

    QStringList deliveries() const
    {
        QMutexLocker lock(&m_mutex);
        return m_deliveries;
    }

private:
    WorkerThread m_thread;
    QObject *m_receiver = new QObject;
    QSemaphore m_gate;
    bool m_held = false;
    mutable QMutex m_mutex;
    QList<QList<Axit_t>> m_readings;
    QStringList m_deliveries;
};

} // namespace

class TestDeviceRecords : public QObject
{
    Q_OBJECT

private slots:
    // First: nothing in this test may have named the types before it.
    void listTypes_knownUnderTheirNames_data();
    void listTypes_knownUnderTheirNames();
    void shortList_comparesStreamsAndIterates();

    void signedFields_decodeTwosComplement_data();
    void signedFields_decodeTwosComplement();
    void baselineId_sendsLowByteOnly();
    void axisAndSensor_sendLowByteOnly();

    void queuedReadings_keepContentsAfterNextFrame();
    void calibrationLists_reachAnotherThread_data();
    void calibrationLists_reachAnotherThread();
};

// Only the program registers the names: the driver-card object does as it is made, before any
// of its signals can cross to another thread. The reference spellings are the ones that a
// queued delivery of those signals looks up.
void TestDeviceRecords::listTypes_knownUnderTheirNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QMetaType>("type");

    const QList<QPair<QByteArray, QMetaType>> lists{
        {"QList<Axit_t>", QMetaType::fromType<QList<Axit_t>>()},
        {"QList<AxitSingle_t>", QMetaType::fromType<QList<AxitSingle_t>>()},
        {"QList<singleDemarcateInfoUnit_t>",
         QMetaType::fromType<QList<singleDemarcateInfoUnit_t>>()},
        {"QList<short>", QMetaType::fromType<QList<short>>()}};
    for (const auto &[name, type] : lists) {
        QTest::newRow(name.constData()) << name << type;
        QTest::newRow(name + '&') << name + '&' << type;
    }
}

void TestDeviceRecords::listTypes_knownUnderTheirNames()
{
    QFETCH(QByteArray, name);
    QFETCH(QMetaType, type);

    if (QTest::currentDataTag() == QByteArrayLiteral("QList<Axit_t>"))
        QVERIFY2(!QMetaType::fromName(name).isValid(), "known before the program named it");
    const SlaveProtocol worker;

    const QMetaType found = QMetaType::fromName(name);
    QVERIFY(found.isValid());
    QCOMPARE(found, type);
}

void TestDeviceRecords::shortList_comparesStreamsAndIterates()
{
    const QMetaType type = QMetaType::fromName("QList<short>");
    QVERIFY(type.isEqualityComparable());
    QVERIFY(type.isOrdered());
    QVERIFY(type.hasRegisteredDataStreamOperators());
    QVERIFY(type.hasRegisteredDebugStreamOperator());

    const QVariant values = QVariant::fromValue(QList<short>{-3, 0, 7});
    QVERIFY(values.canConvert<QSequentialIterable>());
    QList<int> iterated;
    for (const QVariant &v : values.value<QSequentialIterable>())
        iterated << v.toInt();
    QCOMPARE(iterated, (QList<int>{-3, 0, 7}));
}

void TestDeviceRecords::signedFields_decodeTwosComplement_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QList<Axit_t>>("readings");

    QTest::newRow("80 00, FF FF, 7F FF")
        << bytes({0x80, 0x00, 0xFF, 0xFF, 0x7F, 0xFF}) << QList<Axit_t>{{-32768, -1, 32767}};
    QTest::newRow("FF FF, 7F FF, 80 00")
        << bytes({0xFF, 0xFF, 0x7F, 0xFF, 0x80, 0x00}) << QList<Axit_t>{{-1, 32767, -32768}};
    QTest::newRow("7F FF, 80 00, FF FF")
        << bytes({0x7F, 0xFF, 0x80, 0x00, 0xFF, 0xFF}) << QList<Axit_t>{{32767, -32768, -1}};
    QTest::newRow("high byte first")
        << bytes({0x01, 0x02, 0xFE, 0x01, 0x00, 0x80, 0x00, 0x00, 0x00, 0x01, 0xFF, 0x7F})
        << QList<Axit_t>{{258, -511, 128}, {0, 1, -129}};
}

void TestDeviceRecords::signedFields_decodeTwosComplement()
{
    QFETCH(QByteArray, payload);
    QFETCH(QList<Axit_t>, readings);

    RecordingCodec card;
    QList<QList<Axit_t>> received;
    connect(&card, &SlaveProtocol::AxitReflushGraphic,
            [&](QList<Axit_t> &list, uint) { received << list; });

    card.feed(makeFrame(0x00, payload));

    QCOMPARE(received.size(), 1);
    QCOMPARE(describe(received.at(0)), describe(readings));
}

void TestDeviceRecords::baselineId_sendsLowByteOnly()
{
    RecordingCodec card;
    card.responder = [](const QByteArray &) {
        return makeFrame(0x80, bytes({0x00}));
    };
    QList<AxitSingle_t> entries{{0x0103, 1, 2, 3}};

    QTest::ignoreMessage(QtDebugMsg, "checkWrite");
    card.checkDataWrite(entries);

    QCOMPARE(card.written, QList<QByteArray>{bytes({0xA5, 0x09, 0x80, 0x03, 0x00, 0x01, 0x00, 0x02,
                                                    0x00, 0x03, 0x37})});
}

void TestDeviceRecords::axisAndSensor_sendLowByteOnly()
{
    RecordingCodec card;

    card.demarcateSingleRead(258, 0x0101);

    QCOMPARE(card.written, QList<QByteArray>{bytes({0xA5, 0x04, 0x8C, 0x02, 0x01, 0x38})});
}

// The receiving thread is held up until the worker has decoded the frame after the one it was
// sent, so each queued copy has to survive the worker refilling its own list.
void TestDeviceRecords::queuedReadings_keepContentsAfterNextFrame()
{
    const QList<Axit_t> first{{1, 2, 3}, {4, 5, 6}};
    const QList<Axit_t> second{{-7, -8, -9}, {10, 11, 12}};
    const QList<Axit_t> third{{100, 200, 300}, {-100, -200, -300}};

    InterfaceSide side;
    RecordingCodec card;
    connect(&card, &SlaveProtocol::AxitReflushGraphic, side.context(),
            [&side](QList<Axit_t> &readings, uint) { side.keep(readings); });

    side.hold();
    card.feed(makeFrame(0x00, readingsPayload(first)));
    card.feed(makeFrame(0x00, readingsPayload(second)));
    side.release();

    QTRY_COMPARE(side.readings().size(), 2);
    card.feed(makeFrame(0x00, readingsPayload(third)));
    QTRY_COMPARE(side.readings().size(), 3);

    const QList<QList<Axit_t>> kept = side.readings();
    QCOMPARE(describe(kept.at(0)), describe(first));
    QCOMPARE(describe(kept.at(1)), describe(second));
    QCOMPARE(describe(kept.at(2)), describe(third));
}

void TestDeviceRecords::calibrationLists_reachAnotherThread_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QString>("delivery");

    QTest::newRow("calibration point") << Request([](RecordingCodec &c) {
        c.readDemarcateInfo(0);
        c.feed(makeFrame(0x88, bytes({0x00, 0x01, 0xF4, 0x00, 0x0A, 0xFF, 0xEC})));
    }) << QStringLiteral("point 0 500 10,-20");
    QTest::newRow("single-point entries") << Request([](RecordingCodec &c) {
        c.demarcateSingleRead(1, 3);
        c.feed(makeFrame(0x8C, bytes({0x01, 0x03, 0x00, 0x64, 0x01, 0x2C})));
    }) << QStringLiteral("entries 1 3 100:300");
    QTest::newRow("removal result") << Request([](RecordingCodec &c) {
        QList<short> list{100, 250};
        c.demarcateRemove(1, list);
    }) << QStringLiteral("removed 0 1 100,250");
    QTest::newRow("single removal result") << Request([](RecordingCodec &c) {
        QList<short> list{-100};
        c.demarcateSingleRemove(2, 4, list);
    }) << QStringLiteral("single removed 0 2 4 -100");
}

void TestDeviceRecords::calibrationLists_reachAnotherThread()
{
    QFETCH(Request, request);
    QFETCH(QString, delivery);

    InterfaceSide side;
    RecordingCodec card;
    card.responder = [](const QByteArray &written) {
        return makeFrame(quint8(written.at(2)), bytes({0x00}));
    };
    connect(&card, &SlaveProtocol::demarcateInfo, side.context(),
            [&side](int type, short pressure, QList<short> &info) {
                side.record(
                    QStringLiteral("point %1 %2 %3").arg(type).arg(pressure).arg(joined(info)));
            });
    connect(
        &card, &SlaveProtocol::demarcateSingleReadInfo, side.context(),
        [&side](int xyz, int sensorId, QList<singleDemarcateInfoUnit_t> &list) {
            QStringList entries;
            for (const singleDemarcateInfoUnit_t &e : list)
                entries << QStringLiteral("%1:%2").arg(e.pressure).arg(e.value);
            side.record(
                QStringLiteral("entries %1 %2 %3").arg(xyz).arg(sensorId).arg(entries.join(',')));
        });
    connect(&card, &SlaveProtocol::demarcateRemoveResult, side.context(),
            [&side](int res, int xyz, QList<short> &list) {
                side.record(QStringLiteral("removed %1 %2 %3").arg(res).arg(xyz).arg(joined(list)));
            });
    connect(&card, &SlaveProtocol::demarcateSingleRemoveResult, side.context(),
            [&side](int res, int xyz, int sensorId, QList<short> &list) {
                side.record(QStringLiteral("single removed %1 %2 %3 %4")
                                .arg(res)
                                .arg(xyz)
                                .arg(sensorId)
                                .arg(joined(list)));
            });

    request(card);

    QTRY_COMPARE(side.deliveries(), QStringList{delivery});
}

QTEST_GUILESS_MAIN(TestDeviceRecords)
#include "tst_devicerecords.moc"
