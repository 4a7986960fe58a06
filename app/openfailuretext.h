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
};

// Tries to open the node for reading and writing, as the serial port does, and closes it again.
PortAccess probePortAccess(const QString &systemLocation);

// The informative text of the "串口打开失败" box: the port's own error text and, for an error the
// operator can mend, what to do. `error` is a QSerialPort::SerialPortError.
QString openFailureDetail(int error, const QString &errorString, const PortAccess &access);

#endif // OPENFAILURETEXT_H
