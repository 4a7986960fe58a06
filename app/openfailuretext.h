// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef OPENFAILURETEXT_H
#define OPENFAILURETEXT_H

#include <QString>

// How the device node of a port that would not open answers an open of our own.
struct PortAccess
{
    enum Result { Opened, Denied, Busy, Missing, OtherError };
    Result result = OtherError;
    // The group that owns the node; empty when it cannot be told.
    QString group;
    // The node opened and is a terminal; false when it opened but is something else (a file).
    bool terminal = true;
};

// Tries to open the node for reading and writing, as the serial port does, and closes it again.
PortAccess probePortAccess(const QString &systemLocation);

// Whether an operator would sensibly join `group` to use a serial port: the groups that Debian
// gives serial devices, and local groups; never root or another system group.
bool isJoinableGroup(const QString &group);

// The informative text of the "串口打开失败" box, in the interface's language: the port, the
// cause (not found, no permission, held by another program, not a serial device, other) and
// what to do, then the system's own text. `error` is a QSerialPort::SerialPortError.
QString openFailureDetail(const QString &portName, int error, const QString &errorString,
                          const PortAccess &access);

#endif // OPENFAILURETEXT_H
