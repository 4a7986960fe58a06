// SPDX-License-Identifier: GPL-3.0-or-later
// Live display under load: the simulated card streams 16 sensors at 200 Hz over a
// pseudo-terminal to the driver-card object on its worker thread, and the curve window is shown
// and refreshing with every sensor's three curves ticked, wired as the main window wires it.
// Reports the refresh rate, the CPU use of the program's own threads (the card's thread
// excluded), split into the software OpenGL rasteriser's threads and the rest, its memory over
// the run, and the time from a frame's last byte on the wire to the plot refresh that first
// draws it. The last line repeats the figures as key=value pairs for scripts/bench-compare.sh.
//
//   bench_liveview [--seconds N] [--unticked]
//       N: length of the run, default 60; --unticked leaves the curves hidden.
//       Needs an X server, e.g. under xvfb-run.

#include "benchlink.h"
#include "cardmodel.h"
#include "curvegraphic.h"
#include "myserialport.h"
#include "simulatedcard.h"
#include "wirelog.h"

#include "keeploadedlibraries.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QHash>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) {
        return double(t.tv_sec) + t.tv_usec / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

// Resident and peak resident memory of the process, in KiB.
long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

// CPU seconds of every thread of the process, by thread id, with the thread's name. Mesa's
// software rasteriser runs its own threads, named llvmpipe-N.
struct ThreadCpu
{
    QString name;
    double seconds = 0;
};

QHash<QString, ThreadCpu> threadTimes()
{
    QHash<QString, ThreadCpu> times;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(tid + QStringLiteral("/stat")));
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (!stat.open(QIODevice::ReadOnly) || !comm.open(QIODevice::ReadOnly))
            continue;
        // The name may hold spaces and parentheses; the fields after its closing one do not.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 13)
            continue;
        // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
        const double cpu = (fields.at(11).toDouble() + fields.at(12).toDouble()) / ticks;
        times.insert(tid, {QString::fromLocal8Bit(comm.readAll().trimmed()), cpu});
    }
    return times;
}

bool isRasteriser(const QString &threadName)
{
    return threadName.startsWith(QLatin1String("llvmpipe")) ||
           threadName.startsWith(QLatin1String("softpipe"));
}

// CPU seconds the rasteriser's threads spent between two snapshots.
double rasteriserSeconds(const QHash<QString, ThreadCpu> &before,
                         const QHash<QString, ThreadCpu> &after)
{
    double total = 0;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (isRasteriser(it->name))
            total += it->seconds - before.value(it.key()).seconds;
    }
    return total;
}

void tickAllCurves(CurveGraphic &curves)
{
    auto *list = curves.findChild<QListWidget *>(QStringLiteral("sensorList"));
    if (list == nullptr || list->count() == 0)
        return;
    list->item(0)->setCheckState(Qt::Checked);
    emit list->itemClicked(list->item(0));
}

// Counts the curve window's update requests: each one paints the dirty widgets and composes the
// whole window (through OpenGL, as the window holds OpenGL views) once.
class UpdateCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::UpdateRequest)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

struct Refresh
{
    Clock::time_point at;
    int framesReceived;
};

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p * double(values.size())))];
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("Length of the run."),
                                           QStringLiteral("N"), QStringLiteral("60"));
    parser.addOption(secondsOption);
    const QCommandLineOption untickedOption(QStringLiteral("unticked"),
                                            QStringLiteral("Leave every curve hidden."));
    parser.addOption(untickedOption);
    parser.addHelpOption();
    parser.process(app);
    const int seconds = std::max(1, parser.value(secondsOption).toInt());

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("card"));
    SimulatedCard card;
    WireLog wire(seconds * 220 + 1000);
    if (!startLoggedCard(card, link, wire))
        return 1;

    CurveGraphic curves;
    curves.setSensorSum(kMaxSensors);
    BenchLink cardLink;
    MySerialport *port = cardLink.port;
    QObject::connect(port, &SlaveProtocol::stampedFrame, &curves, &CurveGraphic::setStampedData);
    int framesReceived = 0;
    QObject::connect(port, &SlaveProtocol::AxitReflushGraphic, &curves,
                     [&](QList<Axit_t> &, uint) { ++framesReceived; });
    std::vector<Refresh> refreshes;
    refreshes.reserve(std::size_t(seconds) * 40 + 100);
    auto *plot = curves.findChild<QCustomPlot *>(QStringLiteral("graphic"));
    QObject::connect(plot, &QCustomPlot::afterReplot, &curves, [&] {
        refreshes.push_back({Clock::now(), framesReceived});
    });
    if (!parser.isSet(untickedOption))
        tickAllCurves(curves);
    curves.show();
    if (!cardLink.open(link)) {
        std::fprintf(stderr, "the port did not open\n");
        return 1;
    }

    double cardCpuStart = 0;
    card.withModel([&](CardModel &model) {
        cardCpuStart = threadCpuSeconds();
        model.setStreaming(true);
    });
    const double cpuStart = processCpuSeconds();
    const QHash<QString, ThreadCpu> threadsStart = threadTimes();
    const auto start = Clock::now();
    const int refreshesBefore = int(refreshes.size());
    UpdateCounter windowUpdates;
    curves.installEventFilter(&windowUpdates);
    QList<long> residentKiB;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { residentKiB << statusKiB("VmRSS:"); });
    sampler.start(5000);
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();

    double cardCpu = 0;
    card.withModel([&](CardModel &model) {
        model.setStreaming(false);
        cardCpu = threadCpuSeconds() - cardCpuStart;
    });
    const double wall = secondsSince(start);
    const double hostCpu = processCpuSeconds() - cpuStart - cardCpu;
    const double rasteriserCpu = rasteriserSeconds(threadsStart, threadTimes());
    residentKiB << statusKiB("VmRSS:");
    const int refreshesDuringRun = int(refreshes.size()) - refreshesBefore;
    curves.removeEventFilter(&windowUpdates);
    // The last frames on their way, and a refresh that draws them; a slow build (sanitizers, a
    // busy machine) may take longer to catch up.
    QElapsedTimer draining;
    draining.start();
    const int sentInRun = wire.count.load(std::memory_order_acquire);
    while (draining.elapsed() < 300 ||
           (framesReceived < sentInRun - 1 && draining.elapsed() < 10000))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    // Frame k (in order; the line is clean, so none is lost) is first drawn by the first refresh
    // that had received it.
    const int sent = wire.count.load(std::memory_order_acquire);
    std::vector<double> latencyMs;
    std::size_t r = std::size_t(refreshesBefore);
    for (int k = 0; k < std::min(sent, framesReceived); ++k) {
        while (r < refreshes.size() && refreshes[r].framesReceived < k + 1)
            ++r;
        if (r == refreshes.size())
            break;
        latencyMs.push_back(
            std::chrono::duration<double, std::milli>(refreshes[r].at - wire.sent[std::size_t(k)])
                .count());
    }

    std::printf("run: %.1f s, frames sent %d, received %d, plot refreshes %.1f per second, window "
                "compositions %.1f per second\n",
                wall, sent, framesReceived, refreshesDuringRun / wall, windowUpdates.count / wall);
    std::printf("cpu: program threads %.1f %% of one core (card thread %.1f %%, excluded)\n",
                100 * hostCpu / wall, 100 * cardCpu / wall);
    std::printf("cpu: software rasteriser %.1f %%, everything else %.1f %% of one core\n",
                100 * rasteriserCpu / wall, 100 * (hostCpu - rasteriserCpu) / wall);
    // On a busy machine the refresh rate drops, and with it the CPU per second; the CPU per
    // refresh still compares.
    const double perRefresh = refreshesDuringRun > 0 ? 1000.0 / refreshesDuringRun : 0;
    std::printf("cpu per plot refresh: software rasteriser %.2f ms, everything else %.2f ms\n",
                rasteriserCpu * perRefresh, (hostCpu - rasteriserCpu) * perRefresh);
    QStringList resident;
    for (long kib : residentKiB)
        resident << QString::number(kib / 1024.0, 'f', 1);
    std::printf("memory: peak %.1f MiB; resident every 5 s (MiB): %s\n",
                double(statusKiB("VmHWM:")) / 1024.0, qPrintable(resident.join(QLatin1Char(' '))));
    std::printf(
        "wire to first draw: median %.1f ms, 99th percentile %.1f ms, worst %.1f ms (%zu frames)\n",
        percentile(latencyMs, 0.5), percentile(latencyMs, 0.99), percentile(latencyMs, 1.0),
        latencyMs.size());
    const long residentGrowthKiB =
        residentKiB.isEmpty() ? 0 : residentKiB.last() - residentKiB.first();
    std::printf(
        "figures: cpu=%.1f rasteriser=%.1f rest=%.1f refreshes=%.1f latency_median=%.1f "
        "latency_p99=%.1f rss_growth_mib=%.1f compositions=%.1f rasteriser_ms_per_refresh=%.2f "
        "rest_ms_per_refresh=%.2f\n",
        100 * hostCpu / wall, 100 * rasteriserCpu / wall, 100 * (hostCpu - rasteriserCpu) / wall,
        refreshesDuringRun / wall, percentile(latencyMs, 0.5), percentile(latencyMs, 0.99),
        double(residentGrowthKiB) / 1024.0, windowUpdates.count / wall, rasteriserCpu * perRefresh,
        (hostCpu - rasteriserCpu) * perRefresh);

    cardLink.close();
    keepLoadedLibrariesUntilExit();
    const bool lost = framesReceived < sent - 1;
    if (lost)
        std::fprintf(stderr, "frames were lost: sent %d, received %d\n", sent, framesReceived);
    return lost || latencyMs.empty() ? 1 : 0;
}
