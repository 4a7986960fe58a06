// SPDX-License-Identifier: GPL-3.0-or-later
// The informative text of the open-failure box: the port's own error, the group hint for a
// permission problem, the busy hint for a port another program holds. The probe of a real node
// is exercised by the main window's tests.

#include "openfailuretext.h"

#include <QSerialPort>
#include <QTest>

Q_DECLARE_METATYPE(PortAccess::Result)

class tst_OpenFailureText : public QObject
{
    Q_OBJECT

private slots:
    void detail_addsWhatTheOperatorCanDo_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("errorString");
        QTest::addColumn<PortAccess::Result>("access");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("detail");

        const QString permissionHint =
            QStringLiteral("当前用户没有读写该串口的权限。请把用户加入拥有该设备的用户组 %1：\n"
                           "sudo usermod -aG %1 $USER\n然后重新登录。");
        const QString busyHint = QStringLiteral("该串口正被另一个程序占用，请先关闭那个程序。");
        const int permission = QSerialPort::PermissionError;

        QTest::newRow("no permission")
            << permission << "Permission denied" << PortAccess::Denied << "uucp"
            << "Permission denied\n\n" + permissionHint.arg("uucp");
        QTest::newRow("no permission, group unknown")
            << permission << "Permission denied" << PortAccess::Denied << ""
            << "Permission denied\n\n" + permissionHint.arg("dialout");
        QTest::newRow("locked by another program")
            << permission << "Permission error while locking the device" << PortAccess::Opened
            << "dialout"
            << "Permission error while locking the device\n\n" + busyHint;
        QTest::newRow("opened exclusively elsewhere")
            << permission << "" << PortAccess::Busy << "dialout" << busyHint;
        QTest::newRow("gone before the probe")
            << permission << "Permission denied" << PortAccess::Missing << ""
            << "Permission denied";
        QTest::newRow("no such device") << int(QSerialPort::DeviceNotFoundError)
                                        << "No such file or directory" << PortAccess::Missing << ""
                                        << "No such file or directory";
    }

    void detail_addsWhatTheOperatorCanDo()
    {
        QFETCH(int, error);
        QFETCH(QString, errorString);
        QFETCH(PortAccess::Result, access);
        QFETCH(QString, group);
        QFETCH(QString, detail);
        QCOMPARE(openFailureDetail(error, errorString, PortAccess{access, group}), detail);
    }
};

QTEST_GUILESS_MAIN(tst_OpenFailureText)
#include "tst_openfailuretext.moc"
