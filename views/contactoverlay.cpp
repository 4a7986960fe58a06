// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactoverlay.h"

#include "frameanalysis.h"
#include "planegraph.h"

#include <QOpenGLFunctions_1_1>

#include <cmath>

namespace {

// Above the cells (0.1), so that depth testing keeps them in front.
constexpr float kOverlayDepth = 0.15f;
constexpr float kOutlineWidth = 3.0f;
constexpr float kPathWidth = 2.0f;
constexpr float kDotRadius = 0.22f;
constexpr int kDotSegments = 24;
// Blue stands out from every cell shade (grey to red); the outline in dark blue, the path lighter.
constexpr float kOutlineRgb[3] = {0.0f, 0.0f, 0.55f};
constexpr float kPathRgb[3] = {0.3f, 0.55f, 1.0f};
constexpr float kDotRgb[3] = {0.0f, 0.0f, 1.0f};

} // namespace

QPointF ContactOverlay::platePoint(double column, double row)
{
    constexpr double pitchX = PlaneGraph::cellWidth + PlaneGraph::cellGap;
    constexpr double pitchY = PlaneGraph::cellHeight + PlaneGraph::cellGap;
    const double x0 =
        PlaneGraph::marginLeft - PlaneGraph::planeWidth / 2 + PlaneGraph::cellWidth / 2;
    const double y0 =
        PlaneGraph::planeHeight / 2 - PlaneGraph::marginTop - PlaneGraph::cellHeight / 2;
    return {x0 + column * pitchX, y0 - row * pitchY};
}

void ContactOverlay::show(const FrameAnalysis &analysis, qint64 timeUs)
{
    if (timeUs < 0 || timeUs < m_lastTimeUs)
        m_path.clear();
    m_lastTimeUs = timeUs;
    m_contactMask = analysis.contactMask();
    m_sensors = analysis.sensorCount();
    m_hasCentre = analysis.hasCentre();
    if (m_hasCentre)
        m_path.append({timeUs, platePoint(analysis.centreColumn(), analysis.centreRow())});
    while (!m_path.isEmpty() && timeUs >= 0 && m_path.first().timeUs < timeUs - kPathMicros)
        m_path.removeFirst();
    m_changed = true;
}

void ContactOverlay::clear()
{
    m_path.clear();
    m_lastTimeUs = -1;
    m_contactMask = 0;
    m_sensors = 0;
    m_hasCentre = false;
    m_changed = true;
}

void ContactOverlay::paint(QOpenGLFunctions_1_1 &gl)
{
    m_changed = false;
    paintOutlines(gl);
    paintPath(gl);
    if (m_hasCentre)
        paintDot(gl);
    gl.glLineWidth(1.0f);
}

void ContactOverlay::paintOutlines(QOpenGLFunctions_1_1 &gl) const
{
    constexpr float halfW = PlaneGraph::cellWidth / 2;
    constexpr float halfH = PlaneGraph::cellHeight / 2;
    gl.glLineWidth(kOutlineWidth);
    gl.glColor3f(kOutlineRgb[0], kOutlineRgb[1], kOutlineRgb[2]);
    for (int i = 0; i < m_sensors; ++i) {
        if ((m_contactMask & (1u << i)) == 0)
            continue;
        const QPointF c = platePoint(i % FrameAnalysis::kColumns, i / FrameAnalysis::kColumns);
        const float x = float(c.x());
        const float y = float(c.y());
        gl.glBegin(GL_LINE_LOOP);
        gl.glVertex3f(x - halfW, y + halfH, kOverlayDepth);
        gl.glVertex3f(x + halfW, y + halfH, kOverlayDepth);
        gl.glVertex3f(x + halfW, y - halfH, kOverlayDepth);
        gl.glVertex3f(x - halfW, y - halfH, kOverlayDepth);
        gl.glEnd();
    }
}

void ContactOverlay::paintPath(QOpenGLFunctions_1_1 &gl) const
{
    if (m_path.size() < 2)
        return;
    gl.glLineWidth(kPathWidth);
    gl.glColor3f(kPathRgb[0], kPathRgb[1], kPathRgb[2]);
    gl.glBegin(GL_LINE_STRIP);
    for (const PathPoint &p : m_path)
        gl.glVertex3f(float(p.point.x()), float(p.point.y()), kOverlayDepth);
    gl.glEnd();
}

void ContactOverlay::paintDot(QOpenGLFunctions_1_1 &gl) const
{
    const QPointF c = m_path.last().point;
    gl.glColor3f(kDotRgb[0], kDotRgb[1], kDotRgb[2]);
    gl.glBegin(GL_TRIANGLE_FAN);
    gl.glVertex3f(float(c.x()), float(c.y()), kOverlayDepth);
    for (int k = 0; k <= kDotSegments; ++k) {
        const double angle = 2 * M_PI * k / kDotSegments;
        gl.glVertex3f(float(c.x() + kDotRadius * std::cos(angle)),
                      float(c.y() + kDotRadius * std::sin(angle)), kOverlayDepth);
    }
    gl.glEnd();
}
