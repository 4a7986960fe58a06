// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordindex.h"

#include "recordchecker.h"
#include "recordinput.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr qint64 kChunkBytes = 1024 * 1024;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// An unnamed temporary file: it goes away with its descriptor, whatever happens.
int makeSpool()
{
    QByteArray name = QFile::encodeName(QDir::tempPath() + QStringLiteral("/eskin-spool-XXXXXX"));
    const int fd = ::mkstemp(name.data());
    if (fd >= 0)
        ::unlink(name.constData());
    return fd;
}

} // namespace

RecordIndex::RecordIndex() = default;

RecordIndex::~RecordIndex() = default;

bool RecordIndex::open(const QString &path, const Progress &progress)
{
    close();
    m_path = path;
    return check(path, progress);
}

void RecordIndex::close()
{
    m_input.reset();
    m_path.clear();
    m_error.clear();
    m_warnings.clear();
    m_cancelled = m_broken = false;
    m_header = RecordHeader();
    m_frequencyHz = 0;
    m_markers.clear();
    m_gaps.clear();
    m_rateChanges.clear();
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_frameCount = m_lastUs = m_endOffset = 0;
    m_buffer.clear();
}

bool RecordIndex::isOpen() const
{
    return m_input != nullptr;
}

qint64 RecordIndex::firstTimeUs() const
{
    return m_blocks.empty() ? 0 : m_blocks.front().timeUs;
}

bool RecordIndex::check(const QString &path, const Progress &progress)
{
    auto source = std::make_unique<RecordInput>();
    if (!source->open(path))
        return refuse(QStringLiteral("%1: cannot be read: %2").arg(path, source->errorString()));
    const int spool = source->isRegularFile() ? -1 : makeSpool();
    if (!source->isRegularFile() && spool < 0)
        return refuse(QStringLiteral("%1: cannot keep a copy of the pipe in %2: %3")
                          .arg(path, QDir::tempPath(), systemError()));
    const qint64 total = source->isRegularFile() ? source->currentSize() : 0;
    qint64 frames = 0;
    RecordChecker checker(path, [&](const RecordedFrame &frame, qint64 offset, qint64 line) {
        if (frames++ % kFramesPerBlock == 0)
            m_blocks.push_back({offset, line, frame.timeUs});
    });
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    qint64 done = 0;
    bool good = true;
    for (;;) {
        const qint64 n = source->read(chunk.data(), chunk.size());
        if (n < 0)
            good = checker.failRead(source->errorString());
        else if (n > 0 && spool >= 0 && !spoolTo(spool, chunk.constData(), n))
            good = checker.failRead(QStringLiteral("cannot keep a copy of the pipe in %1: %2")
                                        .arg(QDir::tempPath(), systemError()));
        else if (n > 0)
            good = checker.feed(chunk.constData(), n);
        if (n <= 0 || !good)
            break;
        done += n;
        if (progress && !progress(done, total)) {
            if (spool >= 0)
                ::close(spool);
            refuse(QStringLiteral("%1: opening cancelled").arg(path));
            m_cancelled = true;
            return false;
        }
    }
    good = good && checker.finish();
    m_warnings = checker.warnings();
    if (!good) {
        if (spool >= 0)
            ::close(spool);
        return refuse(checker.errorString());
    }
    if (spool >= 0)
        source->adopt(spool);
    m_input = std::move(source);
    m_header = checker.header();
    m_frequencyHz = checker.frequencyHz();
    m_markers = checker.markers();
    m_gaps = checker.gaps();
    m_rateChanges = checker.rateChanges();
    m_frameCount = checker.frameCount();
    m_lastUs = checker.lastTimeUs();
    m_endOffset = checker.checkedBytes();
    m_blocks.shrink_to_fit();
    return true;
}

bool RecordIndex::spoolTo(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

bool RecordIndex::refuse(const QString &error)
{
    const QStringList warnings = m_warnings;
    const QString path = m_path;
    close();
    m_path = path;
    m_warnings = warnings;
    m_error = error;
    return false;
}

bool RecordIndex::changed(qint64 line, const QString &what)
{
    m_broken = true;
    m_error = QStringLiteral("%1:%2: the file has changed since it was opened: %3")
                  .arg(m_path)
                  .arg(line)
                  .arg(what);
    return false;
}

bool RecordIndex::readFrames(qint64 first, qint64 count, std::vector<RecordedFrame> &frames)
{
    frames.clear();
    if (!m_input)
        return false;
    if (m_broken)
        return false; // the error stays as it was found
    if (first < 0 || count < 0 || first > m_frameCount - count) {
        m_error = QStringLiteral("%1: frames %2 to %3 are not in the recording (%4 frames)")
                      .arg(m_path)
                      .arg(first)
                      .arg(first + count - 1)
                      .arg(m_frameCount);
        return false;
    }
    if (count == 0)
        return true;
    const std::size_t firstBlock = std::size_t(first / kFramesPerBlock);
    const std::size_t lastBlock = std::size_t((first + count - 1) / kFramesPerBlock);
    const qint64 begin = m_blocks[firstBlock].offset;
    const qint64 end =
        lastBlock + 1 < m_blocks.size() ? m_blocks[lastBlock + 1].offset : m_endOffset;
    const qint64 size = m_input->currentSize();
    if (size < m_endOffset) {
        m_broken = true;
        m_error = QStringLiteral("%1: the file has shrunk since it was opened (%2 bytes, now %3)")
                      .arg(m_path)
                      .arg(m_endOffset)
                      .arg(size);
        return false;
    }
    m_buffer.resize(end - begin);
    if (m_input->readAt(begin, m_buffer.data(), m_buffer.size()) != m_buffer.size())
        return changed(m_blocks[firstBlock].line,
                       QStringLiteral("it cannot be read: %1").arg(m_input->errorString()));

    // The lines of the blocks, comments skipped; every block must start where and when the
    // checking pass found it, and end where the next begins.
    qint64 index = qint64(firstBlock) * kFramesPerBlock;
    const qint64 endIndex = std::min(qint64(lastBlock + 1) * kFramesPerBlock, m_frameCount);
    qint64 line = m_blocks[firstBlock].line;
    frames.reserve(std::size_t(count));
    const char *p = m_buffer.constData();
    const char *const stop = p + m_buffer.size();
    RecordedFrame frame;
    QString error;
    for (; p < stop; ++line) {
        const auto *lineEnd = static_cast<const char *>(std::memchr(p, '\n', size_t(stop - p)));
        if (!lineEnd)
            return changed(line, QStringLiteral("a line has lost its end"));
        QByteArrayView text(p, lineEnd - p);
        p = lineEnd + 1;
        if (text.startsWith('#'))
            continue;
        if (text.endsWith('\r'))
            text.chop(1);
        if (index >= endIndex)
            return changed(line, QStringLiteral("more rows than before"));
        if (!RecordFormat::parseFrameLine(text, frame, error))
            return changed(line, error);
        if (index % kFramesPerBlock == 0 &&
            frame.timeUs != m_blocks[std::size_t(index / kFramesPerBlock)].timeUs)
            return changed(line, QStringLiteral("the time of the row is not as before"));
        if (index >= first && index < first + count)
            frames.push_back(frame);
        ++index;
    }
    if (index != endIndex)
        return changed(line, QStringLiteral("fewer rows than before"));
    return true;
}

bool RecordIndex::readFrame(qint64 index, RecordedFrame &frame)
{
    std::vector<RecordedFrame> frames;
    if (!readFrames(index, 1, frames))
        return false;
    frame = frames.front();
    return true;
}

bool RecordIndex::findFrame(qint64 timeUs, qint64 &index)
{
    index = -1;
    const auto after =
        std::upper_bound(m_blocks.begin(), m_blocks.end(), timeUs,
                         [](qint64 t, const Block &block) { return t < block.timeUs; });
    if (after == m_blocks.begin())
        return m_input != nullptr && !m_broken;
    const qint64 block = qint64(after - m_blocks.begin()) - 1;
    const qint64 first = block * kFramesPerBlock;
    std::vector<RecordedFrame> frames;
    if (!readFrames(first, std::min<qint64>(kFramesPerBlock, m_frameCount - first), frames))
        return false;
    const auto later =
        std::upper_bound(frames.begin(), frames.end(), timeUs,
                         [](qint64 t, const RecordedFrame &f) { return t < f.timeUs; });
    index = first + qint64(later - frames.begin()) - 1;
    return true;
}
