// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef UNWRITABLENODE_H
#define UNWRITABLENODE_H

// A port that this process may not open for writing, for the tests of a permission error, and
// what the program is to advise about it.

#include "portaccess.h"

#include <QFileInfo>
#include <QTemporaryFile>

#include <unistd.h>

// Root opens any file, but a read-only kernel attribute refuses writing to everyone; anyone
// else gets `file`, readable by its owner only. Empty when the file could not be made.
inline QString unwritableNode(QTemporaryFile &file)
{
    if (::geteuid() == 0)
        return QStringLiteral("/sys/kernel/uevent_seqnum");
    if (!file.open() || !file.setPermissions(QFileDevice::ReadOwner))
        return {};
    return file.fileName();
}

// Joining the group that owns the node, or, for a group such as root that is not one to join,
// a udev rule.
inline QString permissionRemedy(const QString &node)
{
    const QString group = QFileInfo(node).group();
    return isJoinableGroup(group) ? QStringLiteral("sudo usermod -aG %1 $USER").arg(group)
                                  : QStringLiteral("udev");
}

#endif // UNWRITABLENODE_H
