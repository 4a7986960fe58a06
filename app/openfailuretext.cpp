// SPDX-License-Identifier: GPL-3.0-or-later
#include "openfailuretext.h"

#include "portlist.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <QStringList>

namespace {

enum class Cause { NotFound, NoPermission, Busy, NotSerial, Other };

Cause causeOf(int error, const PortAccess &access)
{
    if (error == QSerialPort::DeviceNotFoundError || access.result == PortAccess::Missing)
        return Cause::NotFound;
    // The serial port reports a busy device (locked by another program, or opened exclusively)
    // as a permission error too; only an open of our own tells the two apart.
    if (access.result == PortAccess::Denied)
        return Cause::NoPermission;
    if (access.result == PortAccess::Busy)
        return Cause::Busy;
    if (access.result == PortAccess::Opened && !access.terminal)
        return Cause::NotSerial;
    if (error == QSerialPort::PermissionError)
        return access.result == PortAccess::Opened ? Cause::Busy : Cause::NoPermission;
    return Cause::Other;
}

// The context of the texts below in the translation.
class OpenFailureText
{
    Q_DECLARE_TR_FUNCTIONS(OpenFailureText)
};

QString permissionAdvice(const QString &group)
{
    if (isJoinableGroup(group))
        return OpenFailureText::tr(
                   "请把用户加入拥有该设备的用户组 %1：\nsudo usermod -aG %1 $USER\n然后重新登录。")
            .arg(group);
    return OpenFailureText::tr(
               "该设备属于用户组 %1，不宜加入该组。请管理员为该设备添加 udev 规则（例如 "
               "GROUP=\"dialout\", MODE=\"0660\"），或开放其读写权限。")
        .arg(group.isEmpty() ? QStringLiteral("?") : group);
}

QStringList causeAndAdvice(Cause cause, const QString &portName, const PortAccess &access)
{
    switch (cause) {
    case Cause::NotFound:
        return {OpenFailureText::tr("原因：%1 不存在，设备可能已拔出或名称有误。")
                    .arg(PortList::location(portName)),
                OpenFailureText::tr("请检查连接，或在列表中选择另一个串口。")};
    case Cause::NoPermission:
        return {OpenFailureText::tr("原因：当前用户没有读写该串口的权限。"),
                permissionAdvice(access.group)};
    case Cause::Busy:
        return {OpenFailureText::tr("原因：该串口正被另一个程序占用。"),
                OpenFailureText::tr("请先关闭那个程序，再打开串口。")};
    case Cause::NotSerial:
        return {OpenFailureText::tr("原因：该设备不是串口。"),
                OpenFailureText::tr("请在列表中选择驱动卡所在的串口。")};
    case Cause::Other:
        break;
    }
    return {OpenFailureText::tr("原因：串口无法打开。"),
            OpenFailureText::tr("请检查设备和连接后再试。")};
}

} // namespace

QString openFailureDetail(const QString &portName, int error, const QString &errorString,
                          const PortAccess &access)
{
    QStringList lines{OpenFailureText::tr("串口：%1").arg(portName)};
    lines += causeAndAdvice(causeOf(error, access), portName, access);
    if (!errorString.isEmpty())
        lines << OpenFailureText::tr("系统信息：%1").arg(errorString);
    return lines.join(u'\n');
}
