// SPDX-License-Identifier: GPL-3.0-or-later
// Reopening a lost port on its own: only when asked to and only once a port has been open, not
// before the hold-off, only while the port is listed, and never once the wait has ended.

#include "portlist.h"
#include "portreconnector.h"

#include <QFile>
#include <QSerialPortInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Only the test's own port is listed, wherever the test runs.
QList<QSerialPortInfo> QSerialPortInfo::availablePorts()
{
    return {};
}

namespace {

enum class Wait { Continues, TurnedOff, OperatorTakesOver };
// Long enough for the hold-off and two looks at the port list after it.
constexpr int kPastHoldOffMs = PortReconnector::kHoldOffMs + 2 * PortReconnector::kCheckIntervalMs;

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
        QTest::addColumn<bool>("awaited");
        QTest::addColumn<bool>("reopened");
        QTest::newRow("listed throughout")
            << true << true << true << Wait::Continues << true << true;
        QTest::newRow("listed later") << true << true << false << Wait::Continues << true << true;
        QTest::newRow("reconnection off")
            << false << true << true << Wait::Continues << false << false;
        QTest::newRow("no port open before")
            << true << false << true << Wait::Continues << false << false;
        QTest::newRow("turned off") << true << true << false << Wait::TurnedOff << true << false;
        QTest::newRow("operator") << true << true << false << Wait::OperatorTakesOver << true
                                  << false;
    }
    void lostPort_reopenedOnlyWhileAwaitedAndListed()
    {
        QFETCH(bool, enabled);
        QFETCH(bool, openedBefore);
        QFETCH(bool, listedAtLoss);
        QFETCH(Wait, wait);
        QFETCH(bool, awaited);
        QFETCH(bool, reopened);
        QTemporaryDir dir;
        const QString port = dir.filePath(QStringLiteral("card"));
        QFile node(port);
        if (listedAtLoss)
            QVERIFY(node.open(QIODevice::WriteOnly));
        PortList ports;
        ports.setExtraPorts({port});
        PortReconnector reconnector(&ports);
        reconnector.setEnabled(enabled);
        if (openedBefore)
            reconnector.portOpened(port, 460800);
        QSignalSpy requests(&reconnector, &PortReconnector::reconnectRequested);
        QSignalSpy waiting(&reconnector, &PortReconnector::waitingChanged);
        QElapsedTimer lost;
        lost.start();

        QCOMPARE(reconnector.takeLostPort(), awaited);
        if (!listedAtLoss) {
            QTest::qWait(kPastHoldOffMs);
            QVERIFY(requests.isEmpty());
            if (wait == Wait::TurnedOff)
                reconnector.setEnabled(false);
            else if (wait == Wait::OperatorTakesOver)
                reconnector.stopWaiting();
            QVERIFY(node.open(QIODevice::WriteOnly));
        }
        if (reopened) {
            QTRY_VERIFY(!requests.isEmpty());
            QVERIFY(lost.elapsed() >= PortReconnector::kHoldOffMs);
            QCOMPARE(requests.first(), (QVariantList{port, 460800}));
            reconnector.portOpened(port, 460800);
        } else {
            QTest::qWait(kPastHoldOffMs);
            QVERIFY(requests.isEmpty());
        }
        const QList<QVariantList> shown{{true}, {false}};
        QCOMPARE(QList<QVariantList>(waiting), awaited ? shown : QList<QVariantList>());
        QVERIFY(!reconnector.isWaiting());
    }
};

QTEST_GUILESS_MAIN(tst_PortReconnector)
#include "tst_portreconnector.moc"
