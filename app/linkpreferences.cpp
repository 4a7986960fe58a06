// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkpreferences.h"

#include <QSettings>

namespace {

const QString kAutoReconnectKey = QStringLiteral("serial/autoReconnect");
const QString kPortKey = QStringLiteral("serial/port");
const QString kBaudKey = QStringLiteral("serial/baudRate");
const QString kFollowSensorsKey = QStringLiteral("sensors/followCard");
const QString kSensorCountKey = QStringLiteral("sensors/count");

} // namespace

LinkPreferences LinkPreferences::load()
{
    const QSettings settings;
    LinkPreferences prefs;
    prefs.autoReconnect = settings.value(kAutoReconnectKey, false).toBool();
    prefs.portName = settings.value(kPortKey).toString();
    prefs.baudRate = settings.value(kBaudKey, 0).toInt();
    prefs.followCardSensors = settings.value(kFollowSensorsKey, false).toBool();
    prefs.sensorCount = settings.value(kSensorCountKey, 1).toInt();
    return prefs;
}

void LinkPreferences::save() const
{
    QSettings settings;
    settings.setValue(kAutoReconnectKey, autoReconnect);
    settings.setValue(kPortKey, portName);
    settings.setValue(kBaudKey, baudRate);
    settings.setValue(kFollowSensorsKey, followCardSensors);
    settings.setValue(kSensorCountKey, sensorCount);
}
