// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PORTACCESS_H
#define PORTACCESS_H

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

#endif // PORTACCESS_H
