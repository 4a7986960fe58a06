// SPDX-License-Identifier: GPL-3.0-or-later
#include "curvereview.h"

#include "curvebuffer.h"
#include "frameaxis.h"
#include "plotranges.h"
#include "recordindex.h"
#include "recordingreview.h"
#include "reviewtimeline.h"

#include <algorithm>

std::unique_ptr<CurveReview> CurveReview::open(std::unique_ptr<RecordIndex> recording,
                                               ReviewTimeline *timeline, QString &error)
{
    auto review = std::make_unique<RecordingReview>(std::move(recording));
    if (review->hasFailed()) {
        error = review->recording().errorString();
        return nullptr;
    }
    review->setLongestStep(qint64(PlotRanges::kVisibleKeys));
    return std::make_unique<CurveReview>(std::move(review), timeline);
}

CurveReview::CurveReview(std::unique_ptr<RecordingReview> review, ReviewTimeline *timeline)
    : m_review(std::move(review))
    , m_timeline(timeline)
{
    for (const RecordMarker &marker : m_review->recording().markers())
        m_markerCount = std::max(m_markerCount, marker.number);
    m_timeline->attach(m_review.get());
    connect(m_review.get(), &RecordingReview::cursorMoved, this, &CurveReview::cursorMoved);
    connect(m_review.get(), &RecordingReview::playingChanged, this, [this](bool playing) {
        if (playing)
            emit playingStarted();
    });
    // Queued to this object: a review that has ended reports nothing.
    connect(m_review.get(), &RecordingReview::failed, this, &CurveReview::failed,
            Qt::QueuedConnection);
}

CurveReview::~CurveReview()
{
    m_timeline->attach(nullptr);
}

void CurveReview::showCursor(qint64 index, bool continued, CurveBuffer &buffer, FrameAxis &axis,
                             PlotMarkers &markers) const
{
    buffer.takeRecorded(m_review->shownFrames(), m_review->firstShown(), index, continued);
    QList<FrameAxis::Gap> gaps;
    for (const RecordGap &gap : m_review->shownGaps())
        gaps.append({double(gap.frameIndex), gap.lengthUs, gap.cause});
    axis.setGaps(gaps);
    showMarkers(markers);
}

QList<Axit_t> CurveReview::cursorReadings() const
{
    const RecordedFrame &now = m_review->cursorFrame();
    return QList<Axit_t>(now.readings.begin(), now.readings.begin() + now.sensors);
}

int CurveReview::addMarker(double key, const QString &label, PlotMarkers &markers)
{
    const int number = ++m_markerCount;
    const QString named = label.isEmpty() ? PlotMarkers::defaultLabel(number) : label;
    const auto after =
        std::upper_bound(m_markers.begin(), m_markers.end(), key,
                         [](double k, const PlotMarker &marker) { return k < marker.key; });
    m_markers.insert(after, {number, named, key});
    showMarkers(markers);
    return number;
}

// The file's markers on the shown frames, numbered and labelled as in the file, with the markers
// put on them meanwhile.
void CurveReview::showMarkers(PlotMarkers &markers) const
{
    markers.clear();
    for (const RecordMarker &marker : m_review->shownMarkers())
        markers.add({marker.number, marker.label, double(marker.frameIndex)});
    const double first = double(m_review->firstShown());
    const double last = double(m_review->cursor());
    for (const PlotMarker &marker : m_markers) {
        if (marker.key >= first && marker.key <= last)
            markers.add(marker);
    }
}
