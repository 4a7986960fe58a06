// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDINGPLAYER_H
#define RECORDINGPLAYER_H

#include "recordreader.h"

#include <QElapsedTimer>
#include <QObject>

#include <vector>

class CardModel;
class QTimer;

// Plays a recording through a card model in place of the card's own readings: every recorded
// frame becomes one sample, at the recorded timing divided by the speed, with the recorded
// sensor count. Playing starts each time the model starts; at the end it stops, or starts
// again after one mean frame interval when looping.
class RecordingPlayer : public QObject
{
    Q_OBJECT
public:
    static constexpr double kMinSpeed = 0.01;
    static constexpr double kMaxSpeed = 100.0;
    // Within kMinSpeed..kMaxSpeed; not NaN.
    static bool isSpeed(double factor) { return factor >= kMinSpeed && factor <= kMaxSpeed; }

    // `model` becomes the parent; the player lives in the model's thread.
    RecordingPlayer(std::vector<RecordedFrame> frames, double speed, bool loop, CardModel *model);

    bool isPlaying() const;
    qint64 framesPlayed() const { return m_played; }

signals:
    // The last frame has been sent and the recording does not loop.
    void ended();

private:
    void restart();
    void playDue();
    qint64 dueUs(std::size_t index) const;
    void scheduleNext(qint64 nowUs);

    CardModel *m_model;
    std::vector<RecordedFrame> m_frames;
    double m_speed;
    bool m_loop;
    qint64 m_roundUs = 0; // length of one round in real time, gap before the next included
    QTimer *m_timer = nullptr;
    QElapsedTimer m_clock;
    qint64 m_roundStartUs = 0;
    std::size_t m_next = 0;
    qint64 m_played = 0;
};

#endif // RECORDINGPLAYER_H
