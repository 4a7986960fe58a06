// SPDX-License-Identifier: GPL-3.0-or-later
// The link's status fields against the order in which the card reports: an open's first
// snapshot comes before the open itself, and a snapshot sent before a close may come after it.

#include "linkstatusbar.h"

#include <QLabel>
#include <QStatusBar>
#include <QtTest>

class tst_LinkStatusBar : public QObject
{
    Q_OBJECT

private slots:
    void snapshots_shownOnlyWhileOpen()
    {
        QStatusBar bar;
        auto *status = new LinkStatusBar(&bar);
        LinkHealth first;
        first.portName = QStringLiteral("ttyUSB0");
        first.baudRate = 460800;
        first.sensorFramesPerSecond = 99.6;
        first.counters.checksumErrors = 2;
        status->showHealth(first);
        status->showPortState(true);
        QCOMPARE(text(bar, "statusPort"), QStringLiteral("已连接 ttyUSB0 @ 460800"));
        QCOMPARE(text(bar, "statusRate"), QStringLiteral("100 帧/秒"));
        QCOMPARE(text(bar, "statusErrors"), QStringLiteral("校验错误 2"));
        QVERIFY(shown(bar, "statusErrors") && !shown(bar, "statusStale"));

        LinkHealth late = first;
        late.msWithoutSensorData = 3000;
        status->showWait(ReconnectWait::Lost, first.portName);
        status->showPortState(false);
        status->showHealth(late);
        QCOMPARE(text(bar, "statusPort"), QStringLiteral("串口丢失，等待重连…"));
        QVERIFY(!shown(bar, "statusRate") && !shown(bar, "statusErrors"));
        QVERIFY(!shown(bar, "statusStale"));
        status->showWait(ReconnectWait::None, first.portName);
        QCOMPARE(text(bar, "statusPort"), QStringLiteral("未连接"));
    }

private:
    static QLabel *label(const QStatusBar &bar, const char *name)
    {
        return bar.findChild<QLabel *>(QLatin1String(name));
    }
    static QString text(const QStatusBar &bar, const char *name)
    {
        return label(bar, name)->text();
    }
    static bool shown(const QStatusBar &bar, const char *name)
    {
        return label(bar, name)->isVisibleTo(&bar);
    }
};

QTEST_MAIN(tst_LinkStatusBar)
#include "tst_linkstatusbar.moc"
