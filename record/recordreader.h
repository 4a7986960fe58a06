// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDREADER_H
#define RECORDREADER_H

#include "recordformat.h"

#include <QString>
#include <QStringList>

#include <vector>

class QIODevice;

// Reads a whole recording into memory, every line checked before anything is used
// (RecordChecker): a file that is not in the format is refused whole, with "FILE:LINE: what is
// wrong". For long recordings, RecordIndex reads frames on demand instead.
class RecordReader
{
public:
    // A file, or a pipe or FIFO (RecordInput).
    bool read(const QString &path);
    // Reads `device` until it has no more; `name` stands for it in messages.
    bool read(QIODevice &device, const QString &name);

    const std::vector<RecordedFrame> &frames() const { return m_frames; }
    const std::vector<RecordMarker> &markers() const { return m_markers; }
    const std::vector<RecordGap> &gaps() const { return m_gaps; }
    // See RecordChecker::rateChanges().
    const std::vector<RecordRateChange> &rateChanges() const { return m_rateChanges; }
    const RecordHeader &header() const { return m_header; }
    // See RecordChecker::frequencyHz().
    int frequencyHz() const { return m_frequencyHz; }
    QString errorString() const { return m_error; }
    QStringList warnings() const { return m_warnings; }

private:
    template<typename Read> bool readAll(const QString &name, Read read);

    std::vector<RecordedFrame> m_frames;
    std::vector<RecordMarker> m_markers;
    std::vector<RecordGap> m_gaps;
    std::vector<RecordRateChange> m_rateChanges;
    RecordHeader m_header;
    int m_frequencyHz = 0;
    QString m_error;
    QStringList m_warnings;
};

#endif // RECORDREADER_H
