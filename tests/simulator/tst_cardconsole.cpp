// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's text commands: each switches what it names on the card, and a line that is
// not a command, or carries a value out of range, changes nothing and says why.

#include "cardconsole.h"
#include "cardmodel.h"
#include "ptycardserver.h"

#include <QtTest>

using CardProbe = std::function<QString(const CardModel &)>;
Q_DECLARE_METATYPE(CardProbe)

namespace {

QString settings(const CardModel &card)
{
    return QStringLiteral("sensors %1 frequency %2 capacity %3 streaming %4")
        .arg(card.sensorCount())
        .arg(card.frequencyIndex())
        .arg(card.singlePointCapacity())
        .arg(card.isStreaming());
}

} // namespace

class tst_CardConsole : public QObject
{
    Q_OBJECT

private slots:
    void validCommand_changesTheCard_data();
    void validCommand_changesTheCard();
    void invalidCommand_changesNothing_data();
    void invalidCommand_changesNothing();
    void hangupAndReconnect_followTheLink();
};

void tst_CardConsole::validCommand_changesTheCard_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("expected");
    QTest::newRow("sensors") << "sensors 4"
                             << "sensors 4 frequency 3 capacity 8 streaming 1";
    QTest::newRow("sensors upper bound") << "sensors 16"
                                         << "sensors 16 frequency 3 capacity 8 streaming 1";
    QTest::newRow("frequency") << "frequency 0"
                               << "sensors 16 frequency 0 capacity 8 streaming 1";
    QTest::newRow("capacity") << "capacity 2"
                              << "sensors 16 frequency 3 capacity 2 streaming 1";
    QTest::newRow("stream off") << "stream off"
                                << "sensors 16 frequency 3 capacity 8 streaming 0";
    QTest::newRow("extra spaces, upper case") << "  SENSORS   1 "
                                              << "sensors 1 frequency 3 capacity 8 streaming 1";
    QTest::newRow("empty line") << ""
                                << "sensors 16 frequency 3 capacity 8 streaming 1";
}

void tst_CardConsole::validCommand_changesTheCard()
{
    QFETCH(QString, command);
    QFETCH(QString, expected);
    CardModel card;
    card.setFrequencyIndex(3);
    PtyCardServer server(&card);
    CardConsole console(&card, &server);

    QVERIFY2(console.execute(command), qPrintable(console.lastError()));
    QCOMPARE(settings(card), expected);
}

void tst_CardConsole::invalidCommand_changesNothing_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("unknown") << "explode";
    QTest::newRow("unknown switch") << "explode on";
    QTest::newRow("no sensors") << "sensors 0";
    QTest::newRow("17 sensors") << "sensors 17";
    QTest::newRow("fractional sensors") << "sensors 2.5";
    QTest::newRow("frequency 5") << "frequency 5";
    QTest::newRow("negative frequency") << "frequency -1";
    QTest::newRow("corruption above 1") << "corrupt 1.5";
    QTest::newRow("split without delay") << "split 7";
    QTest::newRow("not a number") << "capacity many";
    QTest::newRow("missing value") << "sensors";
    QTest::newRow("hangup with value") << "hangup now";
}

void tst_CardConsole::invalidCommand_changesNothing()
{
    QFETCH(QString, command);
    CardModel card;
    PtyCardServer server(&card);
    QVERIFY(server.open());
    CardConsole console(&card, &server);
    const QString before = settings(card);

    QVERIFY(!console.execute(command));
    QVERIFY(!console.lastError().isEmpty());
    QCOMPARE(settings(card), before);
    QVERIFY(server.isOpen());
}

void tst_CardConsole::hangupAndReconnect_followTheLink()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("card"));
    CardModel card;
    PtyCardServer server(&card);
    QVERIFY2(server.open(link), qPrintable(server.errorString()));
    CardConsole console(&card, &server);
    const QString firstLine = server.terminalPath();
    QCOMPARE(QFileInfo(link).symLinkTarget(), firstLine);

    QVERIFY(console.execute(QStringLiteral("hangup")));
    QVERIFY(!server.isOpen());
    QVERIFY2(console.execute(QStringLiteral("reconnect")), qPrintable(console.lastError()));

    QVERIFY(server.isOpen());
    QCOMPARE(server.portName(), link);
    QCOMPARE(QFileInfo(link).symLinkTarget(), server.terminalPath());
    QVERIFY(QFileInfo::exists(server.terminalPath()));
}

QTEST_GUILESS_MAIN(tst_CardConsole)
#include "tst_cardconsole.moc"
