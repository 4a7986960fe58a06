// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef POINTTABLE_H
#define POINTTABLE_H

#include "demarcateinfounit.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

class QStandardItemModel;
class QWidget;

// The array tab's calibration points and the written-data table that shows one axis of them.
// Per axis a list in ascending order of pressure, no two points of equal pressure; the table
// shows the list of the axis that was read or reported last, one row per point: a tick, the
// pressure, one value per sensor column.
//
// A card answers a read with one frame per point, and a hostile one with thousands: each point
// costs one row (inserted or replaced), never a rebuild of the table; a point of another axis
// than the one shown rebuilds it, but at most a few times a second. An axis holds at most
// kMaxPoints points, the most a card can store for it: further points are dropped, with one
// diagnostic line, and one message once they stop coming.
class PointTable : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxPoints = 1000;

    // `model` is the written-data table's; `dialog` parents the message about dropped points.
    PointTable(QStandardItemModel *model, QWidget *dialog);

    void setSensorColumns(int columns) { m_sensorColumns = columns; }
    // True while the table is being filled from the lists, whose values are the card's.
    bool isFilling() const { return m_filling; }
    int shownAxis() const { return m_shownAxis; }
    const QList<demarcateInfoUnit_t> &points(int axis) const { return m_points[axis]; }

    // A read of the axis begins: its list empties, and the table shows it at once.
    void startRead(int axis);
    // A point the card reported for the axis (0..2).
    void take(int axis, const demarcateInfoUnit_t &point);
    // A report without values: the table shows the axis's list.
    void showReported(int axis);
    // The card has removed points or all of them: the lists follow, and the table shows `axis`.
    void remove(int axis, const QList<short> &pressures);
    void clearAll(int axis);
    // Pressures of the ticked rows of the list shown.
    QList<short> tickedPressures() const;

private:
    bool admit(int axis, const demarcateInfoUnit_t &point);
    void reportDropped();
    void requestRefill(int axis);
    void refill(int axis);
    void putRow(int row, const demarcateInfoUnit_t &point, bool replace);

    QStandardItemModel *m_model;
    QWidget *m_dialog;
    QList<demarcateInfoUnit_t> m_points[kAxisCount];
    int m_shownAxis = 0;   // the axis whose rows the table holds
    int m_pendingAxis = 0; // the axis a waiting rebuild will show
    int m_sensorColumns = 1;
    bool m_filling = false;

    QTimer m_refillTimer;
    QElapsedTimer m_lastReportedRefill;
    int m_dropped = 0;
    QTimer m_droppedTimer;
};

#endif // POINTTABLE_H
