// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of recording. Two figures:
//  - WriterThroughput: 16-sensor frames with full-width readings formatted by RecordWriter and
//    handed to its output, which writes them to a file in a thread of its own (frames per
//    second of the formatting thread's CPU: items_per_second). A batch stays below what the
//    output may fall behind, so that no row is left out and every one is formatted;
//  - RecordingCpuAt200Hz: the simulated card streams 16 sensors at 200 Hz into the driver-card
//    object, and the CPU time of the process (the card's thread, the decoding one and, with
//    recording, the writer's output) is measured for a few seconds without and then with the
//    writer attached. `extra_cpu_pct` is the difference in percent of one core.

#include "cardmodel.h"
#include "myserialport.h"
#include "recordwriter.h"
#include "simulatedcard.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <ctime>
#include <random>

namespace {

// About 210 KB of lines, below RecordWriter::kOutputQueueBytes.
constexpr int kFramesPerBatch = 600;
constexpr int kMeasureSeconds = 4;

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void WriterThroughput(benchmark::State &state)
{
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> reading(-32768, 32767);
    std::vector<QList<Axit_t>> frames(64);
    for (QList<Axit_t> &frame : frames) {
        for (int i = 0; i < kMaxSensors; ++i)
            frame.append(Axit_t{qint16(reading(rng)), qint16(reading(rng)), qint16(reading(rng))});
    }
    QTemporaryDir dir;
    qint64 total = 0;
    for (auto _ : state) {
        RecordWriter writer;
        if (!writer.open(dir.filePath(QStringLiteral("bench.csv")), {})) {
            state.SkipWithError("cannot write the file");
            return;
        }
        FrameStamper stamps;
        for (int i = 0; i < kFramesPerBatch; ++i)
            writer.writeFrame(stamps.next(200), frames[std::size_t(i) % frames.size()],
                              kMaxSensors);
        writer.finish();
        total += writer.framesWritten();
    }
    state.SetItemsProcessed(total);
}
BENCHMARK(WriterThroughput)->Unit(benchmark::kMillisecond);

void RecordingCpuAt200Hz(benchmark::State &state)
{
    SimulatedCard card;
    if (!card.start({}, [](CardModel &model) { model.setFrequencyIndex(4); })) {
        state.SkipWithError("the simulated card did not start");
        return;
    }
    MySerialport port;
    port.openPort(card.portName(), 115200);
    QTemporaryDir dir;
    for (auto _ : state) {
        runEventLoopFor(500); // settle
        double cpu = processCpuSeconds();
        runEventLoopFor(kMeasureSeconds * 1000);
        const double without = (processCpuSeconds() - cpu) / kMeasureSeconds;

        RecordWriter writer;
        writer.open(dir.filePath(QStringLiteral("live.csv")), {});
        QObject::connect(&port, &SlaveProtocol::stampedFrame, &writer, &RecordWriter::writeFrame);
        cpu = processCpuSeconds();
        runEventLoopFor(kMeasureSeconds * 1000);
        const double with = (processCpuSeconds() - cpu) / kMeasureSeconds;
        writer.finish();
        state.counters["cpu_without_pct"] = without * 100;
        state.counters["cpu_with_pct"] = with * 100;
        state.counters["extra_cpu_pct"] = (with - without) * 100;
        state.counters["frames_recorded"] = double(writer.framesWritten());
    }
    port.closePort();
}
BENCHMARK(RecordingCpuAt200Hz)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg)
            fprintf(stderr, "%s\n", qPrintable(text));
    });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
