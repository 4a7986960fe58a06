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
        dialog.selectFile(path);
        // Accepted only once the dialog holds the answer; else the next poll tries again.
        if (dialog.selectedFiles().value(0) == path)
            QMetaObject::invokeMethod(&dialog, "accept");
    });
    return suggested;
}

#endif // FILEDIALOGANSWER_H
