// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef REVIEWOPENER_H
#define REVIEWOPENER_H

#include <QObject>
#include <QPointer>
#include <QString>

class CurveGraphic;
class QAction;
class QMimeData;
class QWidget;
class RecordingControl;

// Opens and closes a recording for review from the main window. It owns:
// - the choice of the file ("打开记录…"), its check with a progress dialog that can be
//   cancelled, the question asked while a recording runs, and the boxes that refuse a file or
//   close a review whose file has changed;
// - "关闭记录" (`actionCloseRecording`), enabled while a review is open;
// - the box with what a check noted without refusing the file, for a replay too.
// The curve window holds the review itself (CurveGraphic::beginReview). The window gives way on
// reviewStarted() (closing the port, showing the curves) and keeps its port controls disabled
// while isReviewing().
class ReviewOpener : public QObject
{
    Q_OBJECT
public:
    // `curves` may be deleted before this object; `window` owns this object and is the boxes'
    // parent.
    ReviewOpener(CurveGraphic *curves, const RecordingControl *recording, QAction *closeAction,
                 QWidget *window);

    bool isReviewing() const;
    // The one local .csv file a drag carries, else empty.
    static QString droppedRecording(const QMimeData *mime);
    // In a box that does not wait for the operator; nothing when there is nothing to say.
    static void showWarnings(QWidget *parent, const QStringList &warnings);

public slots:
    // Asks for a file, then opens it.
    void chooseAndOpen();
    // False when the operator declined or cancelled, or the file was refused (with a message).
    bool open(const QString &path);
    void close();

signals:
    void reviewStarted();
    void reviewEnded();

private slots:
    void reviewFailed(const QString &error);

private:
    bool confirmEndOfRecording();
    static void showFailure(QWidget *parent, const QString &text, const QString &detail);

    QWidget *m_window;
    QPointer<CurveGraphic> m_curves;
    const RecordingControl *m_recording;
    QAction *m_closeAction;
    // Set while a file is checked: a second opening waits for the first.
    bool m_opening = false;
};

#endif // REVIEWOPENER_H
