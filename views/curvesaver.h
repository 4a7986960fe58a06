// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CURVESAVER_H
#define CURVESAVER_H

#include "framestamp.h"
#include "plotmarkers.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <functional>
#include <utility>

class FrameAxis;
class QCustomPlot;
class QOpenGLWidget;
class QWidget;

// What the curve window saves and copies: a picture of the plot (with both views beside it as
// PNG), and the frames whose points the plot holds as a recording. It asks the operator for the
// file and tells what went wrong.
class CurveSaver
{
    Q_DECLARE_TR_FUNCTIONS(CurveSaver)
public:
    // The data the plot shows, as the window knows it when saving.
    struct Shown
    {
        int sensors = 0;
        // Only the zoomed range is saved, else every point the plot holds.
        bool zoomed = false;
        std::function<FrameStamp(double key)> stampAt;
        QList<PlotMarker> markers;
        // The live frames' date and time go into the file; a review's have none here.
        bool dated = true;
    };

    // Dialogs and messages go over `window`.
    CurveSaver(QWidget *window, QCustomPlot *plot, QOpenGLWidget *vectors, QOpenGLWidget *plane,
               const FrameAxis *axis);

    // The plot in the format of the file's suffix (png, jpg, pdf, svg), at its shown size, and
    // the views beside it as PNG (NAME-vectors.png, NAME-plane.png); another suffix is refused,
    // with nothing written.
    bool savePicture(const QString &path, QString &error) const;
    bool saveShown(const QString &path, const Shown &shown, QString &error) const;

    void askSavePicture() const;
    void askSaveShown(const Shown &shown) const;
    void copyPicture() const;

private:
    QString askFileName(const QString &title, const QString &stem,
                        const QList<std::pair<QString, QString>> &filters) const;
    void showFailure(const QString &error) const;

    QWidget *m_window;
    QCustomPlot *m_plot;
    QOpenGLWidget *m_vectors;
    QOpenGLWidget *m_plane;
    const FrameAxis *m_axis;
};

#endif // CURVESAVER_H
