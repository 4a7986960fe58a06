// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MODALDIALOGANSWER_H
#define MODALDIALOGANSWER_H

#include <QAction>
#include <QApplication>
#include <QInputDialog>
#include <QTimer>

// Calls `open`, which shows a modal dialog of class Dialog, and has `answer` fill in and close
// it; true when it did. A dialog still open at the next poll (a busy machine's dialog may not yet
// take the answer) is answered again. The polling ends with the call: a dialog that never comes
// leaves nothing behind that could run later.
template<class Dialog, class Open, class Answer> bool answerModalDialog(Open open, Answer answer)
{
    bool answered = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        answered = true;
        answer(*dialog);
    });
    poll.start(20);
    open();
    return answered;
}

// Chooses `action`, types `text` in the input dialog it opens (cancels it when `text` is empty)
// and returns the text the dialog offered.
inline QString answerTextDialog(QAction *action, const QString &text)
{
    QString offered;
    answerModalDialog<QInputDialog>([action] { action->trigger(); },
                                    [&](QInputDialog &dialog) {
                                        if (offered.isEmpty()) // not a former answer
                                            offered = dialog.textValue();
                                        dialog.setTextValue(text);
                                        text.isEmpty() ? dialog.reject() : dialog.accept();
                                    });
    return offered;
}

#endif // MODALDIALOGANSWER_H
