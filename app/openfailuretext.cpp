// SPDX-License-Identifier: GPL-3.0-or-later
#include "openfailuretext.h"

#include <QCoreApplication>
#include <QFile>
#include <QSerialPort>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString owningGroup(const QByteArray &path)
{
    struct stat info = {};
    if (::stat(path.constData(), &info) != 0)
        return {};
    const group *owner = ::getgrgid(info.st_gid);
    return owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(info.st_gid);
}

} // namespace

PortAccess probePortAccess(const QString &systemLocation)
{
    const QByteArray path = QFile::encodeName(systemLocation);
    PortAccess access;
    access.group = owningGroup(path);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        access.result = PortAccess::Opened;
        return access;
    }
    switch (errno) {
    case EACCES:
    case EPERM:
    case EROFS:
        access.result = PortAccess::Denied;
        break;
    case EBUSY:
        access.result = PortAccess::Busy;
        break;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        access.result = PortAccess::Missing;
        break;
    default:
        access.result = PortAccess::OtherError;
        break;
    }
    return access;
}

QString openFailureDetail(int error, const QString &errorString, const PortAccess &access)
{
    QString hint;
    // The serial port reports a busy device (locked by another program, or opened exclusively)
    // as a permission error too; only an open of our own tells the two apart.
    if (error == QSerialPort::PermissionError) {
        if (access.result == PortAccess::Denied) {
            const QString group = access.group.isEmpty() ? QStringLiteral("dialout") : access.group;
            hint = QCoreApplication::translate(
                       "OpenFailureText",
                       "当前用户没有读写该串口的权限。请把用户加入拥有该设备的用户组 %1：\n"
                       "sudo usermod -aG %1 $USER\n然后重新登录。")
                       .arg(group);
        } else if (access.result == PortAccess::Opened || access.result == PortAccess::Busy) {
            hint = QCoreApplication::translate("OpenFailureText",
                                               "该串口正被另一个程序占用，请先关闭那个程序。");
        }
    }
    if (errorString.isEmpty())
        return hint;
    return hint.isEmpty() ? errorString : errorString + QStringLiteral("\n\n") + hint;
}
