// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef STREAMFEED_H
#define STREAMFEED_H

#include "devicerecords.h"
#include "recordformat.h"
#include "recordtimeline.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMutex>

#include <atomic>
#include <functional>
#include <utility>
#include <vector>

// The hand-off between the thread that decodes the card's frames and the stream server's own
// thread. The feeding side formats each frame into the recording format's line and appends it
// to a pending buffer; the server's side takes the whole buffer at once. The lock is held only
// to format one line or to swap the buffer, so the feeding thread never waits for the network.
//
// The stream's time base is its first frame (RecordTimeline): that frame is time zero and its
// wall-clock time is the stream's start. The head every client receives first (the comment lines
// and the header line) is composed when it is first asked for after the first frame, with the
// header as it is then and the first frame's rate when it is known. It stays the same for every
// client from then on (HeadPolicy::Fixed): a client that comes later starts at a row, with a
// frequency line before it when the rate has changed since the head. Or it follows the header's
// and the rate's changes, with the same start (HeadPolicy::FollowsHeader), for readers that are
// told a new head, such as a broker's retained one.
//
// Gap lines go in as a recording places them: beginGap() when the data stop (the port was lost
// or closed), and the gap's line comes before the next frame's row, reaching to its time; a
// stream that stops first ends with the gap. A marker given before the first frame follows the
// first row.
class StreamFeed
{
public:
    enum class HeadPolicy { Fixed, FollowsHeader };

    // Lines the server's thread has not yet taken; beyond this they are dropped and the batch
    // says so (the server then parts with every client, which would miss them).
    static constexpr qsizetype kMaxPendingBytes = 1 << 20;

    struct Batch
    {
        QByteArray head; // empty before the first frame
        QByteArray lines;
        bool overflowed = false;
        // For a client that has had none of the lines before: where the first row starts (-1:
        // no row), and the frequency line its rate needs after the head.
        qsizetype firstRow = -1;
        QByteArray firstRowRate;
        // When it overflowed: the frames left out since the last batch, and the first one's time.
        qint64 droppedFrames = 0;
        qint64 droppedFromUs = -1;

        // The lines for a client that has had the head and nothing else.
        QByteArray linesForNewcomer() const;
    };

    // `wake` is called in the feeding thread when lines wait in a buffer that was empty.
    explicit StreamFeed(std::function<void()> wake, HeadPolicy policy = HeadPolicy::Fixed);

    // A new stream: no frame yet, nothing pending; frames are taken from now on.
    void start();
    // Frames and lines are ignored until the next start().
    void stop();
    // What the comment lines will say; it applies while the head has not been composed (or
    // from now on, with HeadPolicy::FollowsHeader), and holds for the streams that follow.
    void setHeader(const RecordHeader &header);
    // Without readers, frames only keep the time base (none is formatted).
    void setReaders(bool present) { m_readers.store(present, std::memory_order_relaxed); }

    // Thread-safe; never waits for the server's thread.
    void addFrame(const FrameStamp &stamp, const QList<Axit_t> &readings, uint num);
    // A marker line right after the newest frame's, with the time of the frame it marks
    // (RecordTimeline::markerMicros). Ignored before the first frame.
    void addMarker(const FrameStamp &marked, int number, const QString &label);
    // An extra line right after the newest frame's: `compose` gets that frame's time and runs
    // with the lock held. Ignored before the first frame; a line end is added when it has none.
    void addLine(const std::function<QByteArray(qint64 newestFrameMicros)> &compose);
    // The data stop from now on, for `cause`; see above. Ignored before the first frame and
    // while a gap is open.
    void beginGap(const QString &cause);

    // Empty before the first frame.
    QByteArray head();
    Batch take();

private:
    void composeHead();
    // With the lock held.
    bool append(const QByteArray &line);

    const std::function<void()> m_wake;
    const HeadPolicy m_headPolicy;
    mutable QMutex m_lock;
    RecordHeader m_header;
    QByteArray m_head;
    QByteArray m_pending;
    RecordTimeline m_timeline;
    qsizetype m_firstPendingRow = -1;
    int m_firstPendingRowHz = 0; // the rate in force there
    int m_headHz = 0;
    bool m_headerChanged = false; // since the head was composed
    qint64 m_firstPendingRowUs = 0;
    std::vector<std::pair<int, QString>> m_heldMarkers; // given before the first frame
    bool m_running = false;
    bool m_overflowed = false;
    qint64 m_droppedFrames = 0;
    qint64 m_droppedFromUs = -1;
    PendingGap m_gap;
    std::atomic<bool> m_readers{false};
};

#endif // STREAMFEED_H
