// SPDX-License-Identifier: GPL-3.0-or-later
// Review mode, through the windows' object names: the timeline's moves show exactly the file's
// rows (curves, views, sensor count, markers, time), refused files, a file changed while open,
// and the port and a running recording around a review.

#include "cardmodel.h"
#include "curvegraphic.h"
#include "keeploadedlibraries.h"
#include "mainwindow.h"
#include "messageboxrecorder.h"
#include "nomachineports.h"
#include "planegraph.h"
#include "recordformat.h"
#include "recordingcontrol.h"
#include "recordreader.h"
#include "shortcutpress.h"
#include "simulatedcard.h"
#include "testfile.h"
#include "vectorgraph.h"

#include <qcustomplot.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr qint64 kFrames = 3000;
constexpr qint64 kShown = 1000;

constexpr qint64 kRateChange = 1500;

// Frame i's time: 200 Hz up to frame 1499, then 100 Hz.
qint64 timeUs(qint64 i)
{
    return i < kRateChange ? i * 5000 : kRateChange * 5000 + (i - kRateChange) * 10000;
}

// 4 sensors up to frame 1499, then 3; markers after frames 100, 1200 and 2500.
QByteArray recording()
{
    QByteArray out = RecordFormat::headerLine() + '\n';
    for (qint64 i = 0; i < kFrames; ++i) {
        QList<Axit_t> readings;
        for (int s = 0; s < (i < 1500 ? 4 : 3); ++s)
            readings.append(
                {qint16(i % 1000 + s), qint16(-(i % 700) - s), qint16(s * 100 + i % 13)});
        if (i == kRateChange)
            out += RecordFormat::frequencyLine(timeUs(i), 100);
        RecordFormat::appendFrameLine(out, timeUs(i), readings, uint(readings.size()));
        if (i == 100 || i == 1200 || i == 2500)
            out += RecordFormat::markerLine(timeUs(i), int(i), i == 1200 ? "load on" : "标记 1");
    }
    return out;
}

QList<int> flat(const QList<Axit_t> &readings)
{
    QList<int> out;
    for (const Axit_t &r : readings)
        out << r.x << r.y << r.z;
    return out;
}

} // namespace

class tst_Review : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("run.csv"));
        QVERIFY(writeTestFile(m_path, recording()));
        QVERIFY(m_file.read(m_path));
    }

    void init()
    {
        m_boxes = std::make_unique<MessageBoxRecorder>();
        m_window = std::make_unique<MainWindow>();
        m_window->show();
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (auto *curves = qobject_cast<CurveGraphic *>(window))
                m_curves = curves;
        }
    }
    // The curve window's views have loaded the OpenGL driver by now.
    void cleanupTestCase() { keepLoadedLibrariesUntilExit(); }
    void cleanup()
    {
        m_window.reset();
        m_card.reset();
        m_boxes.reset();
    }

    void timeline_showsTheFileRows_data()
    {
        QTest::addColumn<QString>("moves");
        QTest::addColumn<qint64>("cursor");
        QTest::newRow("first frame") << "" << qint64(0);
        QTest::newRow("last frame") << "End" << kFrames - 1;
        QTest::newRow("middle, by the slider") << "slider:1700" << qint64(1700);
        // A second is 100 frames from frame 1500 on, 200 before.
        QTest::newRow("frames and a second on")
            << "slider:1700 Right Right Shift+Right Left" << qint64(1801);
        QTest::newRow("a second back") << "slider:1700 Shift+Left" << qint64(1600);
        // A second at 200 Hz is more frames than the curves show: as many as they do.
        QTest::newRow("a second back, across the rate change")
            << "slider:1550 Shift+Left" << qint64(1450);
        QTest::newRow("marked at the cursor, not in the file")
            << "slider:1700 M Right Right" << qint64(1702);
        QTest::newRow("to start") << "slider:2000 Home" << qint64(0);
        QTest::newRow("next markers") << "PgDown PgDown" << qint64(1200);
        QTest::newRow("past the last marker") << "End PgDown PgUp PgUp" << qint64(1200);
        QTest::newRow("played at 10x") << "speed:10 Space" << qint64(-1);
    }

    void timeline_showsTheFileRows()
    {
        QFETCH(QString, moves);
        QFETCH(qint64, cursor);
        QVERIFY(m_window->openRecording(m_path));
        QVERIFY(QTest::qWaitForWindowExposed(m_curves));
        QSignalSpy liveMarkers(m_curves, &CurveGraphic::markerAdded);
        auto *slider = m_curves->findChild<QSlider *>(QStringLiteral("reviewSlider"));
        for (const QString &move : moves.split(u' ', Qt::SkipEmptyParts)) {
            const QString value = move.section(u':', 1);
            if (move.startsWith(QLatin1String("slider:")))
                slider->setValue(value.toInt());
            else if (move.startsWith(QLatin1String("speed:")))
                m_curves->findChild<QComboBox *>(QStringLiteral("reviewSpeed"))
                    ->setCurrentText(value + QStringLiteral("×"));
            else
                QVERIFY2(pressShortcut(m_curves, QKeySequence(move)), qPrintable(move));
        }
        if (cursor < 0) { // playing: a few hundred frames on, then paused by Space again
            QTRY_VERIFY(slider->value() > 300);
            QVERIFY(pressShortcut(m_curves, Qt::Key_Space));
            QVERIFY(!m_curves->findChild<QAction *>(QStringLiteral("actionPlay"))->isChecked());
            cursor = slider->value();
        }
        checkShown(cursor,
                   moves.contains(QLatin1String(" M ")) ? QList<double>{1700} : QList<double>{});
        QVERIFY(liveMarkers.isEmpty());
    }

    // The timeline takes a row that the views give up; the marker reached stands inside the
    // plot, its label whole.
    void review_keepsThePlotsHeight_andShowsTheMarkerReached()
    {
        QTest::mouseClick(button("btnGraphic"), Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowExposed(m_curves));
        auto *plot = m_curves->findChild<QCustomPlot *>(QStringLiteral("graphic"));
        const int liveHeight = plot->height();
        QVERIFY(m_window->openRecording(m_path));
        QVERIFY(pressShortcut(m_curves, Qt::Key_PageDown));
        QVERIFY(pressShortcut(m_curves, Qt::Key_PageDown));
        QTRY_VERIFY(m_curves->findChild<QWidget *>(QStringLiteral("reviewTimeline"))->isVisible());
        QTRY_COMPARE(plot->height(), liveHeight);
        plot->replot();
        const QRect inside = plot->axisRect()->rect();
        QCPItemText *reached = nullptr; // frame 1200's marker, the one shown
        for (int i = 0; i < plot->itemCount(); ++i) {
            if (auto *label = qobject_cast<QCPItemText *>(plot->item(i)))
                reached = label;
        }
        QVERIFY(reached);
        QCOMPARE(reached->text(), QStringLiteral("1200 load on"));
        QVERIFY(plot->xAxis->coordToPixel(1200) < inside.right() - 5);
        QVERIFY(reached->topLeft->pixelPosition().x() >= inside.left() &&
                reached->bottomRight->pixelPosition().x() <= inside.right());
    }

    void refusedFile_isToldAsReplayTellsIt_andNothingChanges_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("no header") << QByteArray("0.000000,1,1,2,3\n");
        QTest::newRow("bad cell") << RecordFormat::headerLine() + "\n0.000000,1,1,x,3\n";
        QTest::newRow("time backwards")
            << RecordFormat::headerLine() + "\n0.010000,1,1,2,3\n0.005000,1,1,2,3\n";
        QTest::newRow("no rows") << RecordFormat::headerLine() + '\n';
    }

    void refusedFile_isToldAsReplayTellsIt_andNothingChanges()
    {
        QFETCH(QByteArray, content);
        const QString path = m_dir.filePath(QStringLiteral("bad.csv"));
        QVERIFY(writeTestFile(path, content));
        RecordReader replay;
        QVERIFY(!replay.read(path));
        QVERIFY(!m_window->openRecording(path));
        QCOMPARE(m_boxes->boxes.size(), 1);
        QCOMPARE(m_boxes->boxes.first().title, QStringLiteral("错误信息"));
        QCOMPARE(m_boxes->boxes.first().informativeText, replay.errorString());
        QVERIFY(!m_curves->isReviewing());
        QVERIFY(button("btnSerialOpen")->isEnabled());
    }

    void lastLineCutShort_isReviewedWithAWarningInTheWindow()
    {
        const QString path = m_dir.filePath(QStringLiteral("cut.csv"));
        QVERIFY(writeTestFile(path, recording().chopped(3)));
        QVERIFY(m_window->openRecording(path));
        QTRY_COMPARE(m_boxes->boxes.size(), 1);
        QCOMPARE(m_boxes->boxes.first().icon, QMessageBox::Warning);
        QVERIFY2(m_boxes->boxes.first().informativeText.startsWith(path + u':') &&
                     m_boxes->boxes.first().informativeText.contains(QLatin1String("no line end")),
                 qPrintable(m_boxes->boxes.first().informativeText));
    }

    void fileChangedWhileOpen_closesTheReviewWithOneMessage_data()
    {
        QTest::addColumn<bool>("shrink");
        QTest::newRow("shrunk") << true;
        QTest::newRow("a row changed") << false;
    }

    void fileChangedWhileOpen_closesTheReviewWithOneMessage()
    {
        QFETCH(bool, shrink);
        const QString path = m_dir.filePath(QStringLiteral("changing.csv"));
        QByteArray content = recording();
        QVERIFY(writeTestFile(path, content));
        QVERIFY(m_window->openRecording(path));
        QVERIFY(!button("btnSerialOpen")->isEnabled());
        const qsizetype row = content.indexOf("\n12.500000,") + 11; // frame 2000's sensor count
        content[row] = '7';
        QVERIFY(writeTestFile(path, shrink ? content.left(content.size() / 2) : content));
        auto *slider = m_curves->findChild<QSlider *>(QStringLiteral("reviewSlider"));
        slider->setValue(2000);
        slider->setValue(2500);
        QTRY_VERIFY(!m_curves->isReviewing());
        QTRY_COMPARE(m_boxes->boxes.size(), 1);
        QVERIFY(m_boxes->boxes.first().informativeText.startsWith(path + u':'));
        QVERIFY(button("btnSerialOpen")->isEnabled());
        QVERIFY(!action("actionCloseRecording")->isEnabled());
    }

    // The port is closed for the review (after asking, while a recording runs); its frames do not
    // mix into the review, and the live curves come back as they were.
    void openPortAndRecording_giveWayToTheReview_andLiveComesBack()
    {
        m_card = std::make_unique<SimulatedCard>();
        QVERIFY(m_card->start({}, [](CardModel &card) { card.setFrequencyIndex(4); }));
        m_window->setExtraPorts({m_card->portName()});
        m_window->openSelectedPort();
        QTRY_COMPARE(button("btnSerialOpen")->text(), QStringLiteral("关闭"));
        QVERIFY(m_window->recording()->start(m_dir.filePath(QStringLiteral("live.csv"))));
        QTRY_VERIFY(m_curves->sampleCounter() > 50);
        m_boxes->setAnswer(QMessageBox::No);
        QVERIFY(!m_window->openRecording(m_path));
        QVERIFY(m_window->recording()->isRecording() && !m_curves->isReviewing());

        m_boxes->setAnswer(QMessageBox::Yes);
        QVERIFY(m_window->openRecording(m_path));
        QCOMPARE(m_boxes->boxes.size(), 2);
        QTRY_VERIFY(!m_window->recording()->isRecording());
        QTRY_COMPARE(button("btnSerialOpen")->text(), QStringLiteral("打开"));
        QVERIFY(!button("btnSerialOpen")->isEnabled());
        QVERIFY(!m_window->findChild<QComboBox *>(QStringLiteral("SerialPortSelect"))->isEnabled());
        checkShown(0);

        action("actionCloseRecording")->trigger();
        QVERIFY(!m_curves->isReviewing() && button("btnSerialOpen")->isEnabled());
        const double live = m_curves->sampleCounter();
        QVERIFY(live > 50 && m_curves->series(0).keys.last() == live);
        m_window->openSelectedPort();
        QTRY_VERIFY(m_curves->sampleCounter() > live + 20);
        QVERIFY(pressShortcut(m_curves, Qt::Key_Space)); // pauses the live display again
        QVERIFY(m_curves->isPaused());
    }

private:
    QPushButton *button(const char *name) const
    {
        return m_window->findChild<QPushButton *>(QLatin1String(name));
    }
    QAction *action(const char *name) const
    {
        return m_window->findChild<QAction *>(QLatin1String(name));
    }

    // The curves hold the file's rows up to the cursor (1000 at most), the views its frame;
    // the markers are the file's and those put on the review's frames.
    void checkShown(qint64 cursor, const QList<double> &reviewMarkers = {})
    {
        QCOMPARE(m_curves->findChild<QSlider *>(QStringLiteral("reviewSlider"))->value(), cursor);
        const std::vector<RecordedFrame> &rows = m_file.frames();
        const RecordedFrame &now = rows[std::size_t(cursor)];
        QCOMPARE(m_curves->sensorSum(), uint(now.sensors));
        const QList<Axit_t> readings(now.readings.begin(), now.readings.begin() + now.sensors);
        QCOMPARE(flat(m_curves->findChild<PlaneGraph *>()->readings()), flat(readings));
        QCOMPARE(flat(m_curves->findChild<VectorGraph *>()->readings()), flat(readings));
        const auto *plot = m_curves->findChild<QCustomPlot *>(QStringLiteral("graphic"));
        const qint64 first = std::max(qint64(0), cursor + 1 - kShown);
        for (int g = 0; g < 3 * now.sensors; ++g) {
            QList<QPointF> expected, shown;
            for (qint64 i = first; i <= cursor; ++i) {
                const RecordedFrame &row = rows[std::size_t(i)];
                const Axit_t &r = row.readings[std::size_t(g / 3)];
                if (g / 3 < row.sensors)
                    expected.append(QPointF(double(i), QList<int>{r.x, r.y, r.z}.at(g % 3)));
            }
            for (const QCPGraphData &point : *plot->graph(g)->data())
                shown.append(QPointF(point.key, point.value));
            QCOMPARE(shown, expected);
        }
        for (qint64 i : {first, (first + cursor) / 2}) // the readout's times
            QCOMPARE(m_curves->frameMicros(double(i)), rows[std::size_t(i)].timeUs);
        QList<double> markers, fileMarkers;
        for (const PlotMarker &marker : m_curves->markers())
            markers.append(marker.key);
        for (const RecordMarker &marker : m_file.markers())
            if (marker.frameIndex >= first && marker.frameIndex <= cursor)
                fileMarkers.append(double(marker.frameIndex));
        fileMarkers += reviewMarkers;
        std::sort(fileMarkers.begin(), fileMarkers.end());
        QCOMPARE(markers, fileMarkers);
        QCOMPARE(m_curves->findChild<QLabel *>(QStringLiteral("reviewTime"))->text(),
                 QStringLiteral("%1 s / 22.490 s，%2 Hz")
                     .arg(double(now.timeUs) / 1e6, 0, 'f', 3)
                     .arg(cursor < kRateChange ? 200 : 100));
    }

    QTemporaryDir m_dir;
    QString m_path;
    RecordReader m_file;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<SimulatedCard> m_card;
    std::unique_ptr<MainWindow> m_window;
    CurveGraphic *m_curves = nullptr;
};

QTEST_MAIN(tst_Review)
#include "tst_review.moc"
