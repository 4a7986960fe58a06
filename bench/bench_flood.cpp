// SPDX-License-Identifier: GPL-3.0-or-later
// A flood of sensor-data frames: a feeder thread writes 16-sensor frames into the simulated
// card's pseudo-terminal at a fixed rate (by default 12,000 frames a second, sixty times the
// card's fastest), the driver-card object decodes them on its worker thread, and the curve
// window takes them in the interface thread, wired as the main window wires it. A 10 ms timer
// in the interface thread measures how long that thread keeps the operator waiting: the longest
// gap between two of its ticks, wall clock, and how many gaps exceeded 100 and 200 ms.
//
//   bench_flood [--seconds N] [--rate FRAMES] [--shown]
//       N: length of the run, default 10; FRAMES per second, default 12000; --shown shows the
//       curve window (with its OpenGL views), otherwise it stays hidden as when not opened.
//       Needs an X server, e.g. under xvfb-run.

#include "benchlink.h"
#include "cardmodel.h"
#include "curvegraphic.h"
#include "myserialport.h"
#include "simulatedcard.h"

#include "keeploadedlibraries.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr int kFeedIntervalMs = 2;
constexpr int kProbeIntervalMs = 10;

// One 16-sensor frame whose readings move with n.
QByteArray sensorFrame(int n)
{
    QByteArray frame;
    frame.append(char(kFrameSync));
    frame.append(char(2 + kMaxSensors * kAxitWireBytes));
    frame.append(char(CmdSensorData));
    for (int i = 0; i < kMaxSensors * 3; ++i) {
        const auto value = qint16(3000 * std::sin(n * 0.01 + i));
        frame.append(char(quint16(value) >> 8));
        frame.append(char(quint16(value) & 0xFF));
    }
    quint8 sum = 0;
    for (char c : frame)
        sum = quint8(sum + quint8(c));
    frame.append(char(sum));
    return frame;
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// Writes the frames that are due into the card's end of the line, from a thread of its own so
// that neither the card's nor the interface's thread paces it.
class Feeder : public QObject
{
public:
    Feeder(CardModel *card, int rate)
        : m_card(card)
        , m_rate(rate)
    {
        for (int n = 0; n < 1000; ++n)
            m_frames.append(sensorFrame(n));
    }

    void start()
    {
        m_timer = new QTimer(this);
        m_timer->setTimerType(Qt::PreciseTimer);
        connect(m_timer, &QTimer::timeout, this, &Feeder::feed);
        m_clock.start();
        m_timer->start(kFeedIntervalMs);
    }

    void stop() { delete m_timer; }
    qint64 sent() const { return m_sent; }

private:
    void feed()
    {
        const qint64 due = m_clock.elapsed() * m_rate / 1000;
        QByteArray bytes;
        for (; m_sent < due; ++m_sent)
            bytes += m_frames.at(int(m_sent % m_frames.size()));
        if (!bytes.isEmpty())
            emit m_card->bytesToHost(bytes); // queued to the line's server in the card's thread
    }

    CardModel *m_card;
    qint64 m_rate;
    QList<QByteArray> m_frames;
    QTimer *m_timer = nullptr;
    QElapsedTimer m_clock;
    qint64 m_sent = 0;
};

qint64 threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Wall clock counts the time other programs on a busy machine take from this one as well; the
// interface thread's own processor time between two ticks is the work that kept it from the
// timer.
struct Gaps
{
    qint64 longestCpuMs = 0;
    qint64 lastCpuMs = 0;
    qint64 longestMs = 0;
    qint64 longestEndedAtMs = 0;
    int over100 = 0;
    int over200 = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("Length of the run."),
                                           QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption rateOption(QStringLiteral("rate"), QStringLiteral("Frames a second."),
                                        QStringLiteral("FRAMES"), QStringLiteral("12000"));
    const QCommandLineOption shownOption(QStringLiteral("shown"),
                                         QStringLiteral("Show the curve window."));
    parser.addOptions({secondsOption, rateOption, shownOption});
    parser.addHelpOption();
    parser.process(app);
    const int seconds = std::max(1, parser.value(secondsOption).toInt());
    const int rate = std::max(1, parser.value(rateOption).toInt());

    QTemporaryDir dir;
    SimulatedCard card;
    CardModel *model = nullptr;
    if (!card.start(dir.filePath(QStringLiteral("card")), [&](CardModel &m) {
            m.setStreaming(false);
            model = &m;
        })) {
        std::fprintf(stderr, "cannot start the simulated card: %s\n",
                     qPrintable(card.errorString()));
        return 1;
    }

    CurveGraphic curves;
    curves.setSensorSum(kMaxSensors);
    BenchLink link;
    MySerialport *port = link.port;
    QObject::connect(port, &SlaveProtocol::stampedFrame, &curves, &CurveGraphic::setStampedData);
    std::atomic<qint64> decoded{0};
    QObject::connect(
        port, &SlaveProtocol::AxitReflushGraphic, port,
        [&](QList<Axit_t> &, uint) { decoded.fetch_add(1, std::memory_order_relaxed); },
        Qt::DirectConnection);
    qint64 received = 0;
    QObject::connect(port, &SlaveProtocol::AxitReflushGraphic, &curves,
                     [&](QList<Axit_t> &, uint) { ++received; });
    if (parser.isSet(shownOption))
        curves.show();
    if (!link.open(card.portName())) {
        std::fprintf(stderr, "the port did not open\n");
        return 1;
    }

    QThread feederThread;
    Feeder feeder(model, rate);
    feeder.moveToThread(&feederThread);
    feederThread.start();

    Gaps gaps;
    QElapsedTimer sinceTick;
    QElapsedTimer run;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 cpu = threadCpuMs();
        gaps.longestCpuMs = std::max(gaps.longestCpuMs, cpu - gaps.lastCpuMs);
        gaps.lastCpuMs = cpu;
        const qint64 gap = sinceTick.restart();
        if (gap > gaps.longestMs) {
            gaps.longestMs = gap;
            gaps.longestEndedAtMs = run.elapsed();
        }
        gaps.over100 += gap > 100;
        gaps.over200 += gap > 200;
    });
    QMetaObject::invokeMethod(&feeder, [&feeder] { feeder.start(); });
    sinceTick.start();
    gaps.lastCpuMs = threadCpuMs();
    probe.start(kProbeIntervalMs);
    run.start();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    probe.stop();
    const double wall = double(run.elapsed()) / 1000;
    const qint64 receivedInRun = received;
    const qint64 decodedInRun = decoded.load();
    QMetaObject::invokeMethod(
        &feeder, [&feeder] { feeder.stop(); }, Qt::BlockingQueuedConnection);
    feederThread.quit();
    feederThread.wait();

    std::printf("run: %.1f s, frames written %lld (%.0f per second), taken by the curve window "
                "%lld (%.0f per second)\n",
                wall, static_cast<long long>(feeder.sent()), double(feeder.sent()) / wall,
                static_cast<long long>(receivedInRun), double(receivedInRun) / wall);
    std::printf("decoded by the worker %lld; still queued for the interface at the end %lld\n",
                static_cast<long long>(decodedInRun),
                static_cast<long long>(decodedInRun - receivedInRun));
    std::printf("interface thread: longest work between two ticks %lld ms (its own processor "
                "time)\n",
                static_cast<long long>(gaps.longestCpuMs));
    std::printf("interface thread: longest wait %lld ms (ended %.1f s into the run); waits over "
                "100 ms: %d, over 200 ms: %d\n",
                static_cast<long long>(gaps.longestMs), double(gaps.longestEndedAtMs) / 1000,
                gaps.over100, gaps.over200);
    std::printf("memory: peak %.1f MiB\n", double(residentKiB()) / 1024.0);
    std::printf("figures: longest_work_ms=%lld longest_wait_ms=%lld over_100ms=%d over_200ms=%d "
                "taken_per_s=%.0f "
                "queued_at_end=%lld\n",
                static_cast<long long>(gaps.longestCpuMs), static_cast<long long>(gaps.longestMs),
                gaps.over100, gaps.over200, double(receivedInRun) / wall,
                static_cast<long long>(decodedInRun - receivedInRun));

    link.close();
    keepLoadedLibrariesUntilExit();
    return 0;
}
