// SPDX-License-Identifier: GPL-3.0-or-later
// eskin-record as a script runs it against eskin-card-sim: good recordings, a replay recorded
// again, clean and killed ends, the stream served to clients (the example client and one that
// half-closes among them) with markers from standard input, a reader of standard output that
// stands still, hang-ups ridden through with --reconnect, refused clients, and every failure
// with its exit code and its one-line cause.

#include "cardsimprocess.h"
#include "markerinput.h"
#include "recordcompare.h"
#include "recordformat.h"
#include "recordreader.h"
#include "recordwriter.h"
#include "testfile.h"
#include "unwritablenode.h"

#include <QBuffer>
#include <QProcess>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

#include <fcntl.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A card on its own pseudo-terminal, under a link in `dir`.
std::unique_ptr<QProcess> startCard(const QTemporaryDir &dir, const QStringList &options)
{
    return startCardSim(dir.filePath(QStringLiteral("card")), options);
}

QStringList recorderArguments(const QTemporaryDir &dir, const QStringList &more)
{
    return QStringList{QStringLiteral("--port"), dir.filePath(QStringLiteral("card"))} + more;
}

// The port eskin-record serves on, from its line on standard error, which is kept in `errors`;
// empty when it does not come.
QString servedPort(QProcess &recorder, QByteArray &errors)
{
    static const QRegularExpression serving(
        QStringLiteral("serving the stream on 127.0.0.1:(\\d+)\n"));
    QString port;
    [[maybe_unused]] const bool served = QTest::qWaitFor(
        [&] {
            errors += recorder.readAllStandardError();
            port = serving.match(QString::fromLatin1(errors)).captured(1);
            return !port.isEmpty();
        },
        10000);
    return port;
}

// A client of the stream that keeps all it receives.
struct StreamClient
{
    explicit StreamClient(const QString &port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { bytes += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port.toUShort());
    }
    bool read(RecordReader &reader)
    {
        QBuffer buffer(&bytes);
        return buffer.open(QIODevice::ReadOnly) && reader.read(buffer, QStringLiteral("stream"));
    }
    QTcpSocket socket;
    QByteArray bytes;
};

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
        QTest::newRow("full disk") << QStringList() << QStringList{"--output", "/dev/full"}
                                   << "cannot write /dev/full: No space left on device";
        QTest::newRow("serve on a port in use")
            << QStringList() << QStringList{"--serve", "%port"}
            << "cannot serve on 127.0.0.1:%port: The bound address is already in use";
        QTest::newRow("serve on another machine's address")
            << QStringList() << QStringList{"--serve", "192.0.2.1:5555"}
            << "cannot serve on 192.0.2.1:5555: The address is not available";
    }

    void failure_exitsOneNamingCause()
    {
        QFETCH(QStringList, card);
        QFETCH(QStringList, recorder);
        QFETCH(QString, cause);
        const auto sim = startCard(m_dir, card);
        QVERIFY(sim);
        QTcpServer occupant; // holds the port in use
        QVERIFY(occupant.listen(QHostAddress::LocalHost));
        const QString inUse = QString::number(occupant.serverPort());
        recorder.replaceInStrings(QStringLiteral("%port"), inUse);
        cause.replace(QLatin1String("%port"), inUse);
        // An earlier recording that a failed run must leave as it was.
        const QString output = m_dir.filePath(QStringLiteral("out.csv"));
        QVERIFY(writeTestFile(output, "earlier\n"));
        // Later options win, so a row's --port or --output replaces the default.
        const auto [code, error] = runRecorder(recorderArguments(
            m_dir, QStringList{"--frames", "100", "--output", output} + recorder));
        QCOMPARE(code, 1);
        cause.replace(QLatin1String("%1"), m_dir.filePath(QStringLiteral("card")));
        QVERIFY2(error.startsWith(QStringLiteral("eskin-record: ") + cause), qPrintable(error));
        QCOMPARE(error.count(u'\n'), 1);
        QFile earlier(output);
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier\n"));
    }

    void noPermission_givesTheWindowsAdvice()
    {
        QTemporaryFile locked;
        const QString node = unwritableNode(locked);
        QVERIFY(!node.isEmpty());
        const auto [code, error] =
            runRecorder({"--port", node, "--frames", "5", "--output", m_dir.filePath("n.csv")});
        QCOMPARE(code, 1);
        const QString remedy = permissionRemedy(node);
        QVERIFY2(
            error.startsWith(
                QStringLiteral("eskin-record: cannot open %1: Permission denied; ").arg(node)) &&
                error.contains(remedy) && error.count(u'\n') == 1,
            qPrintable(error));
    }

    // Nothing is written before the card's frequency is settled: the test's own terminal never
    // answers the frequency read.
    void interruptedWhileOpening_leavesNoFile()
    {
        int master = -1;
        int slave = -1;
        char name[128] = {};
        QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
        const QString output = m_dir.filePath(QStringLiteral("never.csv"));
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        QProcess recorder;
        recorder.start(QStringLiteral(ESKIN_RECORD),
                       {"--port", name, "--frames", "5", "--output", output});
        char request[16];
        bool asked = false; // what the recorder sends first is the frequency read
        QTRY_VERIFY_WITH_TIMEOUT(asked || (asked = ::read(master, request, sizeof request) > 0),
                                 10000);
        ::kill(pid_t(recorder.processId()), SIGINT);
        QVERIFY(recorder.waitForFinished(5000));
        ::close(master);
        ::close(slave);
        QCOMPARE(recorder.exitCode(), 1);
        QCOMPARE(recorder.readAllStandardError(),
                 QByteArray("eskin-record: interrupted while opening ") + name + '\n');
        QVERIFY(!QFileInfo::exists(output));
    }

    void replayRecordedAgain_givesTheSameReadings()
    {
        const QString original = m_dir.filePath(QStringLiteral("original.csv"));
        auto sim = startCard(m_dir, {"--seed", "5", "--sensors", "16"});
        QVERIFY(sim);
        auto [code, error] = runRecorder(recorderArguments(
            m_dir, {"--frequency", "200", "--frames", "400", "--output", original}));
        QVERIFY2(code == 0, qPrintable(error));
        // One line ends the run: what was written, what was dropped, and where.
        QCOMPARE(error, QStringLiteral("eskin-record: 400 frames written to %1, 0 dropped (bad "
                                       "checksum)\n")
                            .arg(original));
        RecordReader first;
        QVERIFY2(first.read(original), qPrintable(first.errorString()));
        QCOMPARE(first.frames().size(), std::size_t(400));
        // 200 frames a second: 399 intervals of 5 ms, give or take a late frame.
        QVERIFY(qAbs(first.frames().back().timeUs - 1995000) < 200000);
        sim.reset();

        const QString again = m_dir.filePath(QStringLiteral("again.csv"));
        sim = startCard(m_dir, {"--replay", original});
        QVERIFY(sim);
        std::tie(code, error) = runRecorder(
            recorderArguments(m_dir, {"--frames", "200", "--output", again, "--quiet"}));
        QCOMPARE(code, 0);
        QCOMPARE(error, QString());
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
        QVERIFY(writeTestFile(original, content));
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
        // Frames are taken from the open on, also while the recorder asks for the frequency.
        QCOMPARE(firstOfEach[0], qint16(0));
        QVERIFY2(loop ? firstOfEach[1] >= 15 : firstOfEach[1] == 0,
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
        QTest::newRow("SIGHUP") << int(SIGHUP) << true;
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
        // The port by a name relative to the working folder.
        QProcess recorder;
        recorder.setWorkingDirectory(m_dir.path());
        recorder.start(QStringLiteral(ESKIN_RECORD),
                       {"--port", "card", "--seconds", "60", "--output", output});
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

    // Two clients and the example client connect while a recording is made of the same stream;
    // one of the two shuts down its sending side at once, as `nc -N` does. The recording runs
    // until a signal, once the example client has had its frames and the markers have come: a
    // run that ends first would leave a client that starts late without a server to connect to.
    void servedStream_isTheRecordingsFramesForEveryClient()
    {
        const auto sim = startCard(m_dir, {"--frequency", "4", "--seed", "3"});
        QVERIFY(sim);
        const QString output = m_dir.filePath(QStringLiteral("served.csv"));
        QProcess recorder;
        recorder.start(QStringLiteral(ESKIN_RECORD),
                       recorderArguments(m_dir, {"--serve", "127.0.0.1:0", "--output", output}));
        QByteArray notices;
        const QString port = servedPort(recorder, notices);
        QVERIFY(!port.isEmpty());
        QProcess example;
        example.start(QStringLiteral(PYTHON3), {QStringLiteral(STREAM_CLIENT), port,
                                                QStringLiteral("--frames"), QStringLiteral("50")});
        StreamClient clients[2] = {StreamClient(port), StreamClient(port)};
        QTRY_COMPARE(clients[1].socket.state(), QAbstractSocket::ConnectedState);
        QCOMPARE(::shutdown(int(clients[1].socket.socketDescriptor()), SHUT_WR), 0);
        // Lines on standard input mark frames once both clients receive them.
        QTRY_VERIFY(clients[0].bytes.size() > 4000 && clients[1].bytes.size() > 4000);
        recorder.write("load on\r\n" + QByteArray(MarkerInput::kMaxLineBytes + 10, 'x') +
                       "\nload off");
        recorder.closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(example.state() == QProcess::NotRunning, 20000);
        QVERIFY2(example.exitCode() == 0, example.readAllStandardError().constData());
        QTRY_VERIFY(clients[0].bytes.contains(",3,load off\n") &&
                    clients[1].bytes.contains(",3,load off\n"));
        ::kill(pid_t(recorder.processId()), SIGTERM);
        QVERIFY(recorder.waitForFinished(20000));
        QCOMPARE(recorder.exitCode(), 0);

        RecordReader recording;
        QVERIFY(recording.read(output));
        QStringList labels;
        for (const RecordMarker &marker : recording.markers())
            labels << QString::number(marker.number) + u' ' + marker.label.left(3);
        QCOMPARE(labels, QStringList({"1 loa", "2 xxx", "3 loa"}));
        QCOMPARE(recording.markers().back().label, QStringLiteral("load off"));
        QByteArray streams[2];
        for (int i = 0; i < 2; ++i) {
            QTRY_COMPARE(clients[i].socket.state(), QAbstractSocket::UnconnectedState);
            streams[i] = clients[i].bytes;
            RecordReader streamed;
            QVERIFY(clients[i].read(streamed));
            const ReplayMatch match = matchReplay(recording.frames(), streamed.frames());
            QVERIFY2(match.problem.isEmpty(), qPrintable(match.problem));
            QVERIFY(sameFrame(streamed.frames().back(), recording.frames().back()));
            // Each marker on the same frame, the newest when its line was read, on both.
            QCOMPARE(streamed.markers().size(), recording.markers().size());
            for (std::size_t m = 0; m < recording.markers().size(); ++m) {
                const auto rowOf = [](const RecordReader &r, std::size_t marker) {
                    return r.frames().at(std::size_t(r.markers().at(marker).frameIndex));
                };
                QVERIFY(sameFrame(rowOf(streamed, m), rowOf(recording, m)));
            }
        }
        // The same head and the same lines, times included, whenever a client came.
        const QByteArray header = RecordWriter::headerLine() + '\n';
        const qsizetype body[2] = {streams[0].indexOf(header) + header.size(),
                                   streams[1].indexOf(header) + header.size()};
        QCOMPARE(streams[0].left(body[0]), streams[1].left(body[1]));
        const qsizetype shorter = qMin(streams[0].size() - body[0], streams[1].size() - body[1]);
        QCOMPARE(streams[0].right(shorter), streams[1].right(shorter));

        // The example client's last readings are those of a recorded frame.
        const QString printed = QString::fromUtf8(example.readAllStandardOutput());
        QVERIFY2(printed.contains(QLatin1String("received 50 frames")), qPrintable(printed));
        RecordedFrame last{};
        const QRegularExpression cell(QStringLiteral(R"(s(\d+) \((-?\d+), (-?\d+), (-?\d+)\))"));
        for (auto it = cell.globalMatch(printed.mid(printed.lastIndexOf("frames/s")));
             it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            last.sensors = m.captured(1).toInt() + 1;
            last.readings[std::size_t(last.sensors - 1)] = {qint16(m.captured(2).toInt()),
                                                            qint16(m.captured(3).toInt()),
                                                            qint16(m.captured(4).toInt())};
        }
        QVERIFY(std::any_of(recording.frames().begin(), recording.frames().end(),
                            [&](const RecordedFrame &f) { return sameFrame(f, last); }));
    }

    // A reader of standard output that stands still holds up neither the stream nor a signal:
    // whole rows are left out, with a gap line before the first row after them, counted, and
    // the run ends with status 1 saying so.
    void slowReader_losesWholeRows_andHoldsUpNothing_data()
    {
        QTest::addColumn<bool>("readsAgain");
        QTest::newRow("reader reads again") << true;
        QTest::newRow("reader never reads again") << false;
    }

    void slowReader_losesWholeRows_andHoldsUpNothing()
    {
        QFETCH(bool, readsAgain);
        const auto sim = startCard(m_dir, {"--frequency", "4", "--seed", "4"});
        QVERIFY(sim);
        int pipeEnds[2] = {-1, -1};
        QVERIFY(::pipe2(pipeEnds, O_CLOEXEC) == 0);
        QProcess recorder;
        recorder.setChildProcessModifier([out = pipeEnds[1]] { ::dup2(out, STDOUT_FILENO); });
        recorder.start(
            QStringLiteral(ESKIN_RECORD),
            recorderArguments(m_dir, {"--serve", "127.0.0.1:0", "--output", "-", "--progress"}));
        ::close(pipeEnds[1]);
        QByteArray errors;
        StreamClient client(servedPort(recorder, errors));
        QByteArray output;
        QSocketNotifier readable(pipeEnds[0], QSocketNotifier::Read);
        connect(&readable, &QSocketNotifier::activated, this, [&] {
            char chunk[65536];
            output.append(chunk, qMax<ssize_t>(::read(pipeEnds[0], chunk, sizeof chunk), 0));
        });
        readable.setEnabled(false);
        QTRY_VERIFY_WITH_TIMEOUT(
            (errors += recorder.readAllStandardError(), errors.contains(" left out of the output")),
            60000);
        readable.setEnabled(readsAgain);
        if (readsAgain)
            QTRY_VERIFY_WITH_TIMEOUT(output.indexOf("# gap: ") > 0 &&
                                         output.size() - output.indexOf("# gap: ") > 20000,
                                     30000);
        ::kill(pid_t(recorder.processId()), SIGTERM);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.state(), QProcess::NotRunning,
                                  RecordWriter::kDrainMs + 5000);
        QCOMPARE(recorder.exitCode(), 1);
        errors += recorder.readAllStandardError();
        const QRegularExpression leftOut(QStringLiteral(
            "eskin-record: (\\d+) frames written to standard output, \\d+ dropped "
            "\\(bad checksum\\); (\\d+) more left out \\(the gap lines say where\\)"));
        const QRegularExpressionMatch said = leftOut.match(QString::fromLatin1(errors));
        QVERIFY2(said.hasMatch(), errors.constData());
        ::close(pipeEnds[0]);
        if (!readsAgain)
            return;

        // Each stretch of rows between gap lines is a run of the stream's frames, and the
        // stream has the rows left out between them. It starts once the frequency is settled,
        // a few rows after the file.
        QTRY_COMPARE(client.socket.state(), QAbstractSocket::UnconnectedState);
        RecordReader file;
        RecordReader stream;
        QBuffer written(&output);
        QVERIFY(written.open(QIODevice::ReadOnly) && file.read(written, QStringLiteral("output")));
        QVERIFY(client.read(stream));
        const std::vector<RecordedFrame> &rows = file.frames();
        QCOMPARE(qint64(rows.size()), said.captured(1).toLongLong());
        QVERIFY(!file.gaps().empty());
        QCOMPARE(file.gaps().front().cause, QStringLiteral("output too slow"));
        const qint64 first = std::find_if(rows.begin(), rows.end(),
                                          [&](const RecordedFrame &row) {
                                              return sameFrame(row, stream.frames().front());
                                          }) -
                             rows.begin();
        QVERIFY(first < file.gaps().front().frameIndex);
        qint64 from = first;
        for (std::size_t gap = 0; gap <= file.gaps().size(); ++gap) {
            const qint64 to =
                gap < file.gaps().size() ? file.gaps().at(gap).frameIndex : qint64(rows.size());
            const ReplayMatch match =
                matchReplay(stream.frames(),
                            std::vector<RecordedFrame>(rows.begin() + from, rows.begin() + to));
            QVERIFY2(match.problem.isEmpty(), qPrintable(match.problem));
            from = to;
        }
        QCOMPARE(qint64(stream.frames().size()),
                 qint64(rows.size()) - first + said.captured(2).toLongLong());
    }

    // A card that hangs up twice: with --reconnect the recording and the stream go on, each
    // time after a gap line, and standard error tells each step; without, the first hang-up
    // ends both. A marker given before the first frame follows it, in the file and on the stream.
    void hangUps_areRiddenThroughOnlyWithReconnect_data()
    {
        QTest::addColumn<bool>("reconnect");
        QTest::newRow("--reconnect") << true;
        QTest::newRow("without") << false;
    }

    void hangUps_areRiddenThroughOnlyWithReconnect()
    {
        QFETCH(bool, reconnect);
        // A card that streams only once the client is there: the recorder waits with --reconnect.
        const auto sim = startCard(m_dir, reconnect ? QStringList{"--no-stream"} : QStringList());
        QVERIFY(sim);
        const QString output = m_dir.filePath(QStringLiteral("hung-up.csv"));
        QProcess recorder;
        recorder.start(
            QStringLiteral(ESKIN_RECORD),
            recorderArguments(
                m_dir, QStringList{"--serve", "127.0.0.1:0", "--output", output, "--progress"} +
                           (reconnect ? QStringList{"--reconnect"} : QStringList())));
        recorder.write("before the first frame\n");
        QByteArray errors;
        const auto said = [&](const QString &text) {
            errors += recorder.readAllStandardError();
            return int(errors.count(text.toUtf8()));
        };
        StreamClient client(servedPort(recorder, errors));
        QTRY_VERIFY_WITH_TIMEOUT(said(", 1 stream clients"), 10000);
        sim->write("stream on\n");
        const int hangUps = reconnect ? 2 : 1;
        for (int round = 1; round <= hangUps; ++round) {
            const qsizetype before = client.bytes.count('\n');
            QTRY_VERIFY_WITH_TIMEOUT(client.bytes.count('\n') > before + 100, 10000);
            sim->write("hangup\n");
            QTRY_COMPARE_WITH_TIMEOUT(said("lost the port"), round, 10000);
            if (reconnect) {
                sim->write("reconnect\n");
                QTRY_COMPARE_WITH_TIMEOUT(said("reconnected to"), round, 10000);
            }
        }
        if (reconnect) {
            const qsizetype before = client.bytes.count('\n');
            QTRY_VERIFY_WITH_TIMEOUT(client.bytes.count('\n') > before + 100, 10000);
            ::kill(pid_t(recorder.processId()), SIGTERM);
        }
        QTRY_COMPARE_WITH_TIMEOUT(recorder.state(), QProcess::NotRunning, 10000);
        QCOMPARE(recorder.exitCode(), reconnect ? 0 : 1);
        QCOMPARE(said(QStringLiteral("eskin-record: lost the port %1\n")
                          .arg(m_dir.filePath(QStringLiteral("card")))),
                 reconnect ? 0 : 1);

        QTRY_COMPARE(client.socket.state(), QAbstractSocket::UnconnectedState);
        RecordReader file;
        RecordReader stream;
        QVERIFY2(file.read(output), qPrintable(file.errorString()));
        QVERIFY2(client.read(stream), qPrintable(stream.errorString()));
        for (const RecordReader *read : {&file, &stream}) {
            QCOMPARE(read->gaps().size(), std::size_t(reconnect ? 2 : 0));
            for (const RecordGap &gap : read->gaps())
                QVERIFY(gap.cause == QStringLiteral("port lost") && gap.frameIndex > 50);
            if (!reconnect)
                continue;
            QCOMPARE(read->markers().size(), std::size_t(1));
            QCOMPARE(read->markers().front().frameIndex, 0);
            QCOMPARE(read->markers().front().label, QStringLiteral("before the first frame"));
        }
    }

    // The 65th client, and a client that sends more than 64 KiB, are refused: a line names
    // each with its address and the reason, and the progress line counts them.
    void refusedClient_isLoggedAndCounted_data()
    {
        QTest::addColumn<int>("clients");
        QTest::addColumn<QString>("reason");
        QTest::newRow("the 65th") << 65 << "64 clients are served already";
        QTest::newRow("sends too much") << 1 << "it sent more than 65536 bytes";
    }

    void refusedClient_isLoggedAndCounted()
    {
        QFETCH(int, clients);
        QFETCH(QString, reason);
        const auto sim = startCard(m_dir, {});
        QVERIFY(sim);
        QProcess recorder;
        recorder.start(QStringLiteral(ESKIN_RECORD),
                       recorderArguments(m_dir, {"--serve", "127.0.0.1:0", "--progress"}));
        QByteArray errors;
        const auto told = [&](const QString &text) {
            errors += recorder.readAllStandardError();
            return errors.contains(text.toUtf8());
        };
        const QString port = servedPort(recorder, errors);
        std::vector<std::unique_ptr<StreamClient>> connected;
        for (int i = 1; i <= clients; ++i) {
            if (i == clients) // once the others are all served
                QTRY_VERIFY_WITH_TIMEOUT(told(QStringLiteral(", %1 stream clients").arg(i - 1)),
                                         20000);
            connected.push_back(std::make_unique<StreamClient>(port));
        }
        QTcpSocket &refused = connected.back()->socket;
        // The 65th may be closed before a poll would see it connected: its port is taken then.
        quint16 localPort = refused.localPort();
        connect(&refused, &QTcpSocket::connected, this, [&] { localPort = refused.localPort(); });
        QTRY_VERIFY(localPort != 0);
        if (clients == 1)
            refused.write(QByteArray(70000, 'x'));
        const QString line =
            QStringLiteral("eskin-record: refused the stream client 127.0.0.1:%1: %2\n")
                .arg(localPort)
                .arg(reason);
        QTRY_VERIFY_WITH_TIMEOUT(told(line), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(told(QStringLiteral(", 1 refused\n")), 10000);
        QTRY_COMPARE(refused.state(), QAbstractSocket::UnconnectedState);
        ::kill(pid_t(recorder.processId()), SIGTERM);
        QVERIFY(recorder.waitForFinished(10000));
        QCOMPARE(recorder.exitCode(), 0);
    }

    void replayOfBadFile_isRefusedBeforeTheCardStarts()
    {
        const QString bad = m_dir.filePath(QStringLiteral("bad.csv"));
        QVERIFY(writeTestFile(bad, "time_s,sensors\n"));
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
