// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "devicerecords.h"
#include "languageswitcher.h"
#include "linkchoices.h"
#include "linkpreferences.h"
#include "portlist.h"

#include <QList>
#include <QMainWindow>
#include <QModelIndex>
#include <QPointer>
#include <QStringList>

class CurveGraphic;
class Demarcate;
class LinkStatusBar;
struct LinkHealth;
class MySerialport;
class PortReconnector;
class QAction;
class QStandardItem;
class QStandardItemModel;
class QTimer;
class RecordingControl;
class ReviewOpener;
class StreamControl;
class WorkerThread;

namespace Ui {
class MainWindow;
}

// The centre of the program: serial-port controls and port list, the sensor table with its
// baselines and ticks, the sample-frequency choice and the baseline read, check and write. It
// owns the curve window, the calibration dialog and the worker thread in which the one
// driver-card object runs, and wires them to the parts that follow the port on their own: the
// recording (RecordingControl), the stream shared with other programs (StreamControl), the
// link's fields in the status bar (LinkStatusBar) and the reopening of a lost port
// (PortReconnector).
//
// With "传感器数跟随驱动卡" ticked, the sensor count (field, table rows, curve window and
// calibration dialog) follows the number of sensors in the card's frames, checked twice a second,
// and in a baseline read or check; the rows that stay keep their values.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Ports the system does not enumerate (the simulated card, virtual ports): listed first on
    // every scan while they exist, so that the first of them is the default choice.
    void setExtraPorts(const QStringList &ports);
    // The port this run was started for (a card it started, a port it was given): selected
    // whenever the list is built, instead of the one remembered from an earlier run.
    void preferPort(const QString &portName);
    // Switches every window's texts for this run; the choice remembered from the menu stays.
    void useLanguage(UiLanguage language);

    // Opens the selected port as "打开" does.
    void openSelectedPort();
    RecordingControl *recording() const { return recordingControl; }
    StreamControl *stream() const { return streamControl; }

public slots:
    // A marker met while a recording is replayed: shown on the curves at the newest frame.
    void showReplayedMarker(int number, const QString &label);
    // What the check of a replayed or reviewed recording noted without refusing it (a last line
    // cut short), in a box that does not wait for the operator.
    void showRecordingWarnings(const QStringList &warnings);
    // Review mode: checks the recording at `path` (with a progress dialog that can be cancelled),
    // closes the port (asking first while a recording runs) and shows the recording in the curve
    // window, whose timeline moves through it. The port controls stay disabled until
    // closeRecording(). False when the operator declined or cancelled, or the file was refused
    // (with a message).
    bool openRecording(const QString &path);
    // Back to the live display.
    void closeRecording();

signals:
    void serialOpen(QString portName, int baudRat);
    void serialClose();
    void setSampleFre(uint freIndex, int mesc);
    void checkDataWrite(QList<AxitSingle_t> &axit);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    // A .csv file dropped on the window is opened for review.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    void CheckDataResult(bool ok);
    void serialPortLostHandle();
    void SampleFreResult(int option, int res, int param);
    void WidgetViewFlush();
    void TableViewCellDataChange(QModelIndex topLeft, QModelIndex bottomRight, QList<int> roles);
    void on_btnRead_clicked();
    void on_btnCheck_clicked();
    void on_btnWrite_clicked();
    void on_btnSerialOpen_clicked();
    void on_SerialPortSelect_currentIndexChanged(int index);
    void on_BandSelect_currentIndexChanged(int index);
    void on_btnGraphic_clicked(bool checked);
    void on_lineSensorSum_editingFinished();
    void on_SampleFreSelect_currentIndexChanged(int index);
    void on_actDemarcate_triggered();
    void enterReview();
    void refreshSerialPorts();
    void showOpenFailure(const QString &portName, int error, const QString &errorString);
    void rememberOpenedPort(const QString &portName, int baudRate);
    void setAutoReconnect(bool on);
    void setFollowCardSensors(bool on);
    void noteCardSensors(const LinkHealth &health);

private:
    void connectWorker();
    // The parts that follow the port: recording, stream, status bar, reconnection.
    void setUpPortFollowers();
    void fillFixedChoices();
    void initSensorTable();
    void setSensorHeaderLabels();
    // Sets the window's own texts anew in the language now installed; the parts above follow
    // the change of language by themselves.
    void retranslate();
    void resetSensorTable();
    void showCheckData();
    // Tells the count field, and with tellSensorCount() the curve window, the calibration
    // dialog and the status bar, the number of sensors.
    void announceSensorCount();
    void tellSensorCount();
    void followCardSensors();
    void resizeSensorRows(int count);
    void showPortPathsWhole();
    void putRow(int row, int x, int y, int z);
    QStandardItem *valueItem(int value) const;
    bool portOpen() const;
    bool reviewing() const;
    bool runCheck();
    void waitSlice();
    bool invokeSetChecking(bool check);
    QList<AxitSingle_t> tickedRows() const;
    void showFrequency(int index);
    // Outcome of a write answered by status: done, refused, or no answer in time.
    void reportOutcome(int res, const QString &done, const QString &refused);
    // Releases the worker, the timers and the other windows once; safe to call again.
    void releaseOwned(bool fromCloseEvent);
    void restoreLinkChoices();
    void selectRememberedPort();

    Ui::MainWindow *ui = nullptr;
    LanguageSwitcher *languages = nullptr;
    CurveGraphic *curveGraphic = nullptr;
    // Guarded: a close event hands the dialog to deferred deletion (see releaseOwned).
    QPointer<Demarcate> demarcate;
    MySerialport *serial = nullptr;
    WorkerThread *serialThread = nullptr;
    QTimer *portScanTimer = nullptr;
    QTimer *checkTimer = nullptr;
    QStandardItemModel *tableModel = nullptr;
    // Set while the window fills the table itself, whose values are not the operator's entries.
    bool fillingTable = false;
    QStringList headerLabels;
    PortList ports;
    RecordingControl *recordingControl = nullptr;
    StreamControl *streamControl = nullptr;
    ReviewOpener *reviewOpener = nullptr;
    LinkStatusBar *linkStatus = nullptr;
    PortReconnector *reconnector = nullptr;
    QAction *actionAutoReconnect = nullptr;
    QAction *actionFollowCardSensors = nullptr;
    LinkPreferences linkPrefs;
    QString preferredPort;
    int baudIndex = 0;
    int portIndex = 0;
    int checkProgress = 0;
    int sampleFreIndex = 0;
    int sensorSum = 1;
    // The count the other windows were last told; the card's count in its latest frames since
    // the open (-1: none yet).
    int shownSensorSum = 1;
    int cardSensorCount = -1;
};

#endif // MAINWINDOW_H
