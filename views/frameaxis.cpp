// SPDX-License-Identifier: GPL-3.0-or-later
#include "frameaxis.h"

#include "plainaxisticker.h"

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace {

// The pace taken while fewer than two frames are known: the card's usual 100 Hz.
constexpr double kUsualPaceUs = 10000;
// The pace beyond the known frames is that of the last few.
constexpr double kPaceFrames = 10;

double seconds(qint64 micros)
{
    return double(micros) / 1e6;
}

} // namespace

FrameAxis::FrameAxis(QCPAxis *axis, MicrosAt microsAt, KnownKeys knownKeys)
    : m_axis(axis)
    , m_microsAt(std::move(microsAt))
    , m_knownKeys(std::move(knownKeys))
{
    setTimeShown(false);
}

void FrameAxis::setTimeShown(bool shown)
{
    m_timeShown = shown;
    m_axis->setTicker(QSharedPointer<PlainAxisTicker>::create(!shown));
    retranslate();
}

void FrameAxis::retranslate()
{
    m_axis->setLabel(m_timeShown ? tr("时间 (s)") : tr("时间"));
}

double FrameAxis::coordinateOf(double key) const
{
    if (!m_timeShown)
        return key;
    const auto [first, last] = m_knownKeys();
    if (first > last)
        return seconds(qint64(key * kUsualPaceUs));
    if (key < first)
        return seconds(m_microsAt(first)) - (first - key) * pace(first, first, last) / 1e6;
    if (key > last)
        return seconds(m_microsAt(last)) + (key - last) * pace(last, first, last) / 1e6;
    const double whole = std::floor(key);
    const double at = seconds(m_microsAt(whole));
    if (whole == key)
        return at;
    return at + (key - whole) * (seconds(m_microsAt(whole + 1)) - at);
}

double FrameAxis::keyAt(double coordinate) const
{
    if (!m_timeShown)
        return coordinate;
    const auto [first, last] = m_knownKeys();
    if (first > last)
        return coordinate * 1e6 / kUsualPaceUs;
    const double firstAt = coordinateOf(first), lastAt = coordinateOf(last);
    if (coordinate < firstAt)
        return first - (firstAt - coordinate) * 1e6 / pace(first, first, last);
    if (coordinate >= lastAt)
        return last + (coordinate - lastAt) * 1e6 / pace(last, first, last);
    // The last frame at or before the coordinate: times only grow with the keys.
    double low = first, high = last;
    while (high - low > 1) {
        const double middle = std::floor((low + high) / 2);
        (coordinateOf(middle) <= coordinate ? low : high) = middle;
    }
    const double lowAt = coordinateOf(low), highAt = coordinateOf(low + 1);
    return highAt > lowAt ? low + (coordinate - lowAt) / (highAt - lowAt) : low;
}

// Past the newest frame (the room right of a review's cursor) there is none to name.
double FrameAxis::frameAt(double coordinate) const
{
    const auto [first, last] = m_knownKeys();
    if (!m_timeShown)
        return first > last ? std::round(coordinate) : std::min(std::round(coordinate), last);
    if (first > last)
        return std::nan("");
    const double below = std::clamp(std::floor(keyAt(coordinate)), first, last);
    if (below < last && coordinateOf(below + 1) - coordinate < coordinate - coordinateOf(below))
        return below + 1;
    return below;
}

double FrameAxis::frameExactlyAt(double coordinate) const
{
    const double frame = frameAt(coordinate);
    return !std::isnan(frame) && coordinateOf(frame) == coordinate ? frame : std::nan("");
}

QCPRange FrameAxis::rangeOfKeys(double lower, double upper) const
{
    return QCPRange(coordinateOf(lower), coordinateOf(upper));
}

QCPRange FrameAxis::keysOfRange(const QCPRange &range) const
{
    return QCPRange(keyAt(range.lower), keyAt(range.upper));
}

double FrameAxis::pace(double key, double first, double last) const
{
    const double from = key >= last ? std::max(first, last - kPaceFrames) : first;
    const double to = key >= last ? last : std::min(last, first + kPaceFrames);
    double total = 0;
    int intervals = 0;
    for (double k = from; k < to; ++k) {
        if (breaksBetween(k, k + 1))
            continue;
        total += double(m_microsAt(k + 1) - m_microsAt(k));
        ++intervals;
    }
    return intervals > 0 && total > 0 ? total / intervals : kUsualPaceUs;
}

void FrameAxis::dropGapsBefore(double key)
{
    m_gaps.removeIf([key](const Gap &gap) { return gap.keyAfter <= key; });
}

bool FrameAxis::breaksBetween(double key, double laterKey) const
{
    return std::any_of(m_gaps.cbegin(), m_gaps.cend(), [&](const Gap &gap) {
        return gap.keyAfter > key && gap.keyAfter <= laterKey;
    });
}

const FrameAxis::Gap *FrameAxis::gapAt(double coordinate) const
{
    for (const Gap &gap : m_gaps) {
        if (coordinate > coordinateOf(gap.keyAfter - 1) && coordinate < coordinateOf(gap.keyAfter))
            return &gap;
    }
    return nullptr;
}

QString FrameAxis::describe(const Gap &gap)
{
    const QString length = QString::number(seconds(gap.lengthUs), 'f', 3);
    if (gap.cause.isEmpty())
        return tr("间断 %1 s").arg(length);
    // The causes this program writes; others are shown as the file has them.
    const QString cause = gap.cause == QLatin1String("port lost")     ? tr("串口丢失")
                          : gap.cause == QLatin1String("port closed") ? tr("串口关闭")
                                                                      : gap.cause;
    return tr("间断 %1 s：%2").arg(length, cause);
}
