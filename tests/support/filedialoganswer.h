// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FILEDIALOGANSWER_H
#define FILEDIALOGANSWER_H

#include <QApplication>
#include <QFileDialog>
#include <QString>
#include <QTimer>

// Calls `open`, which shows a modal file dialog, answers that dialog with `path` and returns
// the file it suggested.
template<class Open> QString answerFileDialog(const QString &path, Open open)
{
    QString suggested;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !suggested.isEmpty())
            return;
        suggested = dialog->selectedFiles().value(0);
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    answer.start(20);
    open();
    return suggested;
}

#endif // FILEDIALOGANSWER_H
