// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDWRITER_H
#define RECORDWRITER_H

#include "devicerecords.h"
#include "recordformat.h"

#include <QByteArray>
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
// recording cut short anywhere still ends on complete lines (at most one partial line). The
// writer runs in whatever thread it lives in; framesWritten() may be read from any thread.
//
// Markers and gaps go in as the format places them: a marker after the newest row, a gap before
// the first row after it. The first frame starts the time base, so a marker given before it is
// held and written after the first row (at time 0), and a gap before it is not written.
class RecordWriter : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFlushIntervalMs = 250;

    explicit RecordWriter(QObject *parent = nullptr);
    ~RecordWriter() override;

    // The header line, without its line end.
    static QByteArray headerLine();

    // Creates or truncates `path` ("-" for standard output) and writes the comment lines and
    // the header line. False, with errorString(), when that fails; nothing is recorded then.
    bool open(const QString &path, const RecordHeader &header);
    bool isOpen() const { return m_file.isOpen(); }
    QString fileName() const { return m_path; }
    QString errorString() const { return m_error; }
    qint64 framesWritten() const { return m_frames.load(std::memory_order_relaxed); }

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
    // Writes what is held and closes the file; emits finished() once.
    void finish();

signals:
    // About twice a second while frames are written.
    void progress(qint64 frames);
    // The recording has ended: cleanly when `error` is empty, else after a failed write.
    void finished(qint64 frames, const QString &error);

private:
    void flushBuffer();
    bool writeOut();
    void fail(const QString &what);
    void writeGapLine(qint64 endUs);

    QFile m_file;
    QString m_path;
    QString m_error;
    QByteArray m_buffer;
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

#endif // RECORDWRITER_H
