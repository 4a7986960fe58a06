// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CURVEREVIEW_H
#define CURVEREVIEW_H

#include "devicerecords.h"
#include "plotmarkers.h"

#include <QList>
#include <QObject>

#include <memory>

class CurveBuffer;
class FrameAxis;
class RecordIndex;
class RecordingReview;
class ReviewTimeline;

// The curve window's side of a review: the recording under review, attached to the timeline
// while it lasts, and the markers put on its frames meanwhile (numbered after the file's; the
// file itself is only read). At each move of the cursor it gives the curves the frames that end
// there, with the gaps between them and the markers on them.
class CurveReview : public QObject
{
    Q_OBJECT
public:
    // The review of `recording` from its first frame on, its steps by seconds no longer than the
    // frames the curves show before the cursor; null, with `error`, when its frames cannot be read.
    static std::unique_ptr<CurveReview> open(std::unique_ptr<RecordIndex> recording,
                                             ReviewTimeline *timeline, QString &error);
    CurveReview(std::unique_ptr<RecordingReview> review, ReviewTimeline *timeline);
    ~CurveReview() override;

    RecordingReview *recording() const { return m_review.get(); }

    // The frames that end at the cursor `index` into `buffer` (only those it passed when it went
    // on, `continued`), their gaps into `axis`, their markers into `markers`.
    void showCursor(qint64 index, bool continued, CurveBuffer &buffer, FrameAxis &axis,
                    PlotMarkers &markers) const;
    // The readings of the cursor's frame.
    QList<Axit_t> cursorReadings() const;
    // A marker at the frame of `key`, drawn at once with the others in `markers`; returns its
    // number.
    int addMarker(double key, const QString &label, PlotMarkers &markers);

signals:
    void cursorMoved(qint64 index, bool continued);
    void playingStarted();
    // The recording can no longer be read; sent from the event loop, and only while this review
    // lasts, so that it may be ended at once.
    void failed(const QString &error);

private:
    void showMarkers(PlotMarkers &markers) const;

    std::unique_ptr<RecordingReview> m_review;
    ReviewTimeline *m_timeline;
    // In the order of their frames.
    QList<PlotMarker> m_markers;
    int m_markerCount = 0;
};

#endif // CURVEREVIEW_H
