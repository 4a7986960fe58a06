// SPDX-License-Identifier: GPL-3.0-or-later
#include "directlinegraph.h"

#include "linerasteriser.h"

#include <QPaintEngine>

#include <algorithm>

namespace {

// One set of buffers for every graph: they draw one after another.
LineRasteriser &rasteriser()
{
    thread_local LineRasteriser shared;
    return shared;
}

bool isPlainWidePen(const QPen &pen)
{
    return pen.style() == Qt::SolidLine && pen.capStyle() == Qt::SquareCap &&
           pen.joinStyle() == Qt::BevelJoin && !pen.isCosmetic() &&
           pen.brush().style() == Qt::SolidPattern;
}

// The image the painter draws on, when it draws straight into one.
QImage *rasterImage(QCPPainter *painter)
{
    QPaintEngine *engine = painter->paintEngine();
    if (engine == nullptr || engine->type() != QPaintEngine::Raster)
        return nullptr;
    // The raster engine reports the image it paints, also when it paints a pixmap.
    QPaintDevice *device = engine->paintDevice();
    if (device == nullptr || device->devType() != QInternal::Image)
        return nullptr;
    auto *image = static_cast<QImage *>(device);
    const QImage::Format format = image->format();
    return format == QImage::Format_ARGB32_Premultiplied || format == QImage::Format_RGB32
               ? image
               : nullptr;
}

// The pixels a clip rectangle leaves, as the raster engine maps it: corners rounded to pixels.
QRect deviceClip(const QRect &logical, const QTransform &transform)
{
    const QPoint topLeft = transform.map(QPointF(logical.topLeft())).toPoint();
    const QPoint bottomRight = transform.map(QRectF(logical).bottomRight()).toPoint();
    return QRect::span(topLeft, bottomRight).adjusted(0, 0, -1, -1);
}

} // namespace

DirectLineGraph::DirectLineGraph(QCPAxis *keyAxis, QCPAxis *valueAxis)
    : QCPGraph(keyAxis, valueAxis)
{}

// A point without a value (a gap in the data) breaks the line: each stretch between two is drawn
// on its own, as the plot library does.
void DirectLineGraph::drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const
{
    if (painter->pen().style() == Qt::NoPen || painter->pen().color().alpha() == 0)
        return;
    applyDefaultAntialiasingHint(painter);
    const auto broken = [](const QPointF &p) {
        return qIsNaN(p.x()) || qIsNaN(p.y());
    };
    for (auto begin = lines.cbegin(); begin != lines.cend();) {
        const auto end = std::find_if(begin, lines.cend(), broken);
        const qsizetype count = end - begin;
        if (count > 0 && !drawDirectly(painter, &*begin, count))
            QCPGraph::drawLinePlot(painter,
                                   count == lines.size() ? lines : QVector<QPointF>(begin, end));
        begin = end == lines.cend() ? end : end + 1;
    }
}

bool DirectLineGraph::drawDirectly(QCPPainter *painter, const QPointF *points, qsizetype count)
{
    const QPen pen = painter->pen();
    if (painter->modes() & (QCPPainter::pmVectorized | QCPPainter::pmNoCaching) ||
        !painter->testRenderHint(QPainter::Antialiasing) || !isPlainWidePen(pen) ||
        painter->compositionMode() != QPainter::CompositionMode_SourceOver ||
        painter->opacity() != 1.0)
        return false;
    QImage *image = rasterImage(painter);
    const QTransform transform = painter->deviceTransform();
    if (image == nullptr || transform.type() > QTransform::TxScale ||
        transform.m11() != transform.m22())
        return false;
    const qreal width = pen.widthF() * transform.m11();
    if (width <= 1) // Qt draws thin lines another way
        return false;

    QRect clip = image->rect();
    if (painter->hasClipping()) {
        const QRegion region = painter->clipRegion();
        if (region.isEmpty()) // nothing of the line shows
            return true;
        if (region.rectCount() > 1)
            return false;
        clip &= deviceClip(region.boundingRect(), transform);
    }
    QVector<QPointF> mapped(points, points + count);
    if (!transform.isIdentity()) {
        for (QPointF &p : mapped)
            p = transform.map(p);
    }
    const QRgb colour = qPremultiply(pen.color().rgba64()).toArgb32();
    return rasteriser().drawPolyline(*image, clip, mapped.constData(), mapped.size(), width,
                                     colour);
}
