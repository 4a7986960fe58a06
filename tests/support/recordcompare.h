// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDCOMPARE_H
#define RECORDCOMPARE_H

// Compares a recording of a replayed stream with the recording that was replayed: the replay's
// frames must be a run of the original's, in order and identical, and their times must keep
// the original's spacing.

#include "recordreader.h"

#include <QString>

#include <algorithm>
#include <cstdlib>
#include <vector>

inline bool sameFrame(const RecordedFrame &a, const RecordedFrame &b)
{
    if (a.sensors != b.sensors)
        return false;
    for (int i = 0; i < a.sensors; ++i) {
        const Axit_t &p = a.readings[std::size_t(i)], &q = b.readings[std::size_t(i)];
        if (p.x != q.x || p.y != q.y || p.z != q.z)
            return false;
    }
    return true;
}

struct ReplayMatch
{
    QString problem;       // empty when the replay matches
    qint64 medianSkewUs{}; // how far the replay's times stray from the original's, typically
};

inline ReplayMatch matchReplay(const std::vector<RecordedFrame> &original,
                               const std::vector<RecordedFrame> &replayed)
{
    if (replayed.empty())
        return {QStringLiteral("nothing recorded from the replay")};
    const auto start = std::find_if(original.begin(), original.end(),
                                    [&](const auto &f) { return sameFrame(f, replayed.front()); });
    if (start == original.end())
        return {QStringLiteral("the replay's first frame is not in the original")};
    const std::size_t offset = std::size_t(start - original.begin());
    if (offset + replayed.size() > original.size())
        return {QStringLiteral("the replay has more frames than the original")};
    std::vector<qint64> skews;
    for (std::size_t i = 0; i < replayed.size(); ++i) {
        const RecordedFrame &o = original[offset + i];
        if (!sameFrame(o, replayed[i]))
            return {QStringLiteral("frame %1 of the replay differs from the original").arg(i)};
        skews.push_back((replayed[i].timeUs - replayed.front().timeUs) -
                        (o.timeUs - original[offset].timeUs));
    }
    std::sort(skews.begin(), skews.end());
    const qint64 centre = skews[skews.size() / 2];
    for (qint64 &skew : skews)
        skew = std::llabs(skew - centre);
    std::sort(skews.begin(), skews.end());
    return {QString(), skews[skews.size() / 2]};
}

#endif // RECORDCOMPARE_H
