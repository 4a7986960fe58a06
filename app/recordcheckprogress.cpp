// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordcheckprogress.h"

#include "recordindex.h"

#include <QFileInfo>
#include <QProgressDialog>

namespace {

constexpr int kSteps = 1000;
constexpr int kShowAfterMs = 400;
constexpr int kProgressWidth = 360;

} // namespace

bool RecordCheckProgress::open(RecordIndex &index, const QString &path, QWidget *window)
{
    QProgressDialog progress(tr("正在检查记录：%1").arg(QFileInfo(path).fileName()), tr("取消"), 0,
                             kSteps, window);
    progress.setWindowTitle(tr("打开记录"));
    progress.setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    progress.setMinimumDuration(kShowAfterMs);
    progress.setMinimumWidth(kProgressWidth);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setValue(0);
    return index.open(path, [&progress](qint64 done, qint64 total) {
        // A pipe tells no size: the bar only shows that the pass goes on.
        if (total <= 0)
            progress.setMaximum(0);
        progress.setValue(total > 0 ? int(done * kSteps / total) : 0);
        // Keeps "取消" and the windows alive between two chunks of the file.
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    });
}
