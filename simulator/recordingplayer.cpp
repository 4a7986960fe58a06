// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordingplayer.h"

#include "cardmodel.h"

#include <QLoggingCategory>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

Q_LOGGING_CATEGORY(lcSim, "eskin.sim")

constexpr qint64 kMinRoundUs = 1000; // a looped round never takes less than a millisecond
// Frames sent in one go at most, so that a very fast replay still lets the card answer.
constexpr int kMaxBurst = 1000;
// Frames read from the file at once.
constexpr qint64 kReadAhead = 512;
// The card's own rate when the recording does not tell its rate.
constexpr int kUnknownRateHz = 100;

} // namespace

RecordingPlayer::RecordingPlayer(std::unique_ptr<RecordIndex> recording, double speed, bool loop,
                                 CardModel *model)
    : QObject(model)
    , m_model(model)
    , m_recording(std::move(recording))
    , m_speed(std::clamp(speed, kMinSpeed, kMaxSpeed))
    , m_loop(loop)
    , m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &RecordingPlayer::playDue);
    connect(model, &CardModel::hostOpenChanged, this, &RecordingPlayer::hostOpenChanged);
    model->setOwnSampling(false);
    model->setWaitsForHost(true);
    showRateOf(0);
    model->setFixedFrequency(true);
    const qint64 count = m_recording->frameCount();
    if (const RecordedFrame *first = frameAt(0))
        model->setSensorCount(first->sensors);
    const qint64 span = m_recording->lastTimeUs() - m_recording->firstTimeUs();
    const qint64 gap = count > 1 ? span / (count - 1) : 0;
    m_roundUs = std::max(qint64(std::llround(double(span + gap) / m_speed)), kMinRoundUs);
}

RecordingPlayer::~RecordingPlayer() = default;

bool RecordingPlayer::isPlaying() const
{
    return m_timer->isActive();
}

void RecordingPlayer::hostOpenChanged(bool open)
{
    if (!open) {
        m_timer->stop();
        return;
    }
    if (m_loop && m_startedOnce)
        resume();
    else
        restart();
    m_startedOnce = true;
}

// The frame due next is due now.
void RecordingPlayer::resume()
{
    if (m_next == m_recording->frameCount()) {
        m_next = 0;
        m_nextMarker = 0;
    }
    m_clock.start();
    m_roundStartUs = -offsetUs(m_next);
    playDue();
}

void RecordingPlayer::restart()
{
    m_next = 0;
    m_nextMarker = 0;
    m_roundStartUs = 0;
    m_clock.start();
    playDue();
}

const RecordedFrame *RecordingPlayer::frameAt(qint64 index)
{
    if (index < m_aheadFirst || index >= m_aheadFirst + qint64(m_ahead.size())) {
        const qint64 count = std::min(kReadAhead, m_recording->frameCount() - index);
        m_aheadFirst = index;
        if (!m_recording->readFrames(index, count, m_ahead)) {
            fail();
            return nullptr;
        }
    }
    return &m_ahead[std::size_t(index - m_aheadFirst)];
}

qint64 RecordingPlayer::offsetUs(qint64 index)
{
    const RecordedFrame *frame = frameAt(index);
    if (!frame)
        return LLONG_MAX / 2;
    return qint64(std::llround(double(frame->timeUs - m_recording->firstTimeUs()) / m_speed));
}

qint64 RecordingPlayer::dueUs(qint64 index)
{
    return m_roundStartUs + offsetUs(index);
}

void RecordingPlayer::playDue()
{
    if (m_failed)
        return;
    const qint64 nowUs = m_clock.nsecsElapsed() / 1000;
    const qint64 count = m_recording->frameCount();
    for (int sent = 0; sent < kMaxBurst; ++sent) {
        if (m_next == count) {
            if (!m_loop) {
                qCDebug(lcSim) << "replay ended after" << m_played << "frames";
                emit ended();
                return;
            }
            m_next = 0;
            m_nextMarker = 0;
            m_roundStartUs += m_roundUs;
        }
        if (dueUs(m_next) > nowUs)
            break;
        playFrame();
        if (m_failed)
            return;
    }
    if (!m_failed)
        scheduleNext(nowUs);
}

void RecordingPlayer::playFrame()
{
    const RecordedFrame *frame = frameAt(m_next);
    if (!frame)
        return;
    showRateOf(m_next);
    m_model->sampleReadings(
        QList<Axit_t>(frame->readings.begin(), frame->readings.begin() + frame->sensors));
    ++m_played;
    const std::vector<RecordMarker> &markers = m_recording->markers();
    for (; m_nextMarker < markers.size() && markers[m_nextMarker].frameIndex <= m_next;
         ++m_nextMarker) {
        if (markers[m_nextMarker].frameIndex == m_next)
            emit markerPlayed(markers[m_nextMarker].number, markers[m_nextMarker].label);
    }
    ++m_next;
}

// The card runs at the rate of the part of the recording it plays, as its frequency read says.
void RecordingPlayer::showRateOf(qint64 index)
{
    const int hz = m_recording->frequencyAt(index);
    const int rate = sampleRateIndex(hz > 0 ? RecordFormat::nearestCardRate(hz) : kUnknownRateHz);
    if (rate != m_model->frequencyIndex())
        m_model->setFrequencyIndex(rate);
}

void RecordingPlayer::scheduleNext(qint64 nowUs)
{
    const qint64 waitUs = m_next < m_recording->frameCount() ? dueUs(m_next) - nowUs : 0;
    if (!m_failed)
        m_timer->start(int(std::clamp<qint64>((waitUs + 999) / 1000, 0, INT_MAX)));
}

void RecordingPlayer::fail()
{
    if (m_failed)
        return;
    m_failed = true;
    m_timer->stop();
    qCDebug(lcSim) << "replay stopped:" << m_recording->errorString();
    emit failed(m_recording->errorString());
}
