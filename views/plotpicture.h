// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PLOTPICTURE_H
#define PLOTPICTURE_H

#include <QCoreApplication>
#include <QString>

class QCustomPlot;

// A picture of the plot at its shown size, in the format the file's suffix names: PNG, JPG
// (.jpg, .jpeg), PDF or SVG; the last two as vector drawings.
class PlotPicture
{
    Q_DECLARE_TR_FUNCTIONS(PlotPicture)
public:
    // False, with `error`, for a suffix of another format (nothing is written then) or when the
    // file cannot be written.
    static bool save(QCustomPlot &plot, const QString &path, QString &error);

private:
    static bool saveSvg(QCustomPlot &plot, const QString &path);
};

#endif // PLOTPICTURE_H
