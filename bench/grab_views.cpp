// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the curve window and its two OpenGL views at a fixed stream of readings, for
// checking that a change to the drawing leaves what the operator sees as it was. The same
// frames, refreshes and window size are used on every run, so two builds can be compared.
//
//   grab_views DIR                  saves window.png, vectorgraph.png, planegraph.png in DIR, for
//                                   loaded and resting sensors
//   grab_views DIR --compare OTHER  also compares them with the pictures saved in OTHER
//
//   grab_views DIR --compare OTHER --tolerance N
//                                   counts pictures as alike when no colour channel of any pixel
//                                   differs by more than N levels (antialiasing noise)
//
//   grab_views --screenshot FILE   saves a picture of the curve window as the operator sees it:
//                                   two sensors shown, two markers, the readout under the pointer
//
// Needs an X server, e.g. under xvfb-run. The comparison counts differing pixels and their
// largest difference per colour channel; it exits with 1 when any picture differs by more than
// the tolerance (none by default).

#include "benchframes.h"
#include "curvegraphic.h"
#include "planegraph.h"
#include "vectorgraph.h"

#include <qcustomplot.h>

#include "keeploadedlibraries.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QMouseEvent>
#include <QTest>
#include <QThread>
#include <QToolBar>

#include <cmath>
#include <cstdio>

namespace {

using FrameSource = QList<Axit_t> (*)(int);

void feed(CurveGraphic &window, FrameSource source, int &n, int frames)
{
    for (const int end = n + frames; n < end; ++n) {
        QList<Axit_t> frame = source(n);
        window.setItemData(frame, kMaxSensors);
    }
}

struct Difference
{
    int pixels = 0;
    int largest = 0;
};

Difference compare(const QImage &a, const QImage &b)
{
    Difference d;
    if (a.size() != b.size())
        return {a.width() * a.height(), 255};
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            const int most = std::max({std::abs(p.red() - q.red()), std::abs(p.green() - q.green()),
                                       std::abs(p.blue() - q.blue())});
            if (most > 0) {
                ++d.pixels;
                d.largest = std::max(d.largest, most);
            }
        }
    }
    return d;
}

// The tool bar's actions are found by name, so that this builds against sources without them.
bool saveScreenshot(const QString &path)
{
    CurveGraphic window;
    window.setSensorSum(4);
    // As the window opens on a 1280 x 800 screen, its legend beside the curves.
    window.resize(980, 600);
    if (auto *beside = window.findChild<QAction *>(QStringLiteral("actionLegendOutside")))
        beside->setChecked(true);
    auto *list = window.findChild<QListWidget *>(QStringLiteral("sensorList"));
    for (int row : {1, 2}) {
        list->item(row)->setCheckState(Qt::Checked);
        emit list->itemClicked(list->item(row));
    }
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return false;
    int n = 0;
    auto *marker = window.findChild<QAction *>(QStringLiteral("actionMarker"));
    // At 200 frames a second, so that the readout's times are the stream's.
    for (int markedAt : {220, 262, 300}) {
        while (n < markedAt) {
            feed(window, loadedFrame, n, 1);
            QThread::msleep(5);
        }
        if (marker && markedAt < 300)
            marker->trigger();
    }
    window.refreshPlot();
    auto *plot = window.findChild<QCustomPlot *>(QStringLiteral("graphic"));
    const QPoint pointer(int(plot->xAxis->coordToPixel(243)), plot->axisRect()->top() + 130);
    // Sent to the plot itself: QTest::mouseMove would warp the X pointer, which other programs
    // on the same display share.
    QMouseEvent move(QEvent::MouseMove, pointer, plot->mapToGlobal(pointer), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    auto *readout = plot->findChild<QWidget *>(QStringLiteral("plotReadout"));
    if (readout && !QTest::qWaitFor([readout] { return readout->isVisible(); }))
        return false;
    plot->replot(); // the pointer's marks, drawn now rather than on the next queued replot
    return window.grab().save(path);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("dir"), QStringLiteral("Where to save."));
    const QCommandLineOption compareOption(QStringLiteral("compare"),
                                           QStringLiteral("Pictures to compare with."),
                                           QStringLiteral("other"));
    parser.addOption(compareOption);
    const QCommandLineOption toleranceOption(
        QStringLiteral("tolerance"), QStringLiteral("Largest channel difference taken as alike."),
        QStringLiteral("levels"), QStringLiteral("0"));
    parser.addOption(toleranceOption);
    const QCommandLineOption screenshotOption(QStringLiteral("screenshot"),
                                              QStringLiteral("Save the operator's view instead."),
                                              QStringLiteral("file"));
    parser.addOption(screenshotOption);
    parser.addHelpOption();
    parser.process(app);
    if (parser.isSet(screenshotOption)) {
        const bool saved = saveScreenshot(parser.value(screenshotOption));
        keepLoadedLibrariesUntilExit();
        return saved ? 0 : 1;
    }
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(1);
    const QDir dir(parser.positionalArguments().first());
    if (!dir.mkpath(QStringLiteral(".")))
        return 1;

    bool same = true;
    const QList<std::pair<QString, FrameSource>> scenes = {
        {QStringLiteral("loaded-"), loadedFrame}, {QStringLiteral("resting-"), restingFrame}};
    for (const auto &[scene, source] : scenes) {
        CurveGraphic window;
        window.setSensorSum(kMaxSensors);
        window.resize(853, 595);
        // Builds before the tool bar had none: without it the plot and views have the same size.
        if (auto *bar = window.findChild<QToolBar *>(QStringLiteral("curveToolBar")))
            bar->hide();
        auto *list = window.findChild<QListWidget *>(QStringLiteral("sensorList"));
        list->item(0)->setCheckState(Qt::Checked);
        emit list->itemClicked(list->item(0));
        int n = 0;
        feed(window, source, n, 600);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return 1;
        // Refreshes that append, drop past the cap, and append again.
        window.refreshPlot();
        feed(window, source, n, 500);
        window.refreshPlot();
        feed(window, source, n, 1);
        window.refreshPlot();
        QTest::qWait(100);

        const QList<std::pair<QString, QImage>> pictures = {
            {scene + QStringLiteral("window.png"), window.grab().toImage()},
            {scene + QStringLiteral("vectorgraph.png"),
             window.findChild<VectorGraph *>()->grabFramebuffer()},
            {scene + QStringLiteral("planegraph.png"),
             window.findChild<PlaneGraph *>()->grabFramebuffer()},
        };
        for (const auto &[name, image] : pictures) {
            image.save(dir.filePath(name));
            if (!parser.isSet(compareOption))
                continue;
            const QImage other(QDir(parser.value(compareOption)).filePath(name));
            const Difference d = compare(image.convertToFormat(QImage::Format_RGB32),
                                         other.convertToFormat(QImage::Format_RGB32));
            std::printf("%s: %dx%d, %d pixels differ, largest channel difference %d\n",
                        qPrintable(name), image.width(), image.height(), d.pixels, d.largest);
            same = same && d.largest <= parser.value(toleranceOption).toInt();
        }
    }
    keepLoadedLibrariesUntilExit();
    return same ? 0 : 1;
}
