// SPDX-License-Identifier: GPL-3.0-or-later
// The curve window's tool bar, through its actions' object names: pause, zoom and automatic
// ranges, the readout, markers, saved pictures and data, legend and value-range options.

#include "curvegraphic.h"
#include "filedialoganswer.h"
#include "planegraph.h"
#include "plotreadout.h"
#include "recordreader.h"
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

// Frames as the card sends them at `hz`, with their stamps.
void feedAt(CurveGraphic &window, int frames, int hz, int readings = 3)
{
    static FrameStamp stamp;
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

    void readout_listsTheValuesUnderThePointer_andHidesOutside()
    {
        auto *readout = m_plot->findChild<PlotReadout *>(QStringLiteral("plotReadout"));
        QVERIFY(readout && readout->isHidden());
        m_plot->graph(4)->setVisible(false); // a curve hidden by its legend entry
        const QPoint at(int(m_plot->xAxis->coordToPixel(250)),
                        m_plot->axisRect()->rect().center().y());
        // Sent to the plot itself: QTest::mouseMove warps the shared X pointer, which another
        // test's window may cover.
        QMouseEvent move(QEvent::MouseMove, at, m_plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(m_plot, &move);
        QVERIFY(readout->isVisible());
        QStringList expected{readout->lines().value(0)};
        QVERIFY2(expected.first().startsWith(QStringLiteral("帧 250，0.")),
                 qPrintable(expected.first()));
        for (int g = 0; g < 9; ++g) {
            if (g != 4)
                expected << m_plot->graph(g)->name() +
                                QStringLiteral("  %1").arg(axis(reading(250, g / 3), g % 3));
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

    void savedPictures_existAndAreNotBlank_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("png") << "curves.png";
        QTest::newRow("pdf") << "curves.pdf";
    }

    void savedPictures_existAndAreNotBlank()
    {
        QFETCH(QString, name);
        const QString path = m_dir.filePath(name);
        QString suggested = answerFileDialog(path, [&] { action("actionSavePicture")->trigger(); });
        QVERIFY(
            suggested.contains(QRegularExpression(QStringLiteral("eskin-curves-\\d{8}-\\d{6}"))));
        if (name.endsWith(QLatin1String(".pdf"))) { // nine curves of 100 points and more
            QVERIFY(pdfPage(path).count(" l\n") > 500);
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

    // Only sensor 2's Z curve (200 to 206) is left shown, as by its legend entry.
    void legendAndFit_applyAndAreRemembered()
    {
        QVERIFY(action("actionLegend")->isChecked() && !action("actionFitShown")->isChecked());
        for (int g = 0; g < 8; ++g)
            m_plot->graph(g)->setVisible(false);
        m_window->refreshPlot();
        QCOMPARE(m_plot->yAxis->range(), QCPRange(-300, 3002));
        action("actionFitShown")->trigger();
        action("actionLegend")->trigger();
        m_window->refreshPlot();
        QCOMPARE(m_plot->yAxis->range(), QCPRange(200, 206));
        QVERIFY(!m_plot->legend->visible());

        CurveGraphic again;
        QVERIFY(!again.findChild<QCustomPlot *>()->legend->visible());
        QVERIFY(again.findChild<QAction *>(QStringLiteral("actionFitShown"))->isChecked());
    }

private:
    QAction *action(const char *name) const
    {
        return m_window->findChild<QAction *>(QLatin1String(name));
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
};

QTEST_MAIN(tst_CurveTools)
#include "tst_curvetools.moc"
