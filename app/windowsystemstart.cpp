// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowsystemstart.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

struct HeldMessage
{
    QtMsgType type;
    QByteArray category;
    QString text;
};

// The message handler is a plain function: its state lives here, for the one start.
QString g_program;
QtMessageHandler g_previous = nullptr;
QList<HeldMessage> g_held;
QString g_refusedDisplay; // the display a connection failed to, when one did
bool g_displayRefused = false;

void print(const QString &line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
}

void pass(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (g_previous)
        g_previous(type, context, text);
    else
        print(qFormatLogMessage(type, context, text));
}

[[noreturn]] void refuseToStart(const QString &fatal)
{
    const QString display = qEnvironmentVariable("DISPLAY");
    const bool noDisplay =
        g_displayRefused || (display.isEmpty() && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
    if (noDisplay) {
        print(QStringLiteral("%1: no display found (%2); the program needs one")
                  .arg(g_program,
                       display.isEmpty()
                           ? QStringLiteral("DISPLAY is not set")
                           : QStringLiteral("cannot connect to display %1")
                                 .arg(g_refusedDisplay.isEmpty() ? display : g_refusedDisplay)));
        print(
            QStringLiteral("To run it without a display, use xvfb-run: xvfb-run -a %1 [OPTION]...")
                .arg(g_program));
    } else {
        // Qt's own account of the platform says more than its general advice.
        const QString why = g_held.isEmpty() ? fatal : g_held.constLast().text;
        print(QStringLiteral("%1: the window system could not be started: %2")
                  .arg(g_program, why.section(u'\n', 0, 0)));
    }
    std::fflush(stderr);
    // Nothing else is to run: Qt is half set up, and would abort on the way out.
    std::_Exit(1);
}

void watchStart(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtFatalMsg)
        refuseToStart(text);
    const QByteArray category = context.category ? QByteArray(context.category) : QByteArray();
    if (!category.startsWith("qt.qpa")) {
        pass(type, context, text);
        return;
    }
    if (text.contains(QLatin1String("could not connect to display"))) {
        g_displayRefused = true;
        g_refusedDisplay = text.section(QLatin1String("display"), 1).trimmed();
    }
    g_held.append({type, category, text});
}

} // namespace

WindowSystemStart::WindowSystemStart(const QString &program)
{
    g_program = program;
    g_previous = qInstallMessageHandler(watchStart);
}

WindowSystemStart::~WindowSystemStart()
{
    qInstallMessageHandler(g_previous);
    for (const HeldMessage &held : std::exchange(g_held, {})) {
        const QMessageLogContext context(nullptr, 0, nullptr, held.category.constData());
        pass(held.type, context, held.text);
    }
}
