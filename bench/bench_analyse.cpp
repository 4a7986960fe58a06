// SPDX-License-Identifier: GPL-3.0-or-later
// eskin-analyse on long recordings. Generates 10 minutes and one hour of 200 Hz x 16 sensors
// (with --hours N, N hours instead of the hour) in a temporary folder, deleted afterwards, and
// runs the program on each, once reading the file and once through a pipe (`cat FILE |
// eskin-analyse -`), writing its output beside. For each run it prints the frames per second (by
// the wall clock), the program's CPU time, and its peak resident memory as the kernel counted it:
// the same for every length when memory does not grow with the file.
//   bench_analyse [--hours N] [--dir DIR]

#include "benchrecording.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// Starts `arguments` with `input` (when 0 or more) as its standard input and `output` as its
// standard output; -1 when it cannot be started.
pid_t spawn(const QList<QByteArray> &arguments, int input, int output)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0)
        posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    if (output >= 0)
        posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    std::vector<char *> argv;
    for (const QByteArray &argument : arguments)
        argv.push_back(const_cast<char *>(argument.constData()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits for `pid` to end; its peak memory so far is kept in `peakMb`. The kernel's own count
// for a child (rusage) would hold this program's memory, from which it was started.
bool waitSampling(pid_t pid, int &status, rusage &usage, double &peakMb)
{
    const QString process = QString::number(pid);
    for (;;) {
        const pid_t ended = ::wait4(pid, &status, WNOHANG, &usage);
        if (ended != 0)
            return ended == pid;
        peakMb = std::max(peakMb, statusMb(process, "VmHWM:"));
        ::usleep(5000);
    }
}

void report(const char *how, qint64 frames, pid_t pid, const QElapsedTimer &clock,
            const QString &output)
{
    int status = 0;
    rusage usage = {};
    double peakMb = 0;
    if (pid < 0 || !waitSampling(pid, status, usage, peakMb)) {
        std::printf("  %s: eskin-analyse did not run\n", how);
        return;
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("  %s: eskin-analyse failed (status %d)\n", how, status);
        return;
    }
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("  %-5s %.2f s, %.2f M frames/s; CPU %.2f s (%.2f M frames/s); peak memory %.1f "
                "MB; output %.0f MB\n",
                how, seconds, double(frames) / seconds / 1e6, cpu, double(frames) / cpu / 1e6,
                peakMb, double(QFileInfo(output).size()) / 1e6);
    QFile::remove(output);
}

void analyseFile(const QByteArray &program, const QString &path, qint64 frames)
{
    const QString output = path + QStringLiteral(".analysis.csv");
    QElapsedTimer clock;
    clock.start();
    const pid_t pid =
        spawn({program, QFile::encodeName(path), "--output", QFile::encodeName(output)}, -1, -1);
    report("file:", frames, pid, clock, output);
}

void analysePipe(const QByteArray &program, const QString &path, qint64 frames)
{
    const QString output = path + QStringLiteral(".analysis.csv");
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return;
    QElapsedTimer clock;
    clock.start();
    const pid_t cat = spawn({"/bin/cat", QFile::encodeName(path)}, -1, ends[1]);
    const pid_t pid = spawn({program, "-", "--output", QFile::encodeName(output)}, ends[0], -1);
    ::close(ends[0]);
    ::close(ends[1]);
    report("pipe:", frames, pid, clock, output);
    if (cat > 0)
        ::waitpid(cat, nullptr, 0);
}

void run(const QByteArray &program, const QDir &dir, const QString &name, qint64 frames)
{
    const QString path = dir.filePath(QStringLiteral("recording.csv"));
    if (!generateRecording(path, frames)) {
        std::printf("%s: cannot write %s\n", qPrintable(name), qPrintable(path));
        return;
    }
    std::printf("%s: %lld frames, %.0f MB\n", qPrintable(name), static_cast<long long>(frames),
                double(QFileInfo(path).size()) / 1e6);
    analyseFile(program, path, frames);
    analysePipe(program, path, frames);
    std::fflush(stdout);
    QFile::remove(path);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const qsizetype dirAt = arguments.indexOf(QStringLiteral("--dir"));
    const qsizetype hoursAt = arguments.indexOf(QStringLiteral("--hours"));
    const int hours = hoursAt > 0 ? qMax(1, arguments.value(hoursAt + 1).toInt()) : 1;
    QTemporaryDir temporary((dirAt > 0 ? arguments.value(dirAt + 1) : QDir::tempPath()) +
                            QStringLiteral("/bench-XXXXXX"));
    if (!temporary.isValid()) {
        std::printf("cannot make a temporary folder\n");
        return 1;
    }
    const QByteArray program = QFile::encodeName(QStringLiteral(ESKIN_ANALYSE));
    const QDir dir(temporary.path());
    run(program, dir, QStringLiteral("10 minutes"), kBenchFramesPerHour / 6);
    run(program, dir, QStringLiteral("%1 hour(s)").arg(hours), hours * kBenchFramesPerHour);
    return 0;
}
