// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CONTACTOVERLAY_H
#define CONTACTOVERLAY_H

#include <QList>
#include <QPointF>
#include <QtGlobal>

class FrameAnalysis;
class QOpenGLFunctions_1_1;

// What the analysis adds to the plane graph: the outlines of the cells in contact, the centre of
// pressure as a dot and its path over the last second of frames (by the frames' times). It is
// drawn over the cells only while the analysis is on; the plane graph draws nothing of it else.
class ContactOverlay
{
public:
    static constexpr qint64 kPathMicros = 1000000;

    // The frame of `analysis`, sent at `timeUs`; a negative time (not known) or one before the
    // last frame's (a review that stepped back) starts the path anew.
    void show(const FrameAnalysis &analysis, qint64 timeUs);
    void clear();

    // Something changed since the last paint.
    bool needsPaint() const { return m_changed; }
    void paint(QOpenGLFunctions_1_1 &gl);

    // The point of the plate at a column and row, as numbers 0 to 3 with fractions between: the
    // middle of the cell at whole numbers.
    static QPointF platePoint(double column, double row);

    bool hasCentre() const { return m_hasCentre; }
    QPointF centre() const { return m_path.isEmpty() ? QPointF() : m_path.last().point; }
    int pathLength() const { return int(m_path.size()); }

private:
    struct PathPoint
    {
        qint64 timeUs;
        QPointF point;
    };
    void paintOutlines(QOpenGLFunctions_1_1 &gl) const;
    void paintPath(QOpenGLFunctions_1_1 &gl) const;
    void paintDot(QOpenGLFunctions_1_1 &gl) const;

    QList<PathPoint> m_path;
    qint64 m_lastTimeUs = -1;
    quint16 m_contactMask = 0;
    int m_sensors = 0;
    bool m_hasCentre = false;
    bool m_changed = false;
};

#endif // CONTACTOVERLAY_H
