// SPDX-License-Identifier: GPL-3.0-or-later
// Publishing to a real Mosquitto broker and recording from it, as a lab runs it: eskin-record
// publishing three simulated cards, eskin-record --from-mqtt and the example client reading
// them (over TLS, with a password that never stands on a command line), a late subscriber, and
// a broker stopped and started while the recordings run. The URL's rules first.

#include "cardsimprocess.h"
#include "mosquittobroker.h"
#include "mqttstreamrecording.h"
#include "mqtturl.h"
#include "recordcompare.h"
#include "recordreader.h"

#include <QBuffer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kUser[] = "eskin";
constexpr char kPassword[] = "s3cret pass";
constexpr int kWaitMs = 30000; // for what a loaded machine may take long over

// A program of the test's, ended with SIGTERM when the test leaves it running.
struct Program : QProcess
{
    ~Program() override
    {
        if (state() == QProcess::Running) {
            ::kill(pid_t(processId()), SIGTERM);
            waitForFinished(10000);
        }
    }
    // What it has printed on standard error so far.
    const QByteArray &errors() { return m_errors += readAllStandardError(); }
    // Ends it as an operator would, with SIGINT; its exit code.
    int interrupt()
    {
        ::kill(pid_t(processId()), SIGINT);
        return waitForFinished(kWaitMs) && exitStatus() == NormalExit ? exitCode() : -1;
    }

private:
    QByteArray m_errors;
};

std::vector<RecordedFrame> framesOf(const QString &path)
{
    RecordReader reader;
    return reader.read(path) ? reader.frames() : std::vector<RecordedFrame>();
}

// The file's rows end with the same frame as `local`'s.
bool endsLike(const QString &path, const QString &local)
{
    const std::vector<RecordedFrame> a = framesOf(path), b = framesOf(local);
    return !a.empty() && !b.empty() && sameFrame(a.back(), b.back());
}

// Every frame of `part` is one of `whole`'s, in the same order.
bool inOrderWithin(const std::vector<RecordedFrame> &part, const std::vector<RecordedFrame> &whole)
{
    auto next = whole.begin();
    for (const RecordedFrame &frame : part) {
        next = std::find_if(next, whole.end(), [&](const auto &f) { return sameFrame(f, frame); });
        if (next++ == whole.end())
            return false;
    }
    return true;
}

// The row of frame i of a stream: time i * 10 ms, one sensor reading i.
QByteArray row(int i)
{
    QByteArray line;
    RecordFormat::appendFrameLine(line, i * 10000, {{qint16(i), 0, 0}}, 1);
    return line;
}

} // namespace

class tst_Mqtt : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
        m_dir.setPath(m_folder->path());
    }

    void parseUrl_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("use");
        QTest::addColumn<QString>("parsed"); // the problem's number when refused
        const int publish = int(MqttUrl::Use::Publish), subscribe = int(MqttUrl::Use::Subscribe);
        const auto row = [](const char *text, int use, const QString &parsed) {
            QTest::newRow(text) << QString::fromUtf8(text) << use << parsed;
        };
        row("mqtt://127.0.0.1/lab/skin1", publish, "mqtt://127.0.0.1:1883/lab/skin1");
        row("MQTTS://Eskin@Broker.Lab/a", publish, "mqtts://Eskin@broker.lab:8883/a");
        row("mqtt://[::1]:1884/lab/skin%201", publish, "mqtt://[::1]:1884/lab/skin 1");
        row("mqtt://h/lab/+", subscribe, "mqtt://h:1883/lab/+");
        row("mqtt://h/+/hand/+", subscribe, "mqtt://h:1883/+/hand/+");
        const QString malformed = QString::number(int(MqttUrl::Problem::Malformed));
        for (const char *bad :
             {"", "127.0.0.1/lab", "http://h/lab", "mqtt://h", "mqtt://h/", "mqtt:///lab",
              "mqtt://h:0/lab", "mqtt://h:65536/lab", "mqtt://h/lab/", "mqtt://h/lab//a",
              "mqtt://h/lab/#", "mqtt://h/lab/a+", "mqtt://h/$SYS/x", "mqtt://h/lab?x=1"})
            row(bad, subscribe, malformed);
        row("mqtt://h/lab/+", publish, QString::number(int(MqttUrl::Problem::Wildcard)));
        row("mqtt://eskin:s3cret@h/lab", publish, QString::number(int(MqttUrl::Problem::Password)));
        row("ftp://eskin:s3cret@h/%", publish, QString::number(int(MqttUrl::Problem::Password)));
    }

    void parseUrl()
    {
        QFETCH(QString, text);
        QFETCH(int, use);
        QFETCH(QString, parsed);
        MqttUrl url;
        QString detail;
        const MqttUrl::Problem problem = MqttUrl::parse(text, MqttUrl::Use(use), &url, &detail);
        QCOMPARE(problem == MqttUrl::Problem::None ? url.text() : QString::number(int(problem)),
                 parsed);
        QVERIFY(!detail.contains(QLatin1String("s3cret")));
    }

    // Messages as they may come from a broker, in and out of order, from a publisher that
    // misbehaves, across a lost connection: the file keeps what has its place and reads.
    void streamRecording_placesEachLineOrLeavesItOut_data()
    {
        QTest::addColumn<QByteArrayList>("messages"); // "part payload"; "lost": the broker
        QTest::addColumn<QByteArray>("rows");         // the file after its head
        QTest::addColumn<int>("warnings");
        const QByteArray head =
            "head # start: 2026-12-07T11:53:18.123+01:00\n" + RecordFormat::headerLine() + '\n';
        const QByteArray marker = RecordFormat::markerLine(20000, 1, QStringLiteral("on"));
        QTest::newRow("in order") << QByteArrayList{head, "frames " + row(1) + row(2),
                                                    "events " + marker, "frames " + row(3)}
                                  << row(1) + row(2) + marker + row(3) << 0;
        QTest::newRow("marker before its row")
            << QByteArrayList{head, "frames " + row(1), "events " + marker,
                              "frames " + row(2) + row(3)}
            << row(1) + row(2) + marker + row(3) << 0;
        QTest::newRow("marker whose row is lost")
            << QByteArrayList{head, "frames " + row(1), "events " + marker, "frames " + row(3)}
            << row(1) + row(3) << 1;
        QTest::newRow("rows and lines before the head, a newer head before the rows")
            << QByteArrayList{"frames " + row(1), head, "events " + marker,
                              "head # start: 2026-12-07T11:59:00.000+01:00\n" +
                                  RecordFormat::headerLine() + '\n',
                              "frames " + row(2)}
            << row(2) << 0;
        QTest::newRow("broker lost, then the publisher's gap")
            << QByteArrayList{head, "frames " + row(1), "lost",
                              "events " + RecordFormat::gapLine(40000, 30000, "broker lost"),
                              "frames " + row(7)}
            << row(1) + RecordFormat::gapLine(10000, 60000, "broker lost") + row(7) << 0;
        QTest::newRow("broker lost, no gap of the publisher")
            << QByteArrayList{head, "frames " + row(1), "lost", "frames " + row(5)}
            << row(1) + RecordFormat::gapLine(10000, 40000, "broker lost") + row(5) << 0;
        QTest::newRow("lines that are not the format's")
            << QByteArrayList{head, "frames " + row(2) + "junk\n1.0,2\n" + row(1) + row(3),
                              "events # comment: among the rows\n", "frames x" + row(4),
                              "events " + RecordFormat::gapLine(10000, 1000, "early")}
            << row(2) + row(3) << 6;
        // A frequency line goes in only before the row of its time.
        const QByteArray rate = RecordFormat::frequencyLine(30000, 50);
        QTest::newRow("frequency line and its row")
            << QByteArrayList{head, "frames " + row(1) + row(2), "events " + rate,
                              "frames " + row(3)}
            << row(1) + row(2) + rate + row(3) << 0;
        QTest::newRow("frequency line whose row is lost")
            << QByteArrayList{head, "frames " + row(1), "events " + rate, "frames " + row(4)}
            << row(1) + row(4) << 1;
        QTest::newRow("head of a new stream")
            << QByteArrayList{head, "frames " + row(1),
                              "head # start: 2026-12-08T00:00:00.000+01:00\n" +
                                  RecordFormat::headerLine() + '\n'}
            << row(1) << -1;
    }

    void streamRecording_placesEachLineOrLeavesItOut()
    {
        QFETCH(QByteArrayList, messages);
        QFETCH(QByteArray, rows);
        QFETCH(int, warnings);
        const QString path = m_dir.filePath(QStringLiteral("stream.csv"));
        MqttStreamRecording recording(QStringLiteral("lab/skin1"), path);
        QSignalSpy warned(&recording, &MqttStreamRecording::warning);
        bool sameStream = true;
        for (const QByteArray &message : messages) {
            const QByteArray part = message.left(message.indexOf(' '));
            const QByteArray payload = message.mid(part.size() + 1);
            if (part == "head")
                sameStream = recording.takeHead(payload) && sameStream;
            else if (part == "frames")
                recording.takeFrames(payload);
            else if (part == "events")
                recording.takeEvents(payload);
            else
                recording.brokerLost();
        }
        recording.finish();
        QCOMPARE(sameStream, warnings >= 0);
        QCOMPARE(warned.size(), qMax(warnings, 0));
        RecordReader reader;
        QVERIFY2(reader.read(path), qPrintable(reader.errorString()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        QCOMPARE(content.mid(content.indexOf(RecordFormat::headerLine() + '\n') +
                             RecordFormat::headerLine().size() + 1),
                 rows);
    }

    // An output that stands still (a pipe nobody reads) loses whole rows, with their markers,
    // and a gap line before the next row; a rate named among the lost rows is named again there.
    void streamRecording_slowOutput_losesWholeRowsWithAGap()
    {
        const QString path = m_dir.filePath(QStringLiteral("pipe"));
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        const int reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        QByteArray out;
        const auto drain = [&] {
            char chunk[65536];
            for (ssize_t n; (n = ::read(reader, chunk, sizeof chunk)) > 0;)
                out.append(chunk, n);
            return out.count('\n');
        };
        MqttStreamRecording recording(QStringLiteral("lab/skin1"), path);
        recording.takeHead("# start: 2026-12-07T11:53:18.123+01:00\n" + RecordFormat::headerLine() +
                           '\n');
        const int lost = 30000; // beyond what the pipe and the writer's bound hold
        QByteArray rows;
        for (int i = 1; i < lost; ++i)
            rows += row(i);
        recording.takeFrames(rows);
        recording.takeEvents(RecordFormat::frequencyLine(lost * 10000, 50));
        recording.takeFrames(row(lost));
        recording.takeEvents(RecordFormat::markerLine(lost * 10000, 1, QStringLiteral("on")));
        QVERIFY(recording.droppedRows() > 0);
        const qint64 kept = recording.frames();
        QTRY_COMPARE_WITH_TIMEOUT(drain(), kept + 2, kWaitMs); // with the two head lines
        recording.takeFrames(row(lost + 1) + row(lost + 2));
        recording.finish();
        drain();
        ::close(reader);

        RecordReader file;
        QBuffer written(&out);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY2(file.read(written, QStringLiteral("pipe")), qPrintable(file.errorString()));
        QCOMPARE(qint64(file.frames().size()), kept + 2);
        QCOMPARE(recording.droppedRows(), lost - kept);
        QCOMPARE(file.gaps().size(), std::size_t(1));
        QCOMPARE(file.gaps().front().cause, QStringLiteral("output too slow"));
        QCOMPARE(file.gaps().front().startUs, (kept + 1) * 10000);
        QCOMPARE(file.gaps().front().lengthUs, (lost - kept) * 10000);
        QVERIFY(file.markers().empty());
        QCOMPARE(file.rateChanges().size(), std::size_t(1));
        QCOMPARE(file.rateChanges().front().timeUs, (lost + 1) * 10000);
        QCOMPARE(file.rateChanges().front().hz, 50);
    }

    // Three publishing recorders, one recorder of all of them and the example client, over TLS
    // with a password from the environment and from a file; a late subscriber of one of them.
    void publishedStreams_areRecordedFromTheBroker_rowForRow()
    {
        MosquittoBroker broker(m_dir.path());
        QVERIFY(broker.requirePassword(kUser, kPassword) && broker.useTls() && broker.start());
        const QString passwordFile = m_dir.filePath(QStringLiteral("password"));
        QVERIFY(writeTestFile(passwordFile, QByteArray(kPassword) + '\n'));
        const QStringList secrets{"--mqtt-cafile", broker.caFile(), "--mqtt-password-file",
                                  passwordFile};
        const QString folder = m_dir.filePath(QStringLiteral("broker"));
        Program fromBroker;
        fromBroker.start(
            QStringLiteral(ESKIN_RECORD),
            QStringList{"--from-mqtt", broker.url("lab/+", kUser), "--output", folder} + secrets);
        QTRY_VERIFY_WITH_TIMEOUT(fromBroker.errors().contains("recording mqtts://"), kWaitMs);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("ESKIN_MQTT_PASSWORD"));
        const QProcessEnvironment withoutPassword = environment;
        environment.insert(QStringLiteral("ESKIN_MQTT_PASSWORD"), QLatin1String(kPassword));
        Program example;
        example.setProcessEnvironment(environment);
        example.start(QStringLiteral(PYTHON3),
                      {MQTT_CLIENT, broker.url("lab/+", kUser), "--cafile", broker.caFile()});
        QByteArray printed;
        QTRY_VERIFY_WITH_TIMEOUT(
            (printed += example.readAllStandardOutput()).contains("subscribed"), kWaitMs);

        std::array<std::unique_ptr<QProcess>, 3> cards;
        std::array<Program, 3> publishers;
        for (int i = 0; i < 3; ++i) {
            const QString card = m_dir.filePath(QStringLiteral("card%1").arg(i));
            QVERIFY(cards[i] =
                        startCardSim(card, {"--frequency", "4", "--seed", QString::number(i)}));
            // The first takes its password from the environment, the others from the file.
            publishers[i].setProcessEnvironment(i == 0 ? environment : withoutPassword);
            publishers[i].start(QStringLiteral(ESKIN_RECORD),
                                QStringList{"--port", card, "--frames", "1000", "--output",
                                            local(i), "--mqtt", broker.url(skin(i), kUser)} +
                                    secrets.mid(0, i == 0 ? 2 : 4));
        }
        // A marker on the stream, and a subscriber that comes once the streams run.
        QTRY_VERIFY_WITH_TIMEOUT(framesOf(local(1)).size() > 200, kWaitMs);
        publishers[1].write("load on\n");
        QVERIFY(publishers[1].waitForBytesWritten(kWaitMs));
        Program late;
        late.start(QStringLiteral(ESKIN_RECORD),
                   QStringList{"--from-mqtt", broker.url(skin(1), kUser), "--output",
                               m_dir.filePath(QStringLiteral("late.csv"))} +
                       secrets);
        for (Program &publisher : publishers) {
            QVERIFY(publisher.waitForFinished(kWaitMs));
            QVERIFY2(publisher.exitCode() == 0, publisher.errors().constData());
        }
        const QString lateFile = m_dir.filePath(QStringLiteral("late.csv"));
        for (int i = 0; i < 3; ++i)
            QTRY_VERIFY_WITH_TIMEOUT(endsLike(fromBrokerFile(i), local(i)), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(endsLike(lateFile, local(1)), kWaitMs);
        QCOMPARE(fromBroker.interrupt(), 0);
        QCOMPARE(late.interrupt(), 0);

        for (int i = 0; i < 3; ++i) {
            RecordReader here, there;
            QVERIFY2(here.read(local(i)), qPrintable(here.errorString()));
            QVERIFY2(there.read(fromBrokerFile(i)), qPrintable(there.errorString()));
            QCOMPARE(there.header().port, here.header().port);
            QCOMPARE(there.header().frequencyHz, 200);
            // All the published rows: those from the settled frequency on.
            QVERIFY(there.frames().size() + 50 >= here.frames().size());
            const ReplayMatch match = matchReplay(here.frames(), there.frames());
            QVERIFY2(match.problem.isEmpty(), qPrintable(match.problem));
            QVERIFY(match.medianSkewUs < 1000);
            QCOMPARE(there.markers().size(), here.markers().size());
            QCOMPARE(there.gaps().size(), std::size_t(0));
            const QRegularExpression counted(QStringLiteral("%1: [0-9.]+ frames/s \\(%2 frames\\)")
                                                 .arg(skin(i))
                                                 .arg(there.frames().size()));
            QTRY_VERIFY_WITH_TIMEOUT(
                counted.match(printed += example.readAllStandardOutput()).hasMatch(), kWaitMs);
        }
        RecordReader marked;
        QVERIFY(marked.read(fromBrokerFile(1)) && marked.markers().size() == 1);
        QCOMPARE(marked.markers().front().label, QStringLiteral("load on"));
        // The late subscriber: the head as the publisher made it, then the rows from its time.
        QFile lateHead(lateFile), fullHead(fromBrokerFile(1));
        QVERIFY(lateHead.open(QIODevice::ReadOnly) && fullHead.open(QIODevice::ReadOnly));
        const QByteArray head = fullHead.readAll().split('\n').mid(0, 6).join('\n');
        QVERIFY(head.startsWith("# program: eskin-record") && head.contains("time_s,"));
        QCOMPARE(lateHead.readAll().split('\n').mid(0, 6).join('\n'), head);
        const std::vector<RecordedFrame> lateFrames = framesOf(lateFile);
        QVERIFY(!lateFrames.empty() && lateFrames.front().timeUs > 500000);
        QVERIFY(matchReplay(framesOf(local(1)), lateFrames).problem.isEmpty());
        QCOMPARE(example.interrupt(), 0);
    }

    // The recording beside the card goes on while the broker is away; the recording from the
    // broker has a gap line there, and both go on once it is back.
    void brokerStoppedAndStarted_leavesAGap_whileTheRecordingBesideRuns()
    {
        MosquittoBroker broker(m_dir.path());
        QVERIFY(broker.start());
        const auto card =
            startCardSim(m_dir.filePath(QStringLiteral("card")), {"--frequency", "4"});
        QVERIFY(card);
        const QString there = m_dir.filePath(QStringLiteral("there.csv"));
        Program fromBroker, publisher;
        fromBroker.start(QStringLiteral(ESKIN_RECORD),
                         {"--from-mqtt", broker.url(skin(0)), "--output", there});
        QTRY_VERIFY2_WITH_TIMEOUT(fromBroker.errors().contains("recording mqtt://"),
                                  fromBroker.errors().constData(), kWaitMs);
        publisher.start(QStringLiteral(ESKIN_RECORD),
                        {"--port", m_dir.filePath(QStringLiteral("card")), "--mqtt",
                         broker.url(skin(0)), "--output", local(0)});
        QTRY_VERIFY_WITH_TIMEOUT(framesOf(there).size() > 200, kWaitMs);

        broker.stop();
        QTRY_VERIFY_WITH_TIMEOUT(publisher.errors().contains("lost the MQTT broker"), kWaitMs);
        const std::size_t before = framesOf(local(0)).size();
        QTRY_VERIFY_WITH_TIMEOUT(framesOf(local(0)).size() > before + 200, kWaitMs);
        QVERIFY(broker.start());
        QTRY_VERIFY_WITH_TIMEOUT(publisher.errors().contains("connected again"), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(fromBroker.errors().contains("connected again"), kWaitMs);
        const std::size_t received = framesOf(there).size();
        QTRY_VERIFY_WITH_TIMEOUT(framesOf(there).size() > received + 200, kWaitMs);
        QCOMPARE(publisher.interrupt(), 0);
        QVERIFY(publisher.errors().contains("frames in all not published"));
        QTRY_VERIFY_WITH_TIMEOUT(endsLike(there, local(0)), kWaitMs);
        QCOMPARE(fromBroker.interrupt(), 0);

        RecordReader here, gapped;
        QVERIFY2(here.read(local(0)), qPrintable(here.errorString()));
        QVERIFY2(gapped.read(there), qPrintable(gapped.errorString()));
        QVERIFY(here.gaps().empty());
        QCOMPARE(gapped.gaps().size(), std::size_t(1));
        QCOMPARE(gapped.gaps().front().cause, QStringLiteral("broker lost"));
        QVERIFY(gapped.frames().size() < here.frames().size());
        QVERIFY(inOrderWithin(gapped.frames(), here.frames()));
        // The rows after the gap are the publisher's as one run: none lost besides the gap's.
        const auto after = gapped.frames().begin() + gapped.gaps().front().frameIndex;
        QVERIFY(matchReplay(here.frames(), {after, gapped.frames().end()}).problem.isEmpty());
    }

private:
    static QString skin(int i) { return QStringLiteral("lab/skin%1").arg(i); }
    QString local(int i) const { return m_dir.filePath(QStringLiteral("local%1.csv").arg(i)); }
    QString fromBrokerFile(int i) const
    {
        return m_dir.filePath(QStringLiteral("broker/skin%1.csv").arg(i));
    }

    std::unique_ptr<QTemporaryDir> m_folder; // one for each test
    QDir m_dir;
};

QTEST_GUILESS_MAIN(tst_Mqtt)
#include "tst_mqtt.moc"
