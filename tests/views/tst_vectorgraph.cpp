// SPDX-License-Identifier: GPL-3.0-or-later
// Vector graph: the display vector of a reading and its drawn arrow, the board in the rendered
// framebuffer, the wheel's limits and the drag directions and rates.

#include "vectorgraph.h"
#include "viewprobe.h"

#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

namespace {

int arrowPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += sameColour(image.pixelColor(x, y), QColor(230, 230, 0)) ? 1 : 0;
    }
    return count;
}

} // namespace

class tst_VectorGraph : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { keepOpenGlDriverLoaded(); }

    void init()
    {
        m_view = std::make_unique<VectorGraph>();
        m_view->resize(480, 360);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }
    void cleanup() { m_view.reset(); }

    void readingArrow_data()
    {
        QTest::addColumn<Axit_t>("reading");
        QTest::addColumn<QVector3D>("expected");
        QTest::newRow("X beyond saturation") << Axit_t{4000, 0, 0} << QVector3D(-5, 0, 0);
        QTest::newRow("negative Z points up") << Axit_t{0, 0, -2000} << QVector3D(0, 2, 0);
        QTest::newRow("magnitude 500, no arrow") << Axit_t{0, 300, 400} << QVector3D(0, 0, 0);
        QTest::newRow("magnitude 501") << Axit_t{501, 0, 0} << QVector3D(-0.6513f, 0, 0);
        QTest::newRow("Y tilts into the board") << Axit_t{0, -1000, 0} << QVector3D(0, 0, 1.3f);
        QTest::newRow("all -32768") << Axit_t{-32768, -32768, -32768} << QVector3D(5, 5, 5);
    }

    void readingArrow()
    {
        QFETCH(Axit_t, reading);
        QFETCH(QVector3D, expected);
        m_view->setReadings({reading});
        const QImage image = m_view->grabFramebuffer();
        QCOMPARE(m_view->vectors().size(), 1);
        const QVector3D built = m_view->vectors().first();
        QVERIFY2((built - expected).length() < 1e-4f,
                 qPrintable(QString("%1 %2 %3").arg(built.x()).arg(built.y()).arg(built.z())));
        QCOMPARE(arrowPixels(image) > 20, !expected.isNull());
    }

    void fiveSensors_drawCheckerboardOfFiveBoxes()
    {
        m_view->setSensorSum(5);
        m_view->setReadings({Axit_t{0, 0, 3000}, Axit_t{0, 0, 3000}});
        const QImage image = m_view->grabFramebuffer();
        for (int j = 0; j < 9; ++j) {
            // Present boxes are checked on their top face, missing ones low on the front face.
            const QColor expected = j >= 5                     ? QColor(Qt::black)
                                    : (j / 4 + j % 4) % 2 == 0 ? QColor(255, 97, 0)
                                                               : QColor(106, 90, 205);
            const QColor drawn =
                j < 5 ? boxPixel(image, j, 1.0f, 0.85f) : boxPixel(image, j, 0.2f, 1);
            QVERIFY2(sameColour(drawn, expected),
                     qPrintable(QString("box %1: %2").arg(j).arg(describe(drawn))));
        }
        QCOMPARE(m_view->vectors().size(), 2);
    }

    void wheel_keepsZoomWithinLimits_data()
    {
        QTest::addColumn<int>("delta");
        QTest::addColumn<int>("events");
        QTest::addColumn<int>("expected");
        QTest::newRow("nearer stops at -1") << 120 << 30 << -1;
        QTest::newRow("farther stops at -100") << -120 << 200 << -100;
        QTest::newRow("one step per event") << 1200 << 1 << -14;
    }

    void wheel_keepsZoomWithinLimits()
    {
        QFETCH(int, delta);
        QFETCH(int, events);
        QFETCH(int, expected);
        const QPointF at(100, 100);
        for (int i = 0; i < events; ++i) {
            QWheelEvent wheel(at, m_view->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(m_view.get(), &wheel);
        }
        QCOMPARE(m_view->zoom(), expected);
    }

    // Positions are fractions of the view; turn (rotX, rotY) and shift (sceneOffset x, y) give
    // the expected direction of change only.
    void drag_turnsAndShiftsBoard_data()
    {
        QTest::addColumn<Qt::MouseButtons>("buttons");
        QTest::addColumn<QLineF>("path");
        QTest::addColumn<QPoint>("turn");
        QTest::addColumn<QPoint>("shift");
        const auto row = [](const char *name, Qt::MouseButtons buttons, QLineF path, QPoint turn,
                            QPoint shift) {
            QTest::newRow(name) << buttons << path << turn << shift;
        };
        row("left across to the right", Qt::LeftButton, {0.05, 0.5, 0.95, 0.5}, {0, 1}, {});
        row("left down the view", Qt::LeftButton, {0.5, 0.05, 0.5, 0.95}, {1, 0}, {});
        row("right to the right", Qt::RightButton, {0.5, 0.5, 0.95, 0.5}, {}, {1, 0});
        row("right down", Qt::RightButton, {0.5, 0.5, 0.5, 0.95}, {}, {0, -1});
        row("both buttons", Qt::LeftButton | Qt::RightButton, {0.5, 0.5, 0.9, 0.9}, {1, 1},
            {1, -1});
    }

    void drag_turnsAndShiftsBoard()
    {
        QFETCH(Qt::MouseButtons, buttons);
        QFETCH(QLineF, path);
        QFETCH(QPoint, turn);
        QFETCH(QPoint, shift);
        const float rotX = m_view->rotX();
        const float rotY = m_view->rotY();
        const QVector3D offset = m_view->sceneOffset();

        drag(buttons, path);

        // A drag over most of the view turns the board by tens of degrees and shifts it by
        // about one to three boxes.
        checkChange("rotX", m_view->rotX() - rotX, turn.x(), 10, 90);
        checkChange("rotY", m_view->rotY() - rotY, turn.y(), 10, 90);
        checkChange("offset x", m_view->sceneOffset().x() - offset.x(), shift.x(), 0.75, 5);
        checkChange("offset y", m_view->sceneOffset().y() - offset.y(), shift.y(), 0.75, 5);
        QCOMPARE(m_view->sceneOffset().z(), offset.z());
    }

    void zeroHeightResize_usesOnePixelViewport() { checkZeroHeightResize<VectorGraph>(); }

private:
    // Press, ten moves, release, as the window system delivers a drag.
    void drag(Qt::MouseButtons buttons, const QLineF &path)
    {
        const Qt::MouseButton first = buttons & Qt::LeftButton ? Qt::LeftButton : Qt::RightButton;
        for (int step = -1; step <= 11; ++step) {
            const QEvent::Type type = step < 0    ? QEvent::MouseButtonPress
                                      : step > 10 ? QEvent::MouseButtonRelease
                                                  : QEvent::MouseMove;
            const QPointF fraction = path.pointAt(std::clamp(step, 0, 10) / 10.0);
            const QPointF at(fraction.x() * m_view->width(), fraction.y() * m_view->height());
            QMouseEvent event(
                type, at, m_view->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : first,
                type == QEvent::MouseButtonRelease ? Qt::NoButton : buttons, Qt::NoModifier);
            QCoreApplication::sendEvent(m_view.get(), &event);
        }
    }

    static void checkChange(const char *what, double change, int sign, double least, double most)
    {
        const QString message = QString("%1 changed by %2").arg(what).arg(change);
        if (sign == 0)
            QVERIFY2(std::abs(change) < 1e-6, qPrintable(message));
        else
            QVERIFY2(change * sign >= least && change * sign <= most, qPrintable(message));
    }

    // Colour at a point of box j, at a fraction of its height and of its depth from the back.
    QColor boxPixel(const QImage &image, int j, float height, float depth) const
    {
        QMatrix4x4 transform = viewProjection(image);
        transform.translate(0, 0, float(m_view->zoom()));
        transform.rotate(m_view->rotX(), 1, 0, 0);
        transform.rotate(m_view->rotY(), 0, 1, 0);
        transform.translate(m_view->sceneOffset());
        const auto size = VectorGraph::cellSize;
        const QVector3D point((j % 4 + 0.5f) * size.width, height * size.height,
                              (j / 4 + depth) * size.depth);
        return image.pixelColor(scenePixel(image, transform, point));
    }

    std::unique_ptr<VectorGraph> m_view;
};

QTEST_MAIN(tst_VectorGraph)
#include "tst_vectorgraph.moc"
