// SPDX-License-Identifier: GPL-3.0-or-later
// The main window against the simulated card over a pseudo-terminal, driven through its
// controls: port list, open and close, a lost line, the sensor table, the sample frequency, the
// baseline read, check and write, and shutdown with requests still on their way.

#include "cardframe.h"
#include "cardmodel.h"
#include "keeploadedlibraries.h"
#include "mainwindow.h"
#include "messageboxrecorder.h"
#include "nomachineports.h"
#include "simulatedcard.h"
#include "slavecodec.h"
#include "timergapprobe.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

#include <memory>

namespace {

constexpr int kScanWaitMs = 3000;        // one 2 s port scan and some
constexpr int kAnswerMs = 10000;         // the card answers at once, but the machine may be loaded
constexpr int kNoAnswerMs = 2000 + 1500; // the 2 s request wait and some
constexpr int kCardFrequencyIndex = 3;   // 100 Hz

// The open/close button's text, then whether read, check, write, frequency, port and baud are
// enabled.
const QString kOpenControls = QStringLiteral("关闭 + + + + - -");
const QString kClosedControls = QStringLiteral("打开 - - - - + +");

enum class Fault { None, Refusing, Silent };
enum class DuringOpenFailure { Nothing, Close, RunStart };
enum class CheckEnd { RunsOut, Cancelled, LineLost };

// Payloads of the checked frames with command `cmd` in a byte stream, in order.
QList<QByteArray> payloadsOf(const QByteArray &bytes, quint8 cmd)
{
    QList<QByteArray> payloads;
    for (qsizetype at = 0; at + 3 < bytes.size(); ++at) {
        const qsizetype length = quint8(bytes[at + 1]), end = at + length + 2;
        if (quint8(bytes[at]) != kFrameSync || length < 2 || end > bytes.size())
            continue;
        quint8 sum = 0;
        for (qsizetype i = at; i < end - 1; ++i)
            sum += quint8(bytes[i]);
        if (sum != quint8(bytes[end - 1]))
            continue;
        if (quint8(bytes[at + 2]) == cmd)
            payloads << bytes.mid(at + 3, length - 2);
        at = end - 1;
    }
    return payloads;
}

// Per sensor, "number X Y Z" with the averages of the first `count` accumulation samples, as
// the table shows them.
QStringList averagesOf(const QList<QByteArray> &samples, qsizetype count, int sensors)
{
    QStringList rows;
    for (int sensor = 0; sensor < sensors; ++sensor) {
        QStringList row{QString::number(sensor)};
        for (int at = sensor * 6; at < sensor * 6 + 6; at += 2) {
            qint64 sum = 0;
            for (qsizetype i = 0; i < count; ++i)
                sum += qint16((quint8(samples[i][at]) << 8) | quint8(samples[i][at + 1]));
            row << QString::number(sum / count);
        }
        rows << row.join(u' ');
    }
    return rows;
}

QByteArray baselineRecord(quint8 id, qint16 x, qint16 y, qint16 z)
{
    QByteArray record(1, char(id));
    for (qint16 v : {x, y, z})
        record.append(char(quint16(v) >> 8)).append(char(quint16(v) & 0xFF));
    return record;
}

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(CheckEnd)
Q_DECLARE_METATYPE(DuringOpenFailure)

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // The window reads its remembered language; never the operator's.
        QStandardPaths::setTestModeEnabled(true);
        // Nor another run's: the 1280 x 800 run of this program, or another suite's, may run at
        // the same time, and its windows save their sensor count and port into a shared file
        // between this one's clearing and its window's start.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           m_dir.filePath(QStringLiteral("settings")));
        QVERIFY(QSettings().fileName().startsWith(m_dir.path()));
    }

    void init()
    {
        QSettings().clear();
        m_boxes = std::make_unique<MessageBoxRecorder>();
        m_window = std::make_unique<MainWindow>();
        m_ports = m_window->findChild<QComboBox *>(QStringLiteral("SerialPortSelect"));
        m_frequency = m_window->findChild<QComboBox *>(QStringLiteral("SampleFreSelect"));
        m_open = m_window->findChild<QPushButton *>(QStringLiteral("btnSerialOpen"));
        m_count = m_window->findChild<QLineEdit *>(QStringLiteral("lineSensorSum"));
        m_table = m_window->findChild<QTableView *>(QStringLiteral("tableView"));
        QVERIFY(m_ports && m_frequency && m_open && m_count && m_table);
        m_model = qobject_cast<QStandardItemModel *>(m_table->model());
        QVERIFY(m_model);
        m_window->show();
        // Key presses go to the widgets themselves: a bare X server does not promise to
        // activate the window.
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        m_window.reset();
        m_card.reset();
        m_boxes.reset();
    }

    void startUp_oneZeroRow_closedControls_andNoPortToOpen()
    {
        QCOMPARE(tableTexts(), QStringList{"0 0 0 0"});
        QVERIFY(!ticked(0));
        QCOMPARE(controls(), kClosedControls);
        // The built-in icon loads: its largest image is the 256-pixel drawing.
        QCOMPARE(m_window->windowIcon().actualSize(QSize(256, 256)), QSize(256, 256));

        QTest::mouseClick(m_open, Qt::LeftButton);

        QCOMPARE(shownBoxes(), QStringList{"C 错误信息 没有检测到串口"});
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
        QCOMPARE(portNames(), paths.mid(0, 2));

        QFile::remove(paths[0]);
        QFile::remove(paths[1]);
        create(2);
        create(3);
        QTest::qWait(kScanWaitMs);
        QCOMPARE(portNames(), paths.mid(0, 2));

        // A third port changes the count, and the list is rebuilt from what exists now.
        create(4);
        QTRY_COMPARE_WITH_TIMEOUT(portNames(), paths.mid(2), kScanWaitMs);
    }

    void appearingPort_isListedChosenAndOpened_thenClosedByButtonOrLostLine_data()
    {
        QTest::addColumn<bool>("lineLost");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("button") << false << QStringList();
        QTest::newRow("line lost") << true << QStringList{"C 错误信息 串口丢失"};
    }
    void appearingPort_isListedChosenAndOpened_thenClosedByButtonOrLostLine()
    {
        QFETCH(bool, lineLost);
        QFETCH(QStringList, boxes);
        m_window->setExtraPorts({link()});
        QCOMPARE(m_ports->count(), 0);
        QVERIFY(startCard());
        QTRY_COMPARE_WITH_TIMEOUT(portNames(), QStringList{link()}, kScanWaitMs);
        // Chosen as the port to open, not only shown.
        QTest::mouseClick(m_open, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(controls(), kOpenControls, kAnswerMs);

        if (lineLost)
            m_card->hangUp();
        else
            QTest::mouseClick(m_open, Qt::LeftButton);

        QTRY_COMPARE_WITH_TIMEOUT(controls(), kClosedControls, kAnswerMs);
        QTest::qWait(500); // a second report would come within this
        QCOMPARE(shownBoxes(), boxes);
    }

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
        enterSensorCount(QStringLiteral("3"));
        tick(2); // ticking never warns
        setCell(2, 4, QStringLiteral("-12"));

        enterSensorCount(entry);

        QStringList table;
        for (int row = 0; row < rows; ++row)
            table << QString::number(row) + (valid || row != 2 ? " 0 0 0" : " 0 0 -12");
        QCOMPARE(tableTexts(), table);
        QCOMPARE(ticked(2), !valid);
        QCOMPARE(m_count->text(), valid ? entry : QStringLiteral("1"));
        QCOMPARE(shownBoxes(), valid ? QStringList() : QStringList{"W 提示 允许输入范围：1~16"});
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
        QPointer<QLineEdit> editor = openEditor(0, 3);
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, entry);
        QTest::keyClick(editor, Qt::Key_Return);

        // The editor hands its text over as it closes.
        QTRY_VERIFY(!editor || !editor->isVisible());
        QCOMPARE(cell(0, 3), accepted ? entry : QStringLiteral("0"));
        QCOMPARE(shownBoxes(),
                 accepted ? QStringList() : QStringList{"W 提示 允许输入范围：-32767~32767"});
    }

    void choosingFrequency_isTheOnlyWrite_andIsReported_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<bool>("outsideTable");
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("boxes");
        const QStringList done{"I 提示 采样频率设置成功"};
        QTest::newRow("accepted") << Fault::None << false << 4 << done;
        QTest::newRow("refused") << Fault::Refusing << false << 4
                                 << QStringList{"I 提示 采样频率设置失败"};
        QTest::newRow("no answer") << Fault::Silent << false << 1 << QStringList{"I 提示 通信超时"};
        QTest::newRow("current entry")
            << Fault::None << false << kCardFrequencyIndex << QStringList();
        // The card reports an index the table lacks: no entry is shown, clearing the choice
        // sends nothing, and the next choice differs from what the card runs at.
        QTest::newRow("reported index outside table") << Fault::None << true << 1 << done;
    }
    void choosingFrequency_isTheOnlyWrite_andIsReported()
    {
        QFETCH(Fault, fault);
        QFETCH(bool, outsideTable);
        QFETCH(int, index);
        QFETCH(QStringList, boxes);
        QVERIFY(openCard());
        setFault(fault);
        if (outsideTable) {
            QVERIFY(QMetaObject::invokeMethod(m_window.get(), "SampleFreResult", Q_ARG(int, 0),
                                              Q_ARG(int, 0), Q_ARG(int, 7)));
            QCOMPARE(m_frequency->currentIndex(), -1);
        }

        QVERIFY(chooseFrequency(index));

        QTRY_COMPARE_WITH_TIMEOUT(shownBoxes(), boxes, kNoAnswerMs);
        QTest::qWait(200); // nothing more follows
        QCOMPARE(shownBoxes(), boxes);
        // Showing the card's own frequency after opening wrote nothing either.
        QCOMPARE(sent(CmdSetFrequency), index == kCardFrequencyIndex
                                            ? QList<QByteArray>()
                                            : QList<QByteArray>{QByteArray(1, char(index))});
        // A refusing card runs its rate still: shown again, and the same choice can be sent again.
        // After a time-out the choice stays.
        QCOMPARE(m_frequency->currentIndex(),
                 fault == Fault::Refusing ? kCardFrequencyIndex : index);
        if (fault != Fault::Refusing)
            return;
        setFault(Fault::None);
        QVERIFY(chooseFrequency(index));
        boxes << "I 提示 采样频率设置成功";
        QTRY_COMPARE_WITH_TIMEOUT(shownBoxes(), boxes, kAnswerMs);
        QCOMPARE(sent(CmdSetFrequency).size(), 2);
        QCOMPARE(m_frequency->currentIndex(), index);
    }

    void frequencyBox_showsOnlyWhatTheCardSaid_data()
    {
        QTest::addColumn<bool>("answers");
        QTest::addColumn<int>("chosen");
        QTest::newRow("card answers") << true << 4;
        // The card's own rate, not known to the window, is still asked for.
        QTest::newRow("read unanswered") << false << kCardFrequencyIndex;
    }
    void frequencyBox_showsOnlyWhatTheCardSaid()
    {
        QFETCH(bool, answers);
        QFETCH(int, chosen);
        const auto unknown = [this] {
            return m_frequency->currentIndex() == -1 && !m_frequency->toolTip().isEmpty();
        };
        QVERIFY(unknown());
        QVERIFY(startCard());
        setFault(answers ? Fault::None : Fault::Silent);
        m_window->setExtraPorts({link()});
        QTest::mouseClick(m_open, Qt::LeftButton);
        const QStringList readBoxes =
            answers ? QStringList() : QStringList{"C 错误信息 获取驱动卡采样频率失败"};
        QTRY_COMPARE_WITH_TIMEOUT(shownBoxes(), readBoxes, kNoAnswerMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_frequency->currentText(), answers ? "100" : "", kAnswerMs);
        QCOMPARE(unknown(), !answers);
        QVERIFY(m_frequency->isEnabled());

        setFault(Fault::None);
        QVERIFY(chooseFrequency(chosen));
        QTRY_COMPARE_WITH_TIMEOUT(shownBoxes(), readBoxes + QStringList{"I 提示 采样频率设置成功"},
                                  kAnswerMs);
        QCOMPARE(sent(CmdSetFrequency), QList<QByteArray>{QByteArray(1, char(chosen))});
        QVERIFY(!unknown());
        QTest::mouseClick(m_open, Qt::LeftButton);
        QTRY_VERIFY(unknown());
    }

    void sensorCount_followsTheCardWhenAsked_data()
    {
        QTest::addColumn<bool>("follow");
        QTest::newRow("off: the status bar tells") << false;
        QTest::newRow("on") << true;
    }
    void sensorCount_followsTheCardWhenAsked()
    {
        QFETCH(bool, follow);
        setCell(0, 2, QStringLiteral("-12"));
        tick(0);
        if (follow)
            action("actionFollowCardSensors")->trigger();
        QVERIFY(openCard());
        auto *warning = m_window->findChild<QLabel *>(QStringLiteral("statusSensors"));

        if (!follow) {
            QTRY_VERIFY(warning->isVisible());
            QCOMPARE(warning->text(), QStringLiteral("驱动卡报告 16 个传感器"));
            QVERIFY(warning->toolTip().contains(QStringLiteral("传感器数跟随驱动卡")));
            return;
        }
        for (const int sensors : {kMaxSensors, 4}) {
            m_card->withModel([=](CardModel &card) { card.setSensorCount(sensors); });
            QTRY_COMPARE(m_count->text(), QString::number(sensors));
            QCOMPARE(tableTexts().first(), QStringLiteral("0 -12 0 0"));
            QCOMPARE(tableTexts().last(), QStringLiteral("%1 0 0 0").arg(sensors - 1));
            QVERIFY(ticked(0));
            QCOMPARE(shownSensors(), QList<int>({sensors, sensors}));
            QVERIFY(!warning->isVisible());
        }
        // Without frames, a baseline read tells the count.
        m_card->withModel([](CardModel &card) {
            card.setStreaming(false);
            card.setSensorCount(5);
        });
        click("btnRead");
        QTRY_COMPARE(m_count->text(), QStringLiteral("5"));
        QCOMPARE(shownSensors(), QList<int>({5, 5}));
    }

    void read_showsCardBaseline()
    {
        QVERIFY(openCard(5));
        enterSensorCount(QStringLiteral("3"));
        QList<AxitSingle_t> stored;
        m_card->withModel([&](CardModel &card) { stored = card.baseline(); });

        click("btnRead");

        QTRY_COMPARE_WITH_TIMEOUT(shownBoxes(), QStringList{"I 系统提示 基准数据读取成功"},
                                  kAnswerMs);
        QStringList table;
        for (int row = 0; row < 5; ++row) {
            const AxitSingle_t &b = stored[row];
            table << QStringLiteral("%1 %2 %3 %4").arg(row).arg(b.x).arg(b.y).arg(b.z);
        }
        QCOMPARE(tableTexts(), table);
        QCOMPARE(m_count->text(), QStringLiteral("3"));
    }

    // The card's baseline may hold what the operator could not type (-32768): it is shown as
    // it is, opens no warning, and a following write sends it back unchanged.
    void read_cardValueOutsideTypedRange_isShownAndWrittenBackAsItIs()
    {
        QVERIFY(openCard(2));
        setFault(Fault::Silent);
        click("btnRead");
        QTRY_COMPARE(sent(CmdBaselineRead).size(), 1);
        setFault(Fault::None);
        const QByteArray reply =
            makeFrame(CmdBaselineRead, words({1, -2, 3, -32768, 32767, -32768}));

        m_card->withModel([reply](CardModel &card) { emit card.bytesToHost(reply); });

        QTRY_COMPARE_WITH_TIMEOUT(shownBoxes(), QStringList{"I 系统提示 基准数据读取成功"},
                                  kAnswerMs);
        QCOMPARE(tableTexts(), (QStringList{"0 1 -2 3", "1 -32768 32767 -32768"}));
        tick(1);
        m_boxes->setAnswer(QMessageBox::Yes);
        click("btnWrite");
        QTRY_COMPARE_WITH_TIMEOUT(sent(CmdBaselineWrite),
                                  QList<QByteArray>{baselineRecord(1, -32768, 32767, -32768)},
                                  kAnswerMs);
    }

    void check_averagesSamples_orFailsLeavingTable_data()
    {
        QTest::addColumn<CheckEnd>("end");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("runs out") << CheckEnd::RunsOut
                                  << QStringList{"I 系统提示 校准数据获取完成"};
        QTest::newRow("cancelled") << CheckEnd::Cancelled << QStringList{"W 提示 校准数据获取失败"};
        QTest::newRow("line lost")
            << CheckEnd::LineLost << QStringList{"C 错误信息 串口丢失", "W 提示 校准数据获取失败"};
    }
    void check_averagesSamples_orFailsLeavingTable()
    {
        QFETCH(CheckEnd, end);
        QFETCH(QStringList, boxes);
        constexpr int kSensors = 4;
        QVERIFY(openCard(kSensors));
        auto fromCard = std::make_shared<QByteArray>(); // touched only in the card's thread
        m_card->withModel([fromCard](CardModel &card) {
            QObject::connect(&card, &CardModel::bytesToHost, &card,
                             [fromCard](const QByteArray &bytes) { *fromCard += bytes; });
        });
        setCell(0, 2, QStringLiteral("77"));
        tick(0);
        bool dialogShown = false;
        QObject scope; // the interruption cannot outlive this function
        QTimer::singleShot(1000, &scope, [&] {
            auto *dialog = m_window->findChild<QProgressDialog *>();
            dialogShown = dialog && dialog->isVisible();
            if (end == CheckEnd::LineLost)
                m_card->hangUp();
            else if (end == CheckEnd::Cancelled && dialog)
                dialog->cancel();
        });
        QElapsedTimer clock;
        clock.start();

        click("btnCheck");

        const qint64 ms = clock.elapsed();
        // How it ended shows in the boxes and the tick; a check that runs out takes its time.
        if (end == CheckEnd::RunsOut)
            QVERIFY2(ms >= 4500, qPrintable(QString::number(ms)));
        QVERIFY(dialogShown);
        QCOMPARE(shownBoxes(), boxes);
        QCOMPARE(ticked(0), end != CheckEnd::RunsOut);
        if (end == CheckEnd::RunsOut) {
            QByteArray bytes;
            m_card->withModel([&](CardModel &) { bytes = *fromCard; });
            const QList<QByteArray> samples = payloadsOf(bytes, CmdAccumulation);
            QVERIFY(samples.size() > 300);
            // Averages of what reached the host before it stopped sampling: every sample the
            // card sent, except perhaps the last few, still on the line then.
            bool matched = false;
            for (qsizetype n = samples.size(); n > samples.size() - 4 && !matched; --n)
                matched = averagesOf(samples, n, kSensors) == tableTexts();
            QVERIFY2(matched, qPrintable(tableTexts().join(u',') + QStringLiteral(" against ") +
                                         averagesOf(samples, samples.size(), kSensors).join(u',')));
        } else {
            QCOMPARE(tableTexts(), QStringList{"0 77 0 0"});
        }
        // The controls follow the port, also when it was lost during the check.
        QCOMPARE(controls(), end == CheckEnd::LineLost ? kClosedControls : kOpenControls);
        if (end != CheckEnd::LineLost) {
            // The card was told to stop before the outcome was reported; it reads the line in a
            // thread of its own.
            QTRY_COMPARE(sent(CmdSampling),
                         QList<QByteArray>({QByteArray(1, 1), QByteArray(1, 0)}));
            bool sampling = true;
            m_card->withModel([&](CardModel &card) { sampling = card.isSampling(); });
            QVERIFY(!sampling);
        }
    }

    void write_sendsTickedRowsOnceConfirmed_andReports_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<bool>("ticks");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QStringList>("outcome");
        QTest::newRow("written") << QMessageBox::Yes << true << Fault::None
                                 << QStringList{"I 提示 写入成功"};
        QTest::newRow("refused") << QMessageBox::Yes << true << Fault::Refusing
                                 << QStringList{"I 提示 失败失败"};
        QTest::newRow("no answer")
            << QMessageBox::Yes << true << Fault::Silent << QStringList{"I 提示 通信超时"};
        QTest::newRow("answered No") << QMessageBox::No << true << Fault::None << QStringList();
        QTest::newRow("nothing ticked") << QMessageBox::Yes << false << Fault::None
                                        << QStringList{"I 提示 没有选择要校准的传感器"};
    }
    // The ticked rows go in row order, with what is not an integer as 0.
    void write_sendsTickedRowsOnceConfirmed_andReports()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(bool, ticks);
        QFETCH(Fault, fault);
        QFETCH(QStringList, outcome);
        QVERIFY(openCard());
        enterSensorCount(QStringLiteral("4"));
        setCell(1, 2, QStringLiteral("-32767"));
        setCell(1, 3, QStringLiteral("258"));
        setCell(1, 4, QStringLiteral("-2"));
        setCell(2, 2, QStringLiteral("9"));
        setCell(3, 2, QStringLiteral("32767"));
        {
            // A text the table's validation never lets stay; the write must still send a number.
            const QSignalBlocker quiet(m_model);
            setCell(3, 3, QStringLiteral("x1"));
        }
        if (ticks) {
            tick(3);
            tick(1);
        }
        setFault(fault);
        m_boxes->setAnswer(answer);

        click("btnWrite");

        QTRY_COMPARE_WITH_TIMEOUT(shownBoxes(), QStringList{"Q 提示 确定写入吗?"} + outcome,
                                  kNoAnswerMs);
        QTest::qWait(200); // a write would be on the wire by now
        const bool sends = ticks && answer == QMessageBox::Yes;
        QCOMPARE(sent(CmdBaselineWrite),
                 sends ? QList<QByteArray>{baselineRecord(1, -32767, 258, -2) +
                                           baselineRecord(3, 32767, 0, 0)}
                       : QList<QByteArray>());
    }

    void shutdown_withRequestInFlight_showsNothingMore_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<int>("command"); // what is on the wire when the window closes
        QTest::newRow("frequency write") << "frequency" << int(CmdSetFrequency);
        QTest::newRow("baseline write") << "write" << int(CmdBaselineWrite);
        QTest::newRow("check running") << "check" << int(CmdSampling);
        QTest::newRow("calibration run") << "calibration" << int(CmdSampling);
    }
    void shutdown_withRequestInFlight_showsNothingMore()
    {
        QFETCH(QString, request);
        QFETCH(int, command);
        QVERIFY(openCard());
        setFault(Fault::Silent);
        m_boxes->setAnswer(QMessageBox::Yes);
        tick(0);
        qsizetype boxesAtClose = -1;
        QObject scope; // the close cannot outlive this function
        // Closed from within whatever waits for the request: the check's or the run's loop, or
        // the test's while the worker waits for an answer.
        QTimer::singleShot(500, &scope, [&] {
            m_window->close();
            boxesAtClose = m_boxes->boxes.size();
        });

        QPointer<QWidget> calibration;
        if (request == "frequency") {
            QVERIFY(chooseFrequency(0));
        } else if (request != "calibration") {
            click(request == "write" ? "btnWrite" : "btnCheck");
        } else {
            // The run's progress dialog is modal to the calibration window only, so the main
            // window can be closed while the run waits inside it.
            calibration = showCalibration();
            QVERIFY(calibration && calibration->isVisible());
            // At 10 Hz the run's 20 samples take 2 s.
            m_card->withModel([](CardModel &card) { card.setFrequencyIndex(0); });
            calibration->findChild<QPushButton *>(QStringLiteral("btnSingleDemarcate"))->click();
        }
        QTRY_VERIFY(boxesAtClose >= 0);
        QTest::qWait(300); // whatever the worker had queued for the window would arrive now
        m_window.reset();

        QVERIFY(!sent(quint8(command)).isEmpty());
        // Nothing about the request or the check is shown once the window has closed.
        QCOMPARE(m_boxes->boxes.size(), boxesAtClose);
        QVERIFY(calibration.isNull());
    }

    void otherWindows_openOnTheMainWindowsScreen_withEveryControlShown_data()
    {
        QTest::addColumn<QPoint>("mainAt");
        QTest::newRow("left edge") << QPoint(0, 0);
        QTest::newRow("right edge, low") << QPoint(820, 280);
        QTest::newRow("middle: no room unless narrowed") << QPoint(420, 40);
    }
    // The calibration dialog beside the main window; the curve window large enough for the data
    // of 16 sensors, over the main window where it must, its tool bar and sensor names whole.
    void otherWindows_openOnTheMainWindowsScreen_withEveryControlShown()
    {
        QFETCH(QPoint, mainAt);
        const QRect area = m_window->screen()->availableGeometry();
        if (area.size() != QSize(1280, 800))
            QSKIP("runs on the 1280 x 800 screen of tst_mainwindow_1280x800");
        auto *count = m_window->findChild<QLineEdit *>(QStringLiteral("lineSensorSum"));
        count->setText(QStringLiteral("16"));
        emit count->editingFinished();
        m_window->move(mainAt);
        click("btnGraphic");
        QWidget *calibration = showCalibration();
        QWidget *curves = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets())
            curves = top->objectName() == "CurveGraphic" ? top : curves;
        for (QWidget *shown : {curves, calibration}) {
            QVERIFY(QTest::qWaitForWindowExposed(shown));
            keepLoadedLibrariesUntilExit(); // the curve window's views have loaded the driver
            // On the screen, and not squeezed below what its controls need.
            const QRect frame = shown->frameGeometry();
            QVERIFY2(area.contains(frame) &&
                         shown->size() == shown->size().expandedTo(shown->minimumSizeHint()),
                     qPrintable(shown->objectName()));
        }
        QVERIFY(!calibration->frameGeometry().intersects(m_window->frameGeometry()));
        QVERIFY(curves->width() >= area.width() * 3 / 4 &&
                curves->height() >= area.height() * 3 / 4);
        auto *bar = curves->findChild<QToolBar *>(QStringLiteral("curveToolBar"));
        QTRY_VERIFY(bar->widgetForAction(bar->actions().constLast())->isVisible());
        for (QAction *action : bar->actions())
            QVERIFY2(action->isSeparator() || bar->widgetForAction(action)->isVisible(),
                     qPrintable(action->objectName()));
        auto *list = curves->findChild<QListWidget *>(QStringLiteral("sensorList"));
        QCOMPARE(list->count(), 17);
        QVERIFY(list->sizeHintForColumn(0) <= list->viewport()->width());
    }

    // A bare name is a device under /dev, as QSerialPort opens it; a device is listed once
    // however it is named, and the drop-down shows whole paths.
    void extraPort_isListedOnceWhereTheSerialPortLooksForIt()
    {
        const QString link = m_dir.filePath("a-link-to-the-null-device-with-a-rather-long-name");
        QVERIFY(QFile::link("/dev/null", link));

        m_window->setExtraPorts(
            {"null", "/dev/null", link, "no-such-device", m_dir.filePath("absent")});

        QCOMPARE(portNames(), QStringList{"null"});
        QCOMPARE(m_ports->toolTip(), QStringLiteral("/dev/null"));
    }

    void openFailure_neverFreezesCloseOrRunStart_data()
    {
        QTest::addColumn<DuringOpenFailure>("action");
        QTest::addColumn<bool>("boxShown"); // the action comes while the box is open
        QTest::addColumn<QStringList>("boxes");
        // Nothing is asked of a port that did not open: no frequency read times out after it.
        const QString failed = QStringLiteral("C 错误信息 串口打开失败");
        // The run buttons are disabled while no port is open: the click starts no run.
        const QStringList run{failed};
        QTest::newRow("failure alone")
            << DuringOpenFailure::Nothing << false << QStringList{failed};
        QTest::newRow("close, failure pending")
            << DuringOpenFailure::Close << false << QStringList();
        QTest::newRow("close, box shown")
            << DuringOpenFailure::Close << true << QStringList{failed};
        QTest::newRow("run start, failure pending") << DuringOpenFailure::RunStart << false << run;
        QTest::newRow("run start, box shown") << DuringOpenFailure::RunStart << true << run;
    }
    // A port that is listed but cannot be opened, and the interface busy with the window's close
    // or a calibration run's start as the failure comes in.
    void openFailure_neverFreezesCloseOrRunStart()
    {
        QFETCH(DuringOpenFailure, action);
        QFETCH(bool, boxShown);
        QFETCH(QStringList, boxes);
        const QString plainFile = m_dir.filePath(QStringLiteral("plainfile"));
        QVERIFY(QFile(plainFile).open(QIODevice::WriteOnly));
        m_window->setExtraPorts({plainFile});
        QWidget *calibration = action == DuringOpenFailure::RunStart ? showCalibration() : nullptr;
        qint64 actionMs = -1;
        const auto act = [&] {
            QElapsedTimer clock;
            clock.start();
            if (calibration)
                calibration->findChild<QPushButton *>("btnSingleDemarcate")->click();
            else if (action == DuringOpenFailure::Close)
                m_window->close();
            actionMs = clock.elapsed();
        };
        m_boxes->setAnswerDelay(boxShown ? 300 : 0);
        QTimer whileShown;
        connect(&whileShown, &QTimer::timeout, this, [&] {
            if (!m_boxes->boxes.isEmpty() && actionMs < 0)
                act();
        });

        QTest::mouseClick(m_open, Qt::LeftButton);
        if (boxShown)
            whileShown.start(5);
        else
            act();

        QTRY_VERIFY_WITH_TIMEOUT(actionMs >= 0, kAnswerMs);
        QVERIFY2(actionMs < 3000, qPrintable(QString::number(actionMs)));
        QTRY_COMPARE_WITH_TIMEOUT(shownBoxes(), boxes, kNoAnswerMs + 1000);
        QTest::qWait(kNoAnswerMs); // a frequency read would have timed out by now
        QCOMPARE(shownBoxes(), boxes);
        QCOMPARE(m_window->isVisible(), action != DuringOpenFailure::Close);
    }

    void baselineBurst_opensAtMostOneBox_andInterfaceStaysResponsive_data()
    {
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QStringList>("boxes");
        const QString frequencySet = QStringLiteral("I 提示 采样频率设置成功");
        QTest::newRow("not asked") << false << QStringList{frequencySet};
        QTest::newRow("after 读取")
            << true << QStringList{"I 系统提示 基准数据读取成功", frequencySet};
    }
    // 8,000 empty baseline replies in one go: unasked, they changed the table and stacked a box
    // each until the interface thread's stack overflowed.
    void baselineBurst_opensAtMostOneBox_andInterfaceStaysResponsive()
    {
        QFETCH(bool, asked);
        QFETCH(QStringList, boxes);
        QVERIFY(openCard());
        if (asked) {
            setFault(Fault::Silent);
            click("btnRead");
            QTRY_COMPARE(sent(CmdBaselineRead).size(), 1);
            setFault(Fault::None);
        }
        const TimerGapProbe probe;
        const QByteArray burst = QByteArray::fromHex("a5028128").repeated(8000);

        m_card->withModel([burst](CardModel &card) { emit card.bytesToHost(burst); });

        if (asked) {
            QTRY_COMPARE_WITH_TIMEOUT(shownBoxes().size(), 1, kNoAnswerMs);
            QTRY_VERIFY(!QApplication::activeModalWidget());
        }
        QVERIFY(chooseFrequency(4)); // answered behind the burst
        QTRY_COMPARE_WITH_TIMEOUT(shownBoxes(), boxes, 3 * kNoAnswerMs);
        QVERIFY2(probe.longestGapMs() < 100, qPrintable(QString::number(probe.longestGapMs())));
    }

    // Last: in a sanitizer build the report it is about ends the whole run.
    //
    // Destroyed without a close event, the window hides on its way out; the open editor then
    // hands its text to the model, whose change must no longer reach the window's slot.
    void destroyedWhileCellIsEdited_doesNotCallIntoTheGoneWindow()
    {
        QLineEdit *editor = openEditor(0, 2);
        QVERIFY(editor);
        QTest::keyClicks(editor, QStringLiteral("5"));

        m_window.reset();

        QVERIFY(m_boxes->boxes.isEmpty());
    }

private:
    QAction *action(const char *name) const
    {
        return m_window->findChild<QAction *>(QLatin1String(name));
    }

    // The sensors the curve window and the calibration dialog offer.
    QList<int> shownSensors() const
    {
        QList<int> counts;
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (auto *list = top->findChild<QListWidget *>(QStringLiteral("sensorList")))
                counts << list->count() - 1; // less the select-all row
            if (auto *box = top->findChild<QComboBox *>(QStringLiteral("sensorIdSelect")))
                counts << box->count();
        }
        return counts;
    }

    QWidget *showCalibration()
    {
        m_window->findChild<QAction *>(QStringLiteral("actDemarcate"))->trigger();
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (top->objectName() == "Demarcate")
                return top;
        }
        return nullptr;
    }

    bool startCard(int sensors = kMaxSensors)
    {
        m_card = std::make_unique<SimulatedCard>();
        const bool started = m_card->start(link(), [=](CardModel &card) {
            card.setSeed(11);
            card.setFrequencyIndex(kCardFrequencyIndex);
            card.setSensorCount(sensors);
        });
        if (!started)
            qWarning() << "card:" << m_card->errorString();
        return started;
    }

    // Starts the card, lists its port and opens it; done once the card's 100 Hz shows.
    bool openCard(int sensors = kMaxSensors)
    {
        if (!startCard(sensors))
            return false;
        m_window->setExtraPorts({link()});
        QTest::mouseClick(m_open, Qt::LeftButton);
        return QTest::qWaitFor([&] { return m_frequency->currentText() == "100"; }, kAnswerMs);
    }

    QString controls() const
    {
        QString state = m_open->text();
        for (const char *name : {"btnRead", "btnCheck", "btnWrite", "SampleFreSelect",
                                 "SerialPortSelect", "BandSelect"})
            state += m_window->findChild<QWidget *>(QLatin1String(name))->isEnabled() ? " +" : " -";
        return state;
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
        m_count->setText(text);
        QTest::keyClick(m_count, Qt::Key_Return);
    }

    // What the table's editor hands the model when an edit is committed.
    void setCell(int row, int column, const QString &text)
    {
        m_model->setData(m_model->index(row, column), text, Qt::EditRole);
    }

    // Opens the table's own editor of a cell by a double-click, as the operator does.
    QLineEdit *openEditor(int row, int column)
    {
        const QRect rect = m_table->visualRect(m_model->index(row, column));
        const QPoint at = m_table->viewport()->mapTo(m_window.get(), rect.center());
        QTest::mouseDClick(m_window->windowHandle(), Qt::LeftButton, {}, at);
        for (auto *editor : m_table->viewport()->findChildren<QLineEdit *>()) {
            if (editor->isVisible())
                return editor;
        }
        return nullptr;
    }

    void tick(int row)
    {
        const QRect rect = m_table->visualRect(m_model->index(row, 1));
        QTest::mouseClick(m_table->viewport(), Qt::LeftButton, {}, rect.center());
    }

    // Picks an entry in the combo box's list, as the operator does, also the one already shown.
    bool chooseFrequency(int index)
    {
        m_frequency->showPopup();
        QAbstractItemView *list = m_frequency->view();
        if (!QTest::qWaitFor([&] { return list->isVisible(); }))
            return false;
        const QRect rect = list->visualRect(list->model()->index(index, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        return QTest::qWaitFor([&] { return !list->isVisible(); });
    }

    void click(const char *button)
    {
        QTest::mouseClick(m_window->findChild<QPushButton *>(QLatin1String(button)),
                          Qt::LeftButton);
    }

    // "W 提示 text": icon (Information, Warning, Critical, Question), title and text of each box.
    QStringList shownBoxes() const
    {
        QStringList lines;
        for (const RecordedBox &box : m_boxes->boxes)
            lines << QChar(u"-IWCQ"[int(box.icon)]) + u' ' + box.title + u' ' + box.text;
        return lines;
    }

    QStringList portNames() const
    {
        QStringList names;
        for (int i = 0; i < m_ports->count(); ++i)
            names << m_ports->itemText(i);
        return names;
    }

    // Each row as "number X Y Z".
    QStringList tableTexts() const
    {
        QStringList rows;
        for (int r = 0; r < m_model->rowCount(); ++r)
            rows << QStringList{cell(r, 0), cell(r, 2), cell(r, 3), cell(r, 4)}.join(u' ');
        return rows;
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
    QComboBox *m_frequency = nullptr;
    QPushButton *m_open = nullptr;
    QLineEdit *m_count = nullptr;
    QTableView *m_table = nullptr;
    QStandardItemModel *m_model = nullptr;
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
