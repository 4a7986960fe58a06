// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CHECKBOXDELEGATE_H
#define CHECKBOXDELEGATE_H

#include <QStyledItemDelegate>

class QPixmap;

// Turns a table column into tick boxes. The tick is a bool stored under Qt::UserRole (not the
// item's check state); a press anywhere in the cell flips it, and the indicator is drawn
// centred in the cell.
//
// Modes: 0 draws the current style's check-box indicator, 1 paints a green box with a tick,
// 2 loads ":/image/checked.png" and ":/image/unchecked.png"; any other mode draws nothing.
class CheckBoxDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit CheckBoxDelegate(int mode = 0, QObject *parent = nullptr);
    ~CheckBoxDelegate() override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

private:
    QPixmap *checkedPixmap = nullptr;
    QPixmap *uncheckedPixmap = nullptr;
};

#endif // CHECKBOXDELEGATE_H
