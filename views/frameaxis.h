// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FRAMEAXIS_H
#define FRAMEAXIS_H

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <functional>

class QCPAxis;
class QCPRange;

// The plot's x axis over the frames the curve window holds, each named by its key (live, the
// sample counter; in review, the frame's index in the file). A frame stands at its key, or, while
// the time is shown ("横轴显示时间"), at its time in seconds (since the window's first frame
// live, the file's time column in review). The axis also knows the gaps in the data (a port that
// was lost or closed, a recording's gap lines), where the curves break, and sets its ticks and
// label for what it shows.
class FrameAxis
{
    Q_DECLARE_TR_FUNCTIONS(FrameAxis)
public:
    // A stretch without frames, before the frame with key `keyAfter`.
    struct Gap
    {
        double keyAfter = 0;
        qint64 lengthUs = 0;
        QString cause; // as a recording writes it, such as "port lost"
    };
    // The time of the frame with a key in microseconds, -1 when not known.
    using MicrosAt = std::function<qint64(double key)>;
    // The first and last keys whose times are known; every key between is.
    using KnownKeys = std::function<std::pair<double, double>()>;

    FrameAxis(QCPAxis *axis, MicrosAt microsAt, KnownKeys knownKeys);

    void setTimeShown(bool shown);
    bool isTimeShown() const { return m_timeShown; }
    // Sets the label in the current language.
    void retranslate();

    qint64 microsAt(double key) const { return m_microsAt(key); }
    // Where the frame of `key` stands; a key between two frames stands between them, and keys
    // beyond the known ones at the recent frames' pace.
    double coordinateOf(double key) const;
    // The key that stands at `coordinate`, the inverse of coordinateOf().
    double keyAt(double coordinate) const;
    // The frame nearest to `coordinate`, the newest known at most.
    double frameAt(double coordinate) const;
    // The frame standing exactly at `coordinate`, NaN when none does.
    double frameExactlyAt(double coordinate) const;
    QCPRange rangeOfKeys(double lower, double upper) const;
    QCPRange keysOfRange(const QCPRange &range) const;

    void addGap(const Gap &gap) { m_gaps.append(gap); }
    void setGaps(const QList<Gap> &gaps) { m_gaps = gaps; }
    const QList<Gap> &gaps() const { return m_gaps; }
    void dropGapsBefore(double key);
    // A gap lies between the frames of `key` and `laterKey`.
    bool breaksBetween(double key, double laterKey) const;
    // The gap between the two frames that `coordinate` lies between, nullptr when none.
    const Gap *gapAt(double coordinate) const;
    // "间断 2.500 s：串口丢失"
    static QString describe(const Gap &gap);

private:
    // The frames' mean interval next to `key`, in microseconds, without gaps.
    double pace(double key, double first, double last) const;

    QCPAxis *m_axis;
    MicrosAt m_microsAt;
    KnownKeys m_knownKeys;
    bool m_timeShown = false;
    QList<Gap> m_gaps;
};

#endif // FRAMEAXIS_H
