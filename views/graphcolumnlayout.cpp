// SPDX-License-Identifier: GPL-3.0-or-later
#include "graphcolumnlayout.h"

#include <QWidget>

#include <algorithm>

namespace {

// The views take two fifths of the height they share with the plot.
constexpr int kViewsShare = 2;
constexpr int kShares = 5;

} // namespace

GraphColumnLayout::GraphColumnLayout(QWidget *parent)
    : QLayout(parent)
{}

GraphColumnLayout::~GraphColumnLayout()
{
    for (QLayoutItem *item : m_parts)
        delete item;
}

void GraphColumnLayout::setPart(Part part, QWidget *widget)
{
    addChildWidget(widget);
    delete m_parts[part];
    m_parts[part] = new QWidgetItem(widget);
    invalidate();
}

// Only parts have a place here.
void GraphColumnLayout::addItem(QLayoutItem *item)
{
    delete item;
}

QLayoutItem *GraphColumnLayout::itemAt(int index) const
{
    int found = -1;
    for (QLayoutItem *item : m_parts) {
        if (item && ++found == index)
            return item;
    }
    return nullptr;
}

QLayoutItem *GraphColumnLayout::takeAt(int index)
{
    QLayoutItem *item = itemAt(index);
    if (item)
        *std::find(m_parts.begin(), m_parts.end(), item) = nullptr;
    return item;
}

int GraphColumnLayout::count() const
{
    return int(std::count_if(m_parts.begin(), m_parts.end(), [](QLayoutItem *i) { return i; }));
}

bool GraphColumnLayout::shown(Part part) const
{
    return m_parts[part] && !m_parts[part]->isEmpty();
}

QSize GraphColumnLayout::sum(QSize (QLayoutItem::*size)() const) const
{
    QSize total;
    int rows = 0;
    for (QLayoutItem *item : m_parts) {
        if (!item || item->isEmpty())
            continue;
        const QSize part = (item->*size)();
        total = QSize(std::max(total.width(), part.width()), total.height() + part.height());
        ++rows;
    }
    const QMargins margins = contentsMargins();
    return total + QSize(margins.left() + margins.right(),
                         margins.top() + margins.bottom() + std::max(0, rows - 1) * spacing());
}

QSize GraphColumnLayout::sizeHint() const
{
    return sum(&QLayoutItem::sizeHint);
}

QSize GraphColumnLayout::minimumSize() const
{
    return sum(&QLayoutItem::minimumSize);
}

void GraphColumnLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    const QRect area = rect.marginsRemoved(contentsMargins());
    const int bar = shown(ToolBar) ? m_parts[ToolBar]->sizeHint().height() + spacing() : 0;
    const int timeline = shown(Timeline) ? m_parts[Timeline]->sizeHint().height() + spacing() : 0;
    const int shared = std::max(0, area.height() - bar - (shown(Views) ? spacing() : 0));
    const int plot = shown(Views) ? shared - shared * kViewsShare / kShares : shared;
    const int views = std::max(0, shared - plot - timeline);
    int top = area.top();
    const auto place = [&](Part part, int height) {
        if (!shown(part))
            return;
        m_parts[part]->setGeometry(QRect(area.left(), top, area.width(), height));
        top += height + spacing();
    };
    place(Views, views);
    place(ToolBar, bar - spacing());
    place(Plot, std::min(plot, area.bottom() + 1 - top - timeline));
    place(Timeline, timeline - spacing());
}
