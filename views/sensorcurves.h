// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SENSORCURVES_H
#define SENSORCURVES_H

#include "devicerecords.h"

#include <QColor>
#include <QPointF>

#include <array>
#include <memory>

class QCPAbstractLegendItem;
class QCPLegend;
class QCustomPlot;
class QListWidget;
class QListWidgetItem;
class SensorLegend;

// The sensors' curves on the plot and their rows in the sensor list: three graphs per sensor
// (graph 3s + a is sensor s's axis a), each in its fixed colour while shown and dark grey while
// hidden, and one row per sensor below the select-all row. The operator's ticks and shown curves
// are kept for sensors that the count leaves out. The legend beside the plot lists the sensors
// that are ticked or have a curve shown. The plot draws them antialiased, with OpenGL where its
// library has it.
class SensorCurves
{
public:
    SensorCurves(QCustomPlot *plot, QListWidget *list);
    ~SensorCurves();
    SensorCurves(const SensorCurves &) = delete;
    SensorCurves &operator=(const SensorCurves &) = delete;

    static QColor axisColor(int sensor, int axis);

    // Adds or removes sensors' rows and graphs; the removed sensors' choices stay.
    void setCount(uint count);
    uint count() const { return m_count; }
    bool isCurveShown(int sensor, int axis) const;
    SensorLegend *legendBeside() const { return m_legendBeside.get(); }
    // The legend in the plot, as the plot library draws it, or beside it.
    void placeLegend(bool shown, bool outside);

    // A click on a row (the list has already toggled its box); false for a row of no sensor.
    bool applyRowClick(QListWidgetItem *item);
    // A double click in a legend on the entry of one curve (or, beside the plot, on one colour of
    // its sensor's entry) shows or hides that curve; false when it hit none.
    bool toggleCurveAt(QCPLegend *legend, QCPAbstractLegendItem *item, const QPointF &position);
    // "Sensor10" to "Sensor15" whole, also when the list scrolls.
    void fitList();

private:
    void addSensor(int sensor);
    void removeSensor(int sensor);
    void setSensorVisible(int sensor, bool show);
    void applyCurve(int sensor, int axis);
    void showSelectAllTruly();
    void showLegendBeside();

    QCustomPlot *m_plot;
    QListWidget *m_list;
    std::unique_ptr<SensorLegend> m_legendBeside;
    uint m_count = 0;
    std::array<bool, kMaxSensors> m_ticked{};
    std::array<std::array<bool, kAxisCount>, kMaxSensors> m_curveShown{};
};

#endif // SENSORCURVES_H
