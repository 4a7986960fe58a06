// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardmessagebox.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QPointer>

namespace {

Q_LOGGING_CATEGORY(lcApp, "eskin.app")

// Touched by the interface thread only, where every box lives. A box that replaces another
// runs inside the other's event loop, so boxes end in the reverse order of their start.
QPointer<QMessageBox> g_shown;
int g_dropped = 0;

} // namespace

bool CardMessageBox::show(QMessageBox::Icon icon, QWidget *parent, const QString &title,
                          const QString &text, WhenBusy whenBusy)
{
    if (g_shown && whenBusy == WhenBusy::Drop) {
        ++g_dropped;
        return false;
    }
    // On the heap: a parent that closes and goes while the box is open takes the box with it.
    exec(new QMessageBox(icon, title, text, QMessageBox::Ok, parent), whenBusy);
    return true;
}

int CardMessageBox::exec(QMessageBox *box, WhenBusy whenBusy)
{
    const QPointer<QMessageBox> guarded = box;
    if (g_shown) {
        if (whenBusy == WhenBusy::Drop) {
            ++g_dropped;
            delete box;
            return QMessageBox::NoButton;
        }
        g_shown->reject();
    }
    const QPointer<QMessageBox> previous = g_shown;
    g_shown = box;
    const QString text = box->text();
    const int button = box->exec();
    delete guarded.data();
    if (g_dropped > 0 && !previous) {
        qCDebug(lcApp).noquote() << g_dropped
                                 << "card messages dropped while this was shown:" << text;
        g_dropped = 0;
    }
    g_shown = nullptr;
    return button;
}

bool CardMessageBox::isShown()
{
    return !g_shown.isNull();
}
