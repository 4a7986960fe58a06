// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDINDEX_H
#define RECORDINDEX_H

#include "recordformat.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class RecordChecker;
class RecordInput;

// A recording opened for reading on demand, without holding it in memory: a whole day's file
// (17 million frames, 4.3 GB) takes a few megabytes. Opening checks every line once
// (RecordChecker, with the same "FILE:LINE: what is wrong" refusals as RecordReader) and keeps
// where every kFramesPerBlock-th frame starts, with its time; frames are then read from the file
// when asked for. A pipe or FIFO is copied to an unnamed temporary file as it is checked.
//
// A file that shrinks or changes under the index is not trusted: the read that finds it fails
// with a message, and so does every later read. Growing (a recording still being written) is
// fine; only the frames indexed at the opening are read. One thread at a time.
class RecordIndex
{
public:
    static constexpr int kFramesPerBlock = 64;

    // Called while the file is checked: bytes checked, and the file's size (0 for a pipe).
    // Returning false cancels the opening.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    RecordIndex();
    ~RecordIndex();
    RecordIndex(const RecordIndex &) = delete;
    RecordIndex &operator=(const RecordIndex &) = delete;

    // False with errorString() when the file is refused, cannot be read, or the opening was
    // cancelled (wasCancelled()); the index is closed then.
    bool open(const QString &path, const Progress &progress = {});
    void close();
    bool isOpen() const;
    bool wasCancelled() const { return m_cancelled; }
    QString fileName() const { return m_path; }
    QString errorString() const { return m_error; }
    QStringList warnings() const { return m_warnings; }

    const RecordHeader &header() const { return m_header; }
    // See RecordChecker::frequencyHz().
    int frequencyHz() const { return m_frequencyHz; }
    const std::vector<RecordMarker> &markers() const { return m_markers; }
    const std::vector<RecordGap> &gaps() const { return m_gaps; }
    // See RecordChecker::rateChanges().
    const std::vector<RecordRateChange> &rateChanges() const { return m_rateChanges; }
    // The rate of frame `index`: frequencyHz() up to the first change.
    int frequencyAt(qint64 index) const
    {
        return RecordFormat::rateAt(m_frequencyHz, m_rateChanges, index);
    }
    qint64 frameCount() const { return m_frameCount; }
    qint64 firstTimeUs() const;
    qint64 lastTimeUs() const { return m_lastUs; }

    // Frames first .. first + count - 1, replacing `frames`. False with errorString() when the
    // range is outside the recording or the file has changed.
    bool readFrames(qint64 first, qint64 count, std::vector<RecordedFrame> &frames);
    bool readFrame(qint64 index, RecordedFrame &frame);
    // The last frame whose time is at or before `timeUs`, -1 when the first is later. False
    // with errorString() when the file has changed.
    bool findFrame(qint64 timeUs, qint64 &index);

private:
    // Where a block of frames starts: its first frame's line, the line's number and its time.
    struct Block
    {
        qint64 offset;
        qint64 line;
        qint64 timeUs;
    };

    bool check(const QString &path, const Progress &progress);
    bool spoolTo(int fd, const char *data, qint64 size);
    bool refuse(const QString &error);
    bool changed(qint64 line, const QString &what);

    std::unique_ptr<RecordInput> m_input;
    QString m_path;
    QString m_error;
    QStringList m_warnings;
    bool m_cancelled = false;
    bool m_broken = false; // the file has changed under the index
    RecordHeader m_header;
    int m_frequencyHz = 0;
    std::vector<RecordMarker> m_markers;
    std::vector<RecordGap> m_gaps;
    std::vector<RecordRateChange> m_rateChanges;
    std::vector<Block> m_blocks;
    qint64 m_frameCount = 0;
    qint64 m_lastUs = 0;
    qint64 m_endOffset = 0; // after the last checked line
    QByteArray m_buffer;    // the bytes of the blocks last read
};

#endif // RECORDINDEX_H
