// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDINGCONTROL_H
#define RECORDINGCONTROL_H

#include "framestamp.h"

#include <QObject>
#include <QString>

class ElidingLabel;
class MySerialport;
class QAction;
class QMenu;
class QThread;
class QWidget;
class RecordWriter;
struct RecordHeader;

// Records the sensor data of the open port from the window. It owns:
// - the menu entry `actionRecord`, "开始记录…" (asks for a file, suggesting a dated name in the
//   documents folder, or the home folder when there is none) or "停止记录", enabled while a
//   port is open or a recording runs;
// - what the status field `statusRecord` says: "正在记录：FILE（N 帧）", then
//   "记录已停止：FILE（N 帧）", with the whole path in its tooltip;
// - the RecordWriter, which lives in the worker thread and takes the frames there straight
//   from the decoder, so that recording costs the interface nothing; this object only hears of
//   its progress and of its end, after which it releases it.
// The file's comment lines wait for the card's frequency, read at every open, so that they name
// it (RecordWriter::FrequencyToCome); a frequency the card confirms later is written among the
// rows. Rows are held a moment before they are written, so that a marker from the window follows
// the row of the frame it marks; a disk that falls behind loses whole rows, with a gap line, and
// the status field counts them.
//
// A recording ends on "停止记录", when the port closes, when the file cannot be written (with a
// message) and at exit, when the worker thread's end takes the writer with it: the window then
// calls workerStopped(). A lost port that is awaited to be reopened (portAwaited(true), from the
// reconnection) does not end it: the recording goes on in the same file, with a gap line, once
// the wait has ended with the port open again; a wait that ends otherwise ends it. It follows
// the port by the card's portOpened() and portClosed(). Texts are set anew on a change of
// language.
class RecordingControl : public QObject
{
    Q_OBJECT
public:
    // `card` lives in `worker`. The menu entry is appended to `menu`; `statusField` is the
    // status bar's field for the recording. Messages have `window` as parent, which also owns
    // this object.
    RecordingControl(MySerialport *card, QThread *worker, QMenu *menu, ElidingLabel *statusField,
                     QWidget *window);

    bool isRecording() const { return m_writer != nullptr; }
    // Starts recording to `path` as soon as a port is open (the first open from now on). Nobody
    // has been asked whether `path` may be replaced: it is created, or replaced, only with the
    // first row, so that a card that sends nothing leaves an earlier file as it was.
    void recordOnFirstOpen(const QString &path);
    // Records the sensor data of the open port to `path`; false (after telling the operator
    // when the file cannot be written) when the port is closed, a recording runs already or the
    // file cannot be written.
    bool start(const QString &path);
    // The writer reports its end through finished(), after which it is released.
    void stop();
    // The worker thread has ended and deleted the writer; nothing can be recorded any more.
    void workerStopped();

public slots:
    void portOpened(const QString &portName, int baudRate);
    void portClosed();
    // A lost port is awaited (true), or no longer (false): back, or given up.
    void portAwaited(bool waiting);
    // A marker on the frame `marked`: while recording, its line follows that frame's row.
    void writeMarker(int number, const QString &label, const FrameStamp &marked);

protected:
    bool event(QEvent *event) override;

private slots:
    void toggle();
    void showProgress(qint64 frames);
    void writerFinished(qint64 frames, const QString &error);

private:
    bool begin(const QString &path, bool createOnFirstRow);
    RecordHeader header() const;
    void connectWriter(RecordWriter *writer);
    void beginGap();
    QString suggestedPath() const;
    // Set again on a change of language, so it keeps the state it shows.
    void showState();

    QWidget *m_window;
    MySerialport *m_card;
    QThread *m_worker;
    QAction *m_action;
    ElidingLabel *m_status;
    RecordWriter *m_writer = nullptr;
    QString m_path;
    qint64 m_frames = 0;
    qint64 m_dropped = 0;
    QString m_pendingPath;
    bool m_portOpen = false;
    bool m_portAwaited = false;
    QString m_portName;
    int m_baudRate = 0;
};

#endif // RECORDINGCONTROL_H
