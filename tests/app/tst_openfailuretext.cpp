// SPDX-License-Identifier: GPL-3.0-or-later
// The informative text of the open-failure box: the port, the cause in the interface's language
// and what to do, then the system's own text. The probe of a real node is exercised by the main
// window's tests.

#include "openfailuretext.h"

#include <QSerialPort>
#include <QTest>

Q_DECLARE_METATYPE(PortAccess::Result)

class tst_OpenFailureText : public QObject
{
    Q_OBJECT

private slots:
    void detail_namesPortCauseAndRemedy_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<PortAccess::Result>("access");
        QTest::addColumn<QString>("group");
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("remedy");

        const int permission = QSerialPort::PermissionError;
        const int notFound = QSerialPort::DeviceNotFoundError;
        const int unsupported = QSerialPort::UnsupportedOperationError;
        const QString denied = QStringLiteral("原因：当前用户没有读写该串口的权限。");
        const QString busy = QStringLiteral("原因：该串口正被另一个程序占用。");

        QTest::newRow("no permission, serial group")
            << permission << PortAccess::Denied << "dialout" << true << denied
            << "sudo usermod -aG dialout $USER";
        QTest::newRow("no permission, root's node")
            << permission << PortAccess::Denied << "root" << true << denied << "udev";
        QTest::newRow("no permission, terminal group")
            << permission << PortAccess::Denied << "tty" << true << denied << "udev";
        QTest::newRow("locked by another program")
            << permission << PortAccess::Opened << "dialout" << true << busy << "关闭那个程序";
        QTest::newRow("opened exclusively elsewhere")
            << permission << PortAccess::Busy << "dialout" << true << busy << "关闭那个程序";
        QTest::newRow("unplugged") << notFound << PortAccess::Missing << "" << true
                                   << "原因：/dev/ttyUSB0 不存在，设备可能已拔出或名称有误。"
                                   << "选择另一个串口";
        QTest::newRow("a plain file")
            << unsupported << PortAccess::Opened << "root" << false << "原因：该设备不是串口。"
            << "驱动卡所在的串口";
        QTest::newRow("anything else") << int(QSerialPort::UnknownError) << PortAccess::OtherError
                                       << "" << true << "原因：串口无法打开。"
                                       << "检查设备";
    }

    void detail_namesPortCauseAndRemedy()
    {
        QFETCH(int, error);
        QFETCH(PortAccess::Result, access);
        QFETCH(QString, group);
        QFETCH(bool, terminal);
        QFETCH(QString, cause);
        QFETCH(QString, remedy);
        const QStringList lines =
            openFailureDetail("/dev/ttyUSB0", error, "System text", {access, group, terminal})
                .split(u'\n');
        QCOMPARE(lines.first(), QStringLiteral("串口：/dev/ttyUSB0"));
        QCOMPARE(lines.at(1), cause);
        QVERIFY2(lines.mid(2).join(u'\n').contains(remedy), qPrintable(lines.join(u'\n')));
        QVERIFY(!lines.join(u'\n').contains("usermod -aG root"));
        QCOMPARE(lines.last(), QStringLiteral("系统信息：System text"));
    }
};

QTEST_GUILESS_MAIN(tst_OpenFailureText)
#include "tst_openfailuretext.moc"
