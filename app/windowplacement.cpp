// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowplacement.h"

#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QWidget>

#include <algorithm>

QRect WindowPlacement::frameBeside(const QRect &anchor, QSize wanted, QSize minimum,
                                   const QRect &area)
{
    QSize size = wanted.boundedTo(area.size()).expandedTo(minimum);
    const int roomRight = area.right() - anchor.right();
    const int roomLeft = anchor.left() - area.left();
    const bool rightIsWider = roomRight >= roomLeft;
    int x = 0;
    if (size.width() <= roomRight) {
        x = anchor.right() + 1;
    } else if (size.width() <= roomLeft) {
        x = anchor.left() - size.width();
    } else if (std::max(roomRight, roomLeft) >= minimum.width()) {
        size.setWidth(std::max(roomRight, roomLeft));
        x = rightIsWider ? anchor.right() + 1 : area.left();
    } else {
        x = rightIsWider ? area.right() + 1 - size.width() : area.left();
    }
    // The top first: a window taller than the area (its minimum) keeps its title bar on it.
    const int y = std::max(area.top(), std::min(anchor.top(), area.bottom() + 1 - size.height()));
    return QRect(QPoint(std::max(x, area.left()), y), size);
}

void WindowPlacement::placeBeside(QWidget *window, const QWidget *anchor, double screenShare)
{
    const QScreen *screen = anchor->screen() ? anchor->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // A window that has not been shown has no frame yet; the main window's frame is the best
    // guess of the one the window manager will give it.
    const QRect anchorFrame = anchor->frameGeometry();
    const QRect anchorInside = anchor->geometry();
    const QMargins frame(
        anchorInside.left() - anchorFrame.left(), anchorInside.top() - anchorFrame.top(),
        anchorFrame.right() - anchorInside.right(), anchorFrame.bottom() - anchorInside.bottom());
    const QSize frameSize(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QRect area = screen->availableGeometry();
    QSize minimum = window->minimumSizeHint().expandedTo(window->minimumSize());
    QSize wanted = window->size();
    if (screenShare > 0) {
        // Not narrowed below what its contents ask for, as far as the screen allows.
        const QSize share = (QSizeF(area.size()) * screenShare).toSize() - frameSize;
        const QSize needed =
            window->sizeHint().expandedTo(share).boundedTo(area.size() - frameSize);
        minimum = minimum.expandedTo(needed);
        wanted = wanted.expandedTo(needed);
    }
    const QRect placed = frameBeside(anchorFrame, wanted + frameSize, minimum + frameSize, area);
    window->resize(placed.size() - frameSize);
    // The position of a top-level window includes its frame.
    window->move(placed.topLeft());
}
