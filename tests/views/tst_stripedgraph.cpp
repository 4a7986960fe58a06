// SPDX-License-Identifier: GPL-3.0-or-later
// Striped graph: the same pixels as the plot library's own graph, whatever the line looks like.

#include "stripedgraph.h"

#include "keeploadedlibraries.h"

#include <QTest>

#include <cmath>

namespace {

QImage drawn(QCPGraph *(*make)(QCustomPlot &), const QList<double> &values)
{
    QCustomPlot plot;
    plot.resize(500, 300);
    plot.setAntialiasedElement(QCP::aeAll, true);
    QCPGraph *graph = make(plot);
    graph->setPen(QPen(QBrush(Qt::red), 3, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    QList<double> keys;
    for (qsizetype k = 0; k < values.size(); ++k)
        keys.append(double(k));
    graph->setData(keys, values);
    plot.xAxis->setRange(0.5, values.size() - 1.3);
    plot.yAxis->setRange(-100, 100);
    plot.replot();
    // As on screen: an export (toPixmap) takes the plain drawing.
    return plot.grab().toImage();
}

int redPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.red() > 200 && c.green() < 100 ? 1 : 0;
        }
    }
    return count;
}

} // namespace

class tst_StripedGraph : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase() { keepLoadedLibrariesUntilExit(); }

    void line_drawsThePlainGraphsPixels_data()
    {
        QTest::addColumn<QList<double>>("values");
        QList<double> flat, steep, sparse, gap;
        for (int k = 0; k < 400; ++k) {
            flat.append(k % 7 - 3 + 0.37 * (k % 3));
            steep.append(95 * std::sin(k * 0.3));
            gap.append(k == 150 ? qQNaN() : 40 * std::cos(k * 0.05));
        }
        for (int k = 0; k < 6; ++k)
            sparse.append(k % 2 == 0 ? -80.0 : 70.0);
        QTest::newRow("flat noisy line") << flat;
        QTest::newRow("steep swings") << steep;
        QTest::newRow("segments across many strips") << sparse;
        QTest::newRow("undefined value") << gap;
    }

    void line_drawsThePlainGraphsPixels()
    {
        QFETCH(QList<double>, values);
        const QImage plain =
            drawn([](QCustomPlot &plot) { return new QCPGraph(plot.xAxis, plot.yAxis); }, values);
        const QImage striped = drawn(
            [](QCustomPlot &plot) -> QCPGraph * {
                return new StripedGraph(plot.xAxis, plot.yAxis);
            },
            values);
        QVERIFY(redPixels(plain) > 200); // the line is there at all
        QCOMPARE(striped, plain);
    }
};

QTEST_MAIN(tst_StripedGraph)
#include "tst_stripedgraph.moc"
