// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of sharing the live stream. The simulated card streams 16 sensors at 200 Hz over a
// pseudo-terminal to the driver-card object on its worker thread; first without a server, then
// with the stream server fed from the worker as the programs feed it and N clients (10 by
// default) reading it in a thread of their own. Reports:
//  - the extra CPU of serving: the worker's and the server thread's CPU while serving, less the
//    worker's CPU without the server, in per cent of one core (on the loopback the system's
//    work of receiving is done in the sending thread, so this is an upper bound);
//  - the time the worker spends handing a frame to the server (median, 99th percentile, worst);
//  - the time from a frame's last byte on the wire to its line at a client (median, 99th
//    percentile, worst, over every client's lines).
//
//   bench_stream [--seconds N] [--clients C]
//       N: length of each of the two runs, default 20.

#include "benchlink.h"
#include "benchmeasure.h"
#include "cardmodel.h"
#include "myserialport.h"
#include "simulatedcard.h"
#include "slavecodec.h"
#include "streamserver.h"
#include "wirelog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSettleMs = 1000;

// The clients, in their own thread: each notes when every frame line arrived.
class Clients : public QObject
{
public:
    void connectAll(quint16 port, int count)
    {
        m_arrivals.resize(std::size_t(count));
        for (auto &arrivals : m_arrivals) {
            auto *socket = new QTcpSocket(this);
            auto inLine = std::make_shared<char>(0); // first byte of the line being read
            connect(socket, &QTcpSocket::readyRead, this, [socket, &arrivals, inLine] {
                const QByteArray bytes = socket->readAll();
                const Clock::time_point now = Clock::now();
                for (char byte : bytes) {
                    if (*inLine == 0)
                        *inLine = byte;
                    if (byte == '\n') {
                        if (*inLine != '#' && *inLine != 't') // a frame, not the head
                            arrivals.push_back(now);
                        *inLine = 0;
                    }
                }
            });
            socket->connectToHost(QHostAddress::LocalHost, port);
        }
    }
    // Read once the clients' thread has ended.
    const std::vector<std::vector<Clock::time_point>> &arrivals() const { return m_arrivals; }

private:
    std::vector<std::vector<Clock::time_point>> m_arrivals;
};

struct Worker
{
    BenchLink link{QStringLiteral("card link")};
    MySerialport *const port = link.port;
    std::atomic<int> decoded{0};
    std::atomic<bool> serving{false};
    std::vector<double> handoffUs; // touched by the worker only while serving
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    printWarningsOnly();
    QCommandLineParser parser;
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("Length of each run."),
                                           QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption clientsOption(QStringLiteral("clients"),
                                           QStringLiteral("Clients of the stream."),
                                           QStringLiteral("C"), QStringLiteral("10"));
    parser.addOptions({secondsOption, clientsOption});
    parser.addHelpOption();
    parser.process(app);
    const int seconds = std::max(1, parser.value(secondsOption).toInt());
    const int clientCount = std::max(1, parser.value(clientsOption).toInt());

    WireLog wire(2 * (seconds + 5) * 220);
    SimulatedCard card;
    if (!startLoggedCard(card, QString(), wire))
        return 1;
    const auto streaming = [&card](bool on) {
        card.withModel([on](CardModel &model) { model.setStreaming(on); });
    };

    StreamServer server;
    Worker worker;
    // As the programs feed it: straight from the decoder, in the worker thread.
    QObject::connect(
        worker.port, &SlaveProtocol::stampedFrame, worker.port,
        [&](const FrameStamp &stamp, const QList<Axit_t> &readings, uint num) {
            worker.decoded.fetch_add(1, std::memory_order_relaxed);
            if (!worker.serving.load(std::memory_order_relaxed))
                return;
            const Clock::time_point start = Clock::now();
            server.addFrame(stamp, readings, num);
            worker.handoffUs.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        },
        Qt::DirectConnection);
    if (!worker.link.open(card.portName())) {
        std::fprintf(stderr, "the port did not open\n");
        return 1;
    }

    // The worker alone.
    streaming(true);
    runEventLoopFor(kSettleMs);
    double workerCpu = threadCpuSeconds(QStringLiteral("card link"));
    QElapsedTimer wall;
    wall.start();
    runEventLoopFor(seconds * 1000);
    const double withoutServer = (threadCpuSeconds(QStringLiteral("card link")) - workerCpu) /
                                 (double(wall.elapsed()) / 1000);
    streaming(false);
    waitFor([&] { return worker.decoded.load() == wire.count.load(); }, 5000);

    // The worker feeding the server, and the clients reading.
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        std::fprintf(stderr, "cannot serve: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    QThread clientThread;
    clientThread.setObjectName(QStringLiteral("clients"));
    auto *clients = new Clients;
    clients->moveToThread(&clientThread); // deleted once the thread has ended
    clientThread.start();
    QMetaObject::invokeMethod(clients, [clients, clientCount, port = server.serverPort()] {
        clients->connectAll(port, clientCount);
    });
    if (!waitFor([&] { return server.clientCount() == clientCount; }, 5000)) {
        std::fprintf(stderr, "the clients did not connect\n");
        return 1;
    }
    const int firstStreamed = wire.count.load();
    worker.serving = true;
    streaming(true);
    runEventLoopFor(kSettleMs);
    workerCpu = threadCpuSeconds(QStringLiteral("card link"));
    double serverCpu = threadCpuSeconds(QStringLiteral("stream server"));
    wall.restart();
    runEventLoopFor(seconds * 1000);
    const double elapsed = double(wall.elapsed()) / 1000;
    const double workerServing =
        (threadCpuSeconds(QStringLiteral("card link")) - workerCpu) / elapsed;
    serverCpu = (threadCpuSeconds(QStringLiteral("stream server")) - serverCpu) / elapsed;
    streaming(false);
    waitFor([&] { return worker.decoded.load() == wire.count.load(); }, 5000);
    worker.serving = false;
    server.close();
    clientThread.quit();
    clientThread.wait();

    const int streamed = wire.count.load() - firstStreamed;
    std::vector<double> latencyMs;
    bool lost = false;
    for (const auto &arrivals : clients->arrivals()) {
        lost = lost || int(arrivals.size()) != streamed;
        for (std::size_t k = 0; k < arrivals.size() && k < std::size_t(streamed); ++k)
            latencyMs.push_back(std::chrono::duration<double, std::milli>(
                                    arrivals[k] - wire.sent[std::size_t(firstStreamed) + k])
                                    .count());
    }
    std::printf("run: %d s each, %d frames streamed to %d clients, %lld dropped\n", seconds,
                streamed, clientCount, static_cast<long long>(server.droppedClients()));
    std::printf("cpu: worker alone %.2f %%; serving: worker %.2f %% + stream server %.2f %%; "
                "extra %.2f %% of one core\n",
                100 * withoutServer, 100 * workerServing, 100 * serverCpu,
                100 * (workerServing + serverCpu - withoutServer));
    std::printf("hand-off in the worker: median %.1f us, 99th percentile %.1f us, worst %.1f us\n",
                percentile(worker.handoffUs, 0.5), percentile(worker.handoffUs, 0.99),
                percentile(worker.handoffUs, 1.0));
    std::printf("wire to client: median %.2f ms, 99th percentile %.2f ms, worst %.2f ms (%zu "
                "lines)\n",
                percentile(latencyMs, 0.5), percentile(latencyMs, 0.99), percentile(latencyMs, 1.0),
                latencyMs.size());
    delete clients;

    worker.link.close();
    if (lost)
        std::fprintf(stderr, "a client missed lines\n");
    return lost || latencyMs.empty() ? 1 : 0;
}
