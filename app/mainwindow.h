// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "devicerecords.h"
#include "languageswitcher.h"
#include "linkchoices.h"
#include "linkpreferences.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

class CurveGraphic;
class Demarcate;
class FrequencyChoice;
class LinkStatusBar;
struct LinkHealth;
class MqttControl;
class MySerialport;
class PortChoice;
class PortReconnector;
class ProgressWait;
class QAction;
class QTimer;
class RecordingControl;
class ReviewOpener;
class SensorTable;
class StreamControl;
class WorkerThread;

namespace Ui {
class MainWindow;
}

// The centre of the program: serial-port controls and the baseline read, check and write. The
// port list, its selection and the reopening of a lost port are kept by PortChoice, the sensor
// table and the count of sensors by SensorTable, the sample-frequency box by FrequencyChoice.
// It owns the curve window, the calibration dialog and the worker thread in which the one
// driver-card object runs, and wires them to the parts that follow the port on their own: the
// recording (RecordingControl), the stream shared with other programs (StreamControl) and
// published to an MQTT broker (MqttControl), and the link's fields in the status bar
// (LinkStatusBar).
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
    MqttControl *mqtt() const { return mqttControl; }

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
    void showOpenFailure(const QString &portName, int error, const QString &errorString);
    void setFollowCardSensors(bool on);
    void noteCardSensors(const LinkHealth &health);

private:
    void connectWorker();
    // The parts that follow the port: recording, stream, status bar, reconnection.
    void setUpPortFollowers();
    void fillFixedChoices();
    // Sets the window's own texts anew in the language now installed; the parts above follow
    // the change of language by themselves.
    void retranslate();
    void showCheckData();
    // Tells the curve window, the calibration dialog and the status bar the number of sensors.
    void tellSensorCount(int count);
    bool portOpen() const;
    bool reviewing() const;
    bool runCheck();
    bool invokeSetChecking(bool check);
    // Outcome of a write answered by status: done, refused, or no answer in time.
    void reportOutcome(int res, const QString &done, const QString &refused);
    // Releases the worker, the timers and the other windows once; safe to call again.
    void releaseOwned(bool fromCloseEvent);
    void restoreBaudRate();

    Ui::MainWindow *ui = nullptr;
    LanguageSwitcher *languages = nullptr;
    CurveGraphic *curveGraphic = nullptr;
    // Guarded: a close event hands the dialog to deferred deletion (see releaseOwned).
    QPointer<Demarcate> demarcate;
    MySerialport *serial = nullptr;
    WorkerThread *serialThread = nullptr;
    QTimer *checkTimer = nullptr;
    ProgressWait *checkWait = nullptr;
    SensorTable *sensorTable = nullptr;
    PortChoice *portChoice = nullptr;
    FrequencyChoice *frequencyChoice = nullptr;
    RecordingControl *recordingControl = nullptr;
    StreamControl *streamControl = nullptr;
    MqttControl *mqttControl = nullptr;
    ReviewOpener *reviewOpener = nullptr;
    LinkStatusBar *linkStatus = nullptr;
    PortReconnector *reconnector = nullptr;
    QAction *actionAutoReconnect = nullptr;
    QAction *actionFollowCardSensors = nullptr;
    LinkPreferences linkPrefs;
    int baudIndex = 0;
    int checkProgress = 0;
    // The count the other windows were last told.
    int shownSensorSum = 1;
};

#endif // MAINWINDOW_H
