// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef NOMACHINEPORTS_H
#define NOMACHINEPORTS_H

// The machine's own serial ports would make a port list depend on where the tests run (a build
// machine may well have a ttyS0), so none is listed: a test's ports are the paths it gives with
// setExtraPorts. This replaces Qt's function for the whole test program: one source file of the
// program includes it.

#include <QSerialPortInfo>

QList<QSerialPortInfo> QSerialPortInfo::availablePorts()
{
    return {};
}

#endif // NOMACHINEPORTS_H
