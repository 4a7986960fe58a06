// SPDX-License-Identifier: GPL-3.0-or-later
#include "pointtable.h"

#include "cardmessagebox.h"
#include "pressurelists.h"
#include "slaveprotocol.h"
#include "tablecells.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QScopedValueRollback>
#include <QStandardItemModel>

#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(lcCalibration, "eskin.calibration")

// A rebuild for a point of another axis waits until this long after the previous one.
constexpr int kRefillIntervalMs = 250;
// The card's points of one read come within the reply time-out of each other: once none has
// come for that long, the read is over.
constexpr int kReadEndMs = kReplyTimeoutMs;

} // namespace

PointTable::PointTable(QStandardItemModel *model, QWidget *dialog)
    : QObject(dialog)
    , m_model(model)
    , m_dialog(dialog)
{
    m_refillTimer.setSingleShot(true);
    connect(&m_refillTimer, &QTimer::timeout, this, [this] {
        refill(m_pendingAxis);
        m_lastReportedRefill.start();
    });
    m_droppedTimer.setSingleShot(true);
    m_droppedTimer.setInterval(kReadEndMs);
    connect(&m_droppedTimer, &QTimer::timeout, this, &PointTable::reportDropped);
}

void PointTable::startRead(int axis)
{
    m_points[axis].clear();
    refill(axis);
}

void PointTable::take(int axis, const demarcateInfoUnit_t &point)
{
    if (!admit(axis, point))
        return;
    const PressureLists::Merged merged = PressureLists::merge(m_points[axis], point);
    if (axis == m_shownAxis && !m_refillTimer.isActive())
        putRow(int(merged.index), point, merged.replaced);
    else
        requestRefill(axis);
}

void PointTable::showReported(int axis)
{
    if (axis != m_shownAxis || m_refillTimer.isActive())
        requestRefill(axis);
}

bool PointTable::admit(int axis, const demarcateInfoUnit_t &point)
{
    const QList<demarcateInfoUnit_t> &points = m_points[axis];
    if (points.size() < kMaxPoints)
        return true;
    const bool known = std::any_of(points.cbegin(), points.cend(),
                                   [&](const auto &p) { return p.pressure == point.pressure; });
    if (known)
        return true;
    if (m_dropped++ == 0)
        qCDebug(lcCalibration) << "axis" << axis << "holds" << kMaxPoints
                               << "calibration points: further points are dropped";
    m_droppedTimer.start();
    return false;
}

void PointTable::reportDropped()
{
    const int dropped = std::exchange(m_dropped, 0);
    CardMessageBox::show(
        QMessageBox::Warning, m_dialog, QCoreApplication::translate("Demarcate", "提示"),
        QCoreApplication::translate("Demarcate", "驱动卡发来的标定点多于%1个，其余%2个未显示")
            .arg(kMaxPoints)
            .arg(dropped));
}

void PointTable::requestRefill(int axis)
{
    m_pendingAxis = axis;
    if (m_refillTimer.isActive())
        return;
    if (m_lastReportedRefill.isValid() && !m_lastReportedRefill.hasExpired(kRefillIntervalMs)) {
        m_refillTimer.start(int(kRefillIntervalMs - m_lastReportedRefill.elapsed()));
        return;
    }
    refill(axis);
    m_lastReportedRefill.start();
}

void PointTable::remove(int axis, const QList<short> &pressures)
{
    for (short pressure : pressures)
        PressureLists::removeFirst(m_points[axis], pressure);
    // A rebuild on its way shows the lists as they are by then.
    if (axis == m_shownAxis && !m_refillTimer.isActive())
        refill(axis);
}

void PointTable::clearAll(int axis)
{
    for (QList<demarcateInfoUnit_t> &points : m_points)
        points.clear();
    refill(axis);
}

// Rows are rebuilt whole, so that no row keeps values of sensors its new point lacks.
void PointTable::refill(int axis)
{
    const QScopedValueRollback<bool> filling(m_filling, true);
    m_refillTimer.stop();
    m_shownAxis = axis;
    m_model->setRowCount(0);
    const QList<demarcateInfoUnit_t> &points = m_points[axis];
    for (int row = 0; row < points.size(); ++row)
        putRow(row, points.at(row), false);
}

void PointTable::putRow(int row, const demarcateInfoUnit_t &point, bool replace)
{
    const QScopedValueRollback<bool> filling(m_filling, true);
    QList<QStandardItem *> cells{TableCells::tickItem(), TableCells::cardPressure(point.pressure)};
    // Values of sensors beyond the sensor count would land under no sensor's header.
    for (int sensor = 0; sensor < std::min<int>(point.num, m_sensorColumns); ++sensor)
        cells.append(TableCells::cardValue(point.info[sensor]));
    if (replace)
        m_model->removeRow(row);
    m_model->insertRow(row, cells);
}

QList<short> PointTable::tickedPressures() const
{
    return TableCells::tickedPressures(m_model, m_points[m_shownAxis]);
}
