// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef WINDOWSYSTEMSTART_H
#define WINDOWSYSTEMSTART_H

#include <QString>

// Watches the start of the window system while the application object is made. Without a
// display Qt can only abort (and advises reinstalling the program); instead the operator is
// told that no display was found and that xvfb-run runs the program without one, and the
// program ends with exit code 1. Any other failure of the window system is told in one line,
// with the same exit code. Qt's own messages about the platform are held meanwhile and passed
// on once the start has succeeded.
//
// One object, around the application object's construction:
//
//     std::optional<WindowSystemStart> start(std::in_place, QStringLiteral("electronic-skin"));
//     QApplication app(argc, argv);
//     start.reset();
class WindowSystemStart
{
public:
    explicit WindowSystemStart(const QString &program);
    ~WindowSystemStart();
    WindowSystemStart(const WindowSystemStart &) = delete;
    WindowSystemStart &operator=(const WindowSystemStart &) = delete;
};

#endif // WINDOWSYSTEMSTART_H
