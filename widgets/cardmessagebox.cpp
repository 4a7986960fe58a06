// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardmessagebox.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QPointer>

namespace {

Q_LOGGING_CATEGORY(lcApp, "eskin.app")

// Touched by the interface thread only, where every box lives.
bool g_shown = false;

} // namespace

bool CardMessageBox::show(QMessageBox::Icon icon, QWidget *parent, const QString &title,
                          const QString &text)
{
    if (g_shown) {
        qCDebug(lcApp).noquote() << "card message dropped while another is shown:" << text;
        return false;
    }
    g_shown = true;
    // On the heap: a parent that closes and goes while the box is open takes the box with it.
    const QPointer<QMessageBox> box = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
    box->exec();
    delete box.data();
    g_shown = false;
    return true;
}
