// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LINKPREFERENCES_H
#define LINKPREFERENCES_H

#include <QString>

// The serial-port choices remembered between runs, in the application's settings, the number of
// sensors the windows show and whether it follows the card's.
struct LinkPreferences
{
    bool autoReconnect = false;
    bool followCardSensors = false;
    // The port and baud rate of the latest successful open; empty and 0 until there was one.
    QString portName;
    int baudRate = 0;
    // 1 until another was shown.
    int sensorCount = 1;

    static LinkPreferences load();
    void save() const;
};

#endif // LINKPREFERENCES_H
