// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MQTTOPTIONS_H
#define MQTTOPTIONS_H

#include "mqtturl.h"

#include <QByteArray>
#include <QCommandLineOption>
#include <QList>
#include <QString>

// What a connection to a broker needs besides its URL, and where the programs take it from: the
// password from a file or the environment, never from the command line.
struct MqttOptions
{
    static constexpr char kPasswordVariable[] = "ESKIN_MQTT_PASSWORD";
    // Passwords and certificates are short; a longer file is not one.
    static constexpr qint64 kMaxFileBytes = 1 << 20;

    MqttUrl url;
    QByteArray password; // empty: none
    QString caFile;      // empty: the system's certificates (for mqtts)

    // --mqtt-password-file and --mqtt-cafile, as the programs take them.
    static QList<QCommandLineOption> secretOptions();
    // The password, from the first line of `passwordFile` when one is given, else from the
    // environment; and the CA file, checked. False with `error` ("cannot read FILE: reason")
    // when a file cannot be read.
    bool readSecrets(const QString &passwordFile, const QString &caFilePath, QString *error);
};

#endif // MQTTOPTIONS_H
