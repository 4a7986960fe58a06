// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef OPENFAILURETEXT_H
#define OPENFAILURETEXT_H

#include "portaccess.h"

#include <QString>

// The informative text of the "串口打开失败" box, in the interface's language: the port, the
// cause (not found, no permission, held by another program, not a serial device, other) and
// what to do, then the system's own text. `error` is a QSerialPort::SerialPortError.
QString openFailureDetail(const QString &portName, int error, const QString &errorString,
                          const PortAccess &access);

#endif // OPENFAILURETEXT_H
