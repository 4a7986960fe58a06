// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordingcontrol.h"

#include "elidinglabel.h"
#include "linkchoices.h"
#include "myserialport.h"
#include "recordwriter.h"

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QStandardPaths>
#include <QThread>

#include <utility>

RecordingControl::RecordingControl(MySerialport *card, QThread *worker, QMenu *menu,
                                   ElidingLabel *statusField, QWidget *window)
    : QObject(window)
    , m_window(window)
    , m_card(card)
    , m_worker(worker)
    , m_action(new QAction(tr("开始记录…"), window))
    , m_status(statusField)
{
    m_action->setObjectName(QStringLiteral("actionRecord"));
    m_action->setEnabled(false);
    menu->addAction(m_action);
    connect(m_action, &QAction::triggered, this, &RecordingControl::toggle);
}

void RecordingControl::recordOnFirstOpen(const QString &path)
{
    m_pendingPath = path;
    if (m_portOpen)
        begin(std::exchange(m_pendingPath, QString()), true);
}

void RecordingControl::portOpened(const QString &portName, int baudRate)
{
    m_portOpen = true;
    m_portName = portName;
    m_baudRate = baudRate;
    m_action->setEnabled(true);
    if (!m_pendingPath.isEmpty())
        begin(std::exchange(m_pendingPath, QString()), true);
}

void RecordingControl::portClosed()
{
    m_portOpen = false;
    m_action->setEnabled(m_writer != nullptr && m_portAwaited);
    if (m_portAwaited)
        beginGap(); // also when a reopened port closes again while it is still awaited
    else
        stop();
}

void RecordingControl::portAwaited(bool waiting)
{
    m_portAwaited = waiting;
    if (waiting) {
        beginGap();
        return;
    }
    // The card's own state: the reconnection may tell its end before the open reaches here.
    if (!m_card || !m_card->isPortOpen())
        stop();
}

void RecordingControl::beginGap()
{
    if (m_writer)
        QMetaObject::invokeMethod(
            m_writer, [writer = m_writer] { writer->beginGap(QStringLiteral("port lost")); },
            Qt::QueuedConnection);
}

void RecordingControl::toggle()
{
    if (m_writer) {
        stop();
        return;
    }
    const QString path = QFileDialog::getSaveFileName(m_window, tr("开始记录"), suggestedPath(),
                                                      tr("CSV 文件 (*.csv);;所有文件 (*)"));
    if (!path.isEmpty())
        start(path);
}

QString RecordingControl::suggestedPath() const
{
    const QString name =
        QDateTime::currentDateTime().toString(QStringLiteral("'eskin-'yyyyMMdd-HHmmss'.csv'"));
    QDir folder(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    if (folder.path().isEmpty() || !folder.exists())
        folder = QDir::home();
    return folder.filePath(name);
}

RecordHeader RecordingControl::header() const
{
    RecordHeader header;
    header.program =
        QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion();
    header.port = m_portName;
    header.baudRate = m_baudRate;
    return header;
}

// The writer lives in the worker thread from here on: it takes the frames and the card's
// frequency there, straight from the card.
void RecordingControl::connectWriter(RecordWriter *writer)
{
    writer->moveToThread(m_worker);
    connect(m_worker, &QThread::finished, writer, &QObject::deleteLater);
    connect(m_card, &SlaveProtocol::stampedFrame, writer, &RecordWriter::writeFrame);
    connect(m_card, &SlaveProtocol::sampleFreResult, writer,
            [writer](int option, int res, int index) {
                if (option == 0)
                    writer->setFrequency(res == kStatusDone ? sampleRateHz(index) : 0);
            });
    connect(writer, &RecordWriter::progress, this, &RecordingControl::showProgress);
    connect(writer, &RecordWriter::finished, this, &RecordingControl::writerFinished);
}

bool RecordingControl::start(const QString &path)
{
    return begin(path, false);
}

bool RecordingControl::begin(const QString &path, bool createOnFirstRow)
{
    if (m_writer || !m_portOpen || !m_worker)
        return false;
    auto *writer = new RecordWriter;
    // The card's rate comes with the first frames when it is known, else with the frequency read
    // that follows every open; a marker comes from the window a moment after its frame.
    RecordWriter::OpenOptions options = RecordWriter::FrequencyToCome |
                                        RecordWriter::FrequencyFromFrames |
                                        RecordWriter::HoldForMarkers;
    options.setFlag(RecordWriter::CreateOnFirstRow, createOnFirstRow);
    if (!writer->open(path, header(), options)) {
        QMessageBox::critical(m_window, tr("错误信息"),
                              tr("无法写入记录文件 %1：%2").arg(path, writer->errorString()));
        delete writer;
        return false;
    }
    connectWriter(writer);
    m_writer = writer;
    m_path = path;
    m_dropped = 0;
    showProgress(0);
    return true;
}

void RecordingControl::stop()
{
    if (m_writer)
        QMetaObject::invokeMethod(m_writer, &RecordWriter::finish, Qt::QueuedConnection);
}

void RecordingControl::writeMarker(int number, const QString &label, const FrameStamp &marked)
{
    if (!m_writer)
        return;
    RecordWriter *writer = m_writer;
    QMetaObject::invokeMethod(
        writer, [writer, marked, number, label] { writer->writeMarker(marked, number, label); },
        Qt::QueuedConnection);
}

void RecordingControl::workerStopped()
{
    m_writer = nullptr;
    m_card = nullptr;
    m_worker = nullptr;
    // What the writer queued before it went refers to it.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

void RecordingControl::showProgress(qint64 frames)
{
    if (!m_writer)
        return;
    m_frames = frames;
    m_dropped = m_writer->droppedRows();
    showState();
}

void RecordingControl::writerFinished(qint64 frames, const QString &error)
{
    if (!m_writer)
        return;
    m_dropped = m_writer->droppedRows();
    m_writer->deleteLater();
    m_writer = nullptr;
    m_frames = frames;
    m_action->setEnabled(m_portOpen);
    showState();
    if (!error.isEmpty())
        QMessageBox::critical(m_window, tr("错误信息"),
                              tr("写入记录文件 %1 失败，记录已停止：%2").arg(m_path, error));
}

bool RecordingControl::event(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        showState();
    return QObject::event(event);
}

void RecordingControl::showState()
{
    m_action->setText(m_writer ? tr("停止记录") : tr("开始记录…"));
    const QString file = QFileInfo(m_path).fileName();
    if (m_path.isEmpty())
        return;
    QString text = m_writer ? tr("正在记录：%1（%2 帧）").arg(file).arg(m_frames)
                            : tr("记录已停止：%1（%2 帧）").arg(file).arg(m_frames);
    // Rows the disk did not take in time, each stretch with a gap line in the file.
    if (m_dropped > 0)
        text += tr("，%1 帧因写入过慢未记录").arg(m_dropped);
    m_status->setText(text);
    // The field may be drawn shortened: the tooltip holds the whole path.
    m_status->setToolTip(m_status->text() + u'\n' + QDir::toNativeSeparators(m_path));
}
