// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordingreview.h"

#include "recordindex.h"

#include <QLoggingCategory>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

Q_LOGGING_CATEGORY(lcViews, "eskin.views")

// As often as the curve window draws.
constexpr int kPlayTickMs = 30;

} // namespace

RecordingReview::RecordingReview(std::unique_ptr<RecordIndex> recording, QObject *parent)
    : QObject(parent)
    , m_recording(std::move(recording))
    , m_playTimer(new QTimer(this))
{
    m_playTimer->setInterval(kPlayTickMs);
    m_playTimer->setTimerType(Qt::PreciseTimer);
    connect(m_playTimer, &QTimer::timeout, this, &RecordingReview::playDue);
    readShown(0);
}

RecordingReview::~RecordingReview() = default;

qint64 RecordingReview::frameCount() const
{
    return m_recording->frameCount();
}

qint64 RecordingReview::timeUsAt(qint64 index) const
{
    const qint64 at = index - firstShown();
    return at >= 0 && at < qint64(m_shown.size()) ? m_shown[std::size_t(at)].timeUs : -1;
}

FrameStamp RecordingReview::stampAt(qint64 index) const
{
    const qint64 time = timeUsAt(index);
    if (time < 0)
        return {};
    return FrameStamp{quint64(index) + 1, time, m_recording->frequencyAt(index)};
}

// The file's markers are in the order of their frames; a playing review asks at every step.
std::vector<RecordMarker> RecordingReview::shownMarkers() const
{
    const std::vector<RecordMarker> &markers = m_recording->markers();
    const auto before = [](const RecordMarker &m, qint64 index) {
        return m.frameIndex < index;
    };
    const auto first = std::lower_bound(markers.begin(), markers.end(), firstShown(), before);
    return {first, std::lower_bound(first, markers.end(), m_cursor + 1, before)};
}

std::vector<RecordGap> RecordingReview::shownGaps() const
{
    const std::vector<RecordGap> &gaps = m_recording->gaps();
    const auto before = [](const RecordGap &g, qint64 index) {
        return g.frameIndex < index;
    };
    const auto first = std::lower_bound(gaps.begin(), gaps.end(), firstShown() + 1, before);
    return {first, std::lower_bound(first, gaps.end(), m_cursor + 1, before)};
}

bool RecordingReview::isPlaying() const
{
    return m_playTimer->isActive();
}

bool RecordingReview::seek(qint64 index)
{
    if (!readShown(index))
        return false;
    // Playing goes on from here.
    if (isPlaying()) {
        m_playFromUs = cursorFrame().timeUs;
        m_playClock.start();
    }
    return true;
}

// A cursor that goes on by less than the shown frames reads only the frames it passes.
bool RecordingReview::readShown(qint64 index)
{
    if (m_failed)
        return false;
    index = std::clamp(index, qint64(0), frameCount() - 1);
    if (index == m_cursor && !m_shown.empty())
        return true;
    const bool continued = !m_shown.empty() && index > m_cursor && index - m_cursor < kShownFrames;
    const qint64 first = continued ? m_cursor + 1 : std::max(qint64(0), index + 1 - kShownFrames);
    if (!m_recording->readFrames(first, index + 1 - first, m_added))
        return fail();
    if (continued) {
        m_shown.insert(m_shown.end(), m_added.begin(), m_added.end());
        const qint64 extra = qint64(m_shown.size()) - kShownFrames;
        if (extra > 0)
            m_shown.erase(m_shown.begin(), m_shown.begin() + extra);
    } else {
        m_shown.swap(m_added);
    }
    m_cursor = index;
    emit cursorMoved(index, continued);
    return true;
}

void RecordingReview::stepFrames(qint64 frames)
{
    seek(m_cursor + frames);
}

void RecordingReview::stepSeconds(int seconds)
{
    if (m_failed || seconds == 0)
        return;
    qint64 found = 0;
    if (!m_recording->findFrame(cursorFrame().timeUs + seconds * kSecondUs, found)) {
        fail();
        return;
    }
    qint64 target = seconds > 0 ? std::max(found, m_cursor + 1) : std::min(found, m_cursor - 1);
    if (m_longestStep > 0)
        target = std::clamp(target, m_cursor - m_longestStep, m_cursor + m_longestStep);
    seek(target);
}

void RecordingReview::toStart()
{
    seek(0);
}

void RecordingReview::toEnd()
{
    seek(frameCount() - 1);
}

void RecordingReview::toPreviousMarker()
{
    const std::vector<RecordMarker> &markers = m_recording->markers();
    const auto after =
        std::lower_bound(markers.begin(), markers.end(), m_cursor,
                         [](const RecordMarker &m, qint64 index) { return m.frameIndex < index; });
    if (after != markers.begin())
        seek(std::prev(after)->frameIndex);
}

void RecordingReview::toNextMarker()
{
    const std::vector<RecordMarker> &markers = m_recording->markers();
    const auto next =
        std::upper_bound(markers.begin(), markers.end(), m_cursor,
                         [](qint64 index, const RecordMarker &m) { return index < m.frameIndex; });
    if (next != markers.end())
        seek(next->frameIndex);
}

void RecordingReview::setPlaying(bool playing)
{
    if (m_failed)
        playing = false;
    if (playing == isPlaying())
        return;
    if (playing) {
        if (m_cursor == frameCount() - 1 && !readShown(0))
            return;
        m_playFromUs = cursorFrame().timeUs;
        m_playClock.start();
        m_playTimer->start();
    } else {
        m_playTimer->stop();
    }
    emit playingChanged(playing);
}

void RecordingReview::setSpeed(double factor)
{
    factor = std::clamp(factor, kMinSpeed, kMaxSpeed);
    if (isPlaying()) {
        m_playFromUs = playTimeUs();
        m_playClock.start();
    }
    m_speed = factor;
}

qint64 RecordingReview::playTimeUs() const
{
    return m_playFromUs + std::llround(double(m_playClock.nsecsElapsed()) / 1000.0 * m_speed);
}

// The frame whose time has come; a gap in the recording passes at its recorded length.
void RecordingReview::playDue()
{
    qint64 due = 0;
    if (!m_recording->findFrame(playTimeUs(), due)) {
        fail();
        return;
    }
    if (due > m_cursor && !readShown(due))
        return;
    if (m_cursor == frameCount() - 1)
        setPlaying(false);
}

bool RecordingReview::fail()
{
    const bool first = !m_failed;
    m_failed = true;
    setPlaying(false);
    if (first) {
        qCDebug(lcViews) << "review failed:" << m_recording->errorString();
        emit failed(m_recording->errorString());
    }
    return false;
}
