// SPDX-License-Identifier: GPL-3.0-or-later
#include "streamfeed.h"

#include <QMutexLocker>

#include <algorithm>
#include <utility>

QByteArray StreamFeed::Batch::linesForNewcomer() const
{
    return firstRow < 0 ? QByteArray() : firstRowRate + lines.sliced(firstRow);
}

StreamFeed::StreamFeed(std::function<void()> wake, HeadPolicy policy)
    : m_wake(std::move(wake))
    , m_headPolicy(policy)
{}

void StreamFeed::start()
{
    const QMutexLocker locker(&m_lock);
    m_head.clear();
    m_pending.clear();
    m_timeline.restart();
    m_firstPendingRow = -1;
    m_overflowed = false;
    m_droppedFrames = 0;
    m_droppedFromUs = -1;
    m_gap = PendingGap();
    m_heldMarkers.clear();
    m_running = true;
}

// A gap that has not ended is the stream's last line, as long as it lasted.
void StreamFeed::stop()
{
    const QMutexLocker locker(&m_lock);
    if (m_running && m_gap.isOpen() && m_readers.load(std::memory_order_relaxed))
        append(m_gap.close(m_timeline.microsAt(FrameStamp::clockMicros())));
    m_running = false;
}

void StreamFeed::setHeader(const RecordHeader &header)
{
    const QMutexLocker locker(&m_lock);
    m_header = header;
    m_headerChanged = true;
}

void StreamFeed::addFrame(const FrameStamp &stamp, const QList<Axit_t> &readings, uint num)
{
    bool wake = false;
    {
        const QMutexLocker locker(&m_lock);
        if (!m_running)
            return;
        if (!m_timeline.hasStarted())
            m_timeline.nameRate(m_header.frequencyHz);
        const bool first = !m_timeline.hasStarted();
        const QByteArray gapLine =
            m_gap.isOpen() ? m_gap.close(m_timeline.timeOf(stamp)) : QByteArray();
        if (!m_readers.load(std::memory_order_relaxed)) {
            m_timeline.appendFrame(nullptr, stamp, readings, num);
            m_heldMarkers.clear();
            return;
        }
        if (m_pending.size() + gapLine.size() + 2 * RecordFormat::kMaxFrameLineBytes >
            kMaxPendingBytes) {
            m_overflowed = true;
            m_timeline.appendFrame(nullptr, stamp, readings, num);
            if (m_droppedFrames++ == 0)
                m_droppedFromUs = m_timeline.newestMicros();
            return;
        }
        wake = m_pending.isEmpty();
        m_pending += gapLine;
        const qsizetype at = m_pending.size();
        m_timeline.appendFrame(&m_pending, stamp, readings, num);
        if (m_firstPendingRow < 0) {
            // The row itself, after a frequency line that may come first.
            m_firstPendingRow = m_pending.lastIndexOf('\n', m_pending.size() - 2) + 1;
            m_firstPendingRow = std::max(m_firstPendingRow, at);
            m_firstPendingRowHz = m_timeline.currentRate();
            m_firstPendingRowUs = m_timeline.newestMicros();
        }
        if (first) {
            for (const auto &[number, label] : std::exchange(m_heldMarkers, {}))
                append(RecordFormat::markerLine(0, number, label));
        }
    }
    if (wake)
        m_wake();
}

void StreamFeed::addMarker(const FrameStamp &marked, int number, const QString &label)
{
    bool wake = false;
    {
        const QMutexLocker locker(&m_lock);
        if (m_running && !m_timeline.hasStarted())
            m_heldMarkers.emplace_back(number, label);
        if (!m_running || !m_timeline.hasStarted() || !m_readers.load(std::memory_order_relaxed))
            return;
        wake = append(RecordFormat::markerLine(m_timeline.markerMicros(marked), number, label));
    }
    if (wake)
        m_wake();
}

void StreamFeed::addLine(const std::function<QByteArray(qint64 newestFrameMicros)> &compose)
{
    bool wake = false;
    {
        const QMutexLocker locker(&m_lock);
        if (!m_running || !m_timeline.hasStarted() || !m_readers.load(std::memory_order_relaxed))
            return;
        QByteArray line = compose(m_timeline.newestMicros());
        if (!line.endsWith('\n'))
            line += '\n';
        wake = append(line);
    }
    if (wake)
        m_wake();
}

void StreamFeed::beginGap(const QString &cause)
{
    const QMutexLocker locker(&m_lock);
    if (m_running && m_timeline.hasStarted())
        m_gap.begin(m_timeline.microsAt(FrameStamp::clockMicros()), cause);
}

// True when the line is the first to wait.
bool StreamFeed::append(const QByteArray &line)
{
    if (m_pending.size() + line.size() > kMaxPendingBytes) {
        m_overflowed = true;
        return false;
    }
    const bool first = m_pending.isEmpty();
    m_pending += line;
    return first;
}

QByteArray StreamFeed::head()
{
    const QMutexLocker locker(&m_lock);
    composeHead();
    return m_head;
}

StreamFeed::Batch StreamFeed::take()
{
    Batch batch;
    const QMutexLocker locker(&m_lock);
    composeHead();
    batch.head = m_head;
    batch.lines.swap(m_pending);
    batch.overflowed = std::exchange(m_overflowed, false);
    batch.droppedFrames = std::exchange(m_droppedFrames, 0);
    batch.droppedFromUs = std::exchange(m_droppedFromUs, -1);
    batch.firstRow = std::exchange(m_firstPendingRow, -1);
    if (batch.firstRow >= 0 && m_firstPendingRowHz > 0 && m_firstPendingRowHz != m_headHz)
        batch.firstRowRate = RecordFormat::frequencyLine(m_firstPendingRowUs, m_firstPendingRowHz);
    return batch;
}

// With the lock held.
// A head that follows the header names the rate of the newest rows, so that a reader that
// starts with them knows it.
void StreamFeed::composeHead()
{
    if (!m_timeline.hasStarted())
        return;
    const bool follows = m_headPolicy == HeadPolicy::FollowsHeader;
    const int current = m_timeline.currentRate();
    const int hz = follows && current > 0 ? current : m_timeline.headRate();
    if (!m_head.isEmpty() && (!follows || (!m_headerChanged && hz == m_headHz)))
        return;
    RecordHeader header = m_header;
    header.frequencyHz = m_headHz = hz;
    m_head = RecordFormat::headLines(header, m_timeline.startTime());
    m_headerChanged = false;
}
