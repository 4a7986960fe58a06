// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDWRITER_H
#define RECORDWRITER_H

#include "devicerecords.h"
#include "recordformat.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>

#include <atomic>
#include <utility>
#include <vector>

class QTimer;

// Writes the sensor-data stream to a file in the recording format (RecordFormat), one line per
// frame, with the time taken from a monotonic clock started at the first frame.
//
// Lines are formatted into a buffer and written whole, at the latest every 250 ms, so that a
// recording cut short anywhere still ends on complete lines (at most one partial line). After a
// failed write the file is cut back to its last complete line where it can be, and the frame
// count is that of the rows in the file. The writer runs in whatever thread it lives in;
// framesWritten() may be read from any thread.
//
// The comment lines at the top go out with the first lines written, with the first frame's
// wall-clock time as the start. When the card's frequency is still being asked for
// (FrequencyToCome), they wait for setFrequency(), and the rows wait behind them, for at most
// kFrequencyWaitMs: the frequency line can only stand at the top.
//
// Markers and gaps go in as the format places them: a marker after the newest row, a gap before
// the first row after it. The first frame starts the time base, so a marker given before it is
// held and written after the first row (at time 0), and a gap before it is not written.
class RecordWriter : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFlushIntervalMs = 250;
    // Beyond the card's reply time-out, and a request that the frequency read waits behind.
    static constexpr int kFrequencyWaitMs = 5000;

    enum OpenOption {
        // The file is created (or truncated) only when its first row is written, so that a
        // recording that ends without data leaves an existing file as it was.
        CreateOnFirstRow = 0x1,
        // The header's frequency is not known yet: see setFrequency().
        FrequencyToCome = 0x2,
    };
    Q_DECLARE_FLAGS(OpenOptions, OpenOption)

    explicit RecordWriter(QObject *parent = nullptr);
    ~RecordWriter() override;

    // The header line, without its line end.
    static QByteArray headerLine();

    // Starts a recording to `path` ("-" for standard output) with the comment lines of `header`,
    // creating or truncating the file now unless CreateOnFirstRow. False, with errorString(),
    // when the file cannot be created; nothing is recorded then.
    bool open(const QString &path, const RecordHeader &header, OpenOptions options = {});
    bool isOpen() const { return m_active; }
    // How long FrequencyToCome holds the lines back, kFrequencyWaitMs unless set; a negative
    // value holds them until setFrequency() or finish(), for a caller that settles the
    // frequency itself or ends the recording.
    void setFrequencyWaitMs(int ms) { m_frequencyWaitMs = ms; }
    QString fileName() const { return m_path; }
    QString errorString() const { return m_error; }
    qint64 framesWritten() const { return m_frames.load(std::memory_order_relaxed); }

    // Forgets the rows held behind comment lines that wait for the frequency (they were taken
    // at another rate, or are not wanted), and starts the time base again at the next frame.
    // False once lines have gone out.
    bool discardHeldRows();

public slots:
    // One sensor-data frame; `num` readings of the list are recorded (at most 16).
    void writeFrame(const QList<Axit_t> &readings, uint num);
    // A marker at the newest frame (see above), numbered by the caller; the label is made one
    // line (RecordFormat::oneLineText).
    void writeMarker(int number, const QString &label);
    // The data stop from now on, for `cause` (the port was lost). The gap's line is written
    // before the next frame's row, its length reaching to that frame; a recording that ends
    // first ends with the gap, as long as it lasted. A second call before a frame changes
    // nothing.
    void beginGap(const QString &cause);
    // The card's frequency in Hz, 0 when it could not be read: the comment lines that wait for
    // it can go out. Only the first call after open() counts.
    void setFrequency(int hz);
    // Writes what is held and closes the file; emits finished() once.
    void finish();

signals:
    // About twice a second while frames are written.
    void progress(qint64 frames);
    // The recording has ended: cleanly when `error` is empty, else after a failed write;
    // `frames` are the rows in the file.
    void finished(qint64 frames, const QString &error);

private:
    bool createFile();
    void flushBuffer();
    bool writeOut();
    qint64 writeAll(const QByteArray &bytes);
    void keepCompleteRows(qint64 written);
    void fail(const QString &what);
    void writeGapLine(qint64 endUs);

    QFile m_file;
    QString m_path;
    QString m_error;
    RecordHeader m_header;
    bool m_active = false;
    bool m_headWritten = false;
    bool m_frequencyPending = false;
    int m_frequencyWaitMs = kFrequencyWaitMs;
    QElapsedTimer m_openClock;
    QDateTime m_firstFrameTime;
    QByteArray m_buffer;
    qint64 m_rowsHeld = 0;                              // rows in m_buffer
    qint64 m_rowsOut = 0;                               // rows in the file
    qint64 m_bytesOut = 0;                              // bytes in the file
    QElapsedTimer m_clock;                              // started at the first frame
    qint64 m_newestUs = 0;                              // the newest row's time
    std::vector<std::pair<int, QString>> m_heldMarkers; // given before the first frame
    qint64 m_gapStartUs = -1; // a gap that has begun and has not been written, else -1
    QString m_gapCause;
    QTimer *m_flushTimer = nullptr;
    std::atomic<qint64> m_frames{0};
    qint64 m_reportedFrames = -1;
    int m_flushTicks = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(RecordWriter::OpenOptions)

#endif // RECORDWRITER_H
