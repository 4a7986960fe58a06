// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordingplayer.h"

#include "cardmodel.h"

#include <QDebug>
#include <QTimer>

#include <QLoggingCategory>
#include <algorithm>
#include <climits>
#include <cmath>

namespace {

Q_LOGGING_CATEGORY(lcSim, "eskin.sim")

constexpr qint64 kMinRoundUs = 1000; // a looped round never takes less than a millisecond
// Frames sent in one go at most, so that a very fast replay still lets the card answer.
constexpr int kMaxBurst = 1000;

} // namespace

RecordingPlayer::RecordingPlayer(std::vector<RecordedFrame> frames, double speed, bool loop,
                                 CardModel *model)
    : QObject(model)
    , m_model(model)
    , m_frames(std::move(frames))
    , m_speed(std::clamp(speed, kMinSpeed, kMaxSpeed))
    , m_loop(loop)
    , m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &RecordingPlayer::playDue);
    connect(model, &CardModel::started, this, &RecordingPlayer::restart);
    model->setOwnSampling(false);
    if (!m_frames.empty()) {
        model->setSensorCount(m_frames.front().sensors);
        const qint64 span = m_frames.back().timeUs - m_frames.front().timeUs;
        const qint64 gap = m_frames.size() > 1 ? span / qint64(m_frames.size() - 1) : 0;
        m_roundUs = std::max(qint64(std::llround(double(span + gap) / m_speed)), kMinRoundUs);
    }
}

bool RecordingPlayer::isPlaying() const
{
    return m_timer->isActive();
}

void RecordingPlayer::restart()
{
    m_next = 0;
    m_roundStartUs = 0;
    m_clock.start();
    playDue();
}

qint64 RecordingPlayer::dueUs(std::size_t index) const
{
    const qint64 offset = m_frames[index].timeUs - m_frames.front().timeUs;
    return m_roundStartUs + qint64(std::llround(double(offset) / m_speed));
}

void RecordingPlayer::playDue()
{
    const qint64 nowUs = m_clock.nsecsElapsed() / 1000;
    for (int sent = 0; sent < kMaxBurst; ++sent) {
        if (m_next == m_frames.size()) {
            if (!m_loop || m_frames.empty()) {
                qCDebug(lcSim) << "replay ended after" << m_played << "frames";
                emit ended();
                return;
            }
            m_next = 0;
            m_roundStartUs += m_roundUs;
        }
        if (dueUs(m_next) > nowUs)
            break;
        const RecordedFrame &frame = m_frames[m_next++];
        m_model->sampleReadings(
            QList<Axit_t>(frame.readings.begin(), frame.readings.begin() + frame.sensors));
        ++m_played;
    }
    scheduleNext(nowUs);
}

void RecordingPlayer::scheduleNext(qint64 nowUs)
{
    const qint64 waitUs = m_next < m_frames.size() ? dueUs(m_next) - nowUs : 0;
    m_timer->start(int(std::clamp<qint64>((waitUs + 999) / 1000, 0, INT_MAX)));
}
