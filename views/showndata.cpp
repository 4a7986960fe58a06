// SPDX-License-Identifier: GPL-3.0-or-later
#include "showndata.h"

#include "recordformat.h"
#include "recordtimeline.h"

#include <qcustomplot.h>

#include <QCoreApplication>
#include <QSaveFile>

#include <cmath>
#include <vector>

namespace {

using Points = QCPGraphDataContainer::const_iterator;

// Where a graph's points stand while the frames are walked in key order.
struct Cursor
{
    Points at;
    Points end;

    // The value at `key`, if the graph has a point there.
    bool valueAt(double key, double &value)
    {
        while (at != end && at->key < key)
            ++at;
        if (at == end || at->key != key)
            return false;
        value = at->value;
        return true;
    }
};

// The comment lines of a recording whose time zero is `start`, not the moment of writing; without
// a start (the frames of a review) there is no start line.
QByteArray commentLines(int frequencyHz, const QDateTime &start)
{
    RecordHeader header;
    header.program =
        (QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion())
            .trimmed();
    header.frequencyHz = frequencyHz;
    QByteArray out;
    for (const QByteArray &line : RecordFormat::commentLines(header, start).split('\n')) {
        if (!line.isEmpty() && (start.isValid() || !line.startsWith("# start:")))
            out += line + '\n';
    }
    return out;
}

} // namespace

QList<ShownFrame> ShownData::collect(const QCustomPlot &plot, int sensors,
                                     const QCPRange &coordinates,
                                     const std::function<double(double)> &keyAt,
                                     const std::function<FrameStamp(double)> &stampAt)
{
    std::vector<Cursor> cursors;
    for (int g = 0; g < sensors * kAxisCount && g < plot.graphCount(); ++g) {
        const auto data = plot.graph(g)->data();
        cursors.push_back({data->findBegin(coordinates.lower, false), data->constEnd()});
    }
    QList<ShownFrame> frames;
    if (cursors.empty())
        return frames;
    const auto data = plot.graph(0)->data();
    for (Points first = cursors.front().at;
         first != data->constEnd() && first->key <= coordinates.upper; ++first) {
        const double key = keyAt(first->key);
        if (std::isnan(key))
            continue;
        ShownFrame frame{key, stampAt(key), {}};
        if (!frame.stamp.isValid())
            continue;
        for (std::size_t s = 0; s + kAxisCount <= cursors.size(); s += kAxisCount) {
            double v[kAxisCount] = {};
            bool held = true;
            for (int a = 0; a < kAxisCount && held; ++a)
                held = cursors[s + std::size_t(a)].valueAt(first->key, v[a]);
            if (!held)
                break;
            frame.readings.append(Axit_t{qint16(v[0]), qint16(v[1]), qint16(v[2])});
        }
        frames.append(frame);
    }
    return frames;
}

bool ShownData::write(const QString &path, const QList<ShownFrame> &frames,
                      const QList<PlotMarker> &markers, const QList<FrameAxis::Gap> &gaps,
                      bool withStart, QString &error)
{
    RecordTimeline timeline;
    timeline.nameRate(frames.isEmpty() ? 0 : frames.first().stamp.frequencyHz);
    QByteArray rows;
    auto marker = markers.cbegin();
    double previousKey = 0;
    for (const ShownFrame &frame : frames) {
        for (const FrameAxis::Gap &gap : gaps) {
            if (timeline.hasStarted() && gap.keyAfter > previousKey && gap.keyAfter <= frame.key) {
                const qint64 from = timeline.newestMicros();
                rows += RecordFormat::gapLine(from, timeline.timeOf(frame.stamp) - from, gap.cause);
            }
        }
        previousKey = frame.key;
        timeline.appendFrame(&rows, frame.stamp, frame.readings, uint(frame.readings.size()));
        for (; marker != markers.cend() && marker->key <= frame.key; ++marker) {
            if (marker->key == frame.key)
                rows += RecordFormat::markerLine(timeline.newestMicros(), marker->number,
                                                 marker->label);
        }
    }
    const QByteArray out =
        commentLines(timeline.headRate(), withStart ? timeline.startTime() : QDateTime()) +
        RecordFormat::headerLine() + '\n' + rows;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}
