// SPDX-License-Identifier: GPL-3.0-or-later
#include "portlist.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QSet>

QStringList PortList::presentNames() const
{
    QStringList names;
    QSet<QString> devices;
    const auto add = [&](const QString &name) {
        const QString device = devicePath(name);
        if (device.isEmpty() || devices.contains(device))
            return;
        devices.insert(device);
        names << name;
    };
    // A virtual port is listed while it exists, as the system lists its own ports.
    for (const QString &port : m_extraPorts)
        add(port);
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        add(info.portName());
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

QString PortList::devicePath(const QString &name)
{
    return QFileInfo(location(name)).canonicalFilePath();
}

PortIdentity PortList::identity(const QString &name)
{
    PortIdentity identity;
    const QString device = devicePath(name);
    if (device.isEmpty())
        return identity;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        if (devicePath(info.systemLocation()) != device)
            continue;
        identity.serialNumber = info.serialNumber();
        if (info.hasVendorIdentifier())
            identity.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            identity.productId = info.productIdentifier();
        break;
    }
    return identity;
}
