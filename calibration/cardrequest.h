// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CARDREQUEST_H
#define CARDREQUEST_H

#include <QMetaObject>

class MySerialport;

// Asks the driver-card object to run its slot `method` in the worker thread (queued, as the
// calibration dialog's requests are). False, with a debug line, when there is no driver-card
// object or the call could not be delivered.
bool requestCard(MySerialport *card, const char *method, QGenericArgument a0 = QGenericArgument(),
                 QGenericArgument a1 = QGenericArgument(), QGenericArgument a2 = QGenericArgument(),
                 QGenericArgument a3 = QGenericArgument());

#endif // CARDREQUEST_H
