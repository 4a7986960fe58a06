// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of publishing to an MQTT broker, and the time a frame takes to reach a subscriber. K
// simulated cards (16 by default) stream 16 sensors at 200 Hz over pseudo-terminals to as many
// driver-card objects, each on a worker thread of its own, first alone, then each feeding a
// publisher as the programs do (MqttPublisher, straight from the decoder). A local Mosquitto
// broker (Debian's, started here on 127.0.0.1 at a free port with a configuration of its own)
// takes the streams, and one subscriber of them all (bench/+/frames) notes when each row
// arrives. Reports, in per cent of one core:
//  - the publishers' CPU: their connection threads, and the workers' extra (formatting the rows
//    and handing them over), with the share of one publisher;
//  - the broker's CPU, and the subscriber's thread's;
// and the time from a frame's last byte on the wire to its row at the subscriber (median, 99th
// percentile, worst). On the loopback the system's work of receiving is done by the sender, so
// the publishers' figure is an upper bound.
//
//   bench_mqtt [--seconds N] [--skins K]
//       N: length of each of the two runs, default 20.

#include "benchlink.h"
#include "benchmeasure.h"
#include "mqttclient.h"
#include "mqttpublisher.h"
#include "wirelog.h"

#include <QCommandLineParser>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <vector>

#include <pwd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSettleMs = 1000;
constexpr int kWaitMs = 10000;

// Debian's broker on 127.0.0.1 at a free port; stopped when it goes.
class Broker
{
public:
    ~Broker()
    {
        if (m_process.state() == QProcess::Running) {
            ::kill(pid_t(m_process.processId()), SIGTERM);
            m_process.waitForFinished(5000);
        }
    }

    bool start()
    {
        QTcpServer probe;
        if (!m_dir.isValid() || !probe.listen(QHostAddress::LocalHost))
            return false;
        m_port = probe.serverPort();
        probe.close();
        QFile config(m_dir.filePath(QStringLiteral("mosquitto.conf")));
        // Started by root, the broker would take the rights of a user of its own. Configured as
        // the README advises a lab's broker: frames sent at once, a subscriber's kept.
        if (!config.open(QIODevice::WriteOnly) ||
            config.write("user " + QByteArray(::getpwuid(::getuid())->pw_name) + "\nlistener " +
                         QByteArray::number(m_port) +
                         " 127.0.0.1\npersistence false\nallow_anonymous true\n"
                         "max_queued_messages 0\nset_tcp_nodelay true\nlog_type error\n") < 0)
            return false;
        config.close();
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(ESKIN_MOSQUITTO), {"-c", config.fileName()});
        return m_process.waitForStarted() &&
               waitFor(
                   [this] {
                       QTcpSocket socket;
                       socket.connectToHost(QHostAddress::LocalHost, m_port);
                       return socket.waitForConnected(100);
                   },
                   kWaitMs);
    }

    qint64 pid() const { return m_process.processId(); }
    QString url(const QString &prefix) const
    {
        return QStringLiteral("mqtt://127.0.0.1:%1/%2").arg(m_port).arg(prefix);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};

// One card, its driver-card object and its publisher; the worker, which feeds the publisher, is
// the first to go, the wire log that the card writes the last.
struct Skin
{
    explicit Skin(int seconds)
        : wire(2 * (seconds + 5) * 220)
    {}
    WireLog wire;
    SimulatedCard card;
    MqttPublisher publisher;
    BenchLink link{QStringLiteral("card link")};
    std::atomic<int> decoded{0};
    int firstPublished = 0;
};

// Every row's arrival at the subscriber, by skin, noted in the subscriber's thread.
struct Arrivals
{
    std::mutex lock;
    std::vector<std::vector<Clock::time_point>> bySkin;
    std::atomic<double> threadCpu{0}; // the subscriber thread's processor time at the last row
};

double ownThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

MqttOptions optionsOf(const QString &url)
{
    MqttOptions options;
    MqttUrl::parse(url, MqttUrl::Use::Subscribe, &options.url);
    return options;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    printWarningsOnly();
    QCommandLineParser parser;
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("Length of each run."),
                                           QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption skinsOption(QStringLiteral("skins"),
                                         QStringLiteral("Simulated cards, each published."),
                                         QStringLiteral("K"), QStringLiteral("16"));
    parser.addOptions({secondsOption, skinsOption});
    parser.addHelpOption();
    parser.process(app);
    const int seconds = std::max(1, parser.value(secondsOption).toInt());
    const int skinCount = std::clamp(parser.value(skinsOption).toInt(), 1, 64);

    Broker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "the broker did not start\n");
        return 1;
    }
    std::vector<std::unique_ptr<Skin>> skins;
    for (int i = 0; i < skinCount; ++i) {
        auto skin = std::make_unique<Skin>(seconds);
        Skin *s = skin.get();
        QObject::connect(
            s->link.port, &SlaveProtocol::stampedFrame, s->link.port,
            [s](const FrameStamp &stamp, const QList<Axit_t> &readings, uint num) {
                s->decoded.fetch_add(1, std::memory_order_relaxed);
                s->publisher.addFrame(stamp, readings, num);
            },
            Qt::DirectConnection);
        if (!startLoggedCard(s->card, QString(), s->wire) || !s->link.open(s->card.portName())) {
            std::fprintf(stderr, "card %d did not start\n", i);
            return 1;
        }
        s->publisher.setHeader({QStringLiteral("bench_mqtt"), s->card.portName(), 115200, 200});
        skins.push_back(std::move(skin));
    }
    const auto streaming = [&skins](bool on) {
        for (auto &skin : skins)
            skin->card.withModel([on](CardModel &model) { model.setStreaming(on); });
    };
    const auto caughtUp = [&skins] {
        return std::all_of(skins.begin(), skins.end(),
                           [](const auto &s) { return s->decoded.load() == s->wire.count.load(); });
    };

    // The workers alone: their publishers are not started, and take nothing.
    streaming(true);
    runEventLoopFor(kSettleMs);
    double workerCpu = threadCpuSeconds(QStringLiteral("card link"));
    QElapsedTimer wall;
    wall.start();
    runEventLoopFor(seconds * 1000);
    const double workersAlone = (threadCpuSeconds(QStringLiteral("card link")) - workerCpu) /
                                (double(wall.elapsed()) / 1000);
    streaming(false);
    waitFor(caughtUp, kWaitMs);

    // The subscriber, then the publishers, all connected before the cards stream again.
    Arrivals arrivals;
    arrivals.bySkin.resize(std::size_t(skinCount));
    MqttClient subscriber;
    QObject::connect(
        subscriber.connection(), &MqttConnection::messageReceived, subscriber.connection(),
        [&arrivals](const QByteArray &topic, const QByteArray &payload) {
            const Clock::time_point now = Clock::now();
            const QByteArray prefix = topic.left(topic.lastIndexOf('/'));
            const std::size_t skin = std::size_t(prefix.mid(prefix.lastIndexOf('/') + 1).toInt());
            const std::lock_guard<std::mutex> locked(arrivals.lock);
            if (skin < arrivals.bySkin.size())
                arrivals.bySkin[skin].insert(arrivals.bySkin[skin].end(), payload.count('\n'), now);
            arrivals.threadCpu = ownThreadCpuSeconds();
        },
        Qt::DirectConnection);
    subscriber.start(optionsOf(broker.url(QStringLiteral("bench/+"))), {}, {"bench/+/frames"});
    for (int i = 0; i < skinCount; ++i)
        skins[std::size_t(i)]->publisher.start(
            optionsOf(broker.url(QStringLiteral("bench/%1").arg(i))));
    const bool connected = waitFor(
        [&] {
            return subscriber.state() == MqttConnection::State::Connected &&
                   std::all_of(skins.begin(), skins.end(), [](const auto &s) {
                       return s->publisher.client()->state() == MqttConnection::State::Connected;
                   });
        },
        kWaitMs);
    if (!connected) {
        std::fprintf(stderr, "the publishers or the subscriber did not connect\n");
        return 1;
    }
    runEventLoopFor(200); // the subscription taken
    for (auto &skin : skins)
        skin->firstPublished = skin->wire.count.load();
    streaming(true);
    runEventLoopFor(kSettleMs);
    workerCpu = threadCpuSeconds(QStringLiteral("card link"));
    double connectionCpu = threadCpuSeconds(QStringLiteral("mqtt"));
    double subscriberCpu = arrivals.threadCpu;
    double brokerCpu = processCpuSeconds(broker.pid());
    wall.restart();
    runEventLoopFor(seconds * 1000);
    const double elapsed = double(wall.elapsed()) / 1000;
    const double workersPublishing =
        (threadCpuSeconds(QStringLiteral("card link")) - workerCpu) / elapsed;
    subscriberCpu = (arrivals.threadCpu - subscriberCpu) / elapsed;
    connectionCpu =
        (threadCpuSeconds(QStringLiteral("mqtt")) - connectionCpu) / elapsed - subscriberCpu;
    brokerCpu = (processCpuSeconds(broker.pid()) - brokerCpu) / elapsed;
    streaming(false);
    waitFor(caughtUp, kWaitMs);
    const auto published = [&](std::size_t i) {
        return skins[i]->wire.count.load() - skins[i]->firstPublished;
    };
    waitFor(
        [&] {
            const std::lock_guard<std::mutex> locked(arrivals.lock);
            for (std::size_t i = 0; i < skins.size(); ++i) {
                if (int(arrivals.bySkin[i].size()) < published(i))
                    return false;
            }
            return true;
        },
        kWaitMs);
    subscriber.stop();
    qint64 dropped = 0;
    for (auto &skin : skins) {
        skin->publisher.stop();
        dropped += skin->publisher.droppedFrames();
    }

    std::vector<double> latencyMs;
    int lost = 0;
    for (std::size_t i = 0; i < skins.size(); ++i) {
        const std::vector<Clock::time_point> &rows = arrivals.bySkin[i];
        lost += std::max(0, published(i) - int(rows.size()));
        for (std::size_t k = 0; k < rows.size() && int(k) < published(i); ++k)
            latencyMs.push_back(
                std::chrono::duration<double, std::milli>(
                    rows[k] - skins[i]->wire.sent[std::size_t(skins[i]->firstPublished) + k])
                    .count());
    }
    std::printf("run: %d s each, %d skins at 200 Hz x 16 sensors, %zu rows at the subscriber, "
                "%d missing, %lld not published\n",
                seconds, skinCount, latencyMs.size(), lost, static_cast<long long>(dropped));
    std::printf("cpu: workers alone %.2f %%; publishing: workers %.2f %% (extra %.2f %%) + "
                "connection threads %.2f %% = %.2f %% of one core, %.2f %% a publisher\n",
                100 * workersAlone, 100 * workersPublishing,
                100 * (workersPublishing - workersAlone), 100 * connectionCpu,
                100 * (workersPublishing - workersAlone + connectionCpu),
                100 * (workersPublishing - workersAlone + connectionCpu) / skinCount);
    std::printf("cpu: broker %.2f %%, subscriber thread %.2f %% of one core\n", 100 * brokerCpu,
                100 * subscriberCpu);
    std::printf("wire to subscriber: median %.2f ms, 99th percentile %.2f ms, worst %.2f ms\n",
                percentile(latencyMs, 0.5), percentile(latencyMs, 0.99),
                percentile(latencyMs, 1.0));
    for (auto &skin : skins)
        skin->link.close();
    return lost > 0 || latencyMs.empty() ? 1 : 0;
}
