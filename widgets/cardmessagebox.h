// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CARDMESSAGEBOX_H
#define CARDMESSAGEBOX_H

#include <QMessageBox>
#include <QString>

class QWidget;

// Message boxes that the driver card or its port cause: answers to requests, what a reply was
// found to hold, a port that would not open or was lost. Each box runs an event loop of its own
// in the interface thread, in which the next queued result is delivered; a card that sends fast
// enough would stack box on box until the stack overflows. So at most one such box is shown at
// a time, in every window of the program: while it is open, further ones are dropped, and the
// number dropped is written as one debug line when it closes.
class CardMessageBox
{
public:
    // What a box does when another is shown.
    enum class WhenBusy {
        Drop,    // it is not shown
        Replace, // the box shown closes and this one takes its place: a port that is lost or
                 // would not open outweighs an answer about it
    };

    // Shows a modal box with a single OK button; false when it was dropped.
    static bool show(QMessageBox::Icon icon, QWidget *parent, const QString &title,
                     const QString &text, WhenBusy whenBusy = WhenBusy::Drop);
    // Runs a box made by the caller (informative text, buttons) under the same guard and
    // deletes it. Returns the button pressed, QMessageBox::NoButton when it was dropped.
    static int exec(QMessageBox *box, WhenBusy whenBusy = WhenBusy::Drop);
    // A card or port box is open.
    static bool isShown();
};

#endif // CARDMESSAGEBOX_H
