// SPDX-License-Identifier: GPL-3.0-or-later
// The eskin-card-sim program as a newcomer or a script uses it: a line under a stable link,
// options that shape the card, commands on standard input, and a clean exit.

#include "cardsimprocess.h"
#include "workerport.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class tst_CardSimProcess : public QObject
{
    Q_OBJECT

private slots:
    void options_shapeTheStream_andCommandsSwitchFaults();
};

void tst_CardSimProcess::options_shapeTheStream_andCommandsSwitchFaults()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("card"));
    const auto card = startCardSim(link, {QStringLiteral("--sensors"), QStringLiteral("4"),
                                          QStringLiteral("--frequency"), QStringLiteral("2"),
                                          QStringLiteral("--seed"), QStringLiteral("11")});
    QVERIFY(card);
    QProcess &sim = *card;
    const QString terminal = readCardLine(sim);
    QVERIFY2(terminal.startsWith(QLatin1String("/dev/")), qPrintable(terminal));
    QCOMPARE(readCardLine(sim), QStringLiteral("link: ") + link);
    QCOMPARE(QFileInfo(link).symLinkTarget(), terminal);

    WorkerPort worker;
    worker.open(link);
    QTRY_COMPARE(worker.count(QStringLiteral("sampleFreResult 0 0 2")), 1);
    QTRY_VERIFY(worker.frames.size() > 3);
    QCOMPARE(worker.events.last(), QStringLiteral("frame 4"));

    // Commands are taken in order: once the help that follows is printed, the card refuses.
    sim.write("refuse on\nhelp\n");
    QByteArray said;
    QTRY_VERIFY((said += sim.readAllStandardOutput()).contains("refuse on|off"));
    worker.run([](MySerialport &p) { p.setSampleFre(1, kReplyTimeoutMs); });
    QTRY_COMPARE(worker.count(QStringLiteral("sampleFreResult 1 1 0")), 1);

    sim.write("hangup\n");
    QTRY_COMPARE(worker.count(QStringLiteral("portLost")), 1);
    worker.runBlocking([](MySerialport &p) { p.closePort(); });
    sim.write("reconnect\n");
    QVERIFY(!readCardLine(sim).isEmpty());
    worker.clear();
    worker.open(link);
    QTRY_COMPARE(worker.count(QStringLiteral("sampleFreResult 0 0 2")), 1);
    QTRY_VERIFY(!worker.frames.isEmpty());

    ::kill(pid_t(sim.processId()), SIGTERM);
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(tst_CardSimProcess)
#include "tst_cardsimprocess.moc"
