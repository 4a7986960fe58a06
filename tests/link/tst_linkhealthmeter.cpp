// SPDX-License-Identifier: GPL-3.0-or-later
// Unit tests of the link-health arithmetic: the sensor-frame rate over the last second and the
// time without sensor data, from counts sampled at the publication ticks.

#include "linkhealthmeter.h"

#include <QTest>

class LinkHealthMeterTest : public QObject
{
    Q_OBJECT

private slots:
    void sample_rateOverLastSecond_andTimeWithoutData_data();
    void sample_rateOverLastSecond_andTimeWithoutData();
};

void LinkHealthMeterTest::sample_rateOverLastSecond_andTimeWithoutData_data()
{
    // Sensor-frame counts at the 500 ms ticks after the open at 0 ms; the last tick is judged.
    QTest::addColumn<QList<int>>("counts");
    QTest::addColumn<double>("rate");
    QTest::addColumn<qint64>("msWithoutData");

    QTest::newRow("first tick: half a second") << QList<int>{50} << 100.0 << qint64(0);
    QTest::newRow("steady 100 Hz") << QList<int>{50, 100, 150, 200} << 100.0 << qint64(0);
    // Only the last second counts: 40 frames from 1000 ms to 2000 ms.
    QTest::newRow("slowed down") << QList<int>{100, 200, 220, 240} << 40.0 << qint64(0);
    QTest::newRow("stopped") << QList<int>{50, 100, 100, 100, 100} << 0.0 << qint64(1500);
    QTest::newRow("nothing since the open") << QList<int>{0, 0, 0} << 0.0 << qint64(1500);
    QTest::newRow("back after a pause") << QList<int>{50, 50, 50, 50, 60} << 10.0 << qint64(0);
}

void LinkHealthMeterTest::sample_rateOverLastSecond_andTimeWithoutData()
{
    QFETCH(QList<int>, counts);
    QFETCH(double, rate);
    QFETCH(qint64, msWithoutData);

    LinkHealthMeter meter;
    meter.restart(0);
    LinkHealth health;
    LinkCounters counters;
    qint64 now = 0;
    for (int count : counts) {
        now += 500;
        counters.framesByCommand[0x00] = quint32(count);
        health = meter.sample(now, counters);
    }
    QCOMPARE(health.sensorFramesPerSecond, rate);
    QCOMPARE(health.msWithoutSensorData, msWithoutData);
    QCOMPARE(health.counters.sensorFrames(), quint32(counts.last()));
}

QTEST_GUILESS_MAIN(LinkHealthMeterTest)
#include "tst_linkhealthmeter.moc"
