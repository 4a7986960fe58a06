// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FILEDIALOGANSWER_H
#define FILEDIALOGANSWER_H

#include "modaldialoganswer.h"

#include <QFileDialog>
#include <QString>

// Calls `open`, which shows a modal file dialog, answers that dialog with `path` (an absolute
// path) and returns the file it suggested.
template<class Open> QString answerFileDialog(const QString &path, Open open)
{
    QString suggested;
    answerModalDialog<QFileDialog>(open, [&](QFileDialog &dialog) {
        if (!dialog.isVisible())
            return;
        if (suggested.isEmpty()) // what the dialog offered, not a former answer
            suggested = dialog.selectedFiles().value(0);
        // A file name field that holds the focus keeps its text against selectFile(); whether it
        // has the focus depends on the window's activation, which Xvfb grants late or never.
        if (QWidget *focused = dialog.focusWidget())
            focused->clearFocus();
        dialog.selectFile(path);
        // Accepted only once the dialog holds the answer; else the next poll tries again.
        if (dialog.selectedFiles().value(0) == path)
            QMetaObject::invokeMethod(&dialog, "accept");
    });
    return suggested;
}

#endif // FILEDIALOGANSWER_H
