// SPDX-License-Identifier: GPL-3.0-or-later
// eskin-record as a script runs it against eskin-card-sim: good recordings, a replay recorded
// again, clean and killed ends, and every failure with its exit code and its one-line cause.

#include "recordcompare.h"
#include "recordformat.h"
#include "recordreader.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

// Ends the card as an operator would, with SIGTERM, so that it removes its link.
struct CardProcess : QProcess
{
    ~CardProcess() override
    {
        if (state() == QProcess::Running) {
            ::kill(pid_t(processId()), SIGTERM);
            waitForFinished(5000);
        }
    }
};

// A card on its own pseudo-terminal, under a link in `dir`.
std::unique_ptr<QProcess> startCard(const QTemporaryDir &dir, const QStringList &options)
{
    std::unique_ptr<QProcess> card = std::make_unique<CardProcess>();
    card->start(QStringLiteral(ESKIN_CARD_SIM),
                QStringList{QStringLiteral("--link"), dir.filePath(QStringLiteral("card"))} +
                    options);
    if (!card->waitForStarted())
        return nullptr;
    for (int i = 0; i < 50 && !card->canReadLine(); ++i)
        card->waitForReadyRead(100);
    return card;
}

QStringList recorderArguments(const QTemporaryDir &dir, const QStringList &more)
{
    return QStringList{QStringLiteral("--port"), dir.filePath(QStringLiteral("card"))} + more;
}

// Runs eskin-record to its end; its exit code and standard error.
std::pair<int, QString> runRecorder(const QStringList &arguments)
{
    QProcess recorder;
    recorder.start(QStringLiteral(ESKIN_RECORD), arguments);
    if (!recorder.waitForFinished(20000))
        return {-1, QStringLiteral("did not end")};
    return {recorder.exitCode(), QString::fromLocal8Bit(recorder.readAllStandardError())};
}

} // namespace

class tst_EskinRecord : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void badArguments_exitTwoWithUsage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no port") << QStringList{"--frames", "5", "--output", "-"};
        QTest::newRow("no output") << QStringList{"--port", "/dev/null", "--frames", "5"};
        QTest::newRow("no limit") << QStringList{"--port", "/dev/null", "--output", "-"};
        QTest::newRow("two limits")
            << QStringList{"--port", "p", "--output", "-", "--frames", "5", "--seconds", "1"};
        QTest::newRow("frequency 30")
            << QStringList{"--port", "p", "--output", "-", "--frames", "5", "--frequency", "30"};
        QTest::newRow("no frames") << QStringList{"--port", "p", "--output", "-", "--frames", "0"};
        QTest::newRow("negative time")
            << QStringList{"--port", "p", "--output", "-", "--seconds", "-1"};
        QTest::newRow("quiet progress") << QStringList{"--port",   "p", "--output", "-",
                                                       "--frames", "5", "--quiet",  "--progress"};
        QTest::newRow("stray argument")
            << QStringList{"--port", "p", "--output", "-", "--frames", "5", "extra"};
    }

    void badArguments_exitTwoWithUsage()
    {
        QFETCH(QStringList, arguments);
        const auto [code, error] = runRecorder(arguments);
        QCOMPARE(code, 2);
        QVERIFY2(error.startsWith(QLatin1String("eskin-record: ")), qPrintable(error));
        QVERIFY(error.contains(QLatin1String("Usage:")));
    }

    void failure_exitsOneNamingCause_data()
    {
        QTest::addColumn<QStringList>("card");
        QTest::addColumn<QStringList>("recorder");
        QTest::addColumn<QString>("cause");
        QTest::newRow("no such port") << QStringList() << QStringList{"--port", "/nonexistent"}
                                      << "cannot open /nonexistent: ";
        QTest::newRow("no sensor data")
            << QStringList{"--no-stream"} << QStringList() << "no sensor data from %1 within 2 s";
        QTest::newRow("frequency refused")
            << QStringList{"--refuse"} << QStringList{"--frequency", "50"}
            << "the card on %1 refused the frequency 50 Hz";
        QTest::newRow("frequency unanswered")
            << QStringList{"--silent"} << QStringList{"--frequency", "50"}
            << "the card on %1 did not answer the frequency request within 2 s";
        QTest::newRow("full disk")
            << QStringList() << QStringList{"--output", "/dev/full"} << "cannot write /dev/full: ";
    }

    void failure_exitsOneNamingCause()
    {
        QFETCH(QStringList, card);
        QFETCH(QStringList, recorder);
        QFETCH(QString, cause);
        const auto sim = startCard(m_dir, card);
        QVERIFY(sim);
        const QString output = m_dir.filePath(QStringLiteral("out.csv"));
        // Later options win, so a row's --port or --output replaces the default.
        const auto [code, error] = runRecorder(recorderArguments(
            m_dir, QStringList{"--frames", "100", "--output", output} + recorder));
        QCOMPARE(code, 1);
        cause.replace(QLatin1String("%1"), m_dir.filePath(QStringLiteral("card")));
        QVERIFY2(error.startsWith(QStringLiteral("eskin-record: ") + cause), qPrintable(error));
        QCOMPARE(error.count(u'\n'), 1);
    }

    void replayRecordedAgain_givesTheSameReadings()
    {
        const QString original = m_dir.filePath(QStringLiteral("original.csv"));
        auto sim = startCard(m_dir, {"--seed", "5", "--sensors", "16"});
        QVERIFY(sim);
        auto [code, error] = runRecorder(recorderArguments(
            m_dir, {"--frequency", "200", "--frames", "400", "--output", original}));
        QVERIFY2(code == 0, qPrintable(error));
        RecordReader first;
        QVERIFY2(first.read(original), qPrintable(first.errorString()));
        QCOMPARE(first.frames().size(), std::size_t(400));
        // 200 frames a second: 399 intervals of 5 ms, give or take a late frame.
        QVERIFY(qAbs(first.frames().back().timeUs - 1995000) < 200000);
        sim.reset();

        const QString again = m_dir.filePath(QStringLiteral("again.csv"));
        sim = startCard(m_dir, {"--replay", original});
        QVERIFY(sim);
        std::tie(code, error) =
            runRecorder(recorderArguments(m_dir, {"--frames", "200", "--output", again}));
        QVERIFY2(code == 0, qPrintable(error));
        RecordReader second;
        QVERIFY2(second.read(again), qPrintable(second.errorString()));
        const ReplayMatch match = matchReplay(first.frames(), second.frames());
        QVERIFY2(match.problem.isEmpty(), qPrintable(match.problem));
        QVERIFY2(match.medianSkewUs < 5000, qPrintable(QString::number(match.medianSkewUs)));
    }

    // A replay waits for its host, starts again for each (or goes on, looping), and is a card
    // of the recording's rate that refuses another.
    void replay_playsToEachHost_atTheRecordingsRate_data()
    {
        QTest::addColumn<QByteArray>("comment");
        QTest::addColumn<bool>("loop");
        QTest::addColumn<int>("rate");
        QTest::newRow("rate of the rows") << QByteArray() << false << 200;
        QTest::newRow("rate of its line, looping")
            << QByteArray("# frequency_hz: 20\n") << true << 20;
    }

    void replay_playsToEachHost_atTheRecordingsRate()
    {
        QFETCH(QByteArray, comment);
        QFETCH(bool, loop);
        QFETCH(int, rate);
        // One second at 200 Hz, numbered by s0_x.
        QByteArray content = comment + RecordFormat::headerLine() + '\n';
        for (int i = 0; i < 200; ++i)
            RecordFormat::appendFrameLine(content, i * 5000, {{qint16(i), 1, 2}, {3, 4, 5}}, 2);
        const QString original = m_dir.filePath(QStringLiteral("short.csv"));
        QFile file(original);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        const auto sim = startCard(m_dir, QStringList{"--replay", original} +
                                              (loop ? QStringList{"--loop"} : QStringList()));
        QVERIFY(sim);
        qint16 firstOfEach[2] = {};
        for (qint16 &first : firstOfEach) {
            const QString output = m_dir.filePath(QStringLiteral("again.csv"));
            const auto [code, error] =
                runRecorder(recorderArguments(m_dir, {"--frames", "15", "--output", output}));
            QVERIFY2(code == 0, qPrintable(error));
            RecordReader reader;
            QVERIFY2(reader.read(output), qPrintable(reader.errorString()));
            QCOMPARE(reader.header().frequencyHz, rate);
            first = reader.frames().front().readings[0].x;
        }
        // The recorder itself misses the frames that arrive while it asks for the frequency.
        constexpr qint16 kSetUpFrames = 10;
        QVERIFY2(firstOfEach[0] < kSetUpFrames, qPrintable(QString::number(firstOfEach[0])));
        QVERIFY2(loop ? firstOfEach[1] >= 15 : firstOfEach[1] < kSetUpFrames,
                 qPrintable(QString::number(firstOfEach[1])));
        const auto [code, error] = runRecorder(recorderArguments(
            m_dir, {"--frequency", "10", "--frames", "5", "--output", m_dir.filePath("x.csv")}));
        QCOMPARE(code, 1);
        QVERIFY2(error.contains(QLatin1String("refused the frequency 10 Hz (status 1)")),
                 qPrintable(error));
    }

    void endBySignal_leavesCompleteLines_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("clean");
        QTest::newRow("SIGTERM") << int(SIGTERM) << true;
        QTest::newRow("SIGINT") << int(SIGINT) << true;
        QTest::newRow("SIGKILL") << int(SIGKILL) << false;
    }

    void endBySignal_leavesCompleteLines()
    {
        QFETCH(int, signal);
        QFETCH(bool, clean);
        const auto sim = startCard(m_dir, {"--frequency", "4"});
        QVERIFY(sim);
        const QString output =
            m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".csv"));
        QProcess recorder;
        recorder.start(QStringLiteral(ESKIN_RECORD),
                       recorderArguments(m_dir, {"--seconds", "60", "--output", output}));
        QVERIFY(recorder.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(output).size() > 20000, 10000);
        ::kill(pid_t(recorder.processId()), signal);
        QVERIFY(recorder.waitForFinished(5000));
        QCOMPARE(recorder.exitStatus() == QProcess::NormalExit && recorder.exitCode() == 0, clean);
        RecordReader reader;
        QVERIFY2(reader.read(output), qPrintable(reader.errorString()));
        QVERIFY(reader.frames().size() > 50);
        if (clean)
            QVERIFY(reader.warnings().isEmpty());
    }

    void streamThatStops_endsWithCause()
    {
        const auto sim = startCard(m_dir, {});
        QVERIFY(sim);
        const QString output = m_dir.filePath(QStringLiteral("stopped.csv"));
        QProcess recorder;
        recorder.start(QStringLiteral(ESKIN_RECORD),
                       recorderArguments(m_dir, {"--frames", "1000000", "--output", output}));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(output).size() > 5000, 10000);
        sim->write("stream off\n");
        QVERIFY(sim->waitForBytesWritten());
        QVERIFY(recorder.waitForFinished(10000));
        QCOMPARE(recorder.exitCode(), 1);
        QVERIFY(recorder.readAllStandardError().contains(" stopped for 2 s after "));
        RecordReader reader;
        QVERIFY2(reader.read(output), qPrintable(reader.errorString()));
        QVERIFY(reader.warnings().isEmpty());
    }

    void replayOfBadFile_isRefusedBeforeTheCardStarts()
    {
        const QString bad = m_dir.filePath(QStringLiteral("bad.csv"));
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("time_s,sensors\n");
        file.close();
        QProcess sim;
        sim.start(QStringLiteral(ESKIN_CARD_SIM), {QStringLiteral("--replay"), bad});
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 1);
        QVERIFY(sim.readAllStandardOutput().isEmpty()); // no terminal was opened
        QVERIFY(
            sim.readAllStandardError().startsWith((bad + QStringLiteral(":1: ")).toLocal8Bit()));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(tst_EskinRecord)
#include "tst_eskinrecord.moc"
