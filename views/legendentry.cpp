// SPDX-License-Identifier: GPL-3.0-or-later
#include "legendentry.h"

#include "directlinegraph.h"

LegendEntry::LegendEntry(QCPLegend *parent, DirectLineGraph *graph)
    : QCPPlottableLegendItem(parent, graph)
    , m_graph(graph)
{}

QRect LegendEntry::textRect(TextBox &cache, const QFontMetrics &metrics, const QFont &font,
                            int dpi) const
{
    const int iconHeight = mParentLegend->iconSize().height();
    const QString &text = mPlottable->name();
    if (cache.iconHeight != iconHeight || cache.dpi != dpi || cache.text != text ||
        cache.font != font) {
        cache.rect = metrics.boundingRect(0, 0, 0, iconHeight, Qt::TextDontClip, text);
        cache.iconHeight = iconHeight;
        cache.text = text;
        cache.font = font;
        cache.dpi = dpi;
        cache.laidOut = QStaticText(text);
        cache.laidOut.setTextFormat(Qt::PlainText);
    }
    return cache.rect;
}

// As the plot library draws an entry: the text right of the icon, then the icon and its border.
void LegendEntry::draw(QCPPainter *painter)
{
    if (!mPlottable)
        return;
    const QFont font = getFont();
    painter->setFont(font);
    painter->setPen(QPen(getTextColor()));
    const QSize iconSize = mParentLegend->iconSize();
    const QRect text =
        textRect(m_drawnText, painter->fontMetrics(), font, painter->device()->logicalDpiY());
    // Text lower than the icon is centred on it; taller text starts at its top.
    const int textHeight = qMax(text.height(), iconSize.height());
    const QRect textBox(mRect.x() + iconSize.width() + mParentLegend->iconTextPadding(), mRect.y(),
                        text.width(), textHeight);
    painter->drawStaticText(textBox.topLeft(), m_drawnText.laidOut);
    const QRect iconRect(mRect.topLeft(), iconSize);
    painter->save();
    painter->setClipRect(iconRect, Qt::IntersectClip);
    m_graph->drawIcon(painter, iconRect);
    painter->restore();
    if (getIconBorderPen().style() != Qt::NoPen) {
        painter->setPen(getIconBorderPen());
        painter->setBrush(Qt::NoBrush);
        // Thicker pens (a selected entry's) reach beyond the entry.
        const int halfPen = qCeil(painter->pen().widthF() * 0.5) + 1;
        painter->setClipRect(mOuterRect.adjusted(-halfPen, -halfPen, halfPen, halfPen));
        painter->drawRect(iconRect);
    }
}

QSize LegendEntry::minimumOuterSizeHint() const
{
    if (!mPlottable)
        return {};
    const QFont font = getFont();
    const QRect text = textRect(m_sizedText, QFontMetrics(font), font, 0); // the screen's
    const QSize iconSize = mParentLegend->iconSize();
    QSize result(iconSize.width() + mParentLegend->iconTextPadding() + text.width(),
                 qMax(text.height(), iconSize.height()));
    result.rwidth() += mMargins.left() + mMargins.right();
    result.rheight() += mMargins.top() + mMargins.bottom();
    return result;
}
