// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDINGANALYSIS_H
#define RECORDINGANALYSIS_H

#include "frameanalysis.h"
#include "recordchecker.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class QFileDevice;
class RecordInput;

// The analysis of a whole recording, as eskin-analyse writes it: one CSV line per frame
// (FrameAnalysis), with the recording's marker, gap and frequency lines in their places among
// the rows.
//
// The recording is read as it comes, a file, a pipe or standard input ("-"), and checked line by
// line as every reader of the format checks it (RecordChecker): one that is not a recording is
// refused at its first wrong line with "FILE:LINE: what is wrong". A frame is analysed and its
// line written as soon as its row has been checked, so memory stays the same however long the
// recording is. While the input is a pipe, the lines go out as its data come.
//
// An output file is written under a temporary name beside it and takes its name only once the
// whole recording is analysed: a refused recording leaves an existing file as it was. Standard
// output ("-") has then received the lines of the rows before the wrong one.
//
// The head of the output: "# program:" (this program), "# source:" (the recording, "standard
// input" for "-"), "# threshold:", then the recording's own comment lines as they stand, its
// "# program:" line as "# recorded_by:", then the header line.
class RecordingAnalysis : private RecordChecker::LineSink
{
public:
    static constexpr char kStandardStream[] = "-";

    // `program` (name and version) goes into the head.
    RecordingAnalysis(const QString &input, const QString &output, int threshold,
                      const QString &program);
    ~RecordingAnalysis() override;
    RecordingAnalysis(const RecordingAnalysis &) = delete;
    RecordingAnalysis &operator=(const RecordingAnalysis &) = delete;

    // Analyses the whole recording. False with errorString() when it is refused or cannot be
    // read, or the output cannot be written.
    bool run();

    QString errorString() const { return m_error; }
    // What was left out of a recording that is read all the same (a last line cut short).
    QStringList warnings() const { return m_warnings; }
    qint64 framesWritten() const { return m_frames; }

    // The output's header line, without its line end.
    static QByteArray headerLine();

private:
    void topComment(QByteArrayView line) override;
    void marker(const RecordMarker &marker) override;
    void gap(const RecordGap &gap) override;
    void rateChange(const RecordRateChange &change) override;

    QString inputName() const;
    bool readAll(RecordInput &input, RecordChecker &checker);
    bool openOutput(const QString &inputPath);
    void writeHead();
    void writeHeaderLineOnce();
    void writeRow(const RecordedFrame &frame);
    void writeLine(const QByteArray &line);
    void put(QByteArrayView bytes);
    bool flush();
    bool finishOutput();
    bool failWrite(const QString &reason);

    QString m_inputPath;
    QString m_outputPath;
    QString m_program;
    FrameAnalysis m_analysis;
    std::unique_ptr<QFileDevice> m_output;
    QByteArray m_buffer;
    bool m_headerLineWritten = false;
    qint64 m_frames = 0;
    QString m_error;
    QString m_writeError;
    QStringList m_warnings;
};

#endif // RECORDINGANALYSIS_H
