// SPDX-License-Identifier: GPL-3.0-or-later
#include "reviewtimeline.h"

#include "recordindex.h"
#include "recordingreview.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

#include <array>

namespace {

constexpr std::array<double, 7> kSpeeds{0.1, 0.2, 0.5, 1, 2, 5, 10};
constexpr int kFirstSpeed = 3; // 1x
// A click beside the slider's handle moves it by this part of the recording.
constexpr int kSliderPages = 100;

QString seconds(qint64 micros)
{
    return QString::number(double(micros) / 1e6, 'f', 3);
}

QToolButton *buttonFor(QAction *action, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

} // namespace

ReviewTimeline::ReviewTimeline(QWidget *parent)
    : QWidget(parent)
    , m_play(new QAction(this))
    , m_speed(new QComboBox(this))
    , m_slider(new QSlider(Qt::Horizontal, this))
    , m_time(new QLabel(this))
{
    setObjectName(QStringLiteral("reviewTimeline"));
    m_play->setObjectName(QStringLiteral("actionPlay"));
    m_play->setCheckable(true);
    m_play->setShortcut(Qt::Key_Space);
    addAction(m_play);
    connect(m_play, &QAction::toggled, this, [this](bool on) {
        if (m_review)
            m_review->setPlaying(on);
    });
    m_keys.append(m_play);
    addKey("actionStepBack", Qt::Key_Left, [](RecordingReview &r) { r.stepFrames(-1); });
    addKey("actionStepForward", Qt::Key_Right, [](RecordingReview &r) { r.stepFrames(1); });
    addKey("actionSecondBack", Qt::SHIFT | Qt::Key_Left,
           [](RecordingReview &r) { r.stepSeconds(-1); });
    addKey("actionSecondForward", Qt::SHIFT | Qt::Key_Right,
           [](RecordingReview &r) { r.stepSeconds(1); });
    addKey("actionToStart", Qt::Key_Home, [](RecordingReview &r) { r.toStart(); });
    addKey("actionToEnd", Qt::Key_End, [](RecordingReview &r) { r.toEnd(); });
    m_previousMarker = addKey("actionPreviousMarker", Qt::Key_PageUp,
                              [](RecordingReview &r) { r.toPreviousMarker(); });
    m_nextMarker =
        addKey("actionNextMarker", Qt::Key_PageDown, [](RecordingReview &r) { r.toNextMarker(); });

    m_playButton = buttonFor(m_play, this);
    m_speedLabel = new QLabel(this);
    m_speed->setObjectName(QStringLiteral("reviewSpeed"));
    for (double factor : kSpeeds)
        m_speed->addItem(QString::number(factor) + QStringLiteral("×"), factor);
    connect(m_speed, &QComboBox::currentIndexChanged, this, &ReviewTimeline::chooseSpeed);
    m_slider->setObjectName(QStringLiteral("reviewSlider"));
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        if (m_review)
            m_review->seek(value);
    });
    m_time->setObjectName(QStringLiteral("reviewTime"));
    m_previousButton = buttonFor(m_previousMarker, this);
    m_nextButton = buttonFor(m_nextMarker, this);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(2, 0, 2, 0);
    for (QWidget *widget : std::initializer_list<QWidget *>{m_playButton, m_speedLabel, m_speed})
        row->addWidget(widget);
    row->addWidget(m_slider, 1);
    for (QWidget *widget : std::initializer_list<QWidget *>{m_time, m_previousButton, m_nextButton})
        row->addWidget(widget);
    retranslate();
    attach(nullptr);
}

QAction *ReviewTimeline::addKey(const char *name, const QKeySequence &key,
                                const std::function<void(RecordingReview &)> &move)
{
    auto *action = new QAction(this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(key);
    addAction(action);
    connect(action, &QAction::triggered, this, [this, move] {
        if (m_review)
            move(*m_review);
    });
    m_keys.append(action);
    return action;
}

void ReviewTimeline::attach(RecordingReview *review)
{
    if (m_review)
        disconnect(m_review, nullptr, this, nullptr);
    m_review = review;
    for (QAction *action : std::as_const(m_keys))
        action->setEnabled(review != nullptr);
    if (!review)
        return;
    const bool markers = !review->recording().markers().empty();
    m_previousMarker->setEnabled(markers);
    m_nextMarker->setEnabled(markers);
    m_previousButton->setVisible(markers);
    m_nextButton->setVisible(markers);
    {
        const QSignalBlocker quiet(m_slider);
        m_slider->setRange(0, int(review->frameCount() - 1));
        m_slider->setPageStep(std::max(1, int(review->frameCount() / kSliderPages)));
    }
    const QSignalBlocker quietPlay(m_play);
    m_play->setChecked(review->isPlaying());
    m_speed->setCurrentIndex(kFirstSpeed);
    chooseSpeed(kFirstSpeed);
    connect(review, &RecordingReview::cursorMoved, this, &ReviewTimeline::showCursor);
    connect(review, &RecordingReview::playingChanged, this, [this](bool playing) {
        const QSignalBlocker quiet(m_play);
        m_play->setChecked(playing);
    });
    showCursor(review->cursor());
}

void ReviewTimeline::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void ReviewTimeline::retranslate()
{
    m_play->setText(tr("播放"));
    m_play->setToolTip(tr("播放或暂停（空格）；←→ 一帧，Shift+←→ 一秒，Home/End 首尾"));
    m_speedLabel->setText(tr("速度"));
    m_previousMarker->setText(tr("上一标记"));
    m_previousMarker->setToolTip(tr("上一个标记（PgUp）"));
    m_nextMarker->setText(tr("下一标记"));
    m_nextMarker->setToolTip(tr("下一个标记（PgDn）"));
    if (m_review)
        showCursor(m_review->cursor());
}

void ReviewTimeline::showCursor(qint64 index)
{
    {
        const QSignalBlocker quiet(m_slider);
        m_slider->setValue(int(index));
    }
    const QString time = tr("%1 s / %2 s")
                             .arg(seconds(m_review->cursorFrame().timeUs),
                                  seconds(m_review->recording().lastTimeUs()));
    // The rate of the part of the recording the cursor is in.
    const int hz = m_review->recording().frequencyAt(index);
    m_time->setText(hz > 0 ? tr("%1，%2 Hz").arg(time).arg(hz) : time);
}

void ReviewTimeline::chooseSpeed(int entry)
{
    if (m_review && entry >= 0)
        m_review->setSpeed(m_speed->itemData(entry).toDouble());
}
