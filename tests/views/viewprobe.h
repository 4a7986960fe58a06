// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef VIEWPROBE_H
#define VIEWPROBE_H

// Helpers for checking what an OpenGL view has drawn: where a scene point lands in the grabbed
// framebuffer, colour comparison with a tolerance for rounding, and access to resizeGL.

#include <QColor>
#include <QImage>
#include <QMatrix4x4>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QTest>
#include <QVector3D>

#include "keeploadedlibraries.h"

#include <cmath>

// Loads the OpenGL driver through a context, then keeps it (and every other library) loaded
// until exit, for the leak check.
inline void keepOpenGlDriverLoaded()
{
    QOpenGLWidget probe;
    probe.resize(16, 16);
    probe.show();
    QVERIFY(QTest::qWaitForWindowExposed(&probe));
    probe.grabFramebuffer();
    keepLoadedLibrariesUntilExit();
}

// The views' projection: 45 degree field of view, near 0.001, far 100.
inline QMatrix4x4 viewProjection(const QImage &image)
{
    QMatrix4x4 projection;
    projection.perspective(45.0f, float(image.width()) / float(image.height()), 0.001f, 100.0f);
    return projection;
}

inline QPoint scenePixel(const QImage &image, const QMatrix4x4 &transform, const QVector3D &point)
{
    const QVector3D ndc = transform.map(point);
    return QPoint(int((ndc.x() + 1) / 2 * image.width()), int((1 - ndc.y()) / 2 * image.height()));
}

inline bool sameColour(const QColor &a, const QColor &b, int tolerance = 2)
{
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

inline QString describe(const QColor &c)
{
    return QStringLiteral("(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

template<class View> struct ResizableView : View
{
    using View::resizeGL;
};

// A zero height must give a one-pixel viewport and the aspect ratio w / 1.
template<class View> void checkZeroHeightResize()
{
    ResizableView<View> view;
    view.resize(200, 100);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(!view.grabFramebuffer().isNull());

    view.makeCurrent();
    view.resizeGL(200, 0);
    QOpenGLFunctions *gl = QOpenGLContext::currentContext()->functions();
    GLint viewport[4] = {};
    gl->glGetIntegerv(GL_VIEWPORT, viewport);
    GLfloat projection[16] = {};
    gl->glGetFloatv(GL_PROJECTION_MATRIX, projection);
    view.doneCurrent();
    QCOMPARE(viewport[2], 200);
    QCOMPARE(viewport[3], 1);
    const float expectedXScale = 1.0f / (std::tan(qDegreesToRadians(22.5f)) * 200.0f);
    QVERIFY2(std::abs(projection[0] - expectedXScale) < 1e-5f,
             qPrintable(QString::number(projection[0])));

    view.resize(200, 0); // the widget itself squashed and drawn
    QTest::qWait(20);
}

#endif // VIEWPROBE_H
