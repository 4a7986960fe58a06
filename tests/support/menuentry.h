// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MENUENTRY_H
#define MENUENTRY_H

// An entry of one of a window's menus, by object name. Entries may belong to another window
// (the curve window's marker in the main window's menu): they are looked for in the menu itself,
// not among the window's children. Null when the menu or the entry is not there.

#include <QAction>
#include <QMenu>
#include <QWidget>

inline QAction *menuEntry(const QWidget &window, const char *menu, const char *entry)
{
    const auto *found = window.findChild<QMenu *>(QLatin1String(menu));
    if (!found)
        return nullptr;
    for (QAction *action : found->actions()) {
        if (action->objectName() == QLatin1String(entry))
            return action;
    }
    return nullptr;
}

#endif // MENUENTRY_H
