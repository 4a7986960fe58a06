// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef VECTORGRAPH_H
#define VECTORGRAPH_H

#include "devicerecords.h"

#include <QList>
#include <QOpenGLFunctions_1_1>
#include <QOpenGLWidget>
#include <QPointF>
#include <QPolygonF>
#include <QVector3D>

#include <array>

class QTimer;

// Perspective view of the sensor array: a 4 x 4 board of boxes, each labelled with its sensor
// number and carrying an arrow that follows the sensor's three-axis force. The left button
// turns the board, the right button shifts it, the wheel moves the camera.
class VectorGraph : public QOpenGLWidget, public QOpenGLFunctions_1_1
{
    Q_OBJECT
public:
    struct CellSize
    {
        float width;  // along x
        float depth;  // along z
        float height; // along y
    };

    explicit VectorGraph(QWidget *parent = nullptr);
    ~VectorGraph() override;

    void setSensorSum(int sum);
    void setReadings(const QList<Axit_t> &list);
    void setRefreshEnabled(bool on);

    int sensorSum() const { return m_sensorSum; }
    const QList<Axit_t> &readings() const { return m_readings; }
    // The display vectors of the last repaint, one per reading.
    const QList<QVector3D> &vectors() const { return m_vectors; }
    bool isRefreshing() const;
    int zoom() const { return m_zoom; }
    float rotX() const { return m_rotX; }
    float rotY() const { return m_rotY; }
    QVector3D sceneOffset() const { return m_sceneOffset; }

    // Arrow of one reading in scene units; zero inside the dead band.
    static QVector3D displayVector(const Axit_t &reading);

    static constexpr CellSize cellSize{1.5f, 1.5f, 1.5f};

public slots:
    void UpdateSlots();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    void buildVectors();
    bool pictureChanged() const;
    void drawBox(int row, int column, int sensor);
    void drawCube(const QVector3D &p, const QColor &colour);
    void drawLabel(const QVector3D &origin, const QColor &colour, int sensor);
    void drawArrow(const QVector3D &start, const QVector3D &end, const QColor &colour);
    const QList<QPolygonF> &labelOutline(int sensor);
    QPointF unprojectCursor(const QPointF &pos) const;

    QList<Axit_t> m_readings;
    QList<QVector3D> m_vectors;
    int m_sensorSum = 1;
    int m_paintedSensorSum = 0;
    QTimer *refreshTimer;
    int m_zoom = -15;
    float m_rotX = 40.0f;
    float m_rotY = 0.0f;
    QVector3D m_sceneOffset{-4.0f, 0.0f, -2.0f};
    QPointF lastCursor{0.0, 0.0};
    // Glyph outlines of the labels 0 to 15, made on first use; the font never changes.
    std::array<QList<QPolygonF>, kMaxSensors> m_labelOutlines;
};

#endif // VECTORGRAPH_H
