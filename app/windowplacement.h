// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef WINDOWPLACEMENT_H
#define WINDOWPLACEMENT_H

#include <QRect>
#include <QSize>

class QWidget;

// Where the program's other windows open: wholly on the screen that holds the main window, with
// the title bar on it, beside the main window where there is room, and no larger than the
// screen.
class WindowPlacement
{
public:
    // The frame of a window of frame size `wanted`, which may shrink to `minimum`, beside
    // `anchor` inside `area`: to the right of it, else to the left, else shrunk into the wider
    // side, else at the edge of that side, over the anchor as little as possible. Top-aligned
    // with the anchor as far as the area allows.
    static QRect frameBeside(const QRect &anchor, QSize wanted, QSize minimum, const QRect &area);

    // Moves and, where needed, shrinks `window` (not shown) so that it opens beside `anchor`.
    // With a `screenShare` (0 to 1), the window is at least that share of the screen's width and
    // height, and as large as its contents ask, over the anchor where it must be.
    static void placeBeside(QWidget *window, const QWidget *anchor, double screenShare = 0);
};

#endif // WINDOWPLACEMENT_H
