// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef GLSCENE_H
#define GLSCENE_H

// Fixed-function set-up shared by the plane graph and the vector graph: both clear to black,
// test depth, and look through a 45-degree perspective from the origin.

#include <QtGlobal>
#include <QtGui/qopengl.h>

#include <GL/glu.h>

constexpr int kViewRefreshMs = 30;
constexpr int kViewSamples = 4;

inline void initialiseScene()
{
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glShadeModel(GL_SMOOTH);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

// A zero height is taken as one pixel, so the aspect ratio stays finite.
inline void setPerspectiveViewport(int w, int h)
{
    const int viewHeight = h == 0 ? 1 : h;
    glViewport(0, 0, w, viewHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, GLfloat(w) / GLfloat(viewHeight), 0.001, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

#endif // GLSCENE_H
