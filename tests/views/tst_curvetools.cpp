// SPDX-License-Identifier: GPL-3.0-or-later
// The curve window's tool bar, through its actions' object names: pause, zoom and automatic
// ranges, the readout, markers, saved pictures and data, legend and value-range options.

#include "curvegraphic.h"
#include "filedialoganswer.h"
#include "planegraph.h"
#include "plotreadout.h"
#include "recordformat.h"
#include "recordindex.h"
#include "recordingreview.h"
#include "recordreader.h"
#include "testfile.h"
#include "vectorgraph.h"
#include "viewprobe.h"

#include <qcustomplot.h>

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QListWidget>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// Reading i of frame n, and one axis of it.
Axit_t reading(int n, int i)
{
    return Axit_t{qint16(n * 10 + i), qint16(-n), qint16(100 * i + n % 7)};
}
int axis(const Axit_t &r, int a)
{
    return QList<int>{r.x, r.y, r.z}.at(a);
}

void feed(CurveGraphic &window, int frames, int readings = 3)
{
    for (int k = 0; k < frames; ++k) {
        const int n = int(window.sampleCounter()) + 1;
        QList<Axit_t> list;
        for (int i = 0; i < readings; ++i)
            list.append(reading(n, i));
        window.setItemData(list, uint(readings));
    }
}

// Frames as the card sends them at `hz`, with their stamps, the first `pauseUs` later.
void feedAt(CurveGraphic &window, int frames, int hz, int readings = 3, qint64 pauseUs = 0)
{
    static FrameStamp stamp;
    stamp.timeUs += pauseUs;
    for (int k = 0; k < frames; ++k) {
        const int n = int(window.sampleCounter()) + 1;
        QList<Axit_t> list;
        for (int i = 0; i < readings; ++i)
            list.append(reading(n, i));
        stamp = {stamp.sequence + 1, stamp.timeUs + 1000000 / hz, hz};
        window.setStampedData(stamp, list, uint(readings));
    }
}

// The drawing operators of a PDF's page, its first stream (Flate-compressed).
QByteArray pdfPage(const QString &path)
{
    QFile file(path);
    const QByteArray pdf = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const qsizetype begin = pdf.indexOf("stream\n") + 7;
    const QByteArray sizeHint("\x00\x10\x00\x00", 4);
    return qUncompress(sizeHint + pdf.mid(begin, pdf.indexOf("endstream", begin) - begin));
}

} // namespace

class tst_CurveTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        keepOpenGlDriverLoaded();
    }

    void init()
    {
        QSettings().clear();
        m_window = std::make_unique<CurveGraphic>();
        m_plot = m_window->findChild<QCustomPlot *>(QStringLiteral("graphic"));
        m_window->setSensorSum(3);
        auto *list = m_window->findChild<QListWidget *>(QStringLiteral("sensorList"));
        list->item(0)->setCheckState(Qt::Checked);
        emit list->itemClicked(list->item(0));
        feed(*m_window, 300);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTRY_COMPARE(m_plot->xAxis->range().upper, 300.0);
    }
    void cleanup() { m_window.reset(); }

    // Graph 8 (sensor 2's Z curve) and both views show frame 300, then frame 350.
    void pause_freezesGraphsAndViews_andResumeBringsTheNewest()
    {
        const auto shown = [this](int frame) {
            const QCPGraph *graph = m_plot->graph(8);
            return graph->dataCount() == frame && (graph->data()->constEnd() - 1)->key == frame &&
                   m_window->findChild<PlaneGraph *>()->readings().at(2).z == reading(frame, 2).z &&
                   m_window->findChild<VectorGraph *>()->readings().at(2).z == reading(frame, 2).z;
        };
        action("actionPause")->trigger();
        feed(*m_window, 50);
        m_window->refreshPlot();
        QCOMPARE(m_window->series(2).keys.last(), 350.0);
        QVERIFY(shown(300));
        action("actionPause")->trigger();
        QVERIFY(shown(350));
        QCOMPARE(m_plot->xAxis->range().upper, 350.0);
    }

    void zoom_pauses_andAutomaticRangesRestore_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<bool>("byDoubleClick");
        QTest::newRow("wheel, tool bar") << "wheel" << false;
        QTest::newRow("ctrl+wheel, double click") << "ctrl+wheel" << true;
        QTest::newRow("drag, double click") << "drag" << true;
        QTest::newRow("shift+drag, tool bar") << "shift+drag" << false;
    }

    void zoom_pauses_andAutomaticRangesRestore()
    {
        QFETCH(QString, gesture);
        QFETCH(bool, byDoubleClick);
        const QCPRange keys = m_plot->xAxis->range(), values = m_plot->yAxis->range();
        const QPoint centre = m_plot->axisRect()->rect().center();
        const QPoint away = centre + QPoint(-60, 40);
        if (gesture.endsWith(QLatin1String("wheel"))) {
            QWheelEvent turn(centre, m_plot->mapToGlobal(centre), {}, QPoint(0, 120), Qt::NoButton,
                             gesture == "wheel" ? Qt::NoModifier : Qt::ControlModifier,
                             Qt::NoScrollPhase, false);
            QApplication::sendEvent(m_plot, &turn);
        } else {
            const auto shift = gesture == "drag" ? Qt::NoModifier : Qt::ShiftModifier;
            QTest::mousePress(m_plot, Qt::LeftButton, shift, centre);
            QTest::mouseMove(m_plot, away);
            QTest::mouseRelease(m_plot, Qt::LeftButton, shift, away);
        }
        QVERIFY(action("actionPause")->isChecked());
        QCOMPARE(m_plot->xAxis->range() == keys, gesture == "ctrl+wheel");
        QCOMPARE(m_plot->yAxis->range() == values, gesture == "wheel");
        const double width = m_plot->axisRect()->width(), zoomed = m_plot->xAxis->range().size();
        QVERIFY(gesture != "shift+drag" || qAbs(zoomed / keys.size() * width - 60) < 2); // dragged

        feed(*m_window, 5);
        if (byDoubleClick)
            QTest::mouseDClick(m_plot, Qt::LeftButton, {}, centre);
        else
            action("actionAutoRange")->trigger();
        QVERIFY(!action("actionPause")->isChecked());
        QCOMPARE(m_plot->xAxis->range(), QCPRange(205, 305));
        QCOMPARE(m_plot->yAxis->range(), QCPRange(reading(305, 0).y, reading(305, 2).x));
    }

    void readout_listsTheValuesUnderThePointer_andHidesOutside_data()
    {
        QTest::addColumn<QCPRange>("range"); // shown, empty for the window's own
        QTest::addColumn<double>("pointed");
        QTest::addColumn<int>("frame");
        QTest::newRow("a frame") << QCPRange() << 250.0 << 250;
        QTest::newRow("past the newest frame: the newest") << QCPRange(250, 320) << 310.0 << 300;
    }

    void readout_listsTheValuesUnderThePointer_andHidesOutside()
    {
        QFETCH(QCPRange, range);
        QFETCH(double, pointed);
        QFETCH(int, frame);
        auto *readout = m_plot->findChild<PlotReadout *>(QStringLiteral("plotReadout"));
        QVERIFY(readout && readout->isHidden());
        m_plot->graph(4)->setVisible(false); // a curve hidden by its legend entry
        if (range.size() > 0) {              // as by a drag, which pauses
            m_plot->xAxis->setRange(range);
            m_plot->replot();
        }
        const QPoint at(int(m_plot->xAxis->coordToPixel(pointed)),
                        m_plot->axisRect()->rect().center().y());
        // Sent to the plot itself: QTest::mouseMove warps the shared X pointer, which another
        // test's window may cover.
        QMouseEvent move(QEvent::MouseMove, at, m_plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(m_plot, &move);
        QVERIFY(readout->isVisible());
        QStringList expected{readout->lines().value(0)};
        QVERIFY2(expected.first().startsWith(QStringLiteral("帧 %1，0.").arg(frame)),
                 qPrintable(expected.first()));
        for (int g = 0; g < 9; ++g) {
            if (g != 4)
                expected << m_plot->graph(g)->name() +
                                QStringLiteral("  %1").arg(axis(reading(frame, g / 3), g % 3));
        }
        QCOMPARE(readout->lines(), expected);

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(m_plot, &leave);
        QVERIFY(readout->isHidden());
    }

    void marker_atTheNewestFrame_leavesWithItsPoint()
    {
        QSignalSpy added(m_window.get(), &CurveGraphic::markerAdded);
        action("actionMarker")->trigger();
        QCOMPARE(added.count(), 1);
        QCOMPARE(added.at(0).at(1), QStringLiteral("标记 1"));
        QCOMPARE(added.at(0).at(2).value<FrameStamp>().sequence, 300u); // the frame's own
        QCOMPARE(added.at(0).at(3), 300.0);
        QCOMPARE(m_plot->itemCount(), 2); // a line and a label
        feed(*m_window, 999);
        m_window->refreshPlot();
        QCOMPARE(m_plot->itemCount(), 2);
        feed(*m_window, 1);
        m_window->refreshPlot();
        QCOMPARE(m_plot->itemCount(), 0);
    }

    void savedPictures_areInTheirSuffixsFormat_andNotBlank_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("format"); // what the file starts with
        QTest::newRow("png") << "curves.png" << QByteArray("\x89PNG");
        QTest::newRow("pdf") << "curves.pdf" << QByteArray("%PDF");
        QTest::newRow("svg") << "curves.svg" << QByteArray("<?xml");
        QTest::newRow("jpg") << "curves.jpeg" << QByteArray("\xff\xd8\xff");
        QTest::newRow("another format, refused") << "curves.bmp" << QByteArray();
    }

    void savedPictures_areInTheirSuffixsFormat_andNotBlank()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        const QString path = m_dir.filePath(name);
        QString error;
        if (format.isEmpty()) {
            QVERIFY(!m_window->savePicture(path, error));
            QVERIFY2(error.contains(QLatin1String(".bmp")), qPrintable(error));
            QVERIFY(QDir(m_dir.path()).entryList({QStringLiteral("curves.bmp*")}).isEmpty());
            return;
        }
        QString suggested = answerFileDialog(path, [&] { action("actionSavePicture")->trigger(); });
        QVERIFY(
            suggested.contains(QRegularExpression(QStringLiteral("eskin-curves-\\d{8}-\\d{6}"))));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        QVERIFY(content.startsWith(format));
        if (name.endsWith(QLatin1String(".pdf"))) { // nine curves of 100 points and more
            QVERIFY(pdfPage(path).count(" l\n") > 500);
        } else if (name.endsWith(QLatin1String(".svg"))) { // drawn as paths, not as a picture
            QVERIFY(content.count("<polyline") > 9 && !content.contains("<image"));
        } else {
            QCOMPARE(QImage(path).size(), m_plot->size());
            QVERIFY(!blank(QImage(path)));
        }
        for (const char *view : {"-vectors.png", "-plane.png"})
            QVERIFY(!blank(QImage(m_dir.filePath(QFileInfo(name).baseName() + view))));
        action("actionCopyPicture")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->image().size(), m_plot->size());
    }

    void savedData_readsBackAsThePlotsPoints_data()
    {
        QTest::addColumn<bool>("zoomed");
        QTest::addColumn<double>("firstKey");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QList<double>>("markedKeys");
        QTest::addColumn<qint64>("rateChangeAt"); // -1: none
        QTest::newRow("all held") << false << 301.0 << 1000 << QList<double>{600, 650} << 400ll;
        QTest::newRow("zoomed") << true << 591.0 << 30 << QList<double>{600} << -1ll;
    }

    void savedData_readsBackAsThePlotsPoints()
    {
        QFETCH(bool, zoomed);
        QFETCH(double, firstKey);
        QFETCH(int, frames);
        QFETCH(QList<double>, markedKeys);
        QFETCH(qint64, rateChangeAt);
        // Sensor 2 misses frames 301 to 700, and keeps points older than the last 1000 frames.
        // The card sends at 100 Hz up to frame 700, at 200 Hz from there.
        feedAt(*m_window, 400, 100, 2);
        feedAt(*m_window, 600, 200);
        m_window->addMarkerAt(650, QStringLiteral("b"));
        m_window->addMarkerAt(600, QStringLiteral("a"));
        m_window->refreshPlot();
        if (zoomed)
            m_plot->xAxis->setRange(590.5, 620.2);
        const QString path = m_dir.filePath(QTest::currentDataTag() + QStringLiteral(".csv"));
        answerFileDialog(path, [&] { action("actionSaveShown")->trigger(); });
        RecordReader reader;
        QVERIFY2(reader.read(path), qPrintable(reader.errorString()));
        QCOMPARE(int(reader.frames().size()), frames);
        QCOMPARE(reader.header().frequencyHz, 100);
        QCOMPARE(reader.rateChanges().size(), std::size_t(rateChangeAt < 0 ? 0 : 1));
        if (rateChangeAt >= 0)
            QCOMPARE(reader.rateChanges()[0].frameIndex, rateChangeAt);
        double key = firstKey - 1;
        for (const RecordedFrame &frame : reader.frames()) {
            ++key;
            // The card's intervals, from the first saved frame on.
            const qint64 sent = qint64(std::min(key, 700.0) - firstKey) * 10000 +
                                qint64(std::max(key - 700, 0.0)) * 5000;
            QCOMPARE(frame.timeUs, sent);
            QCOMPARE(frame.sensors, key > 300 && key <= 700 ? 2 : 3);
            for (int g = 0; g < 3 * frame.sensors; ++g) {
                const Axit_t &r = frame.readings[std::size_t(g / 3)];
                const auto point = m_plot->graph(g)->data()->findBegin(key, false);
                QCOMPARE(point->key, key);
                QCOMPARE(point->value, double(axis(r, g % 3)));
            }
        }
        QCOMPARE(int(reader.markers().size()), markedKeys.size());
        for (std::size_t i = 0; i < reader.markers().size(); ++i) {
            QCOMPARE(double(reader.markers()[i].frameIndex),
                     markedKeys.at(qsizetype(i)) - firstKey);
            QCOMPARE(reader.markers()[i].label, i == 0 ? QStringLiteral("a") : QStringLiteral("b"));
        }
    }

    // Only sensor 2's X curve (12 to 3002, 2002 to 3002 in frames 200 to 300, which the plot
    // shows) is left shown, as by its legend entry.
    void legendAndFit_applyAndAreRemembered()
    {
        QVERIFY(action("actionLegend")->isChecked() && !action("actionFitShown")->isChecked());
        for (int g = 0; g < 9; ++g)
            m_plot->graph(g)->setVisible(g == 6);
        m_window->refreshPlot();
        QCOMPARE(m_plot->yAxis->range(), QCPRange(-300, 3002));
        action("actionFitShown")->trigger();
        action("actionLegend")->trigger();
        m_window->refreshPlot();
        QCOMPARE(m_plot->yAxis->range(), QCPRange(2002, 3002));
        QVERIFY(!m_plot->legend->visible());

        CurveGraphic again;
        QVERIFY(!again.findChild<QCustomPlot *>()->legend->visible());
        QVERIFY(again.findChild<QAction *>(QStringLiteral("actionFitShown"))->isChecked());
    }

    // Sensor 1 unticked, so the legend beside the plot has sensors 0 and 2; a double click on the
    // colour of sensor 2's Y curve hides that curve alone.
    void legendOutside_standsBesideThePlot_withAnEntryPerShownSensor()
    {
        auto *list = m_window->findChild<QListWidget *>(QStringLiteral("sensorList"));
        list->item(2)->setCheckState(Qt::Unchecked);
        emit list->itemClicked(list->item(2));
        action("actionLegendOutside")->trigger();
        m_plot->replot();
        QCPLegend *beside = nullptr;
        for (QCPLayoutElement *element : m_plot->plotLayout()->elements(true)) {
            if (auto *legend = qobject_cast<QCPLegend *>(element); legend != m_plot->legend)
                beside = legend ? legend : beside;
        }
        QVERIFY(beside && beside->visible() && !m_plot->legend->visible());
        QCOMPARE(beside->itemCount(), 2);
        QVERIFY(!beside->outerRect().intersects(m_plot->axisRect()->outerRect()));
        QVERIFY(m_plot->viewport().contains(beside->item(1)->outerRect()));

        const QImage shown = m_plot->toPixmap().toImage();
        const QPoint y2 = pixelOf(shown, beside->item(1)->rect(), m_window->axisColor(2, 1));
        QVERIFY(!y2.isNull());
        QTest::mouseDClick(m_plot, Qt::LeftButton, {}, y2);
        QVERIFY(m_plot->graph(6)->visible() && !m_plot->graph(7)->visible() &&
                m_plot->graph(8)->visible());

        const QString path = m_dir.filePath(QStringLiteral("beside.png"));
        QString error;
        QVERIFY(m_window->savePicture(path, error));
        const QPoint x0 = pixelOf(shown, beside->item(0)->rect(), m_window->axisColor(0, 0));
        QVERIFY(sameColour(QImage(path).pixelColor(x0), m_window->axisColor(0, 0)));
        CurveGraphic again;
        QVERIFY(again.findChild<QAction *>(QStringLiteral("actionLegendOutside"))->isChecked());
    }

    // Frames at 200 Hz from the window's first on, then at 100 Hz: each point stands at its
    // frame's time, and the axis spans the last 100 frames.
    void timeAxis_placesEachFrameAtItsTime()
    {
        freshWindow();
        action("actionTimeAxis")->trigger();
        feedAt(*m_window, 150, 200, 1);
        feedAt(*m_window, 50, 100, 1);
        m_window->refreshPlot();
        const auto seconds = [](int k) {
            return k <= 150 ? (k - 1) * 0.005 : 0.745 + (k - 150) * 0.01;
        };
        QCOMPARE(m_plot->xAxis->range().lower, seconds(100));
        QCOMPARE(m_plot->xAxis->range().upper, seconds(200));
        int k = 0;
        for (const QCPGraphData &point : *m_plot->graph(2)->data()) {
            ++k;
            QCOMPARE(point.key, seconds(k));
            QCOMPARE(point.value, double(reading(k, 0).z));
        }
        QCOMPARE(k, 200);
        QCOMPARE(m_plot->xAxis->label(), QStringLiteral("时间 (s)"));

        action("actionTimeAxis")->trigger();
        QCOMPARE(m_plot->xAxis->range(), QCPRange(100, 200));
        QCOMPARE(m_plot->graph(2)->data()->at(199)->key, 200.0);
        action("actionTimeAxis")->trigger();
        CurveGraphic again;
        QVERIFY(again.findChild<QAction *>(QStringLiteral("actionTimeAxis"))->isChecked());
    }

    void axisLabels_arePlainNumbers_data()
    {
        QTest::addColumn<bool>("time");
        QTest::addColumn<QCPRange>("range");
        QTest::addColumn<QString>("label"); // every label matches
        const QString whole = QStringLiteral("^\\d+$");
        QTest::newRow("a day's frames") << false << QCPRange(17279899, 17279999) << whole;
        QTest::newRow("a few frames") << false << QCPRange(10.2, 14.7) << whole;
        QTest::newRow("a day's seconds")
            << true << QCPRange(86399.5, 86400) << QStringLiteral("^8639\\d\\.\\d$|^86400\\.0$");
        QTest::newRow("milliseconds")
            << true << QCPRange(0.001, 0.004) << QStringLiteral("^0\\.00\\d\\d?$");
    }

    void axisLabels_arePlainNumbers()
    {
        QFETCH(bool, time);
        QFETCH(QCPRange, range);
        QFETCH(QString, label);
        if (time)
            action("actionTimeAxis")->trigger();
        action("actionPause")->trigger();
        m_plot->xAxis->setRange(range);
        m_plot->replot();
        const QList<QString> labels = m_plot->xAxis->tickVectorLabels();
        QVERIFY(labels.size() >= 3);
        QCOMPARE(QSet<QString>(labels.begin(), labels.end()).size(), labels.size());
        for (const QString &text : labels)
            QVERIFY2(QRegularExpression(label).match(text).hasMatch(), qPrintable(text));
    }

    void gap_breaksTheCurves_andTheReadoutNamesIt_data()
    {
        QTest::addColumn<bool>("review");
        QTest::newRow("live, port lost") << false;
        QTest::newRow("review, the file's gap") << true;
    }

    // 100 frames at 100 Hz, a gap of 2.5 s, 100 frames more; the time shown on the x axis.
    void gap_breaksTheCurves_andTheReadoutNamesIt()
    {
        QFETCH(bool, review);
        freshWindow();
        auto *list = m_window->findChild<QListWidget *>(QStringLiteral("sensorList"));
        list->item(1)->setCheckState(Qt::Checked);
        emit list->itemClicked(list->item(1));
        action("actionTimeAxis")->trigger();
        feedAt(*m_window, 100, 100, 1);
        m_window->beginGap(QStringLiteral("port lost"));
        feedAt(*m_window, 100, 100, 1, 2500000);
        if (review) {
            const QString path = m_dir.filePath(QStringLiteral("gap.csv"));
            m_window->refreshPlot();
            QVERIFY2(m_window->saveShown(path, m_error), qPrintable(m_error));
            auto recording = std::make_unique<RecordIndex>();
            QVERIFY(recording->open(path));
            QCOMPARE(recording->gaps().size(), std::size_t(1));
            QVERIFY(m_window->beginReview(std::move(recording), m_error));
            m_window->review()->toEnd();
        }
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->refreshPlot();
        m_plot->replot();
        const double before = m_plot->graph(0)->data()->at(99)->key;
        const double after = m_plot->graph(0)->data()->at(101)->key;
        QCOMPARE(after - before, 2.51);
        QVERIFY(std::isnan(m_plot->graph(0)->data()->at(100)->value));
        // Nothing of sensor 0's X curve in the gap's middle.
        const QImage shown = m_plot->toPixmap().toImage();
        const int middle = int(m_plot->xAxis->coordToPixel((before + after) / 2));
        const QRect column(middle - 2, m_plot->axisRect()->top(), 5, m_plot->axisRect()->height());
        QVERIFY(!pixelOf(shown, m_plot->axisRect()->rect(), m_window->axisColor(0, 0)).isNull());
        QVERIFY(pixelOf(shown, column, m_window->axisColor(0, 0)).isNull());

        auto *readout = m_plot->findChild<PlotReadout *>(QStringLiteral("plotReadout"));
        const QPoint at(middle, m_plot->axisRect()->rect().center().y());
        QMouseEvent move(QEvent::MouseMove, at, m_plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(m_plot, &move);
        QCOMPARE(readout->lines().value(1), QStringLiteral("间断 2.510 s：串口丢失"));
    }

private:
    QAction *action(const char *name) const
    {
        return m_window->findChild<QAction *>(QLatin1String(name));
    }

    // A new window with one sensor and no frames.
    void freshWindow()
    {
        m_window = std::make_unique<CurveGraphic>();
        m_plot = m_window->findChild<QCustomPlot *>(QStringLiteral("graphic"));
        m_window->setSensorSum(1);
    }

    // A pixel of about `colour` within `area`; null when there is none.
    static QPoint pixelOf(const QImage &image, const QRect &area, const QColor &colour)
    {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (sameColour(image.pixelColor(x, y), colour, 40))
                    return QPoint(x, y);
            }
        }
        return {};
    }

    static bool blank(const QImage &image)
    {
        QImage plain(image.size(), image.format());
        plain.fill(image.pixel(0, 0));
        return image.isNull() || image == plain;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<CurveGraphic> m_window;
    QCustomPlot *m_plot = nullptr;
    QString m_error;
};

QTEST_MAIN(tst_CurveTools)
#include "tst_curvetools.moc"
