// SPDX-License-Identifier: GPL-3.0-or-later
// Opening long recordings without reading them into memory. Generates recordings of 200 Hz x 16
// sensors in a temporary folder (deleted afterwards): one hour (720,000 frames) and, with
// --day, 24 hours (17,280,000 frames, about 4.3 GB; skipped when the disk has too little room).
// For each it prints the file's size, the time to open it (the checking pass that builds the
// index), the resident memory above the program's before the opening (after it and at its
// peak), the time to read the 1,000 frames ending at random indices and to find a frame by its
// time, and the start of `eskin-card-sim --replay` on the same file (time to its terminal's
// path, and its resident memory then and after a few seconds of playing to a host).
//   bench_recordindex [--day] [--dir DIR]

#include "benchrecording.h"
#include "recordindex.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sys/statvfs.h>
#include <vector>

namespace {

constexpr qint64 kFramesPerHour = kBenchFramesPerHour;
constexpr qint64 kFrameUs = kBenchFrameUs;
constexpr int kReads = 200;
constexpr qint64 kReadFrames = 1000;

double selfMb(const char *key)
{
    return statusMb(QStringLiteral("self"), key);
}

void measureIndex(const QString &path)
{
    const double baseMb = selfMb("VmRSS:");
    // Writing 5 resets the peak ("VmHWM") to the present.
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
    refs.close();
    RecordIndex index;
    QElapsedTimer clock;
    clock.start();
    if (!index.open(path)) {
        std::printf("  refused: %s\n", qPrintable(index.errorString()));
        return;
    }
    const double openS = double(clock.nsecsElapsed()) / 1e9;
    std::printf("  open: %.2f s for %lld frames; memory %+.1f MB after, %+.1f MB at the peak\n",
                openS, static_cast<long long>(index.frameCount()), selfMb("VmRSS:") - baseMb,
                selfMb("VmHWM:") - baseMb);

    std::mt19937_64 rng(2);
    std::uniform_int_distribution<qint64> at(kReadFrames - 1, index.frameCount() - 1);
    std::vector<double> readMs, findMs;
    std::vector<RecordedFrame> frames;
    for (int i = 0; i < kReads; ++i) {
        const qint64 last = at(rng);
        clock.restart();
        if (!index.readFrames(last - kReadFrames + 1, kReadFrames, frames)) {
            std::printf("  read failed: %s\n", qPrintable(index.errorString()));
            return;
        }
        readMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        qint64 found = 0;
        clock.restart();
        index.findFrame(last * kFrameUs, found);
        findMs.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(readMs.begin(), readMs.end());
    std::sort(findMs.begin(), findMs.end());
    std::printf("  1,000 frames ending at a random index: median %.2f ms, max %.2f ms\n",
                readMs[readMs.size() / 2], readMs.back());
    std::printf("  the frame at a random time: median %.3f ms, max %.3f ms\n",
                findMs[findMs.size() / 2], findMs.back());
    std::printf("  memory after the reads: %+.1f MB\n", selfMb("VmRSS:") - baseMb);
}

// eskin-card-sim --replay: the time until it serves, and its memory then and while it plays.
void measureReplay(const QString &path, const QString &link)
{
    QProcess card;
    QElapsedTimer clock;
    clock.start();
    card.start(QStringLiteral(ESKIN_CARD_SIM),
               {QStringLiteral("--replay"), path, QStringLiteral("--link"), link});
    if (!card.waitForStarted() || !card.waitForReadyRead(600000)) {
        std::printf("  replay did not start: %s\n", card.readAllStandardError().constData());
        return;
    }
    const double startS = double(clock.nsecsElapsed()) / 1e9;
    const QString pid = QString::number(card.processId());
    std::printf("  eskin-card-sim --replay: serving after %.2f s, resident %.1f MB", startS,
                statusMb(pid, "VmRSS:"));
    QSerialPort host(link);
    if (host.open(QIODevice::ReadWrite)) {
        qint64 received = 0;
        clock.restart();
        while (clock.elapsed() < 3000) {
            host.waitForReadyRead(100);
            received += host.readAll().size();
        }
        std::printf(", %.1f MB after 3 s of playing (%lld bytes sent)", statusMb(pid, "VmRSS:"),
                    static_cast<long long>(received));
    }
    std::printf("\n");
    card.terminate();
    card.waitForFinished();
}

void run(const QDir &dir, const char *name, qint64 frames)
{
    const QString path = dir.filePath(QString::fromLatin1(name) + QStringLiteral(".csv"));
    QElapsedTimer clock;
    clock.start();
    if (!generateRecording(path, frames)) {
        std::printf("%s: cannot write %s\n", name, qPrintable(path));
        return;
    }
    std::printf("%s: %lld frames, %.0f MB (generated in %.0f s)\n", name,
                static_cast<long long>(frames), double(QFileInfo(path).size()) / 1e6,
                double(clock.elapsed()) / 1000);
    std::fflush(stdout);
    measureIndex(path);
    measureReplay(path, dir.filePath(QStringLiteral("card")));
    std::fflush(stdout);
    QFile::remove(path);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const qsizetype dirAt = arguments.indexOf(QStringLiteral("--dir"));
    QTemporaryDir temporary(dirAt > 0 ? arguments.value(dirAt + 1) + QStringLiteral("/bench-XXXXXX")
                                      : QDir::tempPath() + QStringLiteral("/bench-XXXXXX"));
    if (!temporary.isValid()) {
        std::printf("cannot make a temporary folder\n");
        return 1;
    }
    const QDir dir(temporary.path());
    run(dir, "one hour", kFramesPerHour);
    if (!arguments.contains(QStringLiteral("--day")))
        return 0;
    struct statvfs disk = {};
    const qint64 needed = 5LL << 30; // the file, and room to spare
    if (::statvfs(QFile::encodeName(dir.path()).constData(), &disk) != 0 ||
        qint64(disk.f_bavail) * qint64(disk.f_frsize) < needed) {
        std::printf("24 hours: skipped, less than 5 GB free in %s\n", qPrintable(dir.path()));
        return 0;
    }
    run(dir, "24 hours", 24 * kFramesPerHour);
    return 0;
}
