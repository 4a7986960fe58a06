// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis of one frame on hand-computed frames: contact at the threshold, total force,
// centre of pressure and peak.

#include "frameanalysis.h"

#include <QtTest>

#include <cmath>

namespace {

// `count` unloaded sensors with `loaded` readings put on theirs.
QList<Axit_t> frame(int count, const QList<QPair<int, Axit_t>> &loaded)
{
    QList<Axit_t> readings(count, Axit_t{0, 0, 0});
    for (const auto &[sensor, reading] : loaded)
        readings[sensor] = reading;
    return readings;
}

} // namespace

class tst_FrameAnalysis : public QObject
{
    Q_OBJECT

private slots:
    void analyse_givesContactsForceCentreAndPeak_data()
    {
        QTest::addColumn<QList<Axit_t>>("readings");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<quint16>("contactMask");
        QTest::addColumn<QList<int>>("total");
        QTest::addColumn<double>("totalMagnitude");
        QTest::addColumn<QList<double>>("centre"); // empty when there is none
        QTest::addColumn<int>("peakSensor");
        QTest::addColumn<double>("peakMagnitude");
        constexpr qint16 kMin = -32768;

        QTest::newRow("no contact") << frame(16, {{5, {0, 0, 499}}}) << 500 << quint16(0)
                                    << QList<int>{0, 0, 0} << 0.0 << QList<double>() << 5 << 499.0;
        QTest::newRow("one sensor")
            << frame(16, {{6, {300, -400, 1200}}}) << 500 << quint16(1 << 6)
            << QList<int>{300, -400, 1200} << 1300.0 << QList<double>{2, 1} << 6 << 1300.0;
        // Weights 1000 and 3000 at columns and rows 0 and 3.
        QTest::newRow("two opposite sensors")
            << frame(16, {{0, {600, 0, 800}}, {15, {0, -1800, 2400}}}) << 500
            << quint16(1 << 0 | 1 << 15) << QList<int>{600, -1800, 3200}
            << std::sqrt(600.0 * 600 + 1800.0 * 1800 + 3200.0 * 3200) << QList<double>{2.25, 2.25}
            << 15 << 3000.0;
        // Equal magnitudes: the lowest-numbered sensor is the peak.
        QTest::newRow("all sixteen")
            << QList<Axit_t>(16, Axit_t{0, 0, 1000}) << 500 << quint16(0xFFFF)
            << QList<int>{0, 0, 16000} << 16000.0 << QList<double>{1.5, 1.5} << 0 << 1000.0;
        QTest::newRow("at the threshold")
            << frame(16, {{3, {300, 400, 0}}}) << 500 << quint16(1 << 3) << QList<int>{300, 400, 0}
            << 500.0 << QList<double>{3, 0} << 3 << 500.0;
        QTest::newRow("one below the threshold")
            << frame(16, {{3, {300, 400, 0}}}) << 501 << quint16(0) << QList<int>{0, 0, 0} << 0.0
            << QList<double>() << 3 << 500.0;
        // Sensor 1 (column 1, row 0) weighs 1000, sensor 4 (column 0, row 1) 2000.
        QTest::newRow("fewer than 16 sensors")
            << frame(5, {{1, {0, 0, -1000}}, {4, {0, 0, 2000}}}) << 500 << quint16(1 << 1 | 1 << 4)
            << QList<int>{0, 0, 1000} << 1000.0 << QList<double>{1.0 / 3, 2.0 / 3} << 4 << 2000.0;
        QTest::newRow("no sensors") << QList<Axit_t>() << 500 << quint16(0) << QList<int>{0, 0, 0}
                                    << 0.0 << QList<double>() << -1 << 0.0;
        // Sums and squares beyond 16 and 32 bits; the largest threshold is still reached.
        QTest::newRow("largest readings")
            << QList<Axit_t>(16, Axit_t{kMin, kMin, kMin}) << FrameAnalysis::kMaxThreshold
            << quint16(0xFFFF) << QList<int>{16 * kMin, 16 * kMin, 16 * kMin}
            << 16 * 32768 * std::sqrt(3.0) << QList<double>{1.5, 1.5} << 0
            << 32768 * std::sqrt(3.0);
    }

    void analyse_givesContactsForceCentreAndPeak()
    {
        QFETCH(QList<Axit_t>, readings);
        QFETCH(int, threshold);
        QFETCH(quint16, contactMask);
        QFETCH(QList<int>, total);
        QFETCH(double, totalMagnitude);
        QFETCH(QList<double>, centre);
        QFETCH(int, peakSensor);
        QFETCH(double, peakMagnitude);

        FrameAnalysis analysis(threshold);
        // What an earlier frame left must not show in this one.
        analysis.analyse(QList<Axit_t>(16, Axit_t{-5000, 0, 0}));
        analysis.analyse(readings);
        QCOMPARE(analysis.contactMask(), contactMask);
        QCOMPARE(analysis.contacts(), qPopulationCount(contactMask));
        QCOMPARE((QList<int>{analysis.totalX(), analysis.totalY(), analysis.totalZ()}), total);
        QVERIFY(std::abs(analysis.totalMagnitude() - totalMagnitude) < 1e-6);
        QCOMPARE(analysis.hasCentre(), !centre.isEmpty());
        if (!centre.isEmpty()) {
            QVERIFY(std::abs(analysis.centreColumn() - centre.at(0)) < 1e-9);
            QVERIFY(std::abs(analysis.centreRow() - centre.at(1)) < 1e-9);
        }
        QCOMPARE(analysis.peakSensor(), peakSensor);
        QVERIFY(std::abs(analysis.peakMagnitude() - peakMagnitude) < 1e-6);
    }
};

QTEST_APPLESS_MAIN(tst_FrameAnalysis)
#include "tst_frameanalysis.moc"
