// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis of one frame on hand-computed frames: contact at the threshold, total force,
// centre of pressure and peak.

#include "frameanalysis.h"
#include "loadedframe.h"

#include <QtTest>

namespace {

// Contacts, total force (x, y, z, magnitude), centre (column, row) and peak (sensor, magnitude),
// fractions to six decimals, a missing value empty.
QString described(const FrameAnalysis &a)
{
    return QString::asprintf("%d,%d,%d,%d,%.6f,", a.contacts(), a.totalX(), a.totalY(), a.totalZ(),
                             a.totalMagnitude()) +
           (a.hasCentre() ? QString::asprintf("%.6f,%.6f,", a.centreColumn(), a.centreRow())
                          : QStringLiteral(",,")) +
           (a.peakSensor() >= 0 ? QString::asprintf("%d,%.6f", a.peakSensor(), a.peakMagnitude())
                                : QStringLiteral(","));
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
        QTest::addColumn<QString>("expected");
        constexpr qint16 kMin = -32768;
        QTest::newRow("no contact") << loadedFrame(16, {{5, {0, 0, 499}}}) << 500 << quint16(0)
                                    << "0,0,0,0,0.000000,,,5,499.000000";
        QTest::newRow("one sensor")
            << loadedFrame(16, {{6, {300, -400, 1200}}}) << 500 << quint16(1 << 6)
            << "1,300,-400,1200,1300.000000,2.000000,1.000000,6,1300.000000";
        // Weights 1000 and 3000 at columns and rows 0 and 3.
        QTest::newRow("two opposite sensors")
            << loadedFrame(16, {{0, {600, 0, 800}}, {15, {0, -1800, 2400}}}) << 500
            << quint16(1 << 0 | 1 << 15)
            << "2,600,-1800,3200,3720.215048,2.250000,2.250000,15,3000.000000";
        // Equal magnitudes: the lowest-numbered sensor is the peak.
        QTest::newRow("all sixteen")
            << QList<Axit_t>(16, Axit_t{0, 0, 1000}) << 500 << quint16(0xFFFF)
            << "16,0,0,16000,16000.000000,1.500000,1.500000,0,1000.000000";
        QTest::newRow("at the threshold")
            << loadedFrame(16, {{3, {300, 400, 0}}}) << 500 << quint16(1 << 3)
            << "1,300,400,0,500.000000,3.000000,0.000000,3,500.000000";
        QTest::newRow("one below the threshold") << loadedFrame(16, {{3, {300, 400, 0}}}) << 501
                                                 << quint16(0) << "0,0,0,0,0.000000,,,3,500.000000";
        // Sensor 1 (column 1, row 0) weighs 1000, sensor 4 (column 0, row 1) 2000.
        QTest::newRow("fewer than 16 sensors")
            << loadedFrame(5, {{1, {0, 0, -1000}}, {4, {0, 0, 2000}}}) << 500
            << quint16(1 << 1 | 1 << 4) << "2,0,0,1000,1000.000000,0.333333,0.666667,4,2000.000000";
        QTest::newRow("no sensors")
            << QList<Axit_t>() << 500 << quint16(0) << "0,0,0,0,0.000000,,,,";
        // Sums and squares beyond 16 and 32 bits; the largest threshold is still reached.
        QTest::newRow("largest readings")
            << QList<Axit_t>(16, Axit_t{kMin, kMin, kMin}) << FrameAnalysis::kMaxThreshold
            << quint16(0xFFFF)
            << "16,-524288,-524288,-524288,908093.453799,1.500000,1.500000,0,56755.840862";
    }

    void analyse_givesContactsForceCentreAndPeak()
    {
        QFETCH(QList<Axit_t>, readings);
        QFETCH(int, threshold);
        QFETCH(quint16, contactMask);
        QFETCH(QString, expected);
        FrameAnalysis analysis(threshold);
        // What an earlier frame left must not show in this one.
        analysis.analyse(QList<Axit_t>(16, Axit_t{-5000, 0, 0}));
        analysis.analyse(readings);
        QCOMPARE(described(analysis), expected);
        QCOMPARE(analysis.contactMask(), contactMask);
    }
};

QTEST_APPLESS_MAIN(tst_FrameAnalysis)
#include "tst_frameanalysis.moc"
