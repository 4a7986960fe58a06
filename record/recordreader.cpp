// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordreader.h"

#include "recordchecker.h"
#include "recordinput.h"

#include <QIODevice>

namespace {

constexpr qint64 kChunkBytes = 256 * 1024;

} // namespace

bool RecordReader::read(const QString &path)
{
    RecordInput input;
    if (!input.open(path)) {
        *this = RecordReader();
        m_error = QStringLiteral("%1: cannot be read: %2").arg(path, input.errorString());
        return false;
    }
    return readAll(path, [&input](char *data, qint64 max) {
        const qint64 n = input.read(data, max);
        return std::make_pair(n, input.errorString());
    });
}

bool RecordReader::read(QIODevice &device, const QString &name)
{
    return readAll(name, [&device](char *data, qint64 max) {
        const qint64 n = device.read(data, max);
        return std::make_pair(n, device.errorString());
    });
}

// `read` gives the next bytes and, when it fails, why.
template<typename Read> bool RecordReader::readAll(const QString &name, Read read)
{
    *this = RecordReader();
    RecordChecker checker(
        name, [this](const RecordedFrame &frame, qint64, qint64) { m_frames.push_back(frame); });
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    bool good = true;
    for (;;) {
        const auto [n, reason] = read(chunk.data(), chunk.size());
        if (n < 0)
            good = checker.failRead(reason);
        else if (n > 0)
            good = checker.feed(chunk.constData(), n);
        if (n <= 0 || !good)
            break;
    }
    good = good && checker.finish();
    m_warnings = checker.warnings();
    if (!good) {
        m_frames.clear();
        m_error = checker.errorString();
        return false;
    }
    m_markers = checker.markers();
    m_gaps = checker.gaps();
    m_rateChanges = checker.rateChanges();
    m_header = checker.header();
    m_frequencyHz = checker.frequencyHz();
    return true;
}
