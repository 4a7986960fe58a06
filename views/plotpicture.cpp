// SPDX-License-Identifier: GPL-3.0-or-later
#include "plotpicture.h"

#include <qcustomplot.h>

#include <QDir>
#include <QFileInfo>
#include <QSvgGenerator>

bool PlotPicture::save(QCustomPlot &plot, const QString &path, QString &error)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    bool saved = false;
    if (suffix == QLatin1String("png")) {
        saved = plot.savePng(path);
    } else if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")) {
        saved = plot.saveJpg(path);
    } else if (suffix == QLatin1String("pdf")) {
        saved = plot.savePdf(path);
    } else if (suffix == QLatin1String("svg")) {
        saved = saveSvg(plot, path);
    } else {
        error = tr("“%1”不是可保存的图像格式：请用 .png、.jpg、.pdf 或 .svg")
                    .arg(suffix.isEmpty() ? QDir::toNativeSeparators(path) : u'.' + suffix);
        return false;
    }
    if (!saved)
        error = tr("图像未能保存：%1").arg(QDir::toNativeSeparators(path));
    return saved;
}

// As the plot library writes a PDF: every element drawn as lines and text, not as pixels.
bool PlotPicture::saveSvg(QCustomPlot &plot, const QString &path)
{
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(plot.size());
    svg.setViewBox(QRect(QPoint(0, 0), plot.size()));
    svg.setTitle(QStringLiteral("Electronic Skin"));
    QCPPainter painter;
    if (!painter.begin(&svg))
        return false;
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    plot.toPainter(&painter, plot.width(), plot.height());
    painter.end();
    return QFileInfo(path).size() > 0;
}
