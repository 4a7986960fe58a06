// SPDX-License-Identifier: GPL-3.0-or-later
// Plane graph, judged from its rendered framebuffer: the plate, the cell layout and the cell
// colour scale with its dead band and cap.

#include "planegraph.h"
#include "viewprobe.h"

#include <QOpenGLContext>
#include <QTest>

namespace {

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);

// Centre of the cell of reading i, in scene coordinates seen from the camera.
QVector3D cellCentre(int i)
{
    const float x = PlaneGraph::marginLeft - PlaneGraph::planeWidth / 2 +
                    float(i % 4) * (PlaneGraph::cellWidth + PlaneGraph::cellGap) +
                    PlaneGraph::cellWidth / 2;
    const float y = PlaneGraph::planeHeight / 2 - PlaneGraph::marginTop -
                    float(i / 4) * (PlaneGraph::cellHeight + PlaneGraph::cellGap) -
                    PlaneGraph::cellHeight / 2;
    return {x, y, 0.1f};
}

} // namespace

class tst_PlaneGraph : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { keepOpenGlDriverLoaded(); }

    void init()
    {
        m_view = std::make_unique<PlaneGraph>();
        m_view->resize(240, 320);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }
    void cleanup() { m_view.reset(); }

    void noReadings_drawsWhitePlateOnBlack()
    {
        const QImage image = m_view->grabFramebuffer();
        QCOMPARE(pixel(image, {0, 0, 0}), kWhite);
        QCOMPARE(pixel(image, cellCentre(0)), kWhite);
        QCOMPARE(image.pixelColor(2, 2), kBlack);
        // Just outside the plate's right edge.
        QCOMPARE(pixel(image, {PlaneGraph::planeWidth / 2 + 0.2f, 0, 0}), kBlack);
    }

    // Run again with Mesa told to offer an older compatibility context: the checks above and
    // below must then hold on that context, not on the newest one.
    void contextVersion_isTheOneAskedFor()
    {
        const QString asked = qEnvironmentVariable("MESA_GL_VERSION_OVERRIDE");
        if (asked.isEmpty())
            QSKIP("no OpenGL version override");
        m_view->grabFramebuffer();
        const QSurfaceFormat format = m_view->context()->format();
        QCOMPARE(QStringLiteral("%1.%2").arg(format.majorVersion()).arg(format.minorVersion()),
                 asked.left(3));
        QVERIFY(format.profile() != QSurfaceFormat::CoreProfile);
    }

    void cellColour_followsMagnitude_data()
    {
        QTest::addColumn<Axit_t>("reading");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("zero") << Axit_t{0, 0, 0} << QColor(230, 230, 230);
        QTest::newRow("499 inside dead band") << Axit_t{499, 0, 0} << QColor(230, 230, 230);
        QTest::newRow("500 darkens slightly") << Axit_t{0, 300, -400} << QColor(230, 217, 217);
        QTest::newRow("half the cap") << Axit_t{0, 0, 4330} << QColor(230, 115, 115);
        QTest::newRow("level truncates") << Axit_t{3000, 4000, 0} << QColor(230, 98, 98);
        QTest::newRow("at the cap") << Axit_t{-8660, 0, 0} << QColor(230, 0, 0);
        QTest::newRow("all components -32768")
            << Axit_t{-32768, -32768, -32768} << QColor(230, 0, 0);
    }

    void cellColour_followsMagnitude()
    {
        QFETCH(Axit_t, reading);
        QFETCH(QColor, expected);
        m_view->setReadings({reading});
        const QColor drawn = pixel(m_view->grabFramebuffer(), cellCentre(0));
        QVERIFY2(sameColour(drawn, expected), qPrintable(describe(drawn)));
    }

    void fiveReadings_fillFirstRowAndOneCellOfSecond()
    {
        m_view->setReadings(QList<Axit_t>(5, Axit_t{0, 0, 9000}));
        const QImage image = m_view->grabFramebuffer();
        for (int i = 0; i < 16; ++i) {
            const QColor expected = i < 5 ? QColor(230, 0, 0) : kWhite;
            const QColor drawn = pixel(image, cellCentre(i));
            QVERIFY2(sameColour(drawn, expected),
                     qPrintable(QString("cell %1: %2").arg(i).arg(describe(drawn))));
        }
    }

    void zeroHeightResize_usesOnePixelViewport() { checkZeroHeightResize<PlaneGraph>(); }

private:
    static QColor pixel(const QImage &image, const QVector3D &scenePoint)
    {
        QMatrix4x4 transform = viewProjection(image);
        transform.translate(0, 0, PlaneGraph::cameraZ);
        return image.pixelColor(scenePixel(image, transform, scenePoint));
    }

    std::unique_ptr<PlaneGraph> m_view;
};

QTEST_MAIN(tst_PlaneGraph)
#include "tst_planegraph.moc"
