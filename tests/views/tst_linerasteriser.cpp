// SPDX-License-Identifier: GPL-3.0-or-later
// Line rasteriser: the pixels Qt's raster engine draws for the same line, up to the noise of
// computing edge coverage in floating point; and nothing for what it does not draw.

#include "linerasteriser.h"

#include "picturedifference.h"

#include <QPainter>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

const QRect kClip(20, 10, 200, 120);

QImage canvas()
{
    QImage image(240, 140, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(250, 250, 240));
    return image;
}

QImage drawnByQt(const QList<QPointF> &points, qreal width, const QColor &colour)
{
    QImage image = canvas();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(kClip);
    painter.setPen(QPen(QBrush(colour), width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.drawPolyline(points.constData(), int(points.size()));
    return image;
}

int changedPixels(const QImage &image)
{
    return PictureDifference(image, canvas()).beyondNoise;
}

} // namespace

class tst_LineRasteriser : public QObject
{
    Q_OBJECT

private slots:
    void line_matchesQtsDrawing_data()
    {
        QTest::addColumn<QList<QPointF>>("points");
        QTest::addColumn<qreal>("width");
        QTest::addColumn<QColor>("colour");
        QList<QPointF> zigzag, noisy, tiny;
        for (int k = 0; k < 40; ++k) {
            zigzag << QPointF(15 + 6.3 * k, k % 2 ? 12.2 : 127.7);
            noisy << QPointF(10 + 5.7 * k, 70 + (k * 7 % 5) * 0.61);
            tiny << QPointF(100 + 0.4 * k, 60 + 20 * std::sin(k * 0.3));
        }
        const QColor red(220, 30, 30);
        QTest::newRow("zigzag over the whole height") << zigzag << 3.0 << red;
        QTest::newRow("flat noisy line, out at both sides") << noisy << 3.0 << red;
        QTest::newRow("segments shorter than the pen") << tiny << 3.0 << red;
        QTest::newRow("on a pixel border, out at both sides")
            << QList<QPointF>{{5, 50}, {235, 50}} << 3.0 << red;
        QTest::newRow("upright, out at top and bottom")
            << QList<QPointF>{{100.3, -5}, {100.8, 150}} << 3.0 << red;
        QTest::newRow("out at the right only")
            << QList<QPointF>{{150, 60}, {300, 100}} << 3.0 << red;
        QTest::newRow("turns back on itself")
            << QList<QPointF>{{50, 50}, {150, 50.5}, {60, 53}} << 3.0 << red;
        QTest::newRow("wide translucent pen")
            << QList<QPointF>{{30, 30}, {90, 110}, {140, 40}, {200, 90}} << 9.0
            << QColor(30, 90, 200, 128);
    }

    void line_matchesQtsDrawing()
    {
        QFETCH(QList<QPointF>, points);
        QFETCH(qreal, width);
        QFETCH(QColor, colour);
        const QImage byQt = drawnByQt(points, width, colour);
        QImage ours = canvas();
        LineRasteriser rasteriser;
        QVERIFY(rasteriser.drawPolyline(ours, kClip, points.constData(), points.size(), width,
                                        qPremultiply(colour.rgba())));
        QVERIFY(changedPixels(byQt) > 50); // there is a line to compare
        const PictureDifference difference(ours, byQt);
        QVERIFY2(difference.largest <= 6, qPrintable(QString::number(difference.largest)));
        QVERIFY2(difference.beyondNoise * 5 <= changedPixels(byQt),
                 qPrintable(QString::number(difference.beyondNoise)));
        // The buffers are left clean: the same line again, elsewhere, gives the same pixels.
        QImage again = canvas();
        rasteriser.drawPolyline(again, kClip, points.constData(), points.size(), width,
                                qPremultiply(colour.rgba()));
        QCOMPARE(again, ours);
    }

    void unusableLine_isLeftToQt_data()
    {
        QTest::addColumn<QList<QPointF>>("points");
        const qreal nan = std::numeric_limits<qreal>::quiet_NaN();
        QTest::newRow("one point") << QList<QPointF>{{50, 50}};
        QTest::newRow("one point twice") << QList<QPointF>{{50, 50}, {50, 50}};
        QTest::newRow("undefined value") << QList<QPointF>{{50, 50}, {60, nan}, {70, 50}};
        QTest::newRow("beyond any plot") << QList<QPointF>{{50, 50}, {1e12, 50}};
    }

    void unusableLine_isLeftToQt()
    {
        QFETCH(QList<QPointF>, points);
        QImage image = canvas();
        LineRasteriser rasteriser;
        QVERIFY(!rasteriser.drawPolyline(image, kClip, points.constData(), points.size(), 3,
                                         qRgb(200, 0, 0)));
        QCOMPARE(image, canvas());
    }
};

QTEST_MAIN(tst_LineRasteriser)
#include "tst_linerasteriser.moc"
