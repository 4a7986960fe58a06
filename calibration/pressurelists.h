// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PRESSURELISTS_H
#define PRESSURELISTS_H

#include <QList>
#include <QtGlobal>

// Calibration lists kept in ascending order of pressure with no two entries of equal pressure:
// the array points of one axis and the single-point pairs of one sensor and axis.
namespace PressureLists {

// Where an entry went: its position, and whether it replaced one of equal pressure.
struct Merged
{
    qsizetype index;
    bool replaced;
};

// An entry of a pressure already listed replaces it; otherwise the entry goes before the first
// greater pressure, or at the end.
template<typename Entry> Merged merge(QList<Entry> &list, const Entry &entry)
{
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (list.at(i).pressure == entry.pressure) {
            list[i] = entry;
            return {i, true};
        }
        if (list.at(i).pressure > entry.pressure) {
            list.insert(i, entry);
            return {i, false};
        }
    }
    list.append(entry);
    return {list.size() - 1, false};
}

// Removes the first entry of that pressure; false when there is none.
template<typename Entry> bool removeFirst(QList<Entry> &list, qint16 pressure)
{
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (list.at(i).pressure == pressure) {
            list.removeAt(i);
            return true;
        }
    }
    return false;
}

} // namespace PressureLists

#endif // PRESSURELISTS_H
