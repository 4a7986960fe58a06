// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis in the curve window, through the menu's "分析": the line under the plot, the
// "合力" curves and the plane graph's centre of pressure for hand-computed frames; and with the
// option off, the window exactly as without it.

#include "analysiscontrol.h"
#include "contactoverlay.h"
#include "curveanalysis.h"
#include "curvegraphic.h"
#include "planegraph.h"
#include "recordindex.h"
#include "recordingreview.h"
#include "viewprobe.h"

#include <qcustomplot.h>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kHz = 100;
const QColor kDot(0, 0, 255);

using Sensors = QMap<int, Axit_t>;

// Sixteen readings, unloaded but for `loaded`.
QList<Axit_t> frameOf(const Sensors &loaded)
{
    QList<Axit_t> frame(kMaxSensors, Axit_t{0, 0, 0});
    for (auto it = loaded.begin(); it != loaded.end(); ++it)
        frame[it.key()] = it.value();
    return frame;
}

} // namespace

class tst_CurveAnalysis : public QObject
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
        m_window->setSensorSum(kMaxSensors);
        m_menu = std::make_unique<QMenu>();
        m_control = std::make_unique<AnalysisControl>(m_menu.get(), m_window.get());
        m_plot = m_window->findChild<QCustomPlot *>(QStringLiteral("graphic"));
        m_list = m_window->findChild<QListWidget *>(QStringLiteral("sensorList"));
        m_plane = m_window->findChild<PlaneGraph *>(QStringLiteral("planeGraph"));
        m_window->resize(1000, 800);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup()
    {
        m_control.reset();
        m_menu.reset();
        m_window.reset();
    }

    void analysisOn_showsLineTotalCurvesAndCentreOfTheFrame_data()
    {
        QTest::addColumn<Sensors>("loaded");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QList<double>>("total"); // x, y, z, magnitude
        QTest::addColumn<QPointF>("centre");      // column, row; (-1, -1) for none
        QTest::addColumn<bool>("review");

        QTest::newRow("two opposite corners")
            << Sensors{{0, {0, 0, 1000}}, {15, {0, 0, 3000}}} << 500
            << "接触：2    合力：X 0，Y 0，Z 4000，大小 4000.0    压力中心：列 2.25，行 2.25    "
               "峰值：Sensor15，3000.0"
            << QList<double>{0, 0, 4000, 4000} << QPointF(2.25, 2.25) << false;
        // m = sqrt(300² + 400² + 1200²) = 1300; sensor 6 stays under the floor.
        QTest::newRow("one sensor pushed sideways")
            << Sensors{{5, {300, -400, 1200}}, {6, {0, 0, 499}}} << 500
            << "接触：1    合力：X 300，Y -400，Z 1200，大小 1300.0    "
               "压力中心：列 1.00，行 1.00    峰值：Sensor5，1300.0"
            << QList<double>{300, -400, 1200, 1300} << QPointF(1, 1) << false;
        QTest::newRow("nothing in contact")
            << Sensors{{3, {0, 0, 499}}} << 500
            << "接触：0    合力：X 0，Y 0，Z 0，大小 0.0    压力中心：无    峰值：Sensor3，499.0"
            << QList<double>{0, 0, 0, 0} << QPointF(-1, -1) << false;
        QTest::newRow("threshold at the edge")
            << Sensors{{2, {0, 0, 800}}, {9, {0, 0, 799}}} << 800
            << "接触：1    合力：X 0，Y 0，Z 800，大小 800.0    压力中心：列 2.00，行 0.00    "
               "峰值：Sensor2，800.0"
            << QList<double>{0, 0, 800, 800} << QPointF(2, 0) << false;
        // The same frames saved and reviewed, the cursor on the last: its path starts there.
        QTest::newRow("in review, at the cursor")
            << Sensors{{0, {0, 0, 1000}}, {15, {0, 0, 3000}}} << 500
            << "接触：2    合力：X 0，Y 0，Z 4000，大小 4000.0    压力中心：列 2.25，行 2.25    "
               "峰值：Sensor15，3000.0"
            << QList<double>{0, 0, 4000, 4000} << QPointF(2.25, 2.25) << true;
    }

    // The frame comes at 100 Hz for 1.5 s: the path keeps the frames of the last second.
    void analysisOn_showsLineTotalCurvesAndCentreOfTheFrame()
    {
        QFETCH(Sensors, loaded);
        QFETCH(int, threshold);
        QFETCH(QString, line);
        QFETCH(QList<double>, total);
        QFETCH(QPointF, centre);
        QFETCH(bool, review);
        const int sensorGraphs = m_plot->graphCount();

        action("actionAnalysis")->trigger();
        QVERIFY(m_control->setThreshold(threshold));
        QListWidgetItem *row = m_list->item(m_list->count() - 1);
        QCOMPARE(row->text(), QStringLiteral("合力"));
        row->setCheckState(Qt::Checked);
        emit m_list->itemClicked(row);
        feed(frameOf(loaded), kHz * 3 / 2);
        if (review)
            reviewShown();
        m_window->refreshPlot();

        QCOMPARE(m_window->findChild<QLabel *>(QStringLiteral("analysisLine"))->text(), line);
        QCOMPARE(m_plot->graphCount(), sensorGraphs + CurveAnalysis::kTotalCurves);
        for (int c = 0; c < CurveAnalysis::kTotalCurves; ++c) {
            const QCPGraph *graph = m_plot->graph(sensorGraphs + c);
            QVERIFY(graph->visible());
            QCOMPARE(graph->dataCount(), kHz * 3 / 2);
            QCOMPARE((graph->data()->constEnd() - 1)->value, total.at(c));
        }
        const bool hasCentre = centre.x() >= 0;
        const ContactOverlay &overlay = m_window->analysis().overlay();
        QCOMPARE(overlay.pathLength(), !hasCentre ? 0 : review ? 1 : kHz + 1);
        const QPointF dot =
            ContactOverlay::platePoint(hasCentre ? centre.x() : 0, hasCentre ? centre.y() : 0);
        QCOMPARE(sameColour(platePixel(dot), kDot), hasCentre);
    }

    // The menu's option and threshold outlive the window; a threshold out of range is refused, also
    // one found in the settings.
    void optionAndThreshold_remembered_badThresholdsRefused()
    {
        QVERIFY(!action("actionAnalysis")->isChecked());
        QVERIFY(!m_window->analysis().isEnabled());
        for (int bad : {0, -5, 56756})
            QVERIFY(!m_control->setThreshold(bad));
        QCOMPARE(m_control->threshold(), 500);
        QVERIFY(m_control->setThreshold(1200));
        action("actionAnalysis")->trigger();

        AnalysisControl again(m_menu.get(), m_window.get());
        QCOMPARE(again.threshold(), 1200);
        QVERIFY(again.analysisAction()->isChecked());
        QCOMPARE(m_window->analysis().threshold(), 1200);

        QSettings().setValue(QStringLiteral("analysis/threshold"), QStringLiteral("lots"));
        QCOMPARE(AnalysisControl(m_menu.get(), m_window.get()).threshold(), 500);
    }

    // Off, before it was ever on and after it was on, the plane graph's pixels, the sensor list
    // and the plot are the same; on, they are not (the overlay, the row and the curves show).
    void analysisOff_leavesPlaneGraphListAndPlotAsWithoutIt()
    {
        feed(frameOf({{0, {0, 0, 1000}}, {15, {0, 0, 3000}}}), 3);
        const auto picture = [this] {
            m_window->refreshPlot();
            return m_plane->grabFramebuffer();
        };
        const QImage without = picture();
        const int rows = m_list->count();
        const int graphs = m_plot->graphCount();

        action("actionAnalysis")->trigger();
        QVERIFY(picture() != without);
        QCOMPARE(m_list->count(), rows + 1);
        action("actionAnalysis")->trigger();

        QCOMPARE(picture(), without);
        QCOMPARE(m_list->count(), rows);
        QCOMPARE(m_plot->graphCount(), graphs);
        QVERIFY(!m_window->findChild<QLabel *>(QStringLiteral("analysisLine"))->isVisible());
    }

private:
    void feed(const QList<Axit_t> &frame, int frames)
    {
        for (int k = 0; k < frames; ++k) {
            m_stamp = {m_stamp.sequence + 1, m_stamp.timeUs + 1000000 / kHz, kHz};
            m_window->setStampedData(m_stamp, frame, kMaxSensors);
        }
    }

    void reviewShown()
    {
        const QString path = m_dir.filePath(QStringLiteral("shown.csv"));
        QString error;
        m_window->refreshPlot();
        QVERIFY2(m_window->saveShown(path, error), qPrintable(error));
        auto recording = std::make_unique<RecordIndex>();
        QVERIFY(recording->open(path));
        QVERIFY2(m_window->beginReview(std::move(recording), error), qPrintable(error));
        m_window->review()->toEnd();
        // A live frame that still comes is not the one shown.
        feed(frameOf({{4, {0, 0, 9000}}}), 1);
    }

    QAction *action(const char *name) const
    {
        return m_menu->findChild<QAction *>(QLatin1String(name));
    }

    QColor platePixel(const QPointF &point) const
    {
        const QImage image = m_plane->grabFramebuffer();
        QMatrix4x4 transform = viewProjection(image);
        transform.translate(0, 0, PlaneGraph::cameraZ);
        return image.pixelColor(
            scenePixel(image, transform, QVector3D(float(point.x()), float(point.y()), 0.15f)));
    }

    QTemporaryDir m_dir;
    std::unique_ptr<CurveGraphic> m_window;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<AnalysisControl> m_control;
    QCustomPlot *m_plot = nullptr;
    QListWidget *m_list = nullptr;
    PlaneGraph *m_plane = nullptr;
    FrameStamp m_stamp;
};

QTEST_MAIN(tst_CurveAnalysis)
#include "tst_curveanalysis.moc"
