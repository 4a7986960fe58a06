// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CURVEGRAPHIC_H
#define CURVEGRAPHIC_H

#include "curvebuffer.h"
#include "curvesaver.h"
#include "devicerecords.h"
#include "frameaxis.h"
#include "frametimes.h"
#include "plotmarkers.h"
#include "sensorseries.h"

#include <QColor>
#include <QList>
#include <QWidget>

#include <memory>

class CurveAnalysis;
class CurveReview;
class LiveFrames;
class ParkedLive;
class PlotFeeder;
class PlotPause;
class PlotRanges;
class QAction;
class QCPAbstractLegendItem;
class QCPLegend;
class QListWidgetItem;
class QTimer;
class RecordIndex;
class RecordingReview;
class ReviewTimeline;
class SensorCurves;

namespace Ui {
class CurveGraphic;
}

// The visualisation window: the vector and plane graphs above a plot of three curves per
// sensor, and a sensor list that shows or hides each sensor's curves. Every sensor-data frame
// is recorded, whether the window is shown or not, with the stamp the driver-card object gave it
// (its time for the readout and the saved data, its number for a marker); drawing runs from 30 ms
// timers while it is shown, and only when there is something new to draw: at rest (no frames, a
// pause, a review that stands, the window minimized) nothing is redrawn.
//
// A tool bar above the plot looks closer at the display: pause (the curves and both views stay as
// they are while frames are still stored), mouse zoom and pan (which pause), automatic ranges, a
// readout under the pointer, markers, pictures and the shown data saved, the legend (in the plot
// or beside it), the value range's fit and an x axis in seconds. None of it costs anything while
// it is not used. The curves break where the data stopped (a port lost or closed, a recording's
// gap). A sensor's ticks and shown curves are kept while the sensor count leaves it out.
//
// In review mode the window shows a recording instead (RecordingReview), with a timeline below the
// curves: the curves hold the 1000 frames that end at the timeline's cursor, the views show the
// cursor's frame, the sensor count follows that frame, and the file's markers are drawn, with the
// markers put on the review's frames meanwhile (they are not written to the file). The live
// curves are kept aside meanwhile (live frames that still arrive are dropped) and come back as
// they were when the review ends.
class CurveGraphic : public QWidget
{
    Q_OBJECT
public:
    explicit CurveGraphic(QWidget *parent = nullptr);
    ~CurveGraphic() override;

    // Number of sensors shown, 1 to 16; larger counts are taken as 16. In review mode, the number
    // that the live display takes back at its end.
    void setSensorSum(uint sum);

    // Shows `recording` (open, with frames) from its first frame on; a review already open is
    // replaced. False, with `error`, when its frames cannot be read.
    bool beginReview(std::unique_ptr<RecordIndex> recording, QString &error);
    // Back to the live display.
    void endReview();
    bool isReviewing() const { return m_review != nullptr; }
    RecordingReview *review() const;

    uint sensorSum() const;
    double sampleCounter() const { return m_buffer.newestKey(); }
    const SensorSeries &series(int sensor) const { return m_buffer.series(sensor); }
    QColor axisColor(int sensor, int axis) const;

    // One plot refresh: brings the sensors' graphs up to their stored points, sets the ranges and
    // replots. Runs every 30 ms while the window is shown and there is something new to draw;
    // does nothing while paused.
    void refreshPlot();

    bool isPaused() const;
    // Microseconds from the first frame to the frame of `key` as the plot shows it, -1 when not
    // known (the last 1000 frames are).
    qint64 frameMicros(double key) const;
    // The stamp of the frame of `key` as the plot shows it; invalid when not known. In review,
    // the recording's time and rate of the frame with that index.
    FrameStamp frameStamp(double key) const;
    // The key of the frame the window shows as newest: the newest drawn (also while paused), the
    // newest taken while the window is not shown, the cursor's in review.
    double newestShownKey() const;
    QList<PlotMarker> markers() const { return m_markers->markers(); }
    // "标记", for the main window's menu too.
    QAction *markerAction() const;

    // The plot in the format of the file's suffix (png, jpg, pdf, svg), at its shown size, and
    // the vector and plane views beside it as PNG (NAME-vectors.png, NAME-plane.png); another
    // suffix is refused, with nothing written.
    bool savePicture(const QString &path, QString &error);
    // The frames whose points the plot holds, the zoomed range only while zoomed, as a recording.
    bool saveShown(const QString &path, QString &error);

    // What the skin feels (contact, total force, centre of pressure, peak), on the plane graph,
    // as the sensor list's row "合力" and as a line under the plot; off by default.
    void setAnalysisEnabled(bool on);
    void setAnalysisThreshold(int threshold);
    const CurveAnalysis &analysis() const { return *m_analysis; }

public slots:
    // A frame without a stamp: the window stamps it as it comes.
    void setItemData(QList<Axit_t> &axit, uint num);
    // A frame as the driver-card object stamped it.
    void setStampedData(const FrameStamp &stamp, const QList<Axit_t> &axit, uint num);
    // A marker at the frame the window shows as newest; an empty label gives "标记 N". Returns its
    // number, or 0 before the first frame.
    int addMarker(const QString &label = QString());
    // A marker at the frame of `key`, such as one read from a recording.
    int addMarkerAt(double key, const QString &label);
    // The live data stop for `cause` (as a recording writes it: "port lost", "port closed"): the
    // curves break before the next frame. A second call before a frame changes nothing.
    void beginGap(const QString &cause);

signals:
    // A live marker was placed at the frame of `key`, whose stamp is `marked` (invalid when the
    // frame is no longer kept), for a recording and the stream to keep.
    void markerAdded(int number, const QString &label, const FrameStamp &marked, double key);
    // The recording under review can no longer be read (it shrank or changed); sent once, from
    // the event loop, so that the review may be ended at once.
    void reviewFailed(const QString &error);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private slots:
    void on_sensorList_itemClicked(QListWidgetItem *item);
    void plotlegendClickslot(QCPLegend *legend, QCPAbstractLegendItem *item, QMouseEvent *event);

private:
    void setUpPlot();
    void setUpTools();
    void retranslate();
    void showSensorCount(uint sum);
    // Both views draw `readings`, the frame sent at `timeUs` (-1: not known).
    void showReadings(const QList<Axit_t> &readings, qint64 timeUs = -1);
    void setViewsRefreshing(bool on);
    // The timer's refresh: only when frames came or the view changed since the last one, and the
    // window can be seen.
    void refreshIfDue();
    std::pair<double, double> knownKeys() const;
    void restoreRanges();
    // Draws a change of what is shown: at once while paused, else at the next tick.
    void showChange();
    void placeLegend();
    void setFitShown(bool fit);
    void setTimeAxis(bool shown);
    CurveSaver::Shown shownData() const;
    void showReviewCursor(qint64 index, bool continued);

    std::unique_ptr<Ui::CurveGraphic> ui;
    std::unique_ptr<QTimer> refreshTimer;
    CurveBuffer m_buffer;
    std::unique_ptr<FrameAxis> m_frameAxis;
    std::unique_ptr<PlotFeeder> m_feeder;
    PlotRanges *m_ranges = nullptr;
    std::unique_ptr<SensorCurves> m_curves;
    std::unique_ptr<CurveSaver> m_saver;
    std::unique_ptr<CurveAnalysis> m_analysis;
    // The newest key of the last refresh: the frame at the curves' right end.
    double m_drawnKey = 0;
    // The buffer's revision that the last refresh drew, and a change of view since.
    quint64 m_drawnRevision = 0;
    bool m_viewChanged = true;
    std::unique_ptr<LiveFrames> m_liveFrames;

    PlotPause *m_pause = nullptr;
    std::unique_ptr<PlotMarkers> m_markers;
    int m_markerCount = 0;

    std::unique_ptr<CurveReview> m_review;
    ReviewTimeline *m_timeline = nullptr;
    // The live display while a recording is reviewed; live frames that still arrive are dropped.
    std::unique_ptr<ParkedLive> m_live;
    uint m_liveSensorSum = 0; // also what setSensorSum() asks for meanwhile
};

#endif // CURVEGRAPHIC_H
