// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CURVEGRAPHIC_H
#define CURVEGRAPHIC_H

#include "devicerecords.h"
#include "sensorseries.h"

#include <QColor>
#include <QList>
#include <QWidget>

#include <array>
#include <memory>

class QCPAbstractLegendItem;
class QCPLegend;
class QListWidgetItem;
class QTimer;

namespace Ui {
class CurveGraphic;
}

// The visualisation window: the vector and plane graphs above a plot of three curves per
// sensor, and a sensor list that shows or hides each sensor's curves. Every sensor-data frame
// is recorded, whether the window is shown or not; drawing runs from 30 ms timers while it is
// shown.
class CurveGraphic : public QWidget
{
    Q_OBJECT
public:
    explicit CurveGraphic(QWidget *parent = nullptr);
    ~CurveGraphic() override;

    // Number of sensors shown, 1 to 16; larger counts are taken as 16.
    void setSensorSum(uint sum);

    uint sensorSum() const { return m_sensorSum; }
    double sampleCounter() const { return m_sampleCounter; }
    const SensorSeries &series(int sensor) const { return m_series[std::size_t(sensor)]; }
    QColor axisColor(int sensor, int axis) const;

    // One plot refresh: brings the sensors' graphs up to their stored points, sets the ranges and
    // replots. Runs every 30 ms while the window is shown.
    void refreshPlot();

public slots:
    void setItemData(QList<Axit_t> &axit, uint num);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private slots:
    void on_sensorList_itemClicked(QListWidgetItem *item);
    void plotlegendClickslot(QCPLegend *legend, QCPAbstractLegendItem *item, QMouseEvent *event);

private:
    void setUpPlot();
    void retranslate();
    void addSensor(int sensor);
    void removeSensor(int sensor);
    void setSensorVisible(int sensorIndex, bool show);
    void paintGraph(int graphIndex, const QColor &colour);
    void updateGraphs(int sensor);
    void fitValueAxis();

    std::unique_ptr<Ui::CurveGraphic> ui;
    std::unique_ptr<QTimer> refreshTimer;
    std::array<std::array<QColor, kAxisCount>, kMaxSensors> axisColors;
    std::array<SensorSeries, kMaxSensors> m_series;
    // Key of the newest point that each sensor's graphs hold; keys start at 1.
    std::array<double, kMaxSensors> m_plottedUpTo{};
    double m_sampleCounter = 0;
    uint m_sensorSum = 0;
};

#endif // CURVEGRAPHIC_H
