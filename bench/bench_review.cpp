// SPDX-License-Identifier: GPL-3.0-or-later
// Review mode in the real windows. Generates recordings of 200 Hz x 16 sensors in a temporary
// folder (deleted afterwards): one hour (720,000 frames) and, with --day, 24 hours (17,280,000
// frames, about 4.3 GB; skipped when the disk has less than 5 GB free). Each is opened in the main
// window as "打开记录…" opens it, every curve ticked, and measured:
// - the time from choosing the file until the curve window has drawn it (the checking pass
//   included), and the resident memory above the program's with no file open, after the opening
//   and at its peak;
// - seeks: the timeline's slider set to a random frame, until the whole curve window is drawn;
// - playing at 10x: the interval between two plot refreshes, and the frames played.
//   bench_review [--day] [--dir DIR] [--seconds N]      (needs an X server: xvfb-run)

#include "benchrecording.h"
#include "curvegraphic.h"
#include "mainwindow.h"

#include <qcustomplot.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sys/statvfs.h>
#include <vector>

namespace {

constexpr int kSeeks = 200;

void resetPeakMemory()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5"); // the peak ("VmHWM") starts again from the present
}

void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Median, 95th percentile and largest, sorted in place.
QString spread(std::vector<double> &values)
{
    if (values.empty())
        return QStringLiteral("none");
    std::sort(values.begin(), values.end());
    return QStringLiteral("median %1, p95 %2, max %3")
        .arg(values[values.size() / 2], 0, 'f', 1)
        .arg(values[values.size() * 95 / 100], 0, 'f', 1)
        .arg(values.back(), 0, 'f', 1);
}

class Bench
{
public:
    Bench()
    {
        m_window.show();
        m_window.findChild<QPushButton *>(QStringLiteral("btnGraphic"))->click();
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (auto *curves = qobject_cast<CurveGraphic *>(window))
                m_curves = curves;
        }
        m_plot = m_curves->findChild<QCustomPlot *>(QStringLiteral("graphic"));
        m_slider = m_curves->findChild<QSlider *>(QStringLiteral("reviewSlider"));
        runEventLoop(2000);
        m_baseMb = statusMb(QStringLiteral("self"), "VmRSS:");
        std::printf("program with no file open: %.1f MB resident\n", m_baseMb);
    }

    void run(const QString &path, int playSeconds)
    {
        if (!open(path))
            return;
        seek();
        play(playSeconds);
        std::printf("  memory after seeking and playing: %+.1f MB\n",
                    statusMb(QStringLiteral("self"), "VmRSS:") - m_baseMb);
        m_window.closeRecording();
    }

private:
    bool open(const QString &path)
    {
        resetPeakMemory();
        QElapsedTimer clock;
        clock.start();
        bool drawn = false;
        const auto connection =
            QObject::connect(m_plot, &QCustomPlot::afterReplot, [&drawn] { drawn = true; });
        if (!m_window.openRecording(path)) {
            std::printf("  not opened\n");
            return false;
        }
        while (!drawn)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QObject::disconnect(connection);
        std::printf("  opened and drawn: %.2f s; memory %+.1f MB after, %+.1f MB at the peak\n",
                    double(clock.nsecsElapsed()) / 1e9,
                    statusMb(QStringLiteral("self"), "VmRSS:") - m_baseMb,
                    statusMb(QStringLiteral("self"), "VmHWM:") - m_baseMb);
        auto *list = m_curves->findChild<QListWidget *>(QStringLiteral("sensorList"));
        list->item(0)->setCheckState(Qt::Checked);
        emit list->itemClicked(list->item(0));
        return true;
    }

    // From the slider's move until the window, both views included, is drawn.
    void seek()
    {
        std::mt19937_64 rng(3);
        std::uniform_int_distribution<int> at(0, m_slider->maximum());
        std::vector<double> ms;
        QElapsedTimer clock;
        // The first drawing with every curve ticked lays the legend out; it is not a seek's cost.
        m_slider->setValue(m_slider->maximum() / 2);
        QCoreApplication::processEvents();
        m_curves->repaint();
        for (int i = 0; i < kSeeks; ++i) {
            clock.start();
            m_slider->setValue(at(rng));
            QCoreApplication::processEvents(); // the plot's queued replot
            m_curves->repaint();
            ms.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        std::printf("  seek to a random frame, drawn: %s ms\n", qPrintable(spread(ms)));
    }

    void play(int seconds)
    {
        m_curves->findChild<QComboBox *>(QStringLiteral("reviewSpeed"))
            ->setCurrentText(QStringLiteral("10×"));
        m_slider->setValue(0);
        QElapsedTimer clock;
        std::vector<double> intervals;
        qint64 last = -1;
        const auto connection = QObject::connect(m_plot, &QCustomPlot::afterReplot, [&] {
            const qint64 now = clock.nsecsElapsed();
            if (last >= 0)
                intervals.push_back(double(now - last) / 1e6);
            last = now;
        });
        auto *playing = m_curves->findChild<QAction *>(QStringLiteral("actionPlay"));
        clock.start();
        playing->trigger();
        runEventLoop(seconds * 1000);
        playing->trigger();
        QObject::disconnect(connection);
        std::printf("  playing at 10x for %d s: %lld frames (%lld at the recorded pace), plot "
                    "refreshes every %s ms (%zu)\n",
                    seconds, static_cast<long long>(m_slider->value()),
                    static_cast<long long>(10LL * 200 * seconds), qPrintable(spread(intervals)),
                    intervals.size());
    }

    MainWindow m_window;
    CurveGraphic *m_curves = nullptr;
    QCustomPlot *m_plot = nullptr;
    QSlider *m_slider = nullptr;
    double m_baseMb = 0;
};

bool generate(const QDir &dir, const char *name, qint64 frames, QString &path)
{
    path = dir.filePath(QString::fromLatin1(name) + QStringLiteral(".csv"));
    QElapsedTimer clock;
    clock.start();
    if (!generateRecording(path, frames)) {
        std::printf("%s: cannot write %s\n", name, qPrintable(path));
        return false;
    }
    std::printf("%s: %lld frames, %.0f MB (generated in %.0f s)\n", name,
                static_cast<long long>(frames), double(QFileInfo(path).size()) / 1e6,
                double(clock.elapsed()) / 1000);
    std::fflush(stdout);
    return true;
}

bool roomForADay(const QDir &dir)
{
    struct statvfs disk = {};
    const qint64 needed = 5LL << 30; // the file, and room to spare
    return ::statvfs(QFile::encodeName(dir.path()).constData(), &disk) == 0 &&
           qint64(disk.f_bavail) * qint64(disk.f_frsize) >= needed;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // the user's settings stay as they are
    const QStringList arguments = app.arguments();
    const qsizetype dirAt = arguments.indexOf(QStringLiteral("--dir"));
    const qsizetype secondsAt = arguments.indexOf(QStringLiteral("--seconds"));
    const int seconds = secondsAt > 0 ? std::max(1, arguments.value(secondsAt + 1).toInt()) : 10;
    QTemporaryDir temporary((dirAt > 0 ? arguments.value(dirAt + 1) : QDir::tempPath()) +
                            QStringLiteral("/bench-XXXXXX"));
    if (!temporary.isValid()) {
        std::printf("cannot make a temporary folder\n");
        return 1;
    }
    const QDir dir(temporary.path());
    Bench bench;
    QString path;
    if (generate(dir, "one hour", kBenchFramesPerHour, path))
        bench.run(path, seconds);
    QFile::remove(path);
    if (!arguments.contains(QStringLiteral("--day")))
        return 0;
    if (!roomForADay(dir)) {
        std::printf("24 hours: skipped, less than 5 GB free in %s\n", qPrintable(dir.path()));
        return 0;
    }
    if (generate(dir, "24 hours", 24 * kBenchFramesPerHour, path))
        bench.run(path, seconds);
    QFile::remove(path);
    return 0;
}
