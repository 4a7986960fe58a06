// SPDX-License-Identifier: GPL-3.0-or-later
// The stream server with real TCP clients on the loopback: the frames come from a thread of
// their own, as from the driver-card object, and are recorded there at the same time.

#include "framestamper.h"
#include "recordcompare.h"
#include "recordwriter.h"
#include "streamserver.h"
#include "workerthread.h"

#include <QBuffer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <numeric>
#include <random>

namespace {

// Feeds `total` frames, `perTick` every millisecond, to the server and to a recording, in its
// own thread. Frame i has 1 + i % 16 sensors and i as sensor 0's x.
class Feeder : public QObject
{
public:
    Feeder(StreamServer *server, const QString &recording, int total, int perTick)
    {
        m_writer.open(recording, {});
        auto *timer = new QTimer(this);
        QObject::connect(timer, &QTimer::timeout, this, [=] {
            for (int n = 0; n < perTick && m_sent < total; ++n, ++m_sent) {
                QList<Axit_t> readings;
                for (int s = 0; s < kMaxSensors; ++s)
                    readings.append({qint16(m_sent), qint16(-32768 + s), qint16(m_sent * 7)});
                const FrameStamp stamp = m_stamps.next(0);
                server->addFrame(stamp, readings, uint(1 + m_sent % kMaxSensors));
                m_writer.writeFrame(stamp, readings, uint(1 + m_sent % kMaxSensors));
            }
            if (m_sent == total) {
                m_writer.finish();
                timer->stop();
                m_done = true;
            }
        });
        timer->start(1);
        moveToThread(&m_thread);
        m_writer.moveToThread(&m_thread);
        m_thread.start();
    }
    ~Feeder() override { m_thread.end(); }
    bool done() const { return m_done; }

private:
    WorkerThread m_thread;
    RecordWriter m_writer;
    FrameStamper m_stamps;
    int m_sent = 0;
    std::atomic<bool> m_done{false};
};

// A client that keeps everything it receives.
struct Client
{
    explicit Client(quint16 port, bool reads = true)
    {
        if (reads)
            QObject::connect(&socket, &QTcpSocket::readyRead,
                             [this] { bytes += socket.readAll(); });
        else
            socket.setReadBufferSize(1); // takes one byte, then leaves the rest to the system
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    QTcpSocket socket;
    QByteArray bytes;
};

std::vector<RecordedFrame> framesOf(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    RecordReader reader;
    buffer.open(QIODevice::ReadOnly);
    return reader.read(buffer, QStringLiteral("stream")) ? reader.frames()
                                                         : std::vector<RecordedFrame>();
}

// The stream parses (but for a last line cut short) once a row follows its header line, and its
// frame numbers follow one another.
bool gapless(QByteArray bytes)
{
    bytes.truncate(bytes.lastIndexOf('\n') + 1);
    QBuffer buffer(&bytes);
    RecordReader reader;
    buffer.open(QIODevice::ReadOnly);
    const QByteArray header = RecordFormat::headerLine() + '\n';
    if (!reader.read(buffer, QStringLiteral("stream")))
        return !bytes.contains(header) || bytes.endsWith(header);
    const std::vector<RecordedFrame> &frames = reader.frames();
    for (std::size_t i = 1; i < frames.size(); ++i) {
        if (frames[i].readings[0].x != frames[i - 1].readings[0].x + 1)
            return false;
    }
    return true;
}

} // namespace

class tst_StreamServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void clients_getTheRecordedLines_whileAStalledOneIsDropped()
    {
        StreamServer server;
        QSignalSpy dropped(&server, &StreamServer::clientDropped);
        server.setHeader({QStringLiteral("test 1"), QStringLiteral("/dev/ttyX"), 115200, 200});
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        std::vector<std::unique_ptr<Client>> clients;
        for (int i = 0; i < 4; ++i)
            clients.push_back(std::make_unique<Client>(server.serverPort(), i < 3));
        QTRY_COMPARE(server.clientCount(), 4);
        const QString recording = m_dir.filePath(QStringLiteral("recording.csv"));
        constexpr int kFrames = 12000; // about 3.6 MB, three times the stalled client's queue
        const Feeder feeder(&server, recording, kFrames, 6);
        QTRY_VERIFY_WITH_TIMEOUT(feeder.done(), 60000);
        QTRY_COMPARE(dropped.size(), 1);
        QCOMPARE(server.droppedClients(), 1);
        QCOMPARE(server.clientCount(), 3);
        server.close();
        for (int i = 0; i < 3; ++i)
            QTRY_COMPARE(clients[std::size_t(i)]->socket.state(),
                         QAbstractSocket::UnconnectedState);

        const QByteArray &bytes = clients[0]->bytes;
        QVERIFY(bytes.startsWith("# program: test 1\n# port: /dev/ttyX\n# baud: 115200\n"
                                 "# frequency_hz: 200\n# start: "));
        QVERIFY(bytes.contains('\n' + RecordFormat::headerLine() + "\n0.000000,1,0,-32768,0,,"));
        QCOMPARE(clients[1]->bytes, bytes);
        QCOMPARE(clients[2]->bytes, bytes);
        RecordReader reader;
        QVERIFY(reader.read(recording));
        const std::vector<RecordedFrame> streamed = framesOf(bytes);
        QCOMPARE(streamed.size(), std::size_t(kFrames));
        const ReplayMatch match = matchReplay(reader.frames(), streamed);
        QVERIFY2(match.problem.isEmpty(), qPrintable(match.problem));
        // One stamp, one time, in the file and on the stream.
        QCOMPARE(streamed.back().timeUs, reader.frames().back().timeUs);
    }

    void clientsComingAndGoingAtRandom_getGaplessRuns()
    {
        StreamServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        Client steady(server.serverPort());
        QTRY_COMPARE(server.clientCount(), 1);
        std::vector<std::unique_ptr<Client>> clients;
        const auto connected = [&clients] {
            return int(std::count_if(clients.begin(), clients.end(), [](const auto &c) {
                return c->socket.state() == QAbstractSocket::ConnectedState;
            }));
        };
        std::mt19937 random(26);
        QTimer churn;
        connect(&churn, &QTimer::timeout, this, [&] {
            const std::size_t action = random() % 3;
            QTcpSocket *pick =
                clients.empty() ? nullptr : &clients[random() % clients.size()]->socket;
            if (action == 0 || !pick || pick->state() != QAbstractSocket::ConnectedState) {
                if (connected() < 20)
                    clients.push_back(std::make_unique<Client>(server.serverPort()));
            } else if (action == 1) {
                pick->abort();
            } else {
                pick->disconnectFromHost();
            }
        });
        churn.start(3);
        const Feeder feeder(&server, m_dir.filePath(QStringLiteral("churn.csv")), 3000, 1);
        QTRY_VERIFY_WITH_TIMEOUT(feeder.done(), 60000);
        churn.stop();
        // A client that has closed its socket since the last lines shows it once it is sent more.
        server.addMarker(FrameStamp(), 1, QStringLiteral("end"));
        QTRY_COMPARE(server.clientCount(), connected() + 1);
        server.close();
        QTRY_COMPARE(steady.socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(framesOf(steady.bytes).size(), std::size_t(3000));
        QVERIFY(gapless(steady.bytes));
        int served = 0;
        for (const auto &client : clients) {
            served += framesOf(client->bytes).empty() ? 0 : 1;
            QVERIFY(gapless(client->bytes));
        }
        QVERIFY(served > 10);
        QCOMPARE(server.droppedClients(), 0);
    }

    void junkFromAClient_changesNothing_data()
    {
        QTest::addColumn<QByteArray>("junk");
        QTest::addColumn<bool>("closed");
        QTest::newRow("requests") << QByteArray("stream off\nhangup\n\xA5\x03\x83\x03\x89", 17)
                                  << false;
        QByteArray everyByte(256, 0);
        std::iota(everyByte.begin(), everyByte.end(), 0);
        QTest::newRow("binary") << everyByte << false;
        QTest::newRow("beyond the bound") << QByteArray(8192, 'x') << true;
    }

    void junkFromAClient_changesNothing()
    {
        QFETCH(QByteArray, junk);
        QFETCH(bool, closed);
        StreamServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        Client quiet(server.serverPort());
        Client talker(server.serverPort());
        QTRY_COMPARE(server.clientCount(), 2);
        QTimer talk;
        connect(&talk, &QTimer::timeout, this, [&] {
            if (talker.socket.state() == QAbstractSocket::ConnectedState)
                talker.socket.write(junk);
        });
        talk.start(20);
        const Feeder feeder(&server, m_dir.filePath(QStringLiteral("junk.csv")), 2000, 2);
        QTRY_VERIFY_WITH_TIMEOUT(feeder.done(), 60000);
        QCOMPARE(talker.socket.state() == QAbstractSocket::UnconnectedState, closed);
        talk.stop();
        server.close();
        QTRY_COMPARE(quiet.socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(framesOf(quiet.bytes).size(), std::size_t(2000));
        if (!closed)
            QCOMPARE(talker.bytes, quiet.bytes);
        QCOMPARE(server.droppedClients(), 0);
    }

    // A marker follows the newest frame's line with the time of the frame it marks; a client that
    // comes after the rate has changed is told the rate before its first row.
    void marker_carriesItsFramesTime_andALateClientLearnsTheRate()
    {
        StreamServer server;
        server.setHeader({QStringLiteral("test"), {}, 0, 100});
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        Client early(server.serverPort());
        QTRY_COMPARE(server.clientCount(), 1);
        server.addLine([](qint64) { return QByteArray("# before the first frame"); });
        const qint64 start = FrameStamp::clockMicros();
        const auto add = [&](quint64 first, quint64 last, int hz) {
            for (quint64 n = first; n <= last; ++n)
                server.addFrame({n, start + qint64(n) * 10000, hz}, {{qint16(n), 2, 3}}, 1);
        };
        add(1, 3, 100);
        server.addMarker({2, start + 20000, 100}, 1, QStringLiteral("late"));
        add(4, 5, 200);
        QTRY_VERIFY(early.bytes.contains("\n0.040000,1,5,"));
        Client late(server.serverPort());
        QTRY_COMPARE(server.clientCount(), 2);
        add(6, 7, 200);
        server.close();
        QTRY_COMPARE(early.socket.state(), QAbstractSocket::UnconnectedState);
        QTRY_COMPARE(late.socket.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(!early.bytes.contains("# before"));

        RecordReader streams[2];
        for (int i = 0; i < 2; ++i) {
            QByteArray &bytes = (i == 0 ? early : late).bytes;
            QBuffer buffer(&bytes);
            QVERIFY(buffer.open(QIODevice::ReadOnly));
            QVERIFY2(streams[i].read(buffer, QStringLiteral("stream")),
                     qPrintable(streams[i].errorString()));
            QCOMPARE(streams[i].header().frequencyHz, 100);
        }
        const RecordReader &all = streams[0], &joined = streams[1];
        QCOMPARE(all.frames().size(), std::size_t(7));
        QCOMPARE(all.markers().size(), std::size_t(1));
        QCOMPARE(all.markers()[0].frameIndex, 1);
        QCOMPARE(all.markers()[0].timeUs, 10000);
        QCOMPARE(all.rateChanges().size(), std::size_t(1));
        QCOMPARE(all.rateChanges()[0].frameIndex, 3);
        QCOMPARE(joined.frames().front().readings[0].x, qint16(6));
        QCOMPARE(joined.frames().front().timeUs, 50000);
        QCOMPARE(RecordFormat::rateAt(joined.frequencyHz(), joined.rateChanges(), 0), 200);
    }

    void parseAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address"); // empty: malformed
        QTest::newRow("port only") << "5555"
                                   << "127.0.0.1:5555";
        QTest::newRow("any IPv4") << "0.0.0.0:80"
                                  << "0.0.0.0:80";
        QTest::newRow("IPv6") << "[::1]:0"
                              << "[::1]:0";
        QTest::newRow("localhost") << "localhost:65535"
                                   << "127.0.0.1:65535";
        for (const char *bad :
             {"", "abc", ":5555", "127.0.0.1:", "65536", "-1", " 5555", "1.2.3:80", "::1:80",
              "[::1]80", "[1.2.3.4]:80", "example.org:80", "1.2.3.4:5x"})
            QTest::newRow(*bad ? bad : "empty") << bad << QString();
    }

    void parseAddress()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        QHostAddress host;
        quint16 port = 1;
        const bool parsed = StreamServer::parseAddress(text, &host, &port);
        QCOMPARE(parsed ? StreamServer::addressText(host, port) : QString(), address);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(tst_StreamServer)
#include "tst_streamserver.moc"
