// SPDX-License-Identifier: GPL-3.0-or-later
#include "portaccess.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Below this, groups belong to the system (Debian gives local groups 1000 and above).
constexpr gid_t kFirstLocalGroup = 1000;

QString owningGroup(const QByteArray &path)
{
    struct stat info = {};
    if (::stat(path.constData(), &info) != 0)
        return {};
    const group *owner = ::getgrgid(info.st_gid);
    return owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(info.st_gid);
}

PortAccess::Result resultOf(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return PortAccess::Denied;
    case EBUSY:
        return PortAccess::Busy;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return PortAccess::Missing;
    default:
        return PortAccess::OtherError;
    }
}

} // namespace

PortAccess probePortAccess(const QString &systemLocation)
{
    const QByteArray path = QFile::encodeName(systemLocation);
    PortAccess access;
    access.group = owningGroup(path);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        access.result = resultOf(errno);
        return access;
    }
    access.terminal = ::isatty(fd) == 1;
    ::close(fd);
    access.result = PortAccess::Opened;
    return access;
}

bool isJoinableGroup(const QString &name)
{
    static const QStringList serialGroups{QStringLiteral("dialout"), QStringLiteral("uucp"),
                                          QStringLiteral("plugdev")};
    if (name.isEmpty())
        return false;
    if (serialGroups.contains(name))
        return true;
    const struct group *entry = ::getgrnam(QFile::encodeName(name).constData());
    return entry && entry->gr_gid >= kFirstLocalGroup;
}
