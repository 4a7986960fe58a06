// SPDX-License-Identifier: GPL-3.0-or-later
#include "streamfeed.h"

#include <QMutexLocker>

#include <utility>

StreamFeed::StreamFeed(std::function<void()> wake)
    : m_wake(std::move(wake))
{}

void StreamFeed::start()
{
    const QMutexLocker locker(&m_lock);
    m_head.clear();
    m_pending.clear();
    m_clock.invalidate();
    m_overflowed = false;
    m_running = true;
}

void StreamFeed::stop()
{
    const QMutexLocker locker(&m_lock);
    m_running = false;
}

void StreamFeed::setHeader(const RecordHeader &header)
{
    const QMutexLocker locker(&m_lock);
    m_header = header;
}

void StreamFeed::addFrame(const QList<Axit_t> &readings, uint num)
{
    bool wake = false;
    {
        const QMutexLocker locker(&m_lock);
        if (!m_running)
            return;
        qint64 micros = 0;
        if (m_clock.isValid()) {
            micros = m_clock.nsecsElapsed() / 1000;
        } else {
            m_clock.start();
            m_start = QDateTime::currentDateTime();
        }
        m_newestMicros = micros;
        if (!m_readers.load(std::memory_order_relaxed))
            return;
        if (m_pending.size() + RecordFormat::kMaxFrameLineBytes > kMaxPendingBytes) {
            m_overflowed = true;
            return;
        }
        wake = m_pending.isEmpty();
        RecordFormat::appendFrameLine(m_pending, micros, readings, num);
    }
    if (wake)
        m_wake();
}

void StreamFeed::addLine(const std::function<QByteArray(qint64 newestFrameMicros)> &compose)
{
    bool wake = false;
    {
        const QMutexLocker locker(&m_lock);
        if (!m_running || !m_clock.isValid() || !m_readers.load(std::memory_order_relaxed))
            return;
        const QByteArray line = compose(m_newestMicros);
        if (m_pending.size() + line.size() + 1 > kMaxPendingBytes) {
            m_overflowed = true;
            return;
        }
        wake = m_pending.isEmpty();
        m_pending += line;
        if (!line.endsWith('\n'))
            m_pending += '\n';
    }
    if (wake)
        m_wake();
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
    return batch;
}

// With the lock held.
void StreamFeed::composeHead()
{
    if (m_head.isEmpty() && m_clock.isValid())
        m_head = RecordFormat::headLines(m_header, m_start);
}
