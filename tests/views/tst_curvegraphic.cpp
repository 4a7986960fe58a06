// SPDX-License-Identifier: GPL-3.0-or-later
// Curve window: recording of frames whether shown or not, the 1000-point series, the plot's
// ranges, the sensor list and legend toggles, sensor count changes and the hand-over of each
// frame to the two views.

#include "curvegraphic.h"
#include "planegraph.h"
#include "slaveprotocol.h"
#include "vectorgraph.h"
#include "viewprobe.h"

#include <qcustomplot.h>

#include <QAction>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

const QColor kHidden(Qt::darkGray);

// Reading i of frame n: (n + i, -n, i).
QList<Axit_t> frame(int n, int readings)
{
    QList<Axit_t> list;
    for (int i = 0; i < readings; ++i)
        list.append(Axit_t{qint16(n + i), qint16(-n), qint16(i)});
    return list;
}

void feed(CurveGraphic &window, int frames, int readings = kMaxSensors)
{
    const int first = int(window.sampleCounter()) + 1;
    for (int n = first; n < first + frames; ++n) {
        QList<Axit_t> list = frame(n, readings);
        window.setItemData(list, uint(readings));
    }
}

void clickCheckBox(QListWidget *list, int row)
{
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.rect = list->visualItemRect(list->item(row));
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    const QRect box =
        list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
}

} // namespace

class tst_CurveGraphic : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { keepOpenGlDriverLoaded(); }

    void init()
    {
        m_window = std::make_unique<CurveGraphic>();
        m_plot = m_window->findChild<QCustomPlot *>("graphic");
        m_list = m_window->findChild<QListWidget *>("sensorList");
        m_vector = m_window->findChild<VectorGraph *>("vectorGraph");
        m_plane = m_window->findChild<PlaneGraph *>("planeGraph");
        QVERIFY(m_plot && m_list && m_vector && m_plane);
    }
    void cleanup() { m_window.reset(); }

    void framesWhileNeverShownOrClosed_appearWhenShown()
    {
        m_window->setSensorSum(2);
        feed(*m_window, 150);
        QCOMPARE(m_plot->graph(0)->dataCount(), 0);
        showWindow();
        QCOMPARE(m_plot->graph(5)->dataCount(), 150);
        QCOMPARE(m_plot->graph(0)->data()->at(149)->key, 150.0);
        QCOMPARE(m_plot->xAxis->range().upper, 150.0);
        QVERIFY(m_vector->isRefreshing() && m_plane->isRefreshing());

        m_window->close();
        QVERIFY(!m_vector->isRefreshing() && !m_plane->isRefreshing());
        feed(*m_window, 10);
        QTest::qWait(100);
        QCOMPARE(m_plot->graph(0)->dataCount(), 150);
        showWindow();
        QCOMPARE(m_plot->graph(0)->dataCount(), 160);
        QCOMPARE(m_plot->xAxis->range().upper, 160.0);
    }

    void plotRanges_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<bool>("spikeStored");
        QTest::newRow("spike before the x span") << 150 << true;
        QTest::newRow("cap reached") << 1005 << true;
        QTest::newRow("spike dropped by the cap") << 1100 << false;
    }

    // Sensor 0 reads x = n in frame n; sensor 1, whose curves stay hidden, has a spike in
    // frame 60.
    void plotRanges()
    {
        QFETCH(int, frames);
        QFETCH(bool, spikeStored);
        m_window->setSensorSum(2);
        for (int n = 1; n <= frames; ++n) {
            QList<Axit_t> list{{qint16(n), -10, 0}, {qint16(n == 60 ? 30000 : 10), -10, 0}};
            m_window->setItemData(list, 2);
        }
        showWindow();
        const int kept = std::min(frames, 1000);
        QCOMPARE(m_plot->graph(0)->dataCount(), kept);
        QCOMPARE(m_plot->graph(0)->data()->at(0)->value, double(frames - kept + 1));
        QCOMPARE(m_window->series(1).zValues.size(), kept);
        QCOMPARE(m_plot->xAxis->range().lower, frames - 100.0);
        QCOMPARE(m_plot->xAxis->range().upper, double(frames));
        QCOMPARE(m_plot->yAxis->range().upper >= 30000, spikeStored);
        QVERIFY(m_plot->yAxis->range().lower <= -10);
    }

    // Rows: frames before the first refresh; then per step the frames fed before a refresh;
    // whether every reading is the same; a sensor count to pass through after the first step.
    void refreshes_matchWholesaleRefill_data()
    {
        QTest::addColumn<int>("initial");
        QTest::addColumn<QList<int>>("steps");
        QTest::addColumn<bool>("constant");
        QTest::addColumn<int>("passThroughSum");
        QTest::newRow("a frame per refresh at the cap")
            << 995 << QList<int>{1, 1, 3, 1, 2} << false << 0;
        QTest::newRow("more frames than the cap between refreshes")
            << 400 << QList<int>{700, 1500, 0} << false << 0;
        QTest::newRow("sensor count lowered and raised")
            << 300 << QList<int>{5, 800, 1} << false << 2;
        QTest::newRow("one value throughout") << 20 << QList<int>{1, 2} << true << 0;
    }

    // The refresh brings the graphs up to date by their changes; the outcome must be what a
    // refill of every graph from the series, and a rescale over all of them, would give.
    void refreshes_matchWholesaleRefill()
    {
        QFETCH(int, initial);
        QFETCH(QList<int>, steps);
        QFETCH(bool, constant);
        QFETCH(int, passThroughSum);
        m_window->setSensorSum(4);
        int n = 0;
        const auto feedVaried = [&](int frames) {
            for (int end = n + frames; n < end; ++n) {
                // Every seventh frame carries three readings: sensor 3 gets a gap in its keys.
                const int readings = n % 7 == 0 ? 3 : 4;
                QList<Axit_t> list;
                for (int i = 0; i < readings; ++i) {
                    const auto v = [&](int k) {
                        return qint16(constant ? 5 : (n * k + i) % 997 - 400);
                    };
                    list.append(Axit_t{v(7), v(13), v(31)});
                }
                m_window->setItemData(list, uint(readings));
            }
        };
        feedVaried(initial);
        for (int step = 0; step < steps.size(); ++step) {
            m_window->refreshPlot();
            compareWithRefill();
            if (step == 0 && passThroughSum > 0) {
                m_window->setSensorSum(uint(passThroughSum));
                feedVaried(3);
                m_window->refreshPlot();
                m_window->setSensorSum(4);
            }
            feedVaried(steps.at(step));
        }
        m_window->refreshPlot();
        compareWithRefill();
    }

    // Rows: the rows whose check box is clicked in turn, then the sensors expected shown.
    // "全选" is ticked while every sensor is, partly ticked while some are.
    void sensorListClicks_data()
    {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QList<int>>("shown");
        QTest::addColumn<Qt::CheckState>("all");
        QTest::newRow("one sensor") << QList<int>{2} << QList<int>{1} << Qt::PartiallyChecked;
        QTest::newRow("one sensor off again") << QList<int>{2, 2} << QList<int>{} << Qt::Unchecked;
        QTest::newRow("select all") << QList<int>{0} << QList<int>{0, 1, 2} << Qt::Checked;
        QTest::newRow("select all off") << QList<int>{3, 0, 0} << QList<int>{} << Qt::Unchecked;
        QTest::newRow("one off after select all")
            << QList<int>{0, 2} << QList<int>{0, 2} << Qt::PartiallyChecked;
        QTest::newRow("each one on") << QList<int>{1, 3, 2} << QList<int>{0, 1, 2} << Qt::Checked;
    }

    void sensorListClicks()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(QList<int>, shown);
        QFETCH(Qt::CheckState, all);
        m_window->setSensorSum(3);
        showWindow();
        for (int row : clicks)
            clickCheckBox(m_list, row);
        QList<int> shownGraphs;
        for (int s = 0; s < 3; ++s) {
            const bool on = shown.contains(s);
            QCOMPARE(m_list->item(s + 1)->checkState(), on ? Qt::Checked : Qt::Unchecked);
            if (on)
                shownGraphs << 3 * s << 3 * s + 1 << 3 * s + 2;
        }
        checkGraphs(shownGraphs);
        QCOMPARE(m_list->item(0)->checkState(), all);
    }

    void legendDoubleClick_togglesOneCurveOnly()
    {
        m_window->setSensorSum(2);
        feed(*m_window, 20);
        showWindow();
        doubleClickLegendEntry(4);
        checkGraphs({4});
        doubleClickLegendEntry(4);
        checkGraphs({});
        // Beside every entry, inside the plot.
        QTest::mouseDClick(m_plot, Qt::LeftButton, {}, m_plot->axisRect()->rect().center());
        checkGraphs({});
        for (int row = 0; row < m_list->count(); ++row)
            QCOMPARE(m_list->item(row)->checkState(), Qt::Unchecked);
    }

    // Sensor 3 is ticked; its Y curve is hidden by its legend entry.
    void sensorCount_lowerAndRaise_keepsStoredPointsAndTicks()
    {
        m_window->setSensorSum(4);
        feed(*m_window, 20);
        m_list->item(4)->setCheckState(Qt::Checked);
        emit m_list->itemClicked(m_list->item(4));
        showWindow();
        doubleClickLegendEntry(10);
        m_window->setSensorSum(2);
        QCOMPARE(m_plot->graphCount(), 6);
        QCOMPARE(m_list->count(), 3);
        QCOMPARE(m_vector->sensorSum(), 2);
        feed(*m_window, 5);

        m_window->setSensorSum(4);
        QCOMPARE(m_list->count(), 5);
        QCOMPARE(m_list->item(4)->text(), QStringLiteral("Sensor3"));
        QCOMPARE(m_plot->graph(10)->name(), QStringLiteral("Sensor3Y"));
        showWindow();
        QCOMPARE(m_plot->graph(0)->dataCount(), 25);
        QCOMPARE(m_plot->graph(6)->dataCount(), 20);
        QCOMPARE(m_plot->graph(11)->data()->at(19)->value, 3.0);
        checkGraphs({9, 11});
        QCOMPARE(m_list->item(4)->checkState(), Qt::Checked);
        QCOMPARE(m_list->item(0)->checkState(), Qt::PartiallyChecked);

        m_window->setSensorSum(40);
        QCOMPARE(m_window->sensorSum(), uint(kMaxSensors));
        QCOMPARE(m_plot->graphCount(), 3 * kMaxSensors);
        QCOMPARE(m_list->count(), kMaxSensors + 1);
    }

    void frame_extendsOnlyShownSensors_data()
    {
        QTest::addColumn<int>("readings");
        QTest::addColumn<int>("num");
        QTest::addColumn<int>("extended");
        QTest::newRow("16 readings, 4 sensors shown") << 16 << 16 << 4;
        QTest::newRow("fewer readings than sensors") << 2 << 2 << 2;
        QTest::newRow("count above the list size") << 3 << 16 << 3;
        QTest::newRow("count below the list size") << 16 << 1 << 1;
    }

    void frame_extendsOnlyShownSensors()
    {
        QFETCH(int, readings);
        QFETCH(int, num);
        QFETCH(int, extended);
        m_window->setSensorSum(4);
        QList<Axit_t> list = frame(7, readings);
        m_window->setItemData(list, uint(num));
        for (int s = 0; s < kMaxSensors; ++s)
            QCOMPARE(m_window->series(s).keys.size(), s < extended ? 1 : 0);
        QCOMPARE(m_vector->readings().size(), readings);
        QCOMPARE(m_plane->readings().size(), readings);
        QCOMPARE(m_plane->readings().last().x, list.last().x);
    }

    void driverCardSignal_deliversFramesQueued()
    {
        m_window->setSensorSum(1);
        SlaveProtocol card;
        connect(&card, &SlaveProtocol::AxitReflushGraphic, m_window.get(),
                &CurveGraphic::setItemData, Qt::QueuedConnection);
        QList<Axit_t> list = frame(1, 16);
        emit card.AxitReflushGraphic(list, 16);
        QTRY_COMPARE(m_window->series(0).keys.size(), 1);
        QCOMPARE(m_window->series(0).xValues.first(), 1.0);
    }

    // Rows: what changes once the window has drawn its frames; whether the plot is drawn again
    // within a few ticks of the refresh timers, and whether it is once the window is in view and
    // running again.
    void restingWindow_redrawsOnlyWhatIsNew_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("redrawn");
        QTest::newRow("nothing") << "nothing" << false;
        QTest::newRow("a frame") << "frame" << true;
        QTest::newRow("a sensor ticked") << "tick" << true;
        QTest::newRow("a frame while paused") << "paused" << false;
        QTest::newRow("a frame while minimized") << "minimized" << false;
    }

    void restingWindow_redrawsOnlyWhatIsNew()
    {
        QFETCH(QString, change);
        QFETCH(bool, redrawn);
        m_window->setSensorSum(2);
        feed(*m_window, 50);
        showWindow();
        // Beside the window's refresh timer, at its period; the first ticks let the drawing of
        // the window's first show settle.
        QTimer beside;
        QSignalSpy ticks(&beside, &QTimer::timeout);
        beside.start(30);
        QTRY_VERIFY(ticks.count() >= 5);
        ticks.clear();
        QSignalSpy replots(m_plot, &QCustomPlot::afterReplot);
        auto *pause = m_window->findChild<QAction *>(QStringLiteral("actionPause"));
        if (change == "paused")
            pause->setChecked(true);
        if (change == "minimized")
            m_window->showMinimized();
        if (change == "tick")
            clickCheckBox(m_list, 1);
        else if (change != "nothing")
            feed(*m_window, 1);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 5 || !replots.isEmpty(), 10000);
        QCOMPARE(!replots.isEmpty(), redrawn);
        if (redrawn || change == "nothing")
            return;
        pause->setChecked(false);
        m_window->showNormal();
        QTRY_VERIFY(!replots.isEmpty());
        QCOMPARE(m_plot->xAxis->range().upper, 51.0);
    }

private:
    // Shows the window and waits for the first plot refresh.
    void showWindow()
    {
        QSignalSpy replotted(m_plot, &QCustomPlot::afterReplot);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTRY_VERIFY(m_plot->xAxis->range().upper == m_window->sampleCounter() &&
                    !replotted.isEmpty());
    }

    void compareWithRefill()
    {
        QCustomPlot refill;
        for (int s = 0; s < int(m_window->sensorSum()); ++s) {
            const SensorSeries &stored = m_window->series(s);
            for (const QList<double> *values :
                 {&stored.xValues, &stored.yValues, &stored.zValues}) {
                const QCPGraph *shown = m_plot->graph(refill.graphCount());
                QCPGraph *expected = refill.addGraph();
                expected->setData(stored.keys, *values);
                QCOMPARE(shown->dataCount(), expected->dataCount());
                for (int k = 0; k < expected->dataCount(); ++k) {
                    QCOMPARE(shown->data()->at(k)->key, expected->data()->at(k)->key);
                    QCOMPARE(shown->data()->at(k)->value, expected->data()->at(k)->value);
                }
            }
        }
        // Elsewhere but as wide: a single value keeps the span and centres on it.
        refill.yAxis->setRange(m_plot->yAxis->range() + 1000);
        refill.yAxis->rescale(false);
        QCOMPARE(m_plot->yAxis->range().lower, refill.yAxis->range().lower);
        QCOMPARE(m_plot->yAxis->range().upper, refill.yAxis->range().upper);
    }

    void doubleClickLegendEntry(int graph)
    {
        QCPAbstractLegendItem *entry = m_plot->legend->itemWithPlottable(m_plot->graph(graph));
        QTest::mouseDClick(m_plot, Qt::LeftButton, {}, entry->rect().center());
    }

    // Shown graphs are visible in their sensor and axis colour with a wide pen, all others
    // hidden and grey, legend entries alike.
    void checkGraphs(const QList<int> &shown)
    {
        for (int index = 0; index < m_plot->graphCount(); ++index) {
            QCPGraph *graph = m_plot->graph(index);
            const bool on = shown.contains(index);
            const QColor colour = on ? m_window->axisColor(index / 3, index % 3) : kHidden;
            QVERIFY2(graph->visible() == on, qPrintable(graph->name()));
            QCOMPARE(graph->pen().color(), colour);
            QCOMPARE(m_plot->legend->itemWithPlottable(graph)->textColor(), colour);
            if (on)
                QCOMPARE(graph->pen().width(), 3);
        }
    }

    std::unique_ptr<CurveGraphic> m_window;
    QCustomPlot *m_plot = nullptr;
    QListWidget *m_list = nullptr;
    VectorGraph *m_vector = nullptr;
    PlaneGraph *m_plane = nullptr;
};

QTEST_MAIN(tst_CurveGraphic)
#include "tst_curvegraphic.moc"
