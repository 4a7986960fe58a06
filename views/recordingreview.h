// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDINGREVIEW_H
#define RECORDINGREVIEW_H

#include "framestamp.h"
#include "recordformat.h"

#include <QElapsedTimer>
#include <QObject>

#include <memory>
#include <vector>

class QTimer;
class RecordIndex;

// A recording looked at frame by frame: a cursor over its frames that seeks, steps by frames, by
// seconds and to its markers, and plays at 0.1 to 10 times the recorded pace (each part of a
// recording whose rate changed at its own). The frames that end
// at the cursor (as many as a curve holds) are read from the file as the cursor moves; nothing
// else of the file is held.
//
// When the file can no longer be read as it was opened (it shrank or changed), playing stops,
// failed() is emitted once and the cursor stays where it was.
class RecordingReview : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kShownFrames = 1000;
    static constexpr double kMinSpeed = 0.1;
    static constexpr double kMaxSpeed = 10.0;
    // One step of stepSeconds().
    static constexpr qint64 kSecondUs = 1000000;

    // `recording` is open and has frames. The cursor starts at the first frame.
    explicit RecordingReview(std::unique_ptr<RecordIndex> recording, QObject *parent = nullptr);
    ~RecordingReview() override;

    const RecordIndex &recording() const { return *m_recording; }
    qint64 frameCount() const;
    qint64 cursor() const { return m_cursor; }
    bool hasFailed() const { return m_failed; }
    // The frames up to the cursor, oldest first: kShownFrames, fewer near the start.
    const std::vector<RecordedFrame> &shownFrames() const { return m_shown; }
    qint64 firstShown() const { return m_cursor + 1 - qint64(m_shown.size()); }
    const RecordedFrame &cursorFrame() const { return m_shown.back(); }
    // The time of a shown frame, -1 for another.
    qint64 timeUsAt(qint64 index) const;
    // A shown frame's stamp: numbered from 1 in the file, at its recorded time and rate; invalid
    // for another.
    FrameStamp stampAt(qint64 index) const;
    // The file's markers on the shown frames.
    std::vector<RecordMarker> shownMarkers() const;
    // The file's gaps between the shown frames.
    std::vector<RecordGap> shownGaps() const;
    bool isPlaying() const;
    double speed() const { return m_speed; }
    // A step by seconds goes this many frames at most (0: no limit): the frames the curves show
    // before the cursor, so that the frame it left stays in view at a high rate.
    void setLongestStep(qint64 frames) { m_longestStep = frames; }

public slots:
    // Moves the cursor to `index`, kept within the recording. False when the file could not be
    // read.
    bool seek(qint64 index);
    void stepFrames(qint64 frames);
    // To the last frame at most that many seconds away, and no further than the longest step;
    // always at least one frame.
    void stepSeconds(int seconds);
    void toStart();
    void toEnd();
    void toPreviousMarker();
    void toNextMarker();
    // Playing at the end starts again from the first frame; it stops at the last.
    void setPlaying(bool playing);
    // Kept within kMinSpeed..kMaxSpeed.
    void setSpeed(double factor);

signals:
    // `continued`: the frames shown before are the oldest of the new ones (the cursor went on by
    // fewer than kShownFrames).
    void cursorMoved(qint64 index, bool continued);
    void playingChanged(bool playing);
    void failed(const QString &error);

private:
    bool readShown(qint64 index);
    void playDue();
    qint64 playTimeUs() const;
    bool fail();

    std::unique_ptr<RecordIndex> m_recording;
    std::vector<RecordedFrame> m_shown;
    std::vector<RecordedFrame> m_added;
    qint64 m_cursor = 0;
    bool m_failed = false;
    double m_speed = 1.0;
    qint64 m_longestStep = 0;
    QTimer *m_playTimer;
    QElapsedTimer m_playClock;
    qint64 m_playFromUs = 0; // the recording's time when the play clock started
};

#endif // RECORDINGREVIEW_H
