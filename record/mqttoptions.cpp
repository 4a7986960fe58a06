// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqttoptions.h"

#include <QFile>

namespace {

// The file's bytes, or why they cannot be read.
bool readFile(const QString &path, QByteArray *bytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    *bytes = file.read(MqttOptions::kMaxFileBytes);
    return true;
}

} // namespace

QList<QCommandLineOption> MqttOptions::secretOptions()
{
    return {
        {QStringLiteral("mqtt-password-file"),
         QStringLiteral("The password for the MQTT broker's USER: the first line of FILE. "
                        "Without it, the environment variable %1 holds it.")
             .arg(QLatin1String(kPasswordVariable)),
         QStringLiteral("FILE")},
        {QStringLiteral("mqtt-cafile"),
         QStringLiteral("Trust the MQTT broker's certificate when FILE (PEM) vouches for it, "
                        "instead of the system's certificates (mqtts)."),
         QStringLiteral("FILE")},
    };
}

bool MqttOptions::readSecrets(const QString &passwordFile, const QString &caFilePath,
                              QString *error)
{
    password = qgetenv(kPasswordVariable);
    if (!passwordFile.isEmpty()) {
        QByteArray bytes;
        if (!readFile(passwordFile, &bytes, error))
            return false;
        const qsizetype lineEnd = bytes.indexOf('\n');
        password = lineEnd < 0 ? bytes : bytes.first(lineEnd);
        if (password.endsWith('\r'))
            password.chop(1);
    }
    QByteArray certificate;
    if (!caFilePath.isEmpty() && !readFile(caFilePath, &certificate, error))
        return false;
    caFile = caFilePath;
    return true;
}
