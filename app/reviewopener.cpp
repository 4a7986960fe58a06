// SPDX-License-Identifier: GPL-3.0-or-later
#include "reviewopener.h"

#include "curvegraphic.h"
#include "recordcheckprogress.h"
#include "recordindex.h"
#include "recordingcontrol.h"

#include <QAction>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QStandardPaths>
#include <QUrl>

ReviewOpener::ReviewOpener(CurveGraphic *curves, const RecordingControl *recording,
                           QAction *closeAction, QWidget *window)
    : QObject(window)
    , m_window(window)
    , m_curves(curves)
    , m_recording(recording)
    , m_closeAction(closeAction)
{
    m_closeAction->setEnabled(false);
    connect(m_closeAction, &QAction::triggered, this, &ReviewOpener::close);
    // Queued by the curve window: the review may be ended at once.
    connect(curves, &CurveGraphic::reviewFailed, this, &ReviewOpener::reviewFailed);
}

bool ReviewOpener::isReviewing() const
{
    return m_curves && m_curves->isReviewing();
}

QString ReviewOpener::droppedRecording(const QMimeData *mime)
{
    const QList<QUrl> urls = mime ? mime->urls() : QList<QUrl>();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return {};
    const QString path = urls.first().toLocalFile();
    return path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? path : QString();
}

void ReviewOpener::showWarnings(QWidget *parent, const QStringList &warnings)
{
    if (warnings.isEmpty())
        return;
    auto *box = new QMessageBox(QMessageBox::Warning, tr("提示"), tr("读取记录文件时发现："),
                                QMessageBox::Ok, parent);
    box->setInformativeText(warnings.join(u'\n'));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void ReviewOpener::chooseAndOpen()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path = QFileDialog::getOpenFileName(m_window, tr("打开记录"), documents,
                                                      tr("CSV 文件 (*.csv);;所有文件 (*)"));
    if (!path.isEmpty())
        open(path);
}

bool ReviewOpener::open(const QString &path)
{
    if (m_opening || !m_curves || !confirmEndOfRecording())
        return false;
    const QScopedValueRollback<bool> opening(m_opening, true);
    auto recording = std::make_unique<RecordIndex>();
    const bool checked = RecordCheckProgress::open(*recording, path, m_window);
    const QStringList warnings = recording->warnings();
    QString error = recording->errorString();
    if (!checked && recording->wasCancelled())
        return false;
    // The windows may have closed while the file was checked.
    if (!checked || !m_curves || !m_curves->beginReview(std::move(recording), error)) {
        showFailure(m_window, tr("记录未能打开"), error);
        return false;
    }
    m_closeAction->setEnabled(true);
    emit reviewStarted();
    showWarnings(m_window, warnings);
    return true;
}

void ReviewOpener::close()
{
    if (!isReviewing())
        return;
    m_curves->endReview();
    m_closeAction->setEnabled(false);
    emit reviewEnded();
}

void ReviewOpener::reviewFailed(const QString &error)
{
    if (!isReviewing())
        return;
    close();
    showFailure(m_curves->isVisible() ? static_cast<QWidget *>(m_curves) : m_window,
                tr("记录文件在打开后被改动，回看已关闭"), error);
}

// Closing the port for a review ends a recording: the operator says so first.
bool ReviewOpener::confirmEndOfRecording()
{
    if (!m_recording->isRecording())
        return true;
    return QMessageBox::question(
               m_window, tr("提示"), tr("正在记录。打开记录文件将关闭串口并结束记录，继续吗？"),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void ReviewOpener::showFailure(QWidget *parent, const QString &text, const QString &detail)
{
    QMessageBox box(QMessageBox::Critical, tr("错误信息"), text, QMessageBox::Ok, parent);
    box.setInformativeText(detail);
    box.exec();
}
