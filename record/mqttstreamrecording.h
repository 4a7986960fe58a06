// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MQTTSTREAMRECORDING_H
#define MQTTSTREAMRECORDING_H

#include "recordchecker.h"
#include "recordformat.h"
#include "recordwriter.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

// One stream received from a broker (MqttFeedSender's topics), written to a recording as its
// publisher composed it: its head at the top, then the rows and the lines among them (markers,
// gaps) in their places, so that the file equals, row for row, one made beside the card.
//
// Every line is checked as a reader checks a file (RecordChecker::tryLine), and a line that
// would make the file wrong is left out with a warning: the file always reads. A marker that
// comes before its row is held until the row has come; a frequency line waits for the next row,
// and goes in only before the row of its time (another one, lost on the way, would leave every
// later row out). Rows before the head, and lines among
// the rows before the first row (a stream joined in the middle) are left out. While the
// connection to the broker is lost the rows that are missed are not known: brokerLost() begins
// a gap at the newest row, which ends at the next row (or at the publisher's own gap line).
class MqttStreamRecording : public QObject
{
    Q_OBJECT
public:
    // Markers held for their rows, at most.
    static constexpr int kMaxHeldMarkers = 64;

    // `name` stands for the stream in warnings (its prefix). The file is created with its
    // first row; `rowLimit` rows at most (0: no limit).
    MqttStreamRecording(const QString &name, const QString &path, qint64 rowLimit = 0,
                        QObject *parent = nullptr);

    QString path() const { return m_path; }
    qint64 frames() const { return m_writer.framesWritten(); }
    // Rows left out because the output did not take them in time (RecordWriter::writeLine).
    qint64 droppedRows() const { return m_writer.droppedRows(); }
    bool isFull() const { return m_rowLimit > 0 && frames() >= m_rowLimit; }
    QString errorString() const { return m_writer.errorString(); }

    // False for the head of another stream (another start): this recording has then ended
    // for it. A head that is not one is left out with a warning.
    bool takeHead(const QByteArray &head);
    void takeFrames(const QByteArray &payload);
    void takeEvents(const QByteArray &payload);
    void brokerLost();
    // Writes what is held and closes the file (finished()).
    void finish();

signals:
    void warning(const QString &line);
    void finished(qint64 frames, const QString &error);
    // The row limit is reached.
    void full();

private:
    // False (with a warning unless `quiet`) when the line is left out.
    bool takeLine(QByteArrayView line, bool quiet = false);
    void holdMarker(qint64 timeUs, QByteArrayView line);
    void placeHeldMarkers();
    void placeRateLine(QByteArrayView row);
    bool hasRows() const { return m_checker && m_checker->frameCount() > 0; }

    const QString m_name;
    const qint64 m_rowLimit;
    const QString m_path;
    RecordWriter m_writer;
    std::unique_ptr<RecordChecker> m_checker; // set with the head
    QByteArray m_start;                       // the head's start line
    PendingGap m_brokerGap;
    QByteArray m_rateLine; // a frequency line waiting for its row
    std::vector<std::pair<qint64, QByteArray>> m_heldMarkers; // by time
};

#endif // MQTTSTREAMRECORDING_H
