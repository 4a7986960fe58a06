// SPDX-License-Identifier: GPL-3.0-or-later
#include "planegraph.h"

#include "contactoverlay.h"
#include "glscene.h"
#include "readingmagnitude.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QTimer>

namespace {

Q_LOGGING_CATEGORY(lcViews, "eskin.views")

constexpr int kCellsPerRow = 4;
// At the cap a cell is full red.
constexpr int kMagnitudeCap = 8660;
constexpr int kRestLevel = 230;
constexpr float kCellDepth = 0.1f;

} // namespace

PlaneGraph::PlaneGraph(QWidget *parent)
    : QOpenGLWidget(parent)
    , refreshTimer(new QTimer(this))
{
    QSurfaceFormat surfaceFormat = format();
    surfaceFormat.setSamples(kViewSamples);
    setFormat(surfaceFormat);
    connect(refreshTimer, &QTimer::timeout, this, &PlaneGraph::UpdateSlots);
}

PlaneGraph::~PlaneGraph() = default;

void PlaneGraph::setReadings(const QList<Axit_t> &list)
{
    m_readings.clear();
    m_readings.append(list);
}

void PlaneGraph::setRefreshEnabled(bool on)
{
    if (on)
        refreshTimer->start(kViewRefreshMs);
    else
        refreshTimer->stop();
}

void PlaneGraph::setOverlay(ContactOverlay *overlay)
{
    m_overlay = overlay;
    update();
}

bool PlaneGraph::isRefreshing() const
{
    return refreshTimer->isActive();
}

QColor PlaneGraph::cellColor(const Axit_t &reading)
{
    int m = readingMagnitude(reading);
    if (m < kContactFloor)
        m = 0;
    if (m > kMagnitudeCap)
        m = kMagnitudeCap;
    const int level = kRestLevel - (m * kRestLevel) / kMagnitudeCap;
    return QColor(kRestLevel, level, level);
}

// Repaints only when a cell would change colour: readings inside the dead band, or too close to
// each other to give another shade, leave the picture as it is.
void PlaneGraph::UpdateSlots()
{
    if (pictureChanged() || (m_overlay && m_overlay->needsPaint()))
        update();
}

bool PlaneGraph::pictureChanged() const
{
    if (m_readings.size() != m_paintedColours.size())
        return true;
    for (qsizetype i = 0; i < m_readings.size(); ++i) {
        if (cellColor(m_readings.at(i)) != m_paintedColours.at(i))
            return true;
    }
    return false;
}

void PlaneGraph::initializeGL()
{
    if (!initializeOpenGLFunctions()) {
        // The drawing needs only the OpenGL 1.1 fixed-function calls that every compatibility
        // context offers; a core-profile context lacks them, and every call below would go
        // through null pointers.
        qCDebug(lcViews) << "PlaneGraph: OpenGL fixed-function drawing unavailable, context"
                         << context()->format().majorVersion()
                         << context()->format().minorVersion();
        return;
    }
    initialiseScene();
}

void PlaneGraph::resizeGL(int w, int h)
{
    if (!isInitialized())
        return;
    setPerspectiveViewport(w, h);
}

void PlaneGraph::paintGL()
{
    if (!isInitialized())
        return;
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, cameraZ);

    constexpr float halfW = planeWidth / 2;
    constexpr float halfH = planeHeight / 2;
    glPushMatrix();
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    glVertex3f(-halfW, -halfH, 0.0f);
    glVertex3f(halfW, -halfH, 0.0f);
    glVertex3f(halfW, halfH, 0.0f);
    glVertex3f(-halfW, halfH, 0.0f);
    glEnd();
    glPopMatrix();

    glPushMatrix();
    drawSensorCells();
    glPopMatrix();

    if (m_overlay) {
        glPushMatrix();
        m_overlay->paint(*this);
        glPopMatrix();
    }
}

// Reading i lands in column i mod 4 and row i div 4, top-left first.
void PlaneGraph::drawSensorCells()
{
    constexpr float rowStartX = marginLeft - planeWidth / 2;
    float cx = rowStartX;
    float cy = planeHeight / 2 - marginTop;
    m_paintedColours.clear();
    for (int i = 0; i < m_readings.size(); ++i) {
        if (i > 0 && i % kCellsPerRow == 0) {
            cy = cy - cellGap - cellHeight;
            cx = rowStartX;
        }
        const QColor colour = cellColor(m_readings.at(i));
        m_paintedColours.append(colour);
        glColor3f(colour.red() / 255.0f, colour.green() / 255.0f, colour.blue() / 255.0f);
        glBegin(GL_QUADS);
        glVertex3f(cx, cy, kCellDepth);
        glVertex3f(cx + cellWidth, cy, kCellDepth);
        glVertex3f(cx + cellWidth, cy - cellHeight, kCellDepth);
        glVertex3f(cx, cy - cellHeight, kCellDepth);
        glEnd();
        cx = cx + cellGap + cellWidth;
    }
}
