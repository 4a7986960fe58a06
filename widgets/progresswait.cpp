// SPDX-License-Identifier: GPL-3.0-or-later
#include "progresswait.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

namespace {

constexpr int kDialogWidth = 300;

void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

ProgressWait::ProgressWait(QWidget *window, int maximum, int pollMs)
    : QObject(window)
    , m_window(window)
    , m_maximum(maximum)
    , m_pollMs(pollMs)
{}

ProgressWait::~ProgressWait() = default;

void ProgressWait::setTexts(const QString &title, const QString &label, const QString &cancel)
{
    m_title = title;
    m_label = label;
    m_cancel = cancel;
    if (!m_dialog)
        return;
    m_dialog->setWindowTitle(title);
    m_dialog->setLabelText(label);
    m_dialog->setCancelButtonText(cancel);
}

ProgressWait::End ProgressWait::run(const Steps &steps)
{
    if (m_dialog)
        return End::Failed;
    m_value = 0;
    openDialog(steps.start());
    if (!pollAfterPause(steps))
        return End::Abandoned;
    while (m_value < m_maximum) {
        if (m_dialog->wasCanceled())
            break;
        if (!steps.portOpen()) {
            steps.stop();
            m_dialog->cancel();
            return finish(End::Failed);
        }
        if (!pollAfterPause(steps))
            return End::Abandoned;
    }
    const bool stopped = steps.stop();
    return finish(stopped && !m_dialog->wasCanceled() ? End::Reached : End::Failed);
}

ProgressWait::End ProgressWait::finish(End end)
{
    delete m_dialog;
    return end;
}

void ProgressWait::openDialog(bool started)
{
    m_dialog = new QProgressDialog(m_window);
    m_dialog->setRange(0, m_maximum);
    setTexts(m_title, m_label, m_cancel);
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setFixedWidth(kDialogWidth);
    m_dialog->setValue(0);
    m_dialog->show();
    // A card that did not take the start gives nothing to wait for.
    if (!started)
        m_dialog->cancel();
}

// Waits one polling interval with events flowing, then shows the progress. False when this
// object or the driver-card object went meanwhile, as the program closes.
bool ProgressWait::pollAfterPause(const Steps &steps)
{
    const QPointer<ProgressWait> alive(this);
    pause(m_pollMs);
    if (!alive)
        return false;
    if (steps.gone()) {
        delete m_dialog;
        return false;
    }
    m_value = qBound(0, steps.progress(), m_maximum);
    // A cancelled progress dialog would show itself again on a new value.
    if (!m_dialog->wasCanceled())
        m_dialog->setValue(m_value);
    return true;
}

void ProgressWait::cancel()
{
    if (m_dialog)
        m_dialog->cancel();
}
