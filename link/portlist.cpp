// SPDX-License-Identifier: GPL-3.0-or-later
#include "portlist.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

QStringList PortList::presentNames() const
{
    QStringList names;
    // A virtual port is listed while it exists, as the system lists its own ports.
    for (const QString &port : m_extraPorts) {
        if (QFileInfo::exists(location(port)))
            names << port;
    }
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names << info.portName();
    return names;
}

QString PortList::location(const QString &name)
{
    const bool isPath = name.startsWith(u'/') || name.startsWith(QLatin1String("./")) ||
                        name.startsWith(QLatin1String("../"));
    return isPath ? name : QLatin1String("/dev/") + name;
}

QString PortList::fromCommandLine(const QString &name)
{
    const bool bare = !name.contains(u'/');
    if (name.isEmpty() || (bare && (QFileInfo::exists(location(name)) || !QFileInfo::exists(name))))
        return name;
    return QDir::cleanPath(QDir::current().absoluteFilePath(name));
}
