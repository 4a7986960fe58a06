// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "devicerecords.h"
#include "languageswitcher.h"
#include "linkhealth.h"
#include "linkpreferences.h"

#include <QElapsedTimer>

#include <QList>
#include <QMainWindow>
#include <QModelIndex>
#include <QPointer>
#include <QStringList>

#include <array>

class CurveGraphic;
class Demarcate;
class MySerialport;
class QAction;
class QLabel;
class QStandardItemModel;
class RecordWriter;
class QThread;
class QTimer;

namespace Ui {
class MainWindow;
}

constexpr std::array<int, 3> baudRateTable{115200, 460800, 921600};
constexpr std::array<int, 5> sampleFreTable{10, 20, 50, 100, 200};

// The centre of the program: serial-port controls and port list, the sensor table with its
// baselines and ticks, the sample-frequency choice and the baseline read, check and write. It
// owns the curve window, the calibration dialog and the worker thread in which the one
// driver-card object runs.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Ports the system does not enumerate (the simulated card, virtual ports): listed first on
    // every scan while they exist, so that the first of them is the default choice.
    void setExtraPorts(const QStringList &ports);
    // Switches every window's texts for this run; the choice remembered from the menu stays.
    void useLanguage(UiLanguage language);

    // Opens the selected port as "打开" does.
    void openSelectedPort();
    // Starts recording to `path` as soon as a port is open (the first open from now on).
    void recordOnFirstOpen(const QString &path);
    // Records the sensor data of the open port to `path`; false (after telling the operator)
    // when the port is closed, a recording runs already or the file cannot be written.
    bool startRecording(const QString &path);
    void stopRecording();
    bool isRecording() const { return recordWriter != nullptr; }

signals:
    void serialOpen(QString portName, int baudRat);
    void serialClose();
    void setSampleFre(uint freIndex, int mesc);
    void checkDataWrite(QList<AxitSingle_t> &axit);
    void serialReconnect(QString portName, int baudRate);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

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
    void refreshSerialPorts();
    void toggleRecording();
    void showRecordProgress(qint64 frames);
    void recordingFinished(qint64 frames, const QString &error);
    void showOpenFailure(const QString &portName, int error, const QString &errorString);
    void showLinkHealth(const LinkHealth &health);
    void followPortState();
    void setAutoReconnect(bool on);

private:
    void setUpRecording();
    void followPortForRecording(bool open);
    void showRecordState();
    void connectWorker();
    void fillFixedChoices();
    void initSensorTable();
    void setSensorHeaderLabels();
    // Sets every text anew in the language now installed, the port state's too.
    void retranslate();
    void resetSensorTable();
    void showCheckData();
    void putRow(int row, int x, int y, int z);
    bool portOpen() const;
    bool runCheck();
    void waitSlice();
    bool invokeSetChecking(bool check);
    QList<AxitSingle_t> tickedRows() const;
    void showFrequency(int index);
    // Outcome of a write answered by status: done, refused, or no answer in time.
    void reportOutcome(int res, const QString &done, const QString &refused);
    // Releases the worker, the timers and the other windows once; safe to call again.
    void releaseOwned(bool fromCloseEvent);

    // Link health in the status bar, reconnection after a lost port, remembered choices.
    void setupStatusBar();
    void setupReconnect();
    void restoreLinkChoices();
    void selectRememberedPort();
    void showPortStatus();
    void waitForLostPort();
    void stopWaitingForPort();
    void reconnectIfReturned(const QStringList &presentPorts);
    QStringList presentPortNames() const;

    Ui::MainWindow *ui = nullptr;
    LanguageSwitcher *languages = nullptr;
    CurveGraphic *curveGraphic = nullptr;
    // Guarded: a close event hands the dialog to deferred deletion (see releaseOwned).
    QPointer<Demarcate> demarcate;
    MySerialport *serial = nullptr;
    QThread *serialThread = nullptr;
    QTimer *portScanTimer = nullptr;
    QTimer *checkTimer = nullptr;
    QStandardItemModel *tableModel = nullptr;
    QStringList headerLabels;
    QStringList extraPorts;
    QAction *actionRecord = nullptr;
    QLabel *statusRecord = nullptr;
    // Lives in the worker thread; released once its end has been reported here.
    RecordWriter *recordWriter = nullptr;
    QString recordPath;
    qint64 recordFrames = 0;
    QString pendingRecordPath;
    int baudIndex = 0;
    int portIndex = 0;
    int checkProgress = 0;
    int sampleFreIndex = 0;
    int sensorSum = 1;

    QLabel *statusPort = nullptr;
    QLabel *statusRate = nullptr;
    QLabel *statusErrors = nullptr;
    QLabel *statusStale = nullptr;
    QAction *actionAutoReconnect = nullptr;
    LinkPreferences linkPrefs;
    // The latest snapshot of the open port; its name and baud rate are what a reconnection uses.
    LinkHealth linkHealth;
    QTimer *reconnectTimer = nullptr;
    bool waitingForPort = false;
    QElapsedTimer lostClock;
};

#endif // MAINWINDOW_H
