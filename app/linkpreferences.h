// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LINKPREFERENCES_H
#define LINKPREFERENCES_H

#include <QString>

// The serial-port choices remembered between runs, in the application's settings, and whether
// the windows follow the card's number of sensors.
struct LinkPreferences
{
    bool autoReconnect = false;
    bool followCardSensors = false;
    // The port and baud rate of the latest successful open; empty and 0 until there was one.
    QString portName;
    int baudRate = 0;

    static LinkPreferences load();
    void save() const;
};

#endif // LINKPREFERENCES_H
