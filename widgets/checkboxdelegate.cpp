// SPDX-License-Identifier: GPL-3.0-or-later
#include "checkboxdelegate.h"

#include <QApplication>
#include <QCheckBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyleOptionButton>

namespace {

constexpr int kIndicatorSize = 13;

QPixmap *styleIndicator(bool ticked)
{
    auto *pixmap = new QPixmap(kIndicatorSize, kIndicatorSize);
    pixmap->fill(Qt::transparent);
    QPainter painter(pixmap);
    // A button option: styles such as Fusion draw the check-box indicator only for one.
    QStyleOptionButton option;
    option.state = QStyle::State_Enabled | (ticked ? QStyle::State_On : QStyle::State_Off);
    option.rect = QRect(0, 0, kIndicatorSize, kIndicatorSize);
    option.iconSize = QSize(kIndicatorSize, kIndicatorSize);
    QCheckBox checkBox;
    QApplication::style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter,
                                         &checkBox);
    return pixmap;
}

QPixmap *paintedIndicator(bool ticked)
{
    auto *pixmap = new QPixmap(kIndicatorSize, kIndicatorSize);
    pixmap->fill(Qt::transparent);
    QPainter painter(pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor green(0, 255, 0);
    painter.setPen(green);
    painter.setBrush(Qt::white);
    const int x = 0, y = 0, w = kIndicatorSize, h = kIndicatorSize;
    painter.drawRect(x, y, w, h);
    if (ticked) {
        const QPoint tick[] = {{x + 2 * w / 11, y + 6 * h / 11},
                               {x + 4 * w / 11, y + 8 * h / 11},
                               {x + 9 * w / 11, y + 3 * h / 11}};
        painter.setPen(QPen(QBrush(green), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter.drawPolyline(tick, 3);
    }
    return pixmap;
}

bool tickOf(const QAbstractItemModel *model, const QModelIndex &index)
{
    return model && model->data(index, Qt::UserRole).toBool();
}

} // namespace

CheckBoxDelegate::CheckBoxDelegate(int mode, QObject *parent)
    : QStyledItemDelegate(parent)
{
    switch (mode) {
    case 0:
        checkedPixmap = styleIndicator(true);
        uncheckedPixmap = styleIndicator(false);
        break;
    case 1:
        checkedPixmap = paintedIndicator(true);
        uncheckedPixmap = paintedIndicator(false);
        break;
    case 2:
        // Absent images give empty pixmaps, and then nothing is drawn.
        checkedPixmap = new QPixmap(QStringLiteral(":/image/checked.png"));
        uncheckedPixmap = new QPixmap(QStringLiteral(":/image/unchecked.png"));
        break;
    default:
        break;
    }
}

CheckBoxDelegate::~CheckBoxDelegate()
{
    delete checkedPixmap;
    delete uncheckedPixmap;
}

void CheckBoxDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    QStyleOptionViewItem cell(option);
    initStyleOption(&cell, index);
    cell.state &= ~QStyle::State_HasFocus;
    QStyledItemDelegate::paint(painter, cell, index);

    const QPixmap *indicator = tickOf(index.model(), index) ? checkedPixmap : uncheckedPixmap;
    if (!indicator || indicator->isNull())
        return;
    const QRect &r = option.rect;
    QRect target = indicator->rect();
    target.translate(r.x() + r.width() / 2 - indicator->width() / 2,
                     r.y() + r.height() / 2 - indicator->height() / 2);
    painter->drawPixmap(target, *indicator);
}

bool CheckBoxDelegate::editorEvent(QEvent *event, QAbstractItemModel *model,
                                   const QStyleOptionViewItem &option, const QModelIndex &index)
{
    const bool press =
        event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    if (press && model) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (option.rect.contains(mouse->position().toPoint()))
            model->setData(index, !tickOf(model, index), Qt::UserRole);
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}
