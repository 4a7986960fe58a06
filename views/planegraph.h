// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PLANEGRAPH_H
#define PLANEGRAPH_H

#include "devicerecords.h"

#include <QColor>
#include <QList>
#include <QOpenGLFunctions_1_1>
#include <QOpenGLWidget>

class ContactOverlay;
class QTimer;

// Front view of the sensor array: a white plate with one cell per sensor, four to a row, each
// cell shaded from light grey (no force) to red (full force) by the magnitude of its reading.
// Keeps a copy of the latest reading list and repaints from its own timer when a cell's colour
// has changed.
class PlaneGraph : public QOpenGLWidget, public QOpenGLFunctions_1_1
{
    Q_OBJECT
public:
    explicit PlaneGraph(QWidget *parent = nullptr);
    ~PlaneGraph() override;

    void setReadings(const QList<Axit_t> &list);
    void setRefreshEnabled(bool on);
    // Drawn over the cells while set (not owned); nullptr draws the cells alone.
    void setOverlay(ContactOverlay *overlay);

    const QList<Axit_t> &readings() const { return m_readings; }
    bool isRefreshing() const;

    // Colour of the cell that shows one reading.
    static QColor cellColor(const Axit_t &reading);

    static constexpr int cameraZ = -15;
    static constexpr float planeWidth = 6.18f;
    static constexpr float planeHeight = 10.0f;
    static constexpr float cellWidth = 0.92f;
    static constexpr float cellHeight = 1.63f;
    static constexpr float marginLeft = 0.8f;
    static constexpr float marginTop = 1.29f;
    static constexpr float cellGap = 0.3f;

public slots:
    void UpdateSlots();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    void drawSensorCells();
    bool pictureChanged() const;

    QList<Axit_t> m_readings;
    // Cell colours of the last paint, one per reading.
    QList<QColor> m_paintedColours;
    QTimer *refreshTimer;
    ContactOverlay *m_overlay = nullptr;
};

#endif // PLANEGRAPH_H
