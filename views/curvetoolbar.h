// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CURVETOOLBAR_H
#define CURVETOOLBAR_H

#include <QToolBar>

class QAction;

// The tool bar above the curves. Four of its options are kept from one session to the next: the
// legend, the legend beside the plot, the value range fit to what is shown, and the time axis;
// they are checked as last left before the window connects to them.
class CurveToolBar : public QToolBar
{
public:
    struct Actions
    {
        QAction *pause, *autoRange, *marker;
        QAction *savePicture, *copyPicture, *saveShown;
        QAction *legend, *legendOutside, *fitShown, *timeAxis;
    };

    CurveToolBar(const Actions &actions, QWidget *parent);
};

#endif // CURVETOOLBAR_H
