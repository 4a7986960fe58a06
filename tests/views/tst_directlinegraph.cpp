// SPDX-License-Identifier: GPL-3.0-or-later
// Direct line graph and its legend entry: the plot looks as with the plot library's own graph
// and entry, up to antialiasing noise on the line's edges.

#include "directlinegraph.h"
#include "legendentry.h"

#include "keeploadedlibraries.h"
#include "picturedifference.h"

#include <QTest>

#include <cmath>

namespace {

enum class Kind { Plain, Direct, DirectWithEntries };

QImage drawn(Kind kind, const QList<double> &values, const QPen &pen)
{
    QCustomPlot plot;
    plot.resize(500, 300);
    plot.setAntialiasedElement(QCP::aeAll, true);
    plot.legend->setVisible(true);
    QCPGraph *graph = kind == Kind::Plain ? new QCPGraph(plot.xAxis, plot.yAxis)
                                          : new DirectLineGraph(plot.xAxis, plot.yAxis);
    graph->setName(QStringLiteral("Sensor3Y"));
    if (kind == Kind::DirectWithEntries) {
        plot.legend->removeItem(plot.legend->itemWithPlottable(graph));
        plot.legend->addItem(new LegendEntry(plot.legend, static_cast<DirectLineGraph *>(graph)));
    }
    graph->setPen(pen);
    QList<double> keys;
    for (qsizetype k = 0; k < values.size(); ++k)
        keys.append(double(k));
    graph->setData(keys, values);
    // The line runs on beyond both ends of the axis, as the curve window's does.
    plot.xAxis->setRange(0.5, values.size() - 1.3);
    plot.yAxis->setRange(-100, 100);
    plot.replot();
    return plot.grab().toImage();
}

QPen widePen(Qt::PenCapStyle cap = Qt::SquareCap)
{
    return QPen(QBrush(Qt::red), 3, Qt::SolidLine, cap, Qt::BevelJoin);
}

} // namespace

class tst_DirectLineGraph : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase() { keepLoadedLibrariesUntilExit(); }

    void line_looksAsThePlainGraphs_data()
    {
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<bool>("drawnByTheGraph");
        QList<double> flat, steep, sparse, gap;
        for (int k = 0; k < 400; ++k) {
            flat.append(k % 7 - 3 + 0.37 * (k % 3));
            steep.append(95 * std::sin(k * 0.3));
            gap.append(k == 150 ? qQNaN() : 40 * std::cos(k * 0.05));
        }
        for (int k = 0; k < 6; ++k)
            sparse.append(k % 2 == 0 ? -80.0 : 70.0);
        QTest::newRow("flat noisy line") << flat << true;
        QTest::newRow("steep swings") << steep << true;
        QTest::newRow("long segments") << sparse << true;
        QTest::newRow("broken by an undefined value") << gap << true;
    }

    void line_looksAsThePlainGraphs()
    {
        QFETCH(QList<double>, values);
        QFETCH(bool, drawnByTheGraph);
        const QImage plain = drawn(Kind::Plain, values, widePen());
        const PictureDifference difference(drawn(Kind::Direct, values, widePen()), plain);
        QVERIFY(PictureDifference(plain, drawn(Kind::Plain, {}, widePen())).beyondNoise > 200);
        QVERIFY2(difference.largest <= 6, qPrintable(QString::number(difference.largest)));
        QVERIFY2(difference.beyondNoise < 60, qPrintable(QString::number(difference.beyondNoise)));
        // The plot library's drawing of the same line would match pixel for pixel.
        QCOMPARE(difference.largest > 0, drawnByTheGraph);
    }

    void otherPens_drawnByThePlotLibrary()
    {
        QList<double> values;
        for (int k = 0; k < 100; ++k)
            values.append(60 * std::sin(k * 0.4));
        QPen dashed = widePen();
        dashed.setStyle(Qt::DashLine);
        for (const QPen &pen : {widePen(Qt::RoundCap), dashed, QPen(Qt::red)})
            QCOMPARE(drawn(Kind::Direct, values, pen), drawn(Kind::Plain, values, pen));
    }

    void legendEntry_looksAsThePlotLibrarysOwn()
    {
        const QList<double> values{10, -20, 30};
        QCOMPARE(drawn(Kind::DirectWithEntries, values, widePen()),
                 drawn(Kind::Direct, values, widePen()));
    }
};

QTEST_MAIN(tst_DirectLineGraph)
#include "tst_directlinegraph.moc"
