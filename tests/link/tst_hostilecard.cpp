// SPDX-License-Identifier: GPL-3.0-or-later
// Replies nobody asked for, by the thousand, from the simulated card over a pseudo-terminal to
// the driver-card object on its worker thread: they change nothing, and each kind is summed up
// in the diagnostics instead of writing one line per frame.

#include "cardmodel.h"
#include "simulatedcard.h"
#include "timergapprobe.h"
#include "workerport.h"

#include <QMutex>
#include <QRegularExpression>
#include <QtTest>

namespace {

constexpr int kFlood = 2000;
QMutex g_linesLock;
QStringList g_lines;

void keepLinkLines(QtMsgType, const QMessageLogContext &context, const QString &text)
{
    if (qstrcmp(context.category, "eskin.link") != 0)
        return;
    const QMutexLocker lock(&g_linesLock);
    g_lines << text;
}

// How many occurrences the lines of one kind stand for: one each, or the count they name.
int occurrences(const QString &kind)
{
    const QMutexLocker lock(&g_linesLock);
    int sum = 0;
    for (const QString &line : g_lines.filter(kind)) {
        const QRegularExpressionMatch count = QRegularExpression(R"(\((\d+) times)").match(line);
        sum += count.hasMatch() ? count.captured(1).toInt() : 1;
    }
    return sum;
}

} // namespace

class tst_HostileCard : public QObject
{
    Q_OBJECT

private slots:
    void unaskedReplies_changeNothing_summedUp_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("kind");
        QTest::newRow("frequency 84") << QByteArray::fromHex("a5038401 2d") << "(command 84)";
        QTest::newRow("baseline 81")
            << QByteArray::fromHex("a50881000100020003 34") << "(command 81)";
        QTest::newRow("point 88") << QByteArray::fromHex("a50688000064 00 97") << "(command 88)";
        QTest::newRow("entries 8c") << QByteArray::fromHex("a5048c0000 35") << "(command 8c)";
        QTest::newRow("status 83") << QByteArray::fromHex("a5038300 2b") << "reply 83 is not";
    }
    void unaskedReplies_changeNothing_summedUp()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, kind);
        SimulatedCard card;
        QVERIFY(card.start(QString(), [](CardModel &model) { model.setStreaming(false); }));
        WorkerPort worker;
        worker.open(card.portName());
        QTRY_COMPARE(worker.count(QStringLiteral("sampleFreResult 0 0 3")), 1);
        worker.clear();
        const QtMessageHandler previous = qInstallMessageHandler(keepLinkLines);
        // Also when a check fails: the next row counts its own lines only.
        const auto restore = qScopeGuard([previous] {
            qInstallMessageHandler(previous);
            const QMutexLocker lock(&g_linesLock);
            g_lines.clear();
        });
        // The terminal drops what the host is slow to take: the frames counted are the codec's.
        const auto taken = [&] {
            quint64 frames = 0;
            worker.runBlocking([&](MySerialport &port) {
                frames = port.linkCounters().framesByCommand[quint8(frame.at(2))];
            });
            return int(frames);
        };
        const int before = taken();
        const TimerGapProbe probe;

        card.withModel([&](CardModel &model) { emit model.bytesToHost(frame.repeated(kFlood)); });
        // Answered behind the flood, so its answer marks the end of it. A host slowed down (a
        // sanitizer build beside other tests) may give up waiting first: it then asks again.
        const QStringList answered{QStringLiteral("demarcateOperationResult 135 0 0")};
        QElapsedTimer asking;
        asking.start();
        QStringList replies;
        do {
            worker.clear();
            worker.run([](MySerialport &port) { port.demarcateRemoveAll(); });
            QTRY_VERIFY_WITH_TIMEOUT(!(replies = worker.replies()).isEmpty(), 10000);
        } while (replies != answered && !asking.hasExpired(60000));
        QCOMPARE(replies, answered);
        const int flood = taken() - before;
        QVERIFY2(flood > kFlood / 4, qPrintable(QString::number(flood)));
        QVERIFY(occurrences(kind) < flood); // summed up: not all told yet
        QElapsedTimer sinceLine;            // the throttle's second, then one more
        sinceLine.start();
        QTRY_VERIFY(sinceLine.hasExpired(1000));

        card.withModel([&](CardModel &model) { emit model.bytesToHost(frame); });
        QTRY_COMPARE(occurrences(kind), flood + 1);
        QCOMPARE(worker.port->freIndex(), 3);
        QVERIFY2(probe.longestGapMs() < 100, qPrintable(QString::number(probe.longestGapMs())));
    }
};

QTEST_MAIN(tst_HostileCard)
#include "tst_hostilecard.moc"
