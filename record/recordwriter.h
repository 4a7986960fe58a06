// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDWRITER_H
#define RECORDWRITER_H

#include "devicerecords.h"
#include "recordformat.h"
#include "recordtimeline.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>

#include <atomic>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

class OutputQueue;
class QTimer;

// Writes the sensor-data stream to a file in the recording format (RecordFormat), one line per
// frame, each at the time of its stamp since the first frame's (RecordTimeline); a rate that the
// card confirmed during the recording is written among the rows, before the first row at it.
//
// Lines are formatted into a buffer and handed whole, every 250 ms, to an output of their own
// (OutputQueue) that writes them from its own thread, so that a recording cut short anywhere
// still ends on complete lines (at most one partial line) and a slow disk or a reader that stops
// reading standard output never holds up the frames. When the output falls behind by
// kOutputQueueBytes, whole rows are left out, with a gap line (cause kOutputGapCause) before the
// first row after them, until it has caught up by half; droppedRows() counts them. After a
// failed write the file is cut back to its last complete line where it can be, and the frame
// count is that of the rows in the file. The writer runs in whatever thread it lives in;
// framesWritten() and droppedRows() may be read from any thread.
//
// The comment lines at the top go out with the first lines written, with the first frame's
// wall-clock time as the start. When the card's frequency is still being asked for
// (FrequencyToCome), they wait for setFrequency(), and the rows wait behind them, for at most
// kFrequencyWaitMs: the frequency line can only stand at the top.
//
// Markers and gaps go in as the format places them: a marker right after the row of the frame
// it marks, a gap before the first row after it. A marker for a frame whose row has already gone
// out (HoldForMarkers keeps them for kMarkerHoldMs) follows the newest row in the file. The first
// frame starts the time base, so a marker given before it is held and written after the first
// row (at time 0), and a gap before it is not written.
class RecordWriter : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFlushIntervalMs = 250;
    // Beyond the card's reply time-out, and a request that the frequency read waits behind.
    static constexpr int kFrequencyWaitMs = 5000;
    // Beyond the time a frame takes to reach the window and a marker to come back from it.
    static constexpr int kMarkerHoldMs = 1000;
    // What the output may fall behind before rows are left out: at the card's fastest rate
    // with every sensor, about four seconds of rows.
    static constexpr qint64 kOutputQueueBytes = 256 * 1024;
    // How long the end of a recording waits for the output to take what is left.
    static constexpr int kDrainMs = 2000;
    static constexpr const char *kOutputGapCause = "output too slow";

    enum OpenOption {
        // The file is created (or truncated) only when its first row is written, so that a
        // recording that ends without data leaves an existing file as it was. open() only looks
        // whether it could be.
        CreateOnFirstRow = 0x1,
        // The header's frequency is not known yet: see setFrequency().
        FrequencyToCome = 0x2,
        // While the frequency is to come, the first frame whose rate the card has confirmed names
        // it too.
        FrequencyFromFrames = 0x4,
        // Rows stay in memory for kMarkerHoldMs before they are written, so that a marker placed
        // on a frame the window showed a moment ago still follows that frame's row.
        HoldForMarkers = 0x8,
    };
    Q_DECLARE_FLAGS(OpenOptions, OpenOption)

    explicit RecordWriter(QObject *parent = nullptr);
    ~RecordWriter() override;

    // The header line, without its line end.
    static QByteArray headerLine();
    // Why `path` cannot be written, found without touching it; empty when it can be.
    static QString unwritableReason(const QString &path);

    // Starts a recording to `path` ("-" for standard output) with the comment lines of `header`,
    // creating or truncating the file now unless CreateOnFirstRow. False, with errorString(),
    // when the file cannot be created (or could not be, with CreateOnFirstRow); nothing is
    // recorded then.
    bool open(const QString &path, const RecordHeader &header, OpenOptions options = {});
    // Starts a recording of lines composed elsewhere (a stream received whole): `head`, the
    // comment lines and the header line, is written as it is, and the lines after it come
    // through writeLine(). FrequencyToCome does not apply.
    bool openWithHead(const QString &path, const QByteArray &head, OpenOptions options = {});
    bool isOpen() const { return m_active; }
    // How long FrequencyToCome holds the lines back, kFrequencyWaitMs unless set; a negative
    // value holds them until setFrequency() or finish(), for a caller that settles the
    // frequency itself or ends the recording.
    void setFrequencyWaitMs(int ms) { m_frequencyWaitMs = ms; }
    QString fileName() const { return m_path; }
    QString errorString() const { return m_error; }
    qint64 framesWritten() const { return m_frames.load(std::memory_order_relaxed); }
    // The rows left out because the output fell behind, those it had not taken when the
    // recording ended included.
    qint64 droppedRows() const { return m_dropped.load(std::memory_order_relaxed); }

    // Forgets the rows held behind comment lines that wait for the frequency (they were taken
    // at another rate, or are not wanted), and starts the time base again at the next frame.
    // False once lines have gone out.
    bool discardHeldRows();

public slots:
    // One sensor-data frame; `num` readings of the list are recorded (at most 16).
    void writeFrame(const FrameStamp &stamp, const QList<Axit_t> &readings, uint num);
    // A line composed elsewhere, whole with its line end: a row, or a line among the rows in its
    // place (see openWithHead()). Rows are left out as frames are when the output falls behind.
    void writeLine(const QByteArray &line);
    // A marker on the frame `marked` (the newest frame when it has no stamp), numbered by the
    // caller; the label is made one line (RecordFormat::oneLineText).
    void writeMarker(const FrameStamp &marked, int number, const QString &label);
    // The data stop from now on, for `cause` (the port was lost). The gap's line is written
    // before the next frame's row, its length reaching to that frame; a recording that ends
    // first ends with the gap, as long as it lasted. A second call before a frame changes
    // nothing.
    void beginGap(const QString &cause);
    // The card's frequency in Hz, 0 when it could not be read: the comment lines that wait for
    // it can go out. Only the first call after open() counts.
    void setFrequency(int hz);
    // Writes what is held, waits kDrainMs at most for the output to take it, and closes the
    // file; emits finished() once.
    void finish();

signals:
    // About twice a second while frames are written.
    void progress(qint64 frames);
    // The recording has ended: cleanly when `error` is empty, else after a failed write;
    // `frames` are the rows in the file.
    void finished(qint64 frames, const QString &error);

private:
    // A row in the buffer that has not gone out: its frame, its time and where it ends, with
    // the markers that follow it.
    struct HeldRow
    {
        quint64 sequence;
        qint64 micros;
        qsizetype end;
    };

    bool createFile();
    void flushBuffer();
    // Hands the rows that are due (every row unless they are held for markers), or every line,
    // to the output.
    bool writeOut(bool everything = false);
    qsizetype dueBytes() const;
    qint64 takeOut(qsizetype bytes);
    void insertLine(qsizetype at, const QByteArray &line);
    bool outputFallsBehind();
    void leaveOut(const FrameStamp &stamp);
    // Ends the output: waits for it to take what it has, kDrainMs at most; false when a write
    // failed (fail() has been called).
    bool closeOutput();
    qint64 rowsInFile() const;
    void outputFailed();
    void fail(const QString &what);

    QFile m_file;
    std::unique_ptr<OutputQueue> m_output; // while the file is open
    QString m_path;
    QString m_error;
    RecordHeader m_header;
    QByteArray m_givenHead; // written instead of the header's lines when not empty
    bool m_active = false;
    bool m_headWritten = false;
    bool m_frequencyPending = false;
    int m_frequencyWaitMs = kFrequencyWaitMs;
    bool m_frequencyFromFrames = false;
    bool m_holdForMarkers = false;
    QElapsedTimer m_openClock;
    RecordTimeline m_timeline;
    QByteArray m_buffer;
    std::deque<HeldRow> m_heldRows; // the rows in m_buffer, oldest first
    qint64 m_rowsOut = 0;           // rows handed to the output
    qint64 m_lastOutUs = -1;        // the time of the newest row handed to the output
    qsizetype m_afterOutRow = 0; // the end of the markers in the buffer for the file's newest row
    std::vector<std::pair<int, QString>> m_heldMarkers; // given before the first frame
    PendingGap m_gap;
    QTimer *m_flushTimer = nullptr;
    std::atomic<qint64> m_frames{0};
    std::atomic<qint64> m_dropped{0};
    bool m_leavingOut = false; // rows are left out until the output catches up
    // Lines composed elsewhere (writeLine()): a frequency line that waits for its row, the rate
    // of one whose row was left out, and the newest row's time.
    QByteArray m_lineRate;
    int m_leftOutRateHz = 0;
    qint64 m_newestLineUs = 0;
    qint64 m_reportedFrames = -1;
    int m_flushTicks = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(RecordWriter::OpenOptions)

#endif // RECORDWRITER_H
