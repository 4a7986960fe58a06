// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardrequest.h"

#include "myserialport.h"

#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcCalibration, "eskin.calibration")
} // namespace

bool requestCard(MySerialport *card, const char *method, QGenericArgument a0, QGenericArgument a1,
                 QGenericArgument a2, QGenericArgument a3)
{
    if (!card) {
        qCDebug(lcCalibration) << "no driver card for" << method;
        return false;
    }
    const bool sent = QMetaObject::invokeMethod(card, method, Qt::AutoConnection, a0, a1, a2, a3);
    if (!sent)
        qCDebug(lcCalibration) << "request not delivered:" << method;
    return sent;
}
