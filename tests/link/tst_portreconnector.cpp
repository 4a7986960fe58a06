// SPDX-License-Identifier: GPL-3.0-or-later
// Reopening a lost port on its own: only when asked to and only once a port has been open, not
// before the hold-off, only while the port is listed, only for the same device, and never once
// the wait has ended.

#include "nomachineports.h"
#include "portlist.h"
#include "portreconnector.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

enum class Wait { Continues, TurnedOff, OperatorTakesOver };
// What the system reports of the device under the port's name after the loss, against the
// adapter it reported at the open; "by name": nothing at either time.
enum class Device { ByName, Same, Other, NotDescribed };
using Waits = QList<ReconnectWait>;
// A short hold-off and check interval for the cases that do not depend on their length.
constexpr int kShortHoldOffMs = 100;
constexpr int kShortCheckMs = 25;
// Long enough for the hold-off and two looks at the port list after it.
constexpr int pastHoldOffMs(qint64 holdOffMs, int checkMs)
{
    return int(holdOffMs) + 2 * checkMs;
}

} // namespace

class tst_PortReconnector : public QObject
{
    Q_OBJECT

private slots:
    void lostPort_reopenedOnlyWhileAwaitedAndListed_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("openedBefore");
        QTest::addColumn<bool>("listedAtLoss");
        QTest::addColumn<Wait>("wait");
        QTest::addColumn<Device>("device");
        QTest::addColumn<bool>("reopened");
        QTest::addColumn<Waits>("waits");
        const Waits ended{ReconnectWait::Lost, ReconnectWait::None};
        const Waits waiting{ReconnectWait::Lost};
        QTest::newRow("listed throughout")
            << true << true << true << Wait::Continues << Device::ByName << true << ended;
        QTest::newRow("listed later")
            << true << true << false << Wait::Continues << Device::ByName << true << ended;
        QTest::newRow("reconnection off")
            << false << true << true << Wait::Continues << Device::ByName << false << Waits();
        QTest::newRow("no port open before")
            << true << false << true << Wait::Continues << Device::ByName << false << Waits();
        QTest::newRow("turned off")
            << true << true << false << Wait::TurnedOff << Device::ByName << false << ended;
        QTest::newRow("operator") << true << true << false << Wait::OperatorTakesOver
                                  << Device::ByName << false << ended;
        QTest::newRow("same adapter")
            << true << true << true << Wait::Continues << Device::Same << true << ended;
        QTest::newRow("another adapter")
            << true << true << true << Wait::Continues << Device::Other << false
            << Waits{ReconnectWait::Lost, ReconnectWait::OtherDevice};
        QTest::newRow("adapter not described yet")
            << true << true << true << Wait::Continues << Device::NotDescribed << false << waiting;
    }
    void lostPort_reopenedOnlyWhileAwaitedAndListed()
    {
        QFETCH(bool, enabled);
        QFETCH(bool, openedBefore);
        QFETCH(bool, listedAtLoss);
        QFETCH(Wait, wait);
        QFETCH(Device, device);
        QFETCH(bool, reopened);
        QFETCH(Waits, waits);
        QTemporaryDir dir;
        const QString port = dir.filePath(QStringLiteral("card"));
        QFile node(port);
        if (listedAtLoss)
            QVERIFY(node.open(QIODevice::WriteOnly));
        PortList ports;
        ports.setExtraPorts({port});
        PortReconnector reconnector(&ports);
        // The first case waits the real hold-off.
        int pastHoldOff =
            pastHoldOffMs(PortReconnector::kHoldOffMs, PortReconnector::kCheckIntervalMs);
        if (QTest::currentDataTag() != QByteArrayLiteral("listed throughout")) {
            reconnector.setTiming(kShortHoldOffMs, kShortCheckMs);
            pastHoldOff = pastHoldOffMs(kShortHoldOffMs, kShortCheckMs);
        }
        const PortIdentity adapter{QStringLiteral("A1"), 0x0403, 0x6001};
        PortIdentity present = device == Device::ByName ? PortIdentity() : adapter;
        reconnector.setIdentityLookup([&](const QString &) { return present; });
        reconnector.setEnabled(enabled);
        if (openedBefore)
            reconnector.portOpened(port, 460800);
        QSignalSpy requests(&reconnector, &PortReconnector::reconnectRequested);
        Waits shown;
        connect(&reconnector, &PortReconnector::waitChanged, this,
                [&](ReconnectWait state) { shown << state; });
        QElapsedTimer lost;
        lost.start();

        QCOMPARE(reconnector.takeLostPort(), !waits.isEmpty());
        if (device != Device::Same)
            present = device == Device::Other ? PortIdentity{"B2", 0x0403, 0x6001} : PortIdentity();
        if (!listedAtLoss) {
            QTest::qWait(pastHoldOff);
            QVERIFY(requests.isEmpty());
            if (wait == Wait::TurnedOff)
                reconnector.setEnabled(false);
            else if (wait == Wait::OperatorTakesOver)
                reconnector.stopWaiting();
            QVERIFY(node.open(QIODevice::WriteOnly));
        }
        if (reopened) {
            QTRY_VERIFY(!requests.isEmpty());
            QVERIFY(lost.elapsed() >= reconnector.holdOffMs());
            QCOMPARE(requests.first(), (QVariantList{port, 460800}));
            reconnector.portOpened(port, 460800);
        } else {
            QTest::qWait(pastHoldOff);
            QVERIFY(requests.isEmpty());
        }
        QCOMPARE(shown, waits);
        QCOMPARE(reconnector.isWaiting(), !waits.isEmpty() && waits.last() != ReconnectWait::None);
    }
};

QTEST_GUILESS_MAIN(tst_PortReconnector)
#include "tst_portreconnector.moc"
