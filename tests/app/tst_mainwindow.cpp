// The main window against the simulated card over a pseudo-terminal, driven through its
// controls: port list, open and close, a lost line, the sensor table, the sample frequency, the
// baseline read, check and write, and shutdown with requests still on their way.

#include "cardmodel.h"
#include "mainwindow.h"
#include "messageboxrecorder.h"
#include "simulatedcard.h"
#include "slavecodec.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMutex>
#include <QProgressDialog>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// Runs a helper that may fail a check, and leaves the test function when it did.
#define CHECKED(call)                                                                              \
    do {                                                                                           \
        call;                                                                                      \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)

namespace {

constexpr int kScanWaitMs = 3000;        // one 2 s port scan and some
constexpr int kAnswerMs = 1500;          // the card answers at once
constexpr int kNoAnswerMs = 2000 + 1500; // the 2 s request wait and some
constexpr int kCardFrequencyIndex = 3;   // 100 Hz, unless a test says otherwise

enum class Fault { None, Refusing, Silent };

// Payloads of the checked frames with command `cmd` in a byte stream, in order.
QList<QByteArray> payloadsOf(const QByteArray &bytes, quint8 cmd)
{
    QList<QByteArray> payloads;
    qsizetype at = 0;
    while (at + 1 < bytes.size()) {
        const int length = quint8(bytes.at(at + 1));
        const qsizetype end = at + length + 2;
        quint8 sum = 0;
        for (qsizetype i = at; i < end - 1 && end <= bytes.size(); ++i)
            sum = quint8(sum + quint8(bytes.at(i)));
        if (quint8(bytes.at(at)) != kFrameSync || length < 2 || end > bytes.size() ||
            sum != quint8(bytes.at(end - 1))) {
            ++at;
            continue;
        }
        if (quint8(bytes.at(at + 2)) == cmd)
            payloads << bytes.mid(at + 3, length - 2);
        at = end;
    }
    return payloads;
}

qint16 wordAt(const QByteArray &bytes, qsizetype at)
{
    return qint16((quint8(bytes.at(at)) << 8) | quint8(bytes.at(at + 1)));
}

// Per sensor and axis, the average of the first `count` accumulation samples, as the table
// shows it.
QStringList averagesOf(const QList<QByteArray> &samples, qsizetype count, int sensors)
{
    QStringList averages;
    for (int value = 0; value < sensors * 3; ++value) {
        qint64 sum = 0;
        for (qsizetype i = 0; i < count; ++i)
            sum += wordAt(samples.at(i), value * 2);
        averages << QString::number(sum / count);
    }
    return averages;
}

QByteArray baselineRecord(quint8 id, qint16 x, qint16 y, qint16 z)
{
    QByteArray record(1, char(id));
    for (qint16 v : {x, y, z})
        record.append(char(quint16(v) >> 8)).append(char(quint16(v) & 0xFF));
    return record;
}

// "W 提示 text": icon (Information, Warning, Critical, Question), title and text of each box.
QStringList describe(const MessageBoxRecorder &recorder)
{
    QStringList lines;
    for (const RecordedBox &box : recorder.boxes)
        lines << QChar(u"-IWCQ"[int(box.icon)]) + QLatin1Char(' ') + box.title + u' ' + box.text;
    return lines;
}

// Everything the card sends, collected in the card's thread.
struct CardTap
{
    QMutex lock;
    QByteArray bytes;
};

} // namespace

Q_DECLARE_METATYPE(Fault)

// The machine's own serial ports would make the port list depend on where the tests run (a
// build machine may well have a ttyS0), so the window is shown none: its ports are the paths a
// test lists with setExtraPorts.
QList<QSerialPortInfo> QSerialPortInfo::availablePorts()
{
    return {};
}

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void init()
    {
        m_boxes = std::make_unique<MessageBoxRecorder>();
        m_window = std::make_unique<MainWindow>();
        m_ports = m_window->findChild<QComboBox *>(QStringLiteral("SerialPortSelect"));
        m_bauds = m_window->findChild<QComboBox *>(QStringLiteral("BandSelect"));
        m_frequency = m_window->findChild<QComboBox *>(QStringLiteral("SampleFreSelect"));
        m_open = m_window->findChild<QPushButton *>(QStringLiteral("btnSerialOpen"));
        m_count = m_window->findChild<QLineEdit *>(QStringLiteral("lineSensorSum"));
        m_table = m_window->findChild<QTableView *>(QStringLiteral("tableView"));
        QVERIFY(m_ports && m_bauds && m_frequency && m_open && m_count && m_table);
        m_model = qobject_cast<QStandardItemModel *>(m_table->model());
        QVERIFY(m_model);
        m_window->show();
        // Active, so that key presses and focus behave as for an operator.
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    void cleanup()
    {
        m_window.reset();
        m_card.reset();
        m_boxes.reset();
    }

    // ---- Start-up and serial port -----------------------------------------------------------

    void startUp_oneZeroRow_closedControls_andNoPortToOpen()
    {
        QCOMPARE(m_model->rowCount(), 1);
        QCOMPARE(QStringList({cell(0, 0), cell(0, 2), cell(0, 3), cell(0, 4)}),
                 QStringList({"0", "0", "0", "0"}));
        QVERIFY(!ticked(0));
        QCOMPARE(m_count->text(), QStringLiteral("1"));
        CHECKED(verifyClosedControls());
        QCOMPARE(m_frequency->currentText(), QStringLiteral("10"));
        QCOMPARE(m_ports->count(), 0);
        // The built-in icon loads: its largest image is the 256-pixel drawing.
        QVERIFY(!m_window->windowIcon().isNull());
        QCOMPARE(m_window->windowIcon().actualSize(QSize(256, 256)), QSize(256, 256));

        QTest::mouseClick(m_open, Qt::LeftButton);

        QCOMPARE(describe(*m_boxes), QStringList{"C 错误信息 没有检测到串口"});
    }

    void portAppearing_isListedWithinAScan_andChosen()
    {
        m_window->setExtraPorts({link()});
        QCOMPARE(m_ports->count(), 0);

        CHECKED(startCard());

        QTRY_COMPARE_WITH_TIMEOUT(m_ports->itemText(0), link(), kScanWaitMs);
        QCOMPARE(m_ports->currentIndex(), 0);
        // Chosen as the port to open, not only shown.
        QTest::mouseClick(m_open, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_open->text(), QStringLiteral("关闭"), kAnswerMs);
    }

    void portsReplacedBySameCount_keepOldNames()
    {
        QStringList paths;
        for (const char *name : {"a", "b", "c", "d", "e"})
            paths << m_dir.filePath(QLatin1String(name));
        const auto create = [&](int i) {
            QFile(paths[i]).open(QIODevice::WriteOnly);
        };
        create(0);
        create(1);
        m_window->setExtraPorts(paths);
        QCOMPARE(items(), paths.mid(0, 2));

        QFile::remove(paths[0]);
        QFile::remove(paths[1]);
        create(2);
        create(3);
        QTest::qWait(kScanWaitMs);
        QCOMPARE(items(), paths.mid(0, 2));

        // A third port changes the count, and the list is rebuilt from what exists now.
        create(4);
        QTRY_COMPARE_WITH_TIMEOUT(items(), paths.mid(2), kScanWaitMs);
    }

    void openPort_closedByButtonOrLostLine_data()
    {
        QTest::addColumn<bool>("lineLost");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("button") << false << QStringList();
        QTest::newRow("line lost") << true << QStringList{"C 错误信息 串口丢失"};
    }
    void openPort_closedByButtonOrLostLine()
    {
        QFETCH(bool, lineLost);
        QFETCH(QStringList, boxes);
        CHECKED(startCard());
        CHECKED(openCard());
        QVERIFY(!m_ports->isEnabled() && !m_bauds->isEnabled());
        for (const char *name : {"btnRead", "btnCheck", "btnWrite", "SampleFreSelect"})
            QVERIFY2(m_window->findChild<QWidget *>(QLatin1String(name))->isEnabled(), name);

        if (lineLost)
            m_card->hangUp();
        else
            QTest::mouseClick(m_open, Qt::LeftButton);

        QTRY_COMPARE_WITH_TIMEOUT(m_open->text(), QStringLiteral("打开"), kAnswerMs);
        CHECKED(verifyClosedControls());
        QTest::qWait(500); // a second report would come within this
        QCOMPARE(describe(*m_boxes), boxes);
    }

    // ---- Sensor table -----------------------------------------------------------------------

    void sensorCountEntry_rebuildsRowsOrWarns_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("valid");
        QTest::newRow("16") << "16" << 16 << true;
        QTest::newRow("same count again rebuilds") << "3" << 3 << true;
        QTest::newRow("0") << "0" << 3 << false;
        QTest::newRow("17") << "17" << 3 << false;
        QTest::newRow("letters") << "ab" << 3 << false;
        QTest::newRow("empty") << "" << 3 << false;
    }
    void sensorCountEntry_rebuildsRowsOrWarns()
    {
        QFETCH(QString, entry);
        QFETCH(int, rows);
        QFETCH(bool, valid);
        CHECKED(enterSensorCount(QStringLiteral("3")));
        CHECKED(tick(2)); // ticking never warns
        CHECKED(setCell(2, 4, QStringLiteral("-12")));

        CHECKED(enterSensorCount(entry));

        QCOMPARE(m_model->rowCount(), rows);
        QCOMPARE(cell(rows - 1, 0), QString::number(rows - 1));
        QCOMPARE(ticked(2), !valid);
        QCOMPARE(cell(2, 4), valid ? QStringLiteral("0") : QStringLiteral("-12"));
        QCOMPARE(m_count->text(), valid ? entry : QStringLiteral("1"));
        QCOMPARE(describe(*m_boxes),
                 valid ? QStringList() : QStringList{"W 提示 允许输入范围：1~16"});
    }

    void cellEdit_validatesRange_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("40000") << "40000" << false;
        QTest::newRow("number then letter") << "12a" << false;
        QTest::newRow("-32768") << "-32768" << false;
        QTest::newRow("-32767") << "-32767" << true;
        QTest::newRow("32767") << "32767" << true;
    }
    void cellEdit_validatesRange()
    {
        QFETCH(QString, entry);
        QFETCH(bool, accepted);
        QPointer<QLineEdit> editor;
        CHECKED(editor = openEditor(0, 3));
        editor->selectAll();
        QTest::keyClicks(editor, entry);
        QTest::keyClick(editor, Qt::Key_Return);

        // The editor hands its text over as it closes.
        QTRY_VERIFY(!editor || !editor->isVisible());
        QCOMPARE(cell(0, 3), accepted ? entry : QStringLiteral("0"));
        QCOMPARE(describe(*m_boxes),
                 accepted ? QStringList() : QStringList{"W 提示 允许输入范围：-32767~32767"});
    }

    // ---- Sample frequency -------------------------------------------------------------------

    void choosingFrequency_isTheOnlyWrite_andIsReported_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("accepted") << Fault::None << 4 << QStringList{"I 提示 采样频率设置成功"};
        QTest::newRow("refused") << Fault::Refusing << 4 << QStringList{"I 提示 采样频率设置失败"};
        QTest::newRow("no answer") << Fault::Silent << 1 << QStringList{"I 提示 通信超时"};
        QTest::newRow("current entry") << Fault::None << kCardFrequencyIndex << QStringList();
    }
    void choosingFrequency_isTheOnlyWrite_andIsReported()
    {
        QFETCH(Fault, fault);
        QFETCH(int, index);
        QFETCH(QStringList, boxes);
        CHECKED(startCard());
        CHECKED(openCard());
        setFault(fault);

        CHECKED(chooseFrequency(index));

        QTRY_COMPARE_WITH_TIMEOUT(describe(*m_boxes), boxes, kNoAnswerMs);
        QTest::qWait(200); // nothing more follows
        QCOMPARE(describe(*m_boxes), boxes);
        // Showing the card's own frequency after opening wrote nothing either.
        const bool change = index != kCardFrequencyIndex;
        QCOMPARE(sent(CmdSetFrequency),
                 change ? QList<QByteArray>{QByteArray(1, char(index))} : QList<QByteArray>());
        QCOMPARE(m_frequency->currentIndex(), index); // a failed write is not undone
    }

    // A card reporting an index the table has no entry for: no entry is shown, and the
    // operator's next choice is sent, since it differs from what the card runs at.
    void frequencyOutsideTable_showsNoEntry_andNextChoiceIsSent()
    {
        CHECKED(startCard());
        CHECKED(openCard());
        QVERIFY(QMetaObject::invokeMethod(m_window.get(), "SampleFreResult", Q_ARG(int, 0),
                                          Q_ARG(int, 0), Q_ARG(int, 7)));
        QCOMPARE(m_frequency->currentIndex(), -1);
        QCOMPARE(sent(CmdSetFrequency), QList<QByteArray>()); // clearing the choice sends nothing

        CHECKED(chooseFrequency(1));
        QTRY_COMPARE(sent(CmdSetFrequency), QList<QByteArray>{QByteArray(1, char(1))});
        QTRY_COMPARE(describe(*m_boxes), QStringList{"I 提示 采样频率设置成功"});
    }

    // ---- Baseline ---------------------------------------------------------------------------

    void read_showsCardBaseline()
    {
        CHECKED(startCard(kCardFrequencyIndex, 5));
        CHECKED(openCard());
        CHECKED(enterSensorCount(QStringLiteral("3")));
        QList<AxitSingle_t> stored;
        m_card->withModel([&](CardModel &card) { stored = card.baseline(); });

        click("btnRead");

        QTRY_COMPARE_WITH_TIMEOUT(describe(*m_boxes), QStringList{"I 系统提示 基准数据读取成功"},
                                  kAnswerMs);
        QCOMPARE(m_model->rowCount(), 5);
        for (int row = 0; row < 5; ++row) {
            const AxitSingle_t &b = stored.at(row);
            QCOMPARE(QStringList({cell(row, 0), cell(row, 2), cell(row, 3), cell(row, 4)}),
                     QStringList({QString::number(row), QString::number(b.x), QString::number(b.y),
                                  QString::number(b.z)}));
        }
        QCOMPARE(m_count->text(), QStringLiteral("3"));
    }

    void check_showsAveragesOfTheSamples()
    {
        constexpr int kSensors = 4;
        CHECKED(startCard(kCardFrequencyIndex, kSensors));
        auto tap = std::make_shared<CardTap>();
        m_card->withModel([tap](CardModel &card) {
            QObject::connect(&card, &CardModel::bytesToHost, &card, [tap](const QByteArray &b) {
                QMutexLocker lock(&tap->lock);
                tap->bytes += b;
            });
        });
        CHECKED(openCard());
        CHECKED(tick(0));
        QElapsedTimer clock;
        clock.start();

        click("btnCheck");

        QVERIFY2(clock.elapsed() >= 4500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(describe(*m_boxes), QStringList{"I 系统提示 校准数据获取完成"});
        QByteArray fromCard;
        {
            // Not held while the card is asked anything: its thread takes it too.
            QMutexLocker lock(&tap->lock);
            fromCard = tap->bytes;
        }
        const QList<QByteArray> samples = payloadsOf(fromCard, CmdAccumulation);
        QVERIFY(samples.size() > 300);
        QCOMPARE(m_model->rowCount(), kSensors);
        QStringList shown;
        for (int row = 0; row < kSensors; ++row)
            shown << cell(row, 2) << cell(row, 3) << cell(row, 4);
        // Averages of what reached the host before it stopped sampling: every sample the card
        // sent, except perhaps the last few, still on the line then.
        bool matched = false;
        for (qsizetype count = samples.size(); count > samples.size() - 4 && !matched; --count)
            matched = averagesOf(samples, count, kSensors) == shown;
        QVERIFY2(matched, qPrintable(shown.join(u' ') + QStringLiteral(" against ") +
                                     averagesOf(samples, samples.size(), kSensors).join(u' ')));
        QVERIFY(!ticked(0));
        QCOMPARE(sent(CmdSampling), QList<QByteArray>({QByteArray(1, 1), QByteArray(1, 0)}));
        QVERIFY(!cardSampling());
        QVERIFY(m_window->findChild<QPushButton *>(QStringLiteral("btnRead"))->isEnabled());
    }

    void checkInterrupted_reportsFailure_andKeepsTable_data()
    {
        QTest::addColumn<bool>("lineLost");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("cancelled") << false << QStringList{"W 提示 校准数据获取失败"};
        QTest::newRow("line lost")
            << true << QStringList{"C 错误信息 串口丢失", "W 提示 校准数据获取失败"};
    }
    void checkInterrupted_reportsFailure_andKeepsTable()
    {
        QFETCH(bool, lineLost);
        QFETCH(QStringList, boxes);
        CHECKED(startCard());
        CHECKED(openCard());
        CHECKED(setCell(0, 2, QStringLiteral("77")));
        QString dialogTitle;
        QTimer::singleShot(1000, this, [&] {
            auto *dialog = m_window->findChild<QProgressDialog *>();
            dialogTitle = dialog ? dialog->windowTitle() : QString();
            if (lineLost)
                m_card->hangUp();
            else if (dialog)
                dialog->cancel();
        });
        QElapsedTimer clock;
        clock.start();

        click("btnCheck");

        QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(dialogTitle, QStringLiteral("校准"));
        QCOMPARE(describe(*m_boxes), boxes);
        QCOMPARE(m_model->rowCount(), 1);
        QCOMPARE(cell(0, 2), QStringLiteral("77"));
        if (lineLost) {
            // The controls follow the lost port, not the end of the check.
            QTRY_VERIFY(
                !m_window->findChild<QPushButton *>(QStringLiteral("btnRead"))->isEnabled());
            QVERIFY(!m_window->findChild<QPushButton *>(QStringLiteral("btnWrite"))->isEnabled());
        } else {
            // The card was told to stop before the failure was reported.
            QCOMPARE(sent(CmdSampling), QList<QByteArray>({QByteArray(1, 1), QByteArray(1, 0)}));
            QVERIFY(!cardSampling());
        }
    }

    void write_sendsTickedRowsOnceConfirmed_andReports_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("ticks");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("written") << int(QMessageBox::Yes) << true << Fault::None
                                 << "I 提示 写入成功";
        QTest::newRow("refused") << int(QMessageBox::Yes) << true << Fault::Refusing
                                 << "I 提示 失败失败";
        QTest::newRow("no answer")
            << int(QMessageBox::Yes) << true << Fault::Silent << "I 提示 通信超时";
        QTest::newRow("answered No") << int(QMessageBox::No) << true << Fault::None << "";
        QTest::newRow("nothing ticked")
            << int(QMessageBox::Yes) << false << Fault::None << "I 提示 没有选择要校准的传感器";
    }
    // The ticked rows go in row order, with what is not an integer as 0.
    void write_sendsTickedRowsOnceConfirmed_andReports()
    {
        QFETCH(int, answer);
        QFETCH(bool, ticks);
        QFETCH(Fault, fault);
        QFETCH(QString, outcome);
        CHECKED(startCard());
        CHECKED(openCard());
        CHECKED(enterSensorCount(QStringLiteral("4")));
        CHECKED(setCell(1, 2, QStringLiteral("-32767")));
        CHECKED(setCell(1, 3, QStringLiteral("258")));
        CHECKED(setCell(1, 4, QStringLiteral("-2")));
        CHECKED(setCell(2, 2, QStringLiteral("9")));
        CHECKED(setCell(3, 2, QStringLiteral("32767")));
        {
            // A text the table's validation never lets stay; the write must still send a number.
            const QSignalBlocker quiet(m_model);
            CHECKED(setCell(3, 3, QStringLiteral("x1")));
        }
        if (ticks) {
            CHECKED(tick(3));
            CHECKED(tick(1));
        }
        setFault(fault);
        m_boxes->setAnswer(QMessageBox::StandardButton(answer));

        click("btnWrite");

        QStringList boxes{"Q 提示 确定写入吗?"};
        if (!outcome.isEmpty())
            boxes << outcome;
        QTRY_COMPARE_WITH_TIMEOUT(describe(*m_boxes), boxes, kNoAnswerMs);
        QTest::qWait(200); // a write would be on the wire by now
        const bool sends = ticks && answer == QMessageBox::Yes;
        QCOMPARE(sent(CmdBaselineWrite),
                 sends ? QList<QByteArray>{baselineRecord(1, -32767, 258, -2) +
                                           baselineRecord(3, 32767, 0, 0)}
                       : QList<QByteArray>());
    }

    // ---- Shutdown ---------------------------------------------------------------------------

    void shutdown_withRequestInFlight_ends_data()
    {
        QTest::addColumn<QString>("request");
        QTest::newRow("frequency write") << "frequency";
        QTest::newRow("baseline write") << "write";
        QTest::newRow("check running") << "check";
        QTest::newRow("calibration run") << "calibration";
    }
    void shutdown_withRequestInFlight_ends()
    {
        QFETCH(QString, request);
        CHECKED(startCard());
        CHECKED(openCard());
        setFault(Fault::Silent);
        qint64 closeMs = -1;
        qsizetype boxesAtClose = -1;
        const auto closeWindow = [&] {
            QElapsedTimer clock;
            clock.start();
            m_window->close();
            closeMs = clock.elapsed();
            boxesAtClose = m_boxes->boxes.size();
        };

        QPointer<QWidget> calibration;
        if (request == QLatin1String("check")) {
            QTimer::singleShot(500, this, closeWindow); // from within the check's waiting
            click("btnCheck");
        } else if (request == QLatin1String("calibration")) {
            // The run's progress dialog is modal to the calibration window only, so the main
            // window can be closed while the run waits inside it.
            m_window->findChild<QAction *>(QStringLiteral("actDemarcate"))->trigger();
            calibration = QApplication::activeWindow();
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (top->objectName() == QLatin1String("Demarcate"))
                    calibration = top;
            }
            QVERIFY(calibration && calibration->isVisible());
            // At 10 Hz the run's 20 samples take 2 s.
            m_card->withModel([](CardModel &card) { card.setFrequencyIndex(0); });
            QTimer::singleShot(500, this, closeWindow);
            calibration->findChild<QPushButton *>(QStringLiteral("btnSingleDemarcate"))->click();
        } else {
            const bool frequency = request == QLatin1String("frequency");
            m_boxes->setAnswer(QMessageBox::Yes);
            CHECKED(tick(0));
            CHECKED(frequency ? chooseFrequency(0) : click("btnWrite"));
            QTRY_COMPARE(sent(frequency ? CmdSetFrequency : CmdBaselineWrite).size(), 1);
            closeWindow();
        }
        QVERIFY(closeMs >= 0);
        QTest::qWait(300); // whatever the worker had queued for the window would arrive now
        m_window.reset();
        qInfo() << "close took" << closeMs << "ms";

        // Nothing about the request or the check is shown once the window has closed.
        QCOMPARE(m_boxes->boxes.size(), boxesAtClose);
        QVERIFY(calibration.isNull());
    }

    // Last: in a sanitizer build the report it is about ends the whole run.
    //
    // Destroyed without a close event, the window hides on its way out; the open editor then
    // hands its text to the model, whose change must no longer reach the window's slot.
    void destroyedWhileCellIsEdited_doesNotCallIntoTheGoneWindow()
    {
        QLineEdit *editor = nullptr;
        CHECKED(editor = openEditor(0, 2));
        QTest::keyClicks(editor, QStringLiteral("5"));

        m_window.reset();

        QVERIFY(m_boxes->boxes.isEmpty());
    }

private:
    void startCard(int frequencyIndex = kCardFrequencyIndex, int sensors = kMaxSensors)
    {
        m_card = std::make_unique<SimulatedCard>();
        QVERIFY2(m_card->start(link(),
                               [=](CardModel &card) {
                                   card.setSeed(11);
                                   card.setFrequencyIndex(frequencyIndex);
                                   card.setSensorCount(sensors);
                               }),
                 qPrintable(m_card->errorString()));
    }

    // Lists the card's port (first of all) and opens it; done once the card's frequency shows.
    void openCard(const QString &shownFrequency = QStringLiteral("100"))
    {
        m_window->setExtraPorts({link()});
        QCOMPARE(m_ports->currentText(), link());
        QTest::mouseClick(m_open, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_open->text(), QStringLiteral("关闭"), kAnswerMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_frequency->currentText(), shownFrequency, kAnswerMs);
    }

    void verifyClosedControls()
    {
        QCOMPARE(m_open->text(), QStringLiteral("打开"));
        QVERIFY(m_ports->isEnabled() && m_bauds->isEnabled());
        for (const char *name : {"btnRead", "btnCheck", "btnWrite", "SampleFreSelect"})
            QVERIFY2(!m_window->findChild<QWidget *>(QLatin1String(name))->isEnabled(), name);
    }

    void setFault(Fault fault)
    {
        m_card->withModel([fault](CardModel &card) {
            card.setRefusing(fault == Fault::Refusing);
            card.setSilent(fault == Fault::Silent);
        });
    }

    void enterSensorCount(const QString &text)
    {
        m_count->setFocus();
        m_count->selectAll();
        QTest::keyClick(m_count, Qt::Key_Backspace);
        QTest::keyClicks(m_count, text);
        QTest::keyClick(m_count, Qt::Key_Return);
    }

    // What the table's editor hands the model when an edit is committed.
    void setCell(int row, int column, const QString &text)
    {
        QVERIFY(m_model->setData(m_model->index(row, column), text, Qt::EditRole));
    }

    // Opens the table's own editor of a cell by a double-click, as the operator does.
    QLineEdit *openEditor(int row, int column)
    {
        const QRect rect = m_table->visualRect(m_model->index(row, column));
        const QPoint at = m_table->viewport()->mapTo(m_window.get(), rect.center());
        QTest::mouseDClick(m_window->windowHandle(), Qt::LeftButton, {}, at);
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        [&] {
            QVERIFY(editor && editor->parent() == m_table->viewport());
        }();
        return editor;
    }

    void tick(int row)
    {
        const QRect rect = m_table->visualRect(m_model->index(row, 1));
        QTest::mouseClick(m_table->viewport(), Qt::LeftButton, {}, rect.center());
        QVERIFY(ticked(row));
    }

    // Picks an entry in the combo box's list, as the operator does, also the one already shown.
    void chooseFrequency(int index)
    {
        m_frequency->showPopup();
        QAbstractItemView *list = m_frequency->view();
        QTRY_VERIFY(list->isVisible());
        const QRect rect = list->visualRect(list->model()->index(index, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QTRY_VERIFY(!list->isVisible());
    }

    void click(const char *button)
    {
        QTest::mouseClick(m_window->findChild<QPushButton *>(QLatin1String(button)),
                          Qt::LeftButton);
    }

    bool cardSampling()
    {
        bool sampling = true;
        m_card->withModel([&](CardModel &card) { sampling = card.isSampling(); });
        return sampling;
    }

    QStringList items() const
    {
        QStringList names;
        for (int i = 0; i < m_ports->count(); ++i)
            names << m_ports->itemText(i);
        return names;
    }

    QString cell(int row, int column) const { return m_model->item(row, column)->text(); }
    bool ticked(int row) const { return m_model->index(row, 1).data(Qt::UserRole).toBool(); }
    QString link() const { return m_dir.filePath(QStringLiteral("card")); }
    QList<QByteArray> sent(quint8 cmd) { return payloadsOf(m_card->receivedBytes(), cmd); }

    QTemporaryDir m_dir;
    std::unique_ptr<SimulatedCard> m_card;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<MainWindow> m_window;
    QComboBox *m_ports = nullptr;
    QComboBox *m_bauds = nullptr;
    QComboBox *m_frequency = nullptr;
    QPushButton *m_open = nullptr;
    QLineEdit *m_count = nullptr;
    QTableView *m_table = nullptr;
    QStandardItemModel *m_model = nullptr;
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
