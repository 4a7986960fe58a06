// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PORTLIST_H
#define PORTLIST_H

#include <QString>
#include <QStringList>

// What the system tells of the device behind a port, where it tells anything: USB adapters
// report a serial number, vendor and product; a pseudo-terminal reports none of them.
struct PortIdentity
{
    QString serialNumber;
    int vendorId = -1; // -1: not reported
    int productId = -1;

    bool isKnown() const { return !serialNumber.isEmpty() || vendorId >= 0 || productId >= 0; }
    bool operator==(const PortIdentity &other) const
    {
        return serialNumber == other.serialNumber && vendorId == other.vendorId &&
               productId == other.productId;
    }
    bool operator!=(const PortIdentity &other) const { return !(*this == other); }
};

// The serial ports on offer. Ports the system does not enumerate (the simulated card, virtual
// ports) can be named here: each is listed while it exists, before the system's own ports, so
// that the first of them is the default choice.
class PortList
{
public:
    void setExtraPorts(const QStringList &ports) { m_extraPorts = ports; }

    // The names of the ports present now: the extra ones that exist, then the system's own in
    // the order the system reports them. A device is listed once, under the first of its names
    // ("ttyS0", "/dev/ttyS0", a symbolic link to it).
    QStringList presentNames() const;

    // Where QSerialPort looks for a port of this name: a bare name is a device under /dev.
    static QString location(const QString &name);
    // The port a command line names, as a port name that location() takes: a path with a folder
    // in it is a file (a relative one from the working folder, made absolute); a bare name is
    // the device under /dev, or, when /dev has none of that name, the file of that name in the
    // working folder.
    static QString fromCommandLine(const QString &name);
    // The device file behind the name, symbolic links followed; empty when there is none.
    static QString devicePath(const QString &name);
    // What the system reports of the device behind the name now; nothing when it is not listed.
    static PortIdentity identity(const QString &name);

private:
    QStringList m_extraPorts;
};

#endif // PORTLIST_H
