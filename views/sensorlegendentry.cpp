// SPDX-License-Identifier: GPL-3.0-or-later
#include "sensorlegendentry.h"

namespace {

constexpr int kSwatchGap = 2;
constexpr int kTextGap = 5;
const QColor kHiddenColour(Qt::darkGray);

} // namespace

SensorLegendEntry::SensorLegendEntry(QCPLegend *parent, int sensor,
                                     const std::array<QCPGraph *, 3> &curves)
    : QCPAbstractLegendItem(parent)
    , m_sensor(sensor)
{
    for (std::size_t a = 0; a < curves.size(); ++a)
        m_curves[a] = curves[a];
}

QString SensorLegendEntry::name() const
{
    return QStringLiteral("Sensor") + QString::number(m_sensor);
}

// Boxes as high as the text's capitals, two thirds as wide, on the entry's middle line.
QRect SensorLegendEntry::swatch(int axis, const QFontMetrics &metrics) const
{
    const int height = metrics.ascent();
    const int width = height * 2 / 3;
    const int top = mRect.top() + (mRect.height() - height) / 2;
    return QRect(mRect.left() + axis * (width + kSwatchGap), top, width, height);
}

int SensorLegendEntry::axisAt(const QPointF &position) const
{
    const QFontMetrics metrics(mFont);
    for (int a = 0; a < int(m_curves.size()); ++a) {
        // The gap between two boxes counts for the one left of it.
        if (swatch(a, metrics).adjusted(0, 0, kSwatchGap, 0).contains(position.toPoint()))
            return a;
    }
    return -1;
}

void SensorLegendEntry::draw(QCPPainter *painter)
{
    painter->setFont(mFont);
    const QFontMetrics metrics(mFont);
    for (int a = 0; a < int(m_curves.size()); ++a) {
        const QCPGraph *curve = m_curves[std::size_t(a)];
        if (!curve)
            continue;
        const QRect box = swatch(a, metrics);
        if (curve->visible()) {
            painter->fillRect(box, curve->pen().color());
        } else {
            painter->setPen(QPen(kHiddenColour, 1));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(box.adjusted(0, 0, -1, -1));
        }
    }
    const int textLeft = swatch(2, metrics).right() + 1 + kTextGap;
    painter->setPen(mTextColor);
    painter->drawText(QRect(textLeft, mRect.top(), mRect.right() - textLeft + 1, mRect.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, name());
}

QSize SensorLegendEntry::minimumOuterSizeHint() const
{
    const QFontMetrics metrics(mFont);
    const int swatches = 3 * (metrics.ascent() * 2 / 3) + 2 * kSwatchGap;
    QSize size(swatches + kTextGap + metrics.horizontalAdvance(name()), metrics.height());
    size.rwidth() += mMargins.left() + mMargins.right();
    size.rheight() += mMargins.top() + mMargins.bottom();
    return size;
}
