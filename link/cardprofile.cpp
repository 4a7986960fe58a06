// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardprofile.h"

#include <QStringList>

QString CardProfile::changeFrom(const CardProfile &before) const
{
    QStringList parts;
    if (rateDiffersFrom(before))
        parts << QStringLiteral("%1 Hz -> %2 Hz").arg(before.frequencyHz).arg(frequencyHz);
    if (sensorsDifferFrom(before))
        parts << QStringLiteral("%1 -> %2 sensors").arg(before.sensors).arg(sensors);
    return parts.join(QStringLiteral(", "));
}
