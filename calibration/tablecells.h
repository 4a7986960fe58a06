// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TABLECELLS_H
#define TABLECELLS_H

#include "pressuretext.h"

#include <QBrush>
#include <QCoreApplication>
#include <QStandardItemModel>

// Cells of the calibration dialog's tables.
namespace TableCells {

// The tick is drawn by the delegate from the item's Qt::UserRole data; the item itself shows
// nothing and takes neither editing nor selection.
inline QStandardItem *tickItem()
{
    auto *item = new QStandardItem(QString());
    item->setFlags(item->flags() & ~(Qt::ItemIsEditable | Qt::ItemIsSelectable));
    return item;
}

// A value the card reported, shown as it is. One that the operator could not type (-32768, a
// pressure beyond 327.00) is marked instead of being replaced: it is what the card holds.
inline QStandardItem *cardItem(const QString &text, bool typable)
{
    auto *item = new QStandardItem(text);
    if (!typable) {
        item->setForeground(QBrush(Qt::red));
        item->setToolTip(QCoreApplication::translate("Demarcate", "驱动卡的值，超出可输入的范围"));
    }
    return item;
}

inline QStandardItem *cardPressure(qint16 hundredths)
{
    return cardItem(PressureText::formatHundredths(hundredths),
                    qAbs(int(hundredths)) <= PressureText::kLimit * 100);
}

// Calibration values are typed within -32767 to 32767.
inline QStandardItem *cardValue(qint16 value)
{
    return cardItem(QString::number(value), value != -32768);
}

inline QStandardItem *centred(QStandardItem *item)
{
    item->setTextAlignment(Qt::AlignCenter);
    return item;
}

// The pressures of the entries whose rows are ticked (tick in column 0).
template<typename Entry>
QList<short> tickedPressures(const QStandardItemModel *model, const QList<Entry> &entries)
{
    QList<short> pressures;
    for (int row = 0; row < entries.size() && row < model->rowCount(); ++row) {
        if (model->index(row, 0).data(Qt::UserRole).toBool())
            pressures.append(entries.at(row).pressure);
    }
    return pressures;
}

} // namespace TableCells

#endif // TABLECELLS_H
