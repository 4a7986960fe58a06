// SPDX-License-Identifier: GPL-3.0-or-later
// End to end: the simulated card streams 16 sensors at 200 Hz over a pseudo-terminal into the
// main window's driver-card object, and the curve window, opened with "图像", records and draws
// the stream in its plot and both views.

#include "cardmodel.h"
#include "curvegraphic.h"
#include "mainwindow.h"
#include "planegraph.h"
#include "simulatedcard.h"
#include "vectorgraph.h"
#include "viewprobe.h"

#include <qcustomplot.h>

#include <QLineEdit>
#include <QOpenGLWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

namespace {

constexpr int kFastestIndex = 4; // 200 Hz

CurveGraphic *curveWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *curves = qobject_cast<CurveGraphic *>(widget))
            return curves;
    }
    return nullptr;
}

} // namespace

class tst_LiveView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The main window reads its remembered language; never the operator's.
        QStandardPaths::setTestModeEnabled(true);
        keepOpenGlDriverLoaded();
    }

    void graphButton_showsCurveWindowDrawingTheStream()
    {
        SimulatedCard card;
        QVERIFY2(card.start(QString(),
                            [](CardModel &model) {
                                model.setSensorCount(kMaxSensors);
                                model.setFrequencyIndex(kFastestIndex);
                                // From the open on: every frame it sends, the window must show.
                                model.setStreaming(false);
                            }),
                 qPrintable(card.errorString()));

        MainWindow window;
        window.setExtraPorts({card.portName()});
        window.show();
        auto *sensorSum = window.findChild<QLineEdit *>(QStringLiteral("lineSensorSum"));
        sensorSum->setText(QStringLiteral("16"));
        emit sensorSum->editingFinished();
        auto *open = window.findChild<QPushButton *>(QStringLiteral("btnSerialOpen"));
        open->click();
        QTRY_COMPARE(open->text(), QStringLiteral("关闭"));

        CurveGraphic *curves = curveWindow();
        QVERIFY(curves && !curves->isVisible());
        QCOMPARE(curves->sensorSum(), uint(kMaxSensors));
        auto *plot = curves->findChild<QCustomPlot *>(QStringLiteral("graphic"));
        QSignalSpy replots(plot, &QCustomPlot::afterReplot);
        QSignalSpy planeFrames(curves->findChild<PlaneGraph *>(), &QOpenGLWidget::frameSwapped);
        QSignalSpy vectorFrames(curves->findChild<VectorGraph *>(), &QOpenGLWidget::frameSwapped);

        window.findChild<QPushButton *>(QStringLiteral("btnGraphic"))->click();
        QVERIFY(QTest::qWaitForWindowExposed(curves));
        QCOMPARE(curves->windowTitle(), QStringLiteral("Graph"));
        QVERIFY(curves->screen()->availableGeometry().contains(curves->frameGeometry()));

        const double before = curves->sampleCounter();
        quint64 sentBefore = 0;
        card.withModel([&](CardModel &model) {
            sentBefore = model.sensorFramesSent();
            model.setStreaming(true);
        });
        QTRY_VERIFY_WITH_TIMEOUT(curves->sampleCounter() > before + 200, 20000);
        // A busy machine slows the 30 ms refresh; the views repaint only when their picture
        // changes, which the travelling press does.
        QTRY_VERIFY2_WITH_TIMEOUT(replots.count() > 20,
                                  qPrintable(QString::number(replots.count())), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(planeFrames.count() > 20, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(vectorFrames.count() > 20, 10000);
        // The plot takes the new readings at its next refresh.
        for (int sensor = 0; sensor < kMaxSensors; ++sensor) {
            QVERIFY(curves->series(sensor).keys.size() > 200);
            QTRY_VERIFY_WITH_TIMEOUT(plot->graph(sensor * kAxisCount)->dataCount() > 200, 10000);
        }
        // The travelling press loads the array: the newest readings are not all at rest.
        QVERIFY(plot->yAxis->range().size() > 100);
        QTRY_VERIFY_WITH_TIMEOUT(plot->xAxis->range().upper > before + 200, 10000);
        // None lost on the way.
        quint64 sent = 0;
        card.withModel([&](CardModel &model) {
            model.setStreaming(false);
            sent = model.sensorFramesSent() - sentBefore;
        });
        QTRY_COMPARE_WITH_TIMEOUT(curves->sampleCounter() - before, double(sent), 10000);

        // A second press neither moves nor re-titles the window.
        curves->move(40, 40);
        const QPoint moved = curves->pos();
        window.findChild<QPushButton *>(QStringLiteral("btnGraphic"))->click();
        QCOMPARE(curves->pos(), moved);

        window.close();
        QVERIFY(!curveWindow());
    }
};

QTEST_MAIN(tst_LiveView)
#include "tst_liveview.moc"
