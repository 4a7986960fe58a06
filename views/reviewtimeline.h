// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef REVIEWTIMELINE_H
#define REVIEWTIMELINE_H

#include <QWidget>

#include <functional>

class QAction;
class QComboBox;
class QLabel;
class QSlider;
class QToolButton;
class RecordingReview;

// The timeline of a recording under review, below the curves: "播放" (`actionPlay`, Space), the
// speed (0.1x to 10x), a slider over every frame (`reviewSlider`, its value the cursor's frame)
// with the time at the cursor, the recording's length and the rate there (`reviewTime`), and the
// previous and next marker when the file has any. Keys: left and right one frame, with Shift one
// second, Home and End the first and last frame, PgUp and PgDn the markers. Its actions are live
// only while a review is attached.
class ReviewTimeline : public QWidget
{
    Q_OBJECT
public:
    explicit ReviewTimeline(QWidget *parent = nullptr);

    // Follows `review` and drives it; nullptr detaches and disables the keys.
    void attach(RecordingReview *review);
    QAction *playAction() const { return m_play; }

protected:
    void changeEvent(QEvent *event) override;

private:
    // An action of the keys that moves the cursor by `move`.
    QAction *addKey(const char *name, const QKeySequence &key,
                    const std::function<void(RecordingReview &)> &move);
    void retranslate();
    void showCursor(qint64 index);
    void chooseSpeed(int entry);

    RecordingReview *m_review = nullptr;
    QAction *m_play;
    QList<QAction *> m_keys;
    QAction *m_previousMarker = nullptr;
    QAction *m_nextMarker = nullptr;
    QToolButton *m_playButton;
    QLabel *m_speedLabel;
    QComboBox *m_speed;
    QSlider *m_slider;
    QLabel *m_time;
    QToolButton *m_previousButton;
    QToolButton *m_nextButton;
};

#endif // REVIEWTIMELINE_H
