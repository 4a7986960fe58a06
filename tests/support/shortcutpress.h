// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SHORTCUTPRESS_H
#define SHORTCUTPRESS_H

// A key sequence pressed on a window, as its shortcuts take it, without the window being
// active: Qt hands shortcuts only to the active window, and a bare X server does not promise to
// activate one. The one enabled action of the window that has the sequence and sits on a visible
// widget is triggered. False when none or several have it: an ambiguous shortcut triggers
// nothing for the operator either.

#include <QAction>
#include <QKeySequence>
#include <QWidget>

inline bool pressShortcut(QWidget *window, const QKeySequence &keys)
{
    QList<QAction *> candidates = window->findChildren<QAction *>() + window->actions();
    QList<QAction *> matches;
    for (QAction *action : candidates) {
        if (matches.contains(action) || !action->isEnabled() || !action->shortcuts().contains(keys))
            continue;
        for (QObject *holder : action->associatedObjects()) {
            auto *widget = qobject_cast<QWidget *>(holder);
            if (widget && widget->isVisible() && widget->window() == window) {
                matches << action;
                break;
            }
        }
    }
    if (matches.size() != 1)
        return false;
    matches.first()->trigger();
    return true;
}

#endif // SHORTCUTPRESS_H
