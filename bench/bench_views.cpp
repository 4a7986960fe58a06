// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing cost of the views: one plot refresh of the curve window with every sensor's three
// curves shown and full (16 sensors x 3 axes x 1000 points), for swinging and for flat curves, and
// one paint of each OpenGL view with a full board of 16 loaded sensors. Each case reports the
// median and the worst single run as counters besides the mean; the refresh timer allows 30 ms per
// refresh.

#include "benchframes.h"
#include "curvegraphic.h"
#include "planegraph.h"
#include "vectorgraph.h"

#include "keeploadedlibraries.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kSeriesPoints = 1000;

bool g_setupFailed = false;

// Times each iteration by hand and adds the median and the worst one as counters.
template<class Work> void timeEachRun(benchmark::State &state, Work work)
{
    std::vector<double> runs;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        work();
        const double seconds = double(timer.nsecsElapsed()) * 1e-9;
        state.SetIterationTime(seconds);
        runs.push_back(seconds * 1e3);
    }
    if (runs.empty())
        return;
    std::sort(runs.begin(), runs.end());
    state.counters["median_ms"] = runs[runs.size() / 2];
    state.counters["worst_ms"] = runs.back();
}

bool showAndWait(QWidget &widget)
{
    widget.show();
    if (QTest::qWaitForWindowExposed(&widget))
        return true;
    g_setupFailed = true;
    return false;
}

// Arg 0: curves that swing over the whole plot; arg 1: flat curves of sensors at rest.
void BM_PlotRefresh(benchmark::State &state)
{
    const auto source = state.range(0) == 1 ? restingFrame : loadedFrame;
    CurveGraphic window;
    window.setSensorSum(kMaxSensors);
    for (int n = 0; n < kSeriesPoints; ++n) {
        QList<Axit_t> frame = source(n);
        window.setItemData(frame, kMaxSensors);
    }
    auto *list = window.findChild<QListWidget *>(QStringLiteral("sensorList"));
    list->item(0)->setCheckState(Qt::Checked);
    emit list->itemClicked(list->item(0));
    if (!showAndWait(window)) {
        state.SkipWithError("curve window not exposed");
        return;
    }

    int n = kSeriesPoints;
    timeEachRun(state, [&] {
        QList<Axit_t> frame = source(n++);
        window.setItemData(frame, kMaxSensors);
        window.refreshPlot();
    });
    if (window.series(kMaxSensors - 1).keys.size() != kSeriesPoints) {
        g_setupFailed = true;
        state.SkipWithError("series not full");
    }
}

// Gives the benchmark the view's own drawing function.
template<class View> struct PaintableView : View
{
    using View::paintGL;
};

// Arg 0: render through the widget and read the image back, as a grab does; arg 1: draw into
// the view's framebuffer only and wait until the GL pipeline has finished.
template<class View> void paintView(benchmark::State &state, PaintableView<View> &view)
{
    view.setReadings(loadedFrame(7));
    view.resize(400, 300);
    if (!showAndWait(view)) {
        state.SkipWithError("view not exposed");
        return;
    }
    const bool drawOnly = state.range(0) == 1;
    timeEachRun(state, [&] {
        if (drawOnly) {
            view.makeCurrent();
            view.paintGL();
            view.context()->functions()->glFinish();
            view.doneCurrent();
        } else {
            benchmark::DoNotOptimize(view.grabFramebuffer());
        }
    });
}

void BM_PlaneGraphPaint(benchmark::State &state)
{
    PaintableView<PlaneGraph> view;
    paintView(state, view);
}

void BM_VectorGraphPaint(benchmark::State &state)
{
    PaintableView<VectorGraph> view;
    view.setSensorSum(kMaxSensors);
    paintView(state, view);
    if (view.vectors().size() != kMaxSensors) {
        g_setupFailed = true;
        state.SkipWithError("arrows not built for every reading");
    }
}

void paintModes(benchmark::internal::Benchmark *b)
{
    b->ArgName("drawonly")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_PlotRefresh)
    ->ArgName("resting")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaneGraphPaint)->Apply(paintModes);
BENCHMARK(BM_VectorGraphPaint)->Apply(paintModes);

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    registerDeviceRecordTypes();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    keepLoadedLibrariesUntilExit();
    benchmark::Shutdown();
    return g_setupFailed ? 1 : 0;
}
