// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDINGPLAYER_H
#define RECORDINGPLAYER_H

#include "recordindex.h"

#include <QElapsedTimer>
#include <QObject>

#include <memory>
#include <vector>

class CardModel;
class QTimer;

// Plays a recording through a card model in place of the card's own readings: every recorded
// frame becomes one sample, at the recorded timing divided by the speed, with the recorded
// sensor count. Frames are read from the recording as they are due, a few hundred at a time, so
// that a day's file plays in a few megabytes.
//
// The card waits for its host (CardModel::setWaitsForHost): playing starts from the beginning
// each time a host opens the port and pauses while none has it open, so that a host never
// misses the start. At the end it stops, or starts again after one mean frame interval when
// looping; a looping replay goes on where it paused instead of starting again. The card streams
// each part of the recording at its rate (RecordIndex::frequencyAt(), 100 Hz when the recording
// does not tell) and refuses to change it.
class RecordingPlayer : public QObject
{
    Q_OBJECT
public:
    static constexpr double kMinSpeed = 0.01;
    static constexpr double kMaxSpeed = 100.0;
    // Within kMinSpeed..kMaxSpeed; not NaN.
    static bool isSpeed(double factor) { return factor >= kMinSpeed && factor <= kMaxSpeed; }

    // `recording` is open and has frames. `model` becomes the parent; the player lives in the
    // model's thread.
    RecordingPlayer(std::unique_ptr<RecordIndex> recording, double speed, bool loop,
                    CardModel *model);
    ~RecordingPlayer() override;

    bool isPlaying() const;
    qint64 framesPlayed() const { return m_played; }

signals:
    // The last frame has been sent and the recording does not loop.
    void ended();
    // The frame of a marker has just been sent.
    void markerPlayed(int number, const QString &label);
    // The recording could not be read on (it has changed since it was opened); playing stops.
    void failed(const QString &error);

private:
    void hostOpenChanged(bool open);
    void restart();
    void resume();
    void playDue();
    void playFrame();
    void showRateOf(qint64 index);
    const RecordedFrame *frameAt(qint64 index);
    qint64 offsetUs(qint64 index); // from the round's start, in real time
    qint64 dueUs(qint64 index);
    void scheduleNext(qint64 nowUs);
    void fail();

    CardModel *m_model;
    std::unique_ptr<RecordIndex> m_recording;
    double m_speed;
    bool m_loop;
    qint64 m_roundUs = 0; // length of one round in real time, gap before the next included
    QTimer *m_timer = nullptr;
    QElapsedTimer m_clock;
    qint64 m_roundStartUs = 0;
    qint64 m_next = 0;
    std::size_t m_nextMarker = 0;
    qint64 m_played = 0;
    bool m_startedOnce = false;
    std::vector<RecordedFrame> m_ahead; // frames read ahead, from m_aheadFirst on
    qint64 m_aheadFirst = 0;
    bool m_failed = false;
};

#endif // RECORDINGPLAYER_H
