// SPDX-License-Identifier: GPL-3.0-or-later
#include "vectorgraph.h"

#include "glscene.h"
#include "readingmagnitude.h"

#include <QDebug>
#include <QFont>
#include <QMouseEvent>
#include <QPainterPath>
#include <QTimer>
#include <QTransform>
#include <QWheelEvent>
#include <QtMath>

#include <QLoggingCategory>
#include <algorithm>
#include <cmath>

namespace {

Q_LOGGING_CATEGORY(lcViews, "eskin.views")

constexpr int kBoardColumns = 4;

// An arrow stands only for a magnitude above the dead band.
constexpr int kDeadBand = 500;
// Scene units per count: X and Y force tilt the arrow with a gain of 0.0013, Z lifts it with
// 0.001; every component saturates at the length of a little over three boxes.
constexpr float kTiltGain = 5.0f * 1.3f / 5000.0f;
constexpr float kLiftGain = 5.0f / 5000.0f;
constexpr float kMaxComponent = 5.0f;

constexpr int kMinZoom = -100;
constexpr int kMaxZoom = -1;

// Dragging works on cursor positions mapped by an orthographic projection whose height spans
// this many units. With the gains below, a drag over the view's full height turns the board by
// 25 degrees or shifts it by 2.5 units (about one and two-thirds boxes); across the width it goes
// further in proportion to the aspect ratio. The view's own perspective would map the cursor onto
// the near plane, where a drag barely moves the board at all.
constexpr double kDragViewHeight = 0.25;
constexpr float kTurnGain = 100.0f;
constexpr float kShiftGain = 10.0f;

const QColor kEvenBoxColour(255, 97, 0);
const QColor kOddBoxColour(106, 90, 205);
const QColor kLabelColour(230, 230, 230);
const QColor kArrowColour(230, 230, 0);
constexpr int kLabelPointSize = 5;
constexpr float kLabelScale = 0.1f;
constexpr float kLabelLift = 0.02f;
constexpr float kLabelLineWidth = 3.0f;
constexpr float kShaftLineWidth = 5.0f;

void glColour(const QColor &colour)
{
    glColor3ub(GLubyte(colour.red()), GLubyte(colour.green()), GLubyte(colour.blue()));
}

void glTranslate(const QVector3D &by)
{
    glTranslatef(by.x(), by.y(), by.z());
}

void glVertex(const QVector3D &point)
{
    glVertex3f(point.x(), point.y(), point.z());
}

} // namespace

VectorGraph::VectorGraph(QWidget *parent)
    : QOpenGLWidget(parent)
    , refreshTimer(new QTimer(this))
{
    QSurfaceFormat surfaceFormat = format();
    surfaceFormat.setSamples(kViewSamples);
    setFormat(surfaceFormat);
    connect(refreshTimer, &QTimer::timeout, this, &VectorGraph::UpdateSlots);
}

VectorGraph::~VectorGraph() = default;

void VectorGraph::setSensorSum(int sum)
{
    m_sensorSum = sum;
}

void VectorGraph::setReadings(const QList<Axit_t> &list)
{
    m_readings.clear();
    m_readings.append(list);
}

void VectorGraph::setRefreshEnabled(bool on)
{
    if (on)
        refreshTimer->start(kViewRefreshMs);
    else
        refreshTimer->stop();
}

bool VectorGraph::isRefreshing() const
{
    return refreshTimer->isActive();
}

QVector3D VectorGraph::displayVector(const Axit_t &reading)
{
    if (readingMagnitude(reading) <= kDeadBand)
        return {};
    const auto limit = [](float v) {
        return std::clamp(v, -kMaxComponent, kMaxComponent);
    };
    return {limit(-kTiltGain * float(reading.x)), limit(kLiftGain * float(std::abs(reading.z))),
            limit(-kTiltGain * float(reading.y))};
}

// Repaints only when the board or an arrow would change: readings inside the dead band leave the
// picture as it is. Mouse and wheel input repaint at once.
void VectorGraph::UpdateSlots()
{
    if (pictureChanged())
        update();
}

bool VectorGraph::pictureChanged() const
{
    if (m_sensorSum != m_paintedSensorSum || m_readings.size() != m_vectors.size())
        return true;
    for (qsizetype i = 0; i < m_readings.size(); ++i) {
        if (displayVector(m_readings.at(i)) != m_vectors.at(i))
            return true;
    }
    return false;
}

void VectorGraph::mousePressEvent(QMouseEvent *event)
{
    QOpenGLWidget::mousePressEvent(event);
    lastCursor = unprojectCursor(event->position());
}

void VectorGraph::mouseReleaseEvent(QMouseEvent *event)
{
    QOpenGLWidget::mouseReleaseEvent(event);
    lastCursor = QPointF(0.0, 0.0);
}

void VectorGraph::mouseMoveEvent(QMouseEvent *event)
{
    QOpenGLWidget::mouseMoveEvent(event);
    const QPointF cursor = unprojectCursor(event->position());
    const QPointF moved = cursor - lastCursor;
    if (event->buttons() & Qt::LeftButton) {
        m_rotX += float(moved.y()) * kTurnGain;
        m_rotY += float(moved.x()) * kTurnGain;
    }
    if (event->buttons() & Qt::RightButton) {
        m_sceneOffset.setX(m_sceneOffset.x() + float(moved.x()) * kShiftGain);
        m_sceneOffset.setY(m_sceneOffset.y() - float(moved.y()) * kShiftGain);
    }
    lastCursor = cursor;
    update();
}

void VectorGraph::wheelEvent(QWheelEvent *event)
{
    QOpenGLWidget::wheelEvent(event);
    const int delta = event->angleDelta().y();
    if (delta > 0 && m_zoom < kMaxZoom)
        ++m_zoom;
    else if (delta < 0 && m_zoom > kMinZoom)
        --m_zoom;
    update();
}

// Widget pixels (y downward, passed unchanged) to drag units, independent of whichever OpenGL
// context happens to be current, so that the drag rate is the same at every event.
QPointF VectorGraph::unprojectCursor(const QPointF &pos) const
{
    const int viewWidth = std::max(width(), 1);
    const int viewHeight = std::max(height(), 1);
    const double halfHeight = kDragViewHeight / 2;
    const double halfWidth = halfHeight * viewWidth / viewHeight;
    const GLdouble modelview[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const GLdouble projection[16] = {
        1 / halfWidth, 0, 0, 0, 0, 1 / halfHeight, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const GLint viewport[4] = {0, 0, viewWidth, viewHeight};
    GLdouble ox = 0;
    GLdouble oy = 0;
    GLdouble oz = 0;
    gluUnProject(pos.x(), pos.y(), 0.0, modelview, projection, viewport, &ox, &oy, &oz);
    return {ox, oy};
}

void VectorGraph::initializeGL()
{
    qCDebug(lcViews) << "initializeGL";
    if (!initializeOpenGLFunctions()) {
        // The drawing needs only the OpenGL 1.1 fixed-function calls that every compatibility
        // context offers; a core-profile context lacks them, and every call below would go
        // through null pointers.
        qCDebug(lcViews) << "VectorGraph: OpenGL fixed-function drawing unavailable, context"
                         << context()->format().majorVersion()
                         << context()->format().minorVersion();
        return;
    }
    initialiseScene();
}

void VectorGraph::resizeGL(int w, int h)
{
    qCDebug(lcViews) << "resizeGL";
    if (!isInitialized())
        return;
    setPerspectiveViewport(w, h);
}

void VectorGraph::paintGL()
{
    if (!isInitialized())
        return;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, float(m_zoom));
    glRotatef(m_rotX, 1.0f, 0.0f, 0.0f);
    glRotatef(m_rotY, 0.0f, 1.0f, 0.0f);
    buildVectors();
    m_paintedSensorSum = m_sensorSum;
    const int boxes = std::min(m_sensorSum, kMaxSensors);
    for (int j = 0; j < boxes; ++j)
        drawBox(j / kBoardColumns, j % kBoardColumns, j);
}

void VectorGraph::buildVectors()
{
    m_vectors.clear();
    for (const Axit_t &reading : std::as_const(m_readings))
        m_vectors.append(displayVector(reading));
}

// One box of the checkerboard with its label and, when its sensor has a reading, its arrow.
void VectorGraph::drawBox(int row, int column, int sensor)
{
    const QVector3D corner(column * cellSize.width, 0.0f, row * cellSize.depth);
    glPushMatrix();
    drawCube(corner, (row + column) % 2 == 0 ? kEvenBoxColour : kOddBoxColour);
    glPopMatrix();

    const QVector3D top(corner.x() + cellSize.width / 2, cellSize.height,
                        corner.z() + cellSize.depth / 2);
    // Two-digit labels start further left so that they stay centred on the box.
    const float labelShift = sensor < 10 ? cellSize.width / 6 : cellSize.width / 4;
    glPushMatrix();
    glTranslate(m_sceneOffset);
    drawLabel(QVector3D(top.x() - labelShift, cellSize.height, top.z()), kLabelColour, sensor);
    glPopMatrix();

    if (sensor < m_vectors.size()) {
        glPushMatrix();
        drawArrow(top, top + m_vectors.at(sensor), kArrowColour);
        glPopMatrix();
    }
}

void VectorGraph::drawCube(const QVector3D &p, const QColor &colour)
{
    // Corner i has bit 0 set for the far x side, bit 1 for the top, bit 2 for the front.
    constexpr int kFaces[6][4] = {
        {2, 3, 7, 6}, {0, 1, 5, 4}, // top, bottom
        {4, 5, 7, 6}, {0, 1, 3, 2}, // front, back
        {0, 4, 6, 2}, {1, 5, 7, 3}, // left, right
    };
    const auto corner = [&p](int i) {
        return p + QVector3D(i & 1 ? cellSize.width : 0.0f, i & 2 ? cellSize.height : 0.0f,
                             i & 4 ? cellSize.depth : 0.0f);
    };
    glTranslate(m_sceneOffset);
    glBegin(GL_QUADS);
    glColour(colour);
    for (const auto &face : kFaces) {
        for (int i : face)
            glVertex(corner(i));
    }
    glEnd();
}

// The glyph outlines stand upright above the origin, a tenth of a path unit per scene unit;
// path y grows downward, scene y upward.
void VectorGraph::drawLabel(const QVector3D &origin, const QColor &colour, int sensor)
{
    for (const QPolygonF &polygon : labelOutline(sensor)) {
        glLineWidth(kLabelLineWidth);
        glColour(colour);
        glBegin(GL_LINE_LOOP);
        for (const QPointF &point : polygon)
            glVertex3f(origin.x() + kLabelScale * float(point.x()),
                       origin.y() - kLabelScale * float(point.y()), origin.z() + kLabelLift);
        glEnd();
    }
}

const QList<QPolygonF> &VectorGraph::labelOutline(int sensor)
{
    QList<QPolygonF> &outline = m_labelOutlines[std::size_t(sensor)];
    if (outline.isEmpty()) {
        QPainterPath path;
        path.addText(QPointF(0, 0), QFont(QStringLiteral("Microsoft YaHei UI"), kLabelPointSize),
                     QString::number(sensor));
        outline = path.toSubpathPolygons(QTransform());
    }
    return outline;
}

void VectorGraph::drawArrow(const QVector3D &start, const QVector3D &end, const QColor &colour)
{
    const QVector3D shaft = end - start;
    if (shaft.isNull())
        return;
    glTranslate(m_sceneOffset);
    glLineWidth(kShaftLineWidth);
    glColour(colour);
    glBegin(GL_LINES);
    glVertex(start);
    glVertex(end);
    glEnd();

    // Head: turn the triangle's tip (+y) towards the shaft's direction in the x-y plane, then
    // tilt it towards z. atan2 gives the quadrant-corrected atan(dx / dy) and stays defined
    // when the shaft has neither x nor y extent (then the head is seen edge-on and not at all).
    glTranslate(end);
    const float heading = qRadiansToDegrees(std::atan2(shaft.x(), shaft.y()));
    glRotatef(-heading, 0.0f, 0.0f, 1.0f);
    const float cosTilt = std::clamp(shaft.z() / shaft.length(), -1.0f, 1.0f);
    glRotatef(90.0f - qRadiansToDegrees(std::acos(cosTilt)), 1.0f, 0.0f, 0.0f);
    glBegin(GL_TRIANGLES);
    glVertex3f(0.0f, 0.5f, 0.0f);
    glVertex3f(-0.3f, 0.0f, 0.0f);
    glVertex3f(0.3f, 0.0f, 0.0f);
    glEnd();
}
