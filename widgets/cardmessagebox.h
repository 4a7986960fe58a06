// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CARDMESSAGEBOX_H
#define CARDMESSAGEBOX_H

#include <QMessageBox>
#include <QString>

class QWidget;

// Message boxes that data from the driver card opens: answers to requests, and what a reply
// was found to hold. Each box runs an event loop of its own in the interface thread, in which
// the next queued result is delivered; a card that sends fast enough would stack box on box
// until the stack overflows. So at most one such box is shown at a time, in every window of
// the program: while it is open, further ones are dropped with a debug line.
class CardMessageBox
{
public:
    // Shows a modal box with a single OK button; false when it was dropped.
    static bool show(QMessageBox::Icon icon, QWidget *parent, const QString &title,
                     const QString &text);
};

#endif // CARDMESSAGEBOX_H
