// SPDX-License-Identifier: GPL-3.0-or-later
// The program at rest: the real main window, and the curve window in the states where nothing
// new is shown (the port closed, a review stopped, the window minimized), then a review playing
// at 10x. For each state it reports over N seconds the CPU of the whole process in per cent of
// one core, split into the software OpenGL rasteriser (Mesa's llvmpipe threads) and the rest, and
// the plot refreshes and window compositions per second.
//
//   bench_rest [--seconds N]      N: seconds per state, default 10. Needs an X server (xvfb-run).
//
// Without a window manager (Xvfb) a minimized window stays mapped; the program still takes it as
// minimized, as it does under a desktop.

#include "benchmeasure.h"
#include "benchrecording.h"
#include "curvegraphic.h"
#include "mainwindow.h"

#include <qcustomplot.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QListWidget>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kStoredFrames = 1000;
constexpr qint64 kReviewFrames = 200LL * 600; // ten minutes at 200 Hz

void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double ownCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Mesa's software rasteriser runs in threads of its own.
double rasteriserCpuSeconds()
{
    return threadCpuSeconds(QStringLiteral("llvmpipe")) +
           threadCpuSeconds(QStringLiteral("softpipe"));
}

// Counts a window's update requests: each one paints its dirty widgets and composes the window.
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

class Bench
{
public:
    explicit Bench(int seconds)
        : m_seconds(seconds)
    {
        m_window.show();
        runEventLoop(1000);
    }

    void run(const QString &recording)
    {
        measure("main window only");
        openCurves();
        measure("curve window shown, port closed, no data");
        showAllSensors();
        measure("curve window 666x700, 48 curves, 1000 frames, port closed");
        m_curves->showMinimized();
        runEventLoop(500);
        measure("curve window minimized");
        m_curves->showNormal();
        m_curves->resize(1280, 1000);
        runEventLoop(500);
        if (!m_window.openRecording(recording)) {
            std::printf("the recording did not open\n");
            return;
        }
        tickAll();
        runEventLoop(500);
        measure("a review stopped, window 1280x1000");
        m_curves->findChild<QComboBox *>(QStringLiteral("reviewSpeed"))
            ->setCurrentText(QStringLiteral("10×"));
        auto *play = m_curves->findChild<QAction *>(QStringLiteral("actionPlay"));
        play->trigger();
        measure("a review playing at 10x, window 1280x1000");
        play->trigger();
        m_window.closeRecording();
    }

private:
    void openCurves()
    {
        m_window.findChild<QPushButton *>(QStringLiteral("btnGraphic"))->click();
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (auto *curves = qobject_cast<CurveGraphic *>(window))
                m_curves = curves;
        }
        m_plot = m_curves->findChild<QCustomPlot *>(QStringLiteral("graphic"));
        QObject::connect(m_plot, &QCustomPlot::afterReplot, [this] { ++m_replots; });
        m_curves->installEventFilter(&m_updates);
        runEventLoop(1000);
    }

    // 16 sensors, every curve shown, a full series of readings that wander, and no more frames.
    void showAllSensors()
    {
        m_curves->setSensorSum(kMaxSensors);
        tickAll();
        m_curves->resize(666, 700);
        QList<Axit_t> readings(kMaxSensors, Axit_t{0, 0, 0});
        for (int i = 0; i < kStoredFrames; ++i) {
            for (int s = 0; s < kMaxSensors; ++s)
                readings[s] = Axit_t{qint16(s * 100 + i % 97), qint16(-i % 301), qint16(i % 53)};
            m_curves->setStampedData(FrameStamp{quint64(i + 1), qint64(i) * kBenchFrameUs, 200},
                                     readings, uint(kMaxSensors));
        }
        runEventLoop(1000);
    }

    void tickAll()
    {
        auto *list = m_curves->findChild<QListWidget *>(QStringLiteral("sensorList"));
        list->item(0)->setCheckState(Qt::Checked);
        emit list->itemClicked(list->item(0));
    }

    void measure(const char *state)
    {
        std::fflush(stdout);
        const int replotsBefore = m_replots;
        const int updatesBefore = m_updates.count;
        const double rasteriserBefore = rasteriserCpuSeconds();
        const double cpuBefore = ownCpuSeconds();
        QElapsedTimer clock;
        clock.start();
        runEventLoop(m_seconds * 1000);
        const double wall = double(clock.nsecsElapsed()) / 1e9;
        const double cpu = ownCpuSeconds() - cpuBefore;
        const double rasteriser = rasteriserCpuSeconds() - rasteriserBefore;
        std::printf(
            "%-58s cpu %5.1f %% (rasteriser %5.1f %%, rest %5.1f %%), plot refreshes %5.1f/s, "
            "window compositions %5.1f/s\n",
            state, 100 * cpu / wall, 100 * rasteriser / wall, 100 * (cpu - rasteriser) / wall,
            (m_replots - replotsBefore) / wall, (m_updates.count - updatesBefore) / wall);
    }

    int m_seconds;
    MainWindow m_window;
    CurveGraphic *m_curves = nullptr;
    QCustomPlot *m_plot = nullptr;
    int m_replots = 0;
    UpdateCounter m_updates;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    printWarningsOnly();
    QStandardPaths::setTestModeEnabled(true); // the user's settings stay as they are
    const QStringList arguments = app.arguments();
    const qsizetype secondsAt = arguments.indexOf(QStringLiteral("--seconds"));
    const int seconds = secondsAt > 0 ? std::max(1, arguments.value(secondsAt + 1).toInt()) : 10;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("review.csv"));
    if (!dir.isValid() || !generateRecording(path, kReviewFrames)) {
        std::printf("cannot write a recording in %s\n", qPrintable(dir.path()));
        return 1;
    }
    Bench bench(seconds);
    bench.run(path);
    return 0;
}
