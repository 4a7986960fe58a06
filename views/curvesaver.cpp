// SPDX-License-Identifier: GPL-3.0-or-later
#include "curvesaver.h"

#include "frameaxis.h"
#include "plotpicture.h"
#include "showndata.h"

#include <qcustomplot.h>

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QOpenGLWidget>
#include <QStandardPaths>

#include <algorithm>
#include <limits>

CurveSaver::CurveSaver(QWidget *window, QCustomPlot *plot, QOpenGLWidget *vectors,
                       QOpenGLWidget *plane, const FrameAxis *axis)
    : m_window(window)
    , m_plot(plot)
    , m_vectors(vectors)
    , m_plane(plane)
    , m_axis(axis)
{}

bool CurveSaver::savePicture(const QString &path, QString &error) const
{
    if (!PlotPicture::save(*m_plot, path, error))
        return false;
    const QFileInfo file(path);
    const QString stem = file.dir().filePath(file.completeBaseName());
    if (m_vectors->grabFramebuffer().save(stem + QStringLiteral("-vectors.png")) &&
        m_plane->grabFramebuffer().save(stem + QStringLiteral("-plane.png")))
        return true;
    error = tr("图像未能保存：%1").arg(QDir::toNativeSeparators(path));
    return false;
}

bool CurveSaver::saveShown(const QString &path, const Shown &shown, QString &error) const
{
    constexpr double kEverywhere = std::numeric_limits<double>::max();
    const QCPRange range =
        shown.zoomed ? m_plot->xAxis->range() : QCPRange(-kEverywhere, kEverywhere);
    const QList<ShownFrame> frames = ShownData::collect(
        *m_plot, shown.sensors, range, [this](double at) { return m_axis->frameExactlyAt(at); },
        shown.stampAt);
    if (frames.isEmpty()) {
        error = tr("没有可保存的数据");
        return false;
    }
    if (ShownData::write(path, frames, shown.markers, m_axis->gaps(), shown.dated, error))
        return true;
    error = tr("数据未能保存：%1（%2）").arg(QDir::toNativeSeparators(path), error);
    return false;
}

void CurveSaver::askSavePicture() const
{
    const QString path = askFileName(tr("保存图像"), QStringLiteral("eskin-curves-"),
                                     {{tr("PNG 图像 (*.png)"), QStringLiteral("png")},
                                      {tr("PDF 文档 (*.pdf)"), QStringLiteral("pdf")},
                                      {tr("SVG 图像 (*.svg)"), QStringLiteral("svg")},
                                      {tr("JPG 图像 (*.jpg)"), QStringLiteral("jpg")}});
    QString error;
    if (!path.isEmpty() && !savePicture(path, error))
        showFailure(error);
}

void CurveSaver::askSaveShown(const Shown &shown) const
{
    const QString path = askFileName(tr("保存显示的数据"), QStringLiteral("eskin-shown-"),
                                     {{tr("CSV 文件 (*.csv)"), QStringLiteral("csv")}});
    QString error;
    if (!path.isEmpty() && !saveShown(path, shown, error))
        showFailure(error);
}

void CurveSaver::copyPicture() const
{
    QGuiApplication::clipboard()->setPixmap(m_plot->toPixmap());
}

// Suggests STEM + date and time + the first filter's suffix; a name typed without a suffix takes
// the chosen filter's.
QString CurveSaver::askFileName(const QString &title, const QString &stem,
                                const QList<std::pair<QString, QString>> &filters) const
{
    const QString name =
        stem + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QDir documents(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    QStringList texts;
    for (const auto &filter : filters)
        texts << filter.first;
    QString chosen;
    QString path = QFileDialog::getSaveFileName(
        m_window, title, documents.filePath(name + u'.' + filters.first().second),
        texts.join(QStringLiteral(";;")), &chosen);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += u'.' + filters.value(std::max(0, int(texts.indexOf(chosen)))).second;
    return path;
}

void CurveSaver::showFailure(const QString &error) const
{
    QMessageBox::warning(m_window, tr("提示"), error);
}
