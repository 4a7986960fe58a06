// SPDX-License-Identifier: GPL-3.0-or-later
// Calibration dialog against the simulated card over a pseudo-terminal, with the driver-card
// object on its worker thread: calibration runs, array points read and removed, single-point
// pairs written, read and removed, and the failures the card can give.

#include "cardframe.h"
#include "cardmodel.h"
#include "dialogprobe.h"
#include "simulatedcard.h"
#include "timergapprobe.h"
#include "workerport.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QtTest>

namespace {

constexpr int kAnswerMs = 10000; // the card answers at once, but the machine may be loaded
constexpr int kNoAnswerMs = kReplyTimeoutMs + 1500;
// A card that leaves a request unanswered is not waited for longer than this: what the dialog
// makes of the silence does not depend on how long it lasted.
constexpr int kShortReplyMs = 300;
constexpr int kBurstBytes = 48000;
constexpr int kRunTimeoutMs = 10000;
constexpr int kSensors = 4;

enum Fault { None, StorageFull, Refusing, Silent };

void applyFault(CardModel &card, int fault)
{
    card.setStorageFull(fault == StorageFull);
    card.setRefusing(fault == Refusing);
    card.setSilent(fault == Silent);
}

enum RunEnd { Sampled, Cancelled, PortClosed };

struct Run
{
    bool array;
    int sensor;
    int axis;
    RunEnd end;
    QString result; // the pending row (array) or the calibration value field (single point)
    QString box;    // title/text
};

struct Removal
{
    QString button;
    QList<int> ticks;
    int fault;
    QString request; // command and payload in hex
    QStringList shown;
    QString box;
    int axisChosen = 0;
    int yPointsAfter = 4; // rows of the Y list once it has taken one more point
    QMessageBox::StandardButton answer = QMessageBox::Yes; // to the question of a remove-all
};

struct Write
{
    QString value;
    QString pressure;
    int fault;
    QString request;
    QString shown;
    QString box;
};

} // namespace

Q_DECLARE_METATYPE(Run)
Q_DECLARE_METATYPE(Removal)
Q_DECLARE_METATYPE(Write)

class tst_Demarcate : public QObject, private DialogProbe
{
    Q_OBJECT

private slots:
    void init()
    {
        m_card = std::make_unique<SimulatedCard>();
        const auto configure = [](CardModel &card) {
            card.setSeed(3);
            card.setSensorCount(kSensors);
            card.setStreaming(false);
        };
        QVERIFY2(m_card->start(QString(), configure), qPrintable(m_card->errorString()));
        m_worker = std::make_unique<WorkerPort>();
        m_worker->open(m_card->portName());
        QVERIFY(awaitAnswer(QStringLiteral("sampleFreResult 0 0")));
        m_dialog = std::make_unique<Demarcate>();
        m_dialog->setSerial(m_worker->port);
        m_dialog->setSensorSum(kSensors);
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
        m_boxes = std::make_unique<MessageBoxRecorder>();
    }

    void cleanup()
    {
        m_boxes.reset();
        m_dialog.reset();
        m_worker.reset();
        m_card.reset();
    }

    void run_endsInAverageOrFailureBox_data()
    {
        QTest::addColumn<Run>("run");
        const QString singleDone = QStringLiteral("系统提示/单点标定成功");
        const QString arrayFailed = QStringLiteral("提示/标定失败！！！");
        const QString singleFailed = QStringLiteral("提示/单点标定失败！！！");
        // Averages truncate toward zero; a sensor the card did not report averages 0.
        QTest::newRow("array X") << Run{
            true, 0, 0, Sampled, "0.00|-2|100|0|0", "系统提示/标定成功"};
        QTest::newRow("single -41 on X") << Run{false, 0, 0, Sampled, "-2", singleDone};
        QTest::newRow("single 59 on Y") << Run{false, 0, 1, Sampled, "2", singleDone};
        QTest::newRow("single -19 on Z") << Run{false, 1, 2, Sampled, "0", singleDone};
        QTest::newRow("single unreported sensor") << Run{false, 2, 0, Sampled, "0", singleDone};
        // Nothing is computed: the pending row stays empty, the value field as it was.
        QTest::newRow("array cancelled") << Run{true, 0, 0, Cancelled, "", arrayFailed};
        QTest::newRow("array port closed") << Run{true, 0, 0, PortClosed, "", arrayFailed};
        QTest::newRow("single cancelled") << Run{false, 0, 0, Cancelled, "7", singleFailed};
        QTest::newRow("single port closed") << Run{false, 0, 0, PortClosed, "7", singleFailed};
    }

    void run_endsInAverageOrFailureBox()
    {
        QFETCH(Run, run);
        m_card->withModel([](CardModel &card) { card.stop(); });
        select(run.array ? "comAxitSelect" : "comSingleAxitSelect", run.axis);
        select("sensorIdSelect", run.sensor);
        widget<QLineEdit>("ltxtSingleDemarcate")->setText("7");
        QStringList shown;
        int highest = -1;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            auto *progress = m_dialog->findChild<QProgressDialog *>();
            if (!progress || !shown.isEmpty())
                return;
            shown = QStringList{progress->windowTitle(), progress->labelText()};
            connect(progress->findChild<QProgressBar *>(), &QProgressBar::valueChanged, this,
                    [&](int value) { highest = std::max(highest, value); });
            if (run.end == Sampled)
                injectSamples();
            else if (run.end == Cancelled)
                progress->findChild<QPushButton *>()->click();
            else
                m_worker->run([](MySerialport &port) { port.closePort(); });
        });
        watch.start(1);
        QElapsedTimer clock;
        clock.start();

        click(run.array ? "btnDemarcate" : "btnSingleDemarcate");

        // Ended by what happened to it, not by the run's time-out.
        QVERIFY2(clock.elapsed() < kRunTimeoutMs, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(shown, QStringList({run.array ? "校准" : "单点标定", "正在获取校准数据..."}));
        QCOMPARE(highest == 20, run.end == Sampled);
        QVERIFY(!m_dialog->findChild<QProgressDialog *>());
        QCOMPARE(m_boxes->boxes.size(), 1);
        QCOMPARE(m_boxes->boxes.first().title + "/" + m_boxes->boxes.first().text, run.box);
        QCOMPARE(run.array ? rows("writeTable", 0).first()
                           : widget<QLineEdit>("ltxtSingleDemarcate")->text(),
                 run.result);
        // A closed port cannot carry the stop to the card.
        QTRY_COMPARE(requests("82"), run.end == PortClosed ? QStringList{"82 01"}
                                                           : QStringList({"82 01", "82 00"}));
    }

    // The worker is kept busy as the second run starts: a first poll before it has taken the
    // start would find the first run's end and report success at once.
    void run_withoutSamples_failsAfterTimeout_evenRightAfterARun()
    {
        click("btnDemarcate");
        m_card->withModel([](CardModel &card) { card.stop(); });
        m_worker->run([](MySerialport &) { QThread::msleep(300); });
        QElapsedTimer clock;
        clock.start();

        click("btnDemarcate");

        QVERIFY2(clock.elapsed() >= kRunTimeoutMs - 50,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m_boxes->texts(), QStringList({"标定成功", "标定失败！！！"}));
        QTRY_COMPARE(requests("82"), QStringList({"82 01", "82 00", "82 01", "82 00"}));
    }

    void run_dialogDeletedMidway_returnsWithoutTouchingIt()
    {
        m_card->withModel([](CardModel &card) { card.stop(); });
        QTimer::singleShot(100, this, [this] { m_dialog.reset(); });

        QVERIFY(QMetaObject::invokeMethod(m_dialog.get(), "on_btnDemarcate_clicked"));

        QVERIFY(!m_dialog);
        QVERIFY(m_boxes->boxes.isEmpty());
    }

    void removal_changesListsOnlyWhenDone_data()
    {
        QTest::addColumn<Removal>("removal");
        const QStringList points{"0.50", "1.00", "2.00"};
        const QStringList pairs{"0.50", "1.50", "2.00"};
        const QString one = QStringLiteral("删除驱动卡指定的标定数据失败");
        const QString every = QStringLiteral("删除驱动卡标定数据失败");
        QTest::newRow("two ticked")
            << Removal{"btnRemove", {0, 2}, None, "86 00 00 32 00 c8", {"1.00"}, {}};
        QTest::newRow("none ticked") << Removal{"btnRemove", {}, None, "86 00", points, {}};
        QTest::newRow("ticked, then Y chosen")
            << Removal{"btnRemove", {1}, None, "86 00 00 64", {"0.50", "2.00"}, {}, 1};
        QTest::newRow("refused") << Removal{"btnRemove", {0}, Refusing, "86 00 00 32", points, one};
        // Any answer but 0 leaves the card's points, and so the lists, as they were.
        QTest::newRow("all") << Removal{"btnRemoveAll", {}, None, "87", {}, {}, 0, 1};
        QTest::newRow("all answered No")
            << Removal{"btnRemoveAll", {}, None, "87", points, {}, 0, 4, QMessageBox::No};
        QTest::newRow("all answered 1")
            << Removal{"btnRemoveAll", {}, Refusing, "87", points, every};
        QTest::newRow("all unanswered") << Removal{"btnRemoveAll", {}, Silent, "87", points, every};
        QTest::newRow("single two ticked")
            << Removal{"btnSingleRemove", {1, 2}, None, "8a 00 00 00 96 00 c8", {"0.50"}, {}};
        QTest::newRow("single none ticked")
            << Removal{"btnSingleRemove", {}, None, "8a 00 00", pairs, {}};
        QTest::newRow("single refused")
            << Removal{"btnSingleRemove", {0}, Refusing, "8a 00 00 00 32", pairs, one};
        QTest::newRow("single all") << Removal{"btnSingleRemoveAll", {}, None, "8b 00 00", {}, {}};
        QTest::newRow("single all answered No") << Removal{
            "btnSingleRemoveAll", {}, None, "8b 00 00", pairs, {}, 0, 4, QMessageBox::No};
        QTest::newRow("single all refused")
            << Removal{"btnSingleRemoveAll", {}, Refusing, "8b 00 00", pairs, every};
    }

    void removal_changesListsOnlyWhenDone()
    {
        QFETCH(Removal, removal);
        const bool single = removal.button.startsWith("btnSingle");
        const char *table = single ? "singleReadTable" : "readTable";
        if (single) {
            QVERIFY(writeSingle("5", "0.5") && writeSingle("15", "1.5") && writeSingle("20", "2"));
        } else {
            QVERIFY(readArray(1) && readArray(0));
            QCOMPARE(requests("88"), QStringList({"88 01", "88 00"}));
        }
        QAbstractItemModel *model = widget<QTableView>(table)->model();
        for (int row : removal.ticks)
            model->setData(model->index(row, 0), true, Qt::UserRole);
        select("comAxitSelect", removal.axisChosen);
        m_card->withModel([&](CardModel &card) { applyFault(card, removal.fault); });
        shortenReplyTimeoutIf(removal.fault == Silent);
        m_boxes->setAnswer(removal.answer);

        click(qPrintable(removal.button));

        // Removing everything is asked first, saying what goes; "否" sends nothing.
        const bool sends = removal.answer == QMessageBox::Yes;
        if (sends)
            QVERIFY(awaitAnswer(QStringLiteral("demarcate"), kNoAnswerMs));
        else
            QTest::qWait(300); // a request would be on the wire by now
        QCOMPARE(requests(removal.request.left(2)),
                 sends ? QStringList{removal.request} : QStringList());
        QStringList pressures;
        for (const QString &row : rows(table))
            pressures << row.section(QLatin1Char('|'), 0, 0);
        QCOMPARE(pressures, removal.shown);
        const QString question =
            single ? QStringLiteral("确定删除驱动卡上传感器1 X轴的全部单点标定数据吗？")
                   : QStringLiteral("确定删除驱动卡上的全部阵列标定数据吗？X、Y、Z "
                                    "三轴的标定点都将被删除。");
        QCOMPARE(m_boxes->texts(),
                 (removal.button.endsWith("RemoveAll") ? QStringList{question} : QStringList()) +
                     optional(removal.box));
        if (single)
            return;
        m_worker->run([](MySerialport &port) {
            QList<short> values{1, 2, 3, 4};
            emit port.demarcateInfo(1, 500, values);
        });
        QVERIFY(awaitAnswer(QStringLiteral("demarcateInfo 1 500")));
        QCOMPARE(model->rowCount(), removal.yPointsAfter);
    }

    void singleWrite_sendsPairOrReportsWhy_data()
    {
        QTest::addColumn<Write>("write");
        const QString sent = QStringLiteral("89 00 00 00 64 00 05");
        const QString failed = QStringLiteral("标定数据写入失败");
        QTest::newRow("0.53 as 53")
            << Write{"12", "0.53", None, "89 00 00 00 35 00 0c", "0.53|12", {}};
        QTest::newRow("-1.234 as -123")
            << Write{"-5", "-1.234", None, "89 00 00 ff 85 ff fb", "-1.23|-5", {}};
        QTest::newRow("no value") << Write{"", "1", None, {}, {}, "请“单点标定”后再写入"};
        QTest::newRow("no pressure") << Write{"5", "", None, {}, {}, "请输入标定的压力值"};
        QTest::newRow("value never checked")
            << Write{"40000", "1", None, {}, {}, "允许输入范围：-32767~32767"};
        QTest::newRow("storage full")
            << Write{"5", "1", StorageFull, sent, {}, "标定数据空间已写满，请先删除，再写入"};
        QTest::newRow("refused") << Write{"5", "1", Refusing, sent, {}, failed};
        QTest::newRow("unanswered") << Write{"5", "1", Silent, sent, {}, failed};
    }

    void singleWrite_sendsPairOrReportsWhy()
    {
        QFETCH(Write, write);
        m_card->withModel([&](CardModel &card) { applyFault(card, write.fault); });
        shortenReplyTimeoutIf(write.fault == Silent);

        writeSingle(write.value, write.pressure, write.request.isEmpty() ? 100 : kNoAnswerMs);

        QCOMPARE(requests("89"), optional(write.request));
        QCOMPARE(singleRows(), optional(write.shown));
        QCOMPARE(m_boxes->texts(), optional(write.box));
    }

    void singleWrite_mergesInPressureOrder_intoListWrittenFor()
    {
        QVERIFY(writeSingle("1234", "1.50") && writeSingle("1300", "1.50"));
        QVERIFY(writeSingle("5", "0.50"));
        QCOMPARE(singleRows(), QStringList({"0.50|5", "1.50|1300"}));

        writeSingle("9", "2", 0);
        select("sensorIdSelect", 1); // before the answer comes
        QVERIFY(awaitAnswer(QStringLiteral("demarcateOperationResult 137 0")));

        QCOMPARE(singleRows(), QStringList{});
        select("sensorIdSelect", 0);
        QCOMPARE(singleRows(), QStringList({"0.50|5", "1.50|1300", "2.00|9"}));
        QVERIFY(m_boxes->boxes.isEmpty());
    }

    void singleRead_showsTheCardsPairs()
    {
        // Stored behind the dialog's back: it ignores the answer to a write it never made.
        m_worker->run([](MySerialport &port) { port.demarcateSingleWrite(0, 2, 150, 77); });
        QVERIFY(awaitAnswer(QStringLiteral("demarcateOperationResult 137 0")));
        select("sensorIdSelect", 2);
        QCOMPARE(singleRows(), QStringList{});

        click("btnSingleRead");

        QVERIFY(awaitAnswer(QStringLiteral("demarcateSingleReadInfo 0 2")));
        QCOMPARE(requests("8c"), QStringList{"8c 00 02"});
        QCOMPARE(singleRows(), QStringList{"1.50|77"});
    }

    void cardBurst_opensAtMostOneBox_data()
    {
        QTest::addColumn<QByteArray>("frame"); // axis byte 7
        QTest::addColumn<QString>("read");     // the button that asked for it, if any
        QTest::addColumn<QString>("box");
        const QByteArray entries = QByteArray::fromHex("a5048c07003c");
        const QByteArray point = QByteArray::fromHex("a507880700640005a4");
        QTest::newRow("single-point entries, not asked") << entries << QString() << QString();
        QTest::newRow("single-point entries, to a read")
            << entries << "btnSingleRead" << QStringLiteral("单点数据读取有误");
        QTest::newRow("calibration points, not asked") << point << QString() << QString();
        QTest::newRow("calibration points, to a read")
            << point << "btnRead" << QStringLiteral("指定轴有误");
    }
    void cardBurst_opensAtMostOneBox()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, read);
        QFETCH(QString, box);
        if (!read.isEmpty()) {
            m_card->withModel([](CardModel &card) { card.setSilent(true); });
            click(qPrintable(read));
            QTRY_COMPARE(requests(frame.mid(2, 1).toHex()).size(), 1);
            m_card->withModel([](CardModel &card) { card.setSilent(false); });
        }
        const TimerGapProbe probe;

        // Thousands of frames, but no more bytes than the terminal holds: the simulated card
        // drops what a host that is slow to read cannot take, the end marker below included.
        const QByteArray burst = frame.repeated(kBurstBytes / frame.size());
        m_card->withModel([burst](CardModel &card) { emit card.bytesToHost(burst); });
        // Answered behind the burst, so its answer marks the end of the burst. A loaded machine
        // may take long to decode the burst, and the card drops an answer that finds the
        // terminal still full: the request is sent again until one is answered.
        constexpr int kPerRequestMs = 5000;
        constexpr int kRequests = 12;
        bool answered = false;
        for (int request = 0; request < kRequests && !answered; ++request) {
            m_worker->run([](MySerialport &port) { port.setSampleFre(2, kPerRequestMs); });
            answered = awaitAnswer(QStringLiteral("sampleFreResult 1 0"), kPerRequestMs + 1000);
        }
        QVERIFY(answered);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(m_boxes->texts(), optional(box));
        QVERIFY2(probe.longestGapMs() < 100, qPrintable(QString::number(probe.longestGapMs())));
    }

    // What the card reports is shown as it is, marked where the operator could not type it,
    // and opens no box, however many such values come.
    void cardValues_shownAsTheyAre_data()
    {
        QTest::addColumn<QString>("read");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<int>("marked");
        QByteArray points;
        for (int pressure : {32767, -32768, 32700, -32701, 32701})
            points +=
                makeFrame(0x88, QByteArray(1, 0) + words({short(pressure), -32768, 32767, 5}));
        QTest::newRow("array, five points")
            << "btnRead" << points
            << QStringList{"-327.68|-32768|32767|5", "-327.01|-32768|32767|5",
                           "327.00|-32768|32767|5", "327.01|-32768|32767|5",
                           "327.67|-32768|32767|5"}
            << 9;
        QByteArray entries(2, 0);
        QStringList pairs;
        for (int i = 1; i <= 62; ++i) {
            entries += words({short(32700 + i), -32768});
            pairs << QStringLiteral("327.%1|-32768").arg(i, 2, 10, QLatin1Char('0'));
        }
        QTest::newRow("single point, 62 entries")
            << "btnSingleRead" << makeFrame(0x8C, entries) << pairs << 124;
    }
    void cardValues_shownAsTheyAre()
    {
        QFETCH(QString, read);
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, shown);
        QFETCH(int, marked);
        const char *table = read == "btnRead" ? "readTable" : "singleReadTable";
        QCOMPARE(answerRead(read, answer), QString());
        QCOMPARE(rows(table), shown);
        int red = 0;
        const QAbstractItemModel *model = widget<QTableView>(table)->model();
        for (int r = 0; r < model->rowCount(); ++r)
            for (int c = 1; c < model->columnCount(); ++c)
                red += !model->index(r, c).data(Qt::ToolTipRole).toString().isEmpty();
        QCOMPARE(red, marked);
    }

    // 1,200 points to one read, the largest pressures first: the first 1,000 are listed, in
    // ascending order, and one box at the end says that the rest were dropped.
    void longPointAnswer_keepsTheFirstThousand()
    {
        QByteArray points;
        for (int pressure = 1200; pressure > 0; --pressure)
            points += makeFrame(0x88, QByteArray(1, 0) + words({short(pressure), short(pressure)}));
        QCOMPARE(answerRead("btnRead", points), QString());
        const QStringList shown = rows("readTable");
        QCOMPARE(shown.size(), 1000);
        QCOMPARE(shown.first() + " " + shown.last(), QStringLiteral("2.01|201 12.00|1200"));
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->texts(),
                                  QStringList{"驱动卡发来的标定点多于1000个，其余200个未显示"},
                                  kReplyTimeoutMs * 3);
    }

    // Without a port the run buttons say why they do nothing. A box about the card that comes
    // while the run's failure is shown waits for no second box on top of it: it is dropped.
    void runWithoutPort_saysWhy_oneBoxAtATime()
    {
        m_card->withModel([](CardModel &card) { card.setSilent(true); });
        click("btnRead");
        QTRY_COMPARE(requests("88").size(), 1);
        m_card->withModel([](CardModel &card) { card.stop(); });
        m_boxes->setAnswerDelay(1000);
        bool closed = false;
        bool injected = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (m_dialog->findChild<QProgressDialog *>() && !std::exchange(closed, true))
                m_worker->run([](MySerialport &port) { port.closePort(); });
            if (!m_boxes->boxes.isEmpty() && !std::exchange(injected, true))
                m_worker->run([](MySerialport &port) {
                    const QByteArray point = QByteArray::fromHex("8807000100");
                    port.decodeFrame(reinterpret_cast<const quint8 *>(point.constData()), 5);
                });
        });
        watch.start(1);

        click("btnDemarcate");

        QCOMPARE(m_worker->count("demarcateInfo 7 1 []"), 1);
        QCOMPARE(m_boxes->texts(), QStringList{"标定失败！！！"});
        for (const char *run : {"btnDemarcate", "btnSingleDemarcate"}) {
            QVERIFY(!widget<QPushButton>(run)->isEnabled());
            QCOMPARE(widget<QPushButton>(run)->toolTip(), QStringLiteral("请打开通信接口"));
        }
    }

    void cardButtons_workOnlyWhileThePortIsOpen_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("closedTip");
        for (const char *button :
             {"btnRead", "btnRemove", "btnRemoveAll", "btnDemarcate", "btnSingleRead",
              "btnSingleRemove", "btnSingleRemoveAll", "btnSingleDemarcate", "btnSingleWrite"})
            QTest::newRow(button) << button << QStringLiteral("请打开通信接口");
        QTest::newRow("btnWrite: the run stores the point")
            << "btnWrite" << QStringLiteral("标定时驱动卡已自行存储标定点，无需写入");
    }
    // Nothing that needs the card can be pressed while the port is closed, and its tooltip says
    // why; the array tab's "写入" has nothing to do at all.
    void cardButtons_workOnlyWhileThePortIsOpen()
    {
        QFETCH(QString, button);
        QFETCH(QString, closedTip);
        auto *pressed = widget<QPushButton>(qPrintable(button));
        const bool needsCard = closedTip == QStringLiteral("请打开通信接口");
        QCOMPARE(pressed->isEnabled(), needsCard);
        QCOMPARE(pressed->toolTip(), needsCard ? QString() : closedTip);
        const QByteArray sentBefore = m_card->receivedBytes();

        m_worker->run([](MySerialport &port) { port.closePort(); });
        QTRY_VERIFY(!pressed->isEnabled());
        QCOMPARE(pressed->toolTip(), closedTip);
        QTest::mouseClick(pressed, Qt::LeftButton);
        QTest::qWait(300); // a box or a request would have come by now
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(m_boxes->boxes.isEmpty());
        QCOMPARE(m_card->receivedBytes(), sentBefore);

        m_worker->open(m_card->portName());
        QTRY_COMPARE(pressed->isEnabled(), needsCard);
    }

private:
    void shortenReplyTimeoutIf(bool silent)
    {
        if (silent)
            m_worker->runBlocking(
                [](MySerialport &port) { port.setReplyTimeoutMs(kShortReplyMs); });
    }

    // The host's frames of one command (two hex digits), as "command payload" in hex.
    QStringList requests(const QString &command) const
    {
        const QByteArray bytes = m_card->receivedBytes();
        QStringList out;
        for (qsizetype at = 0; at + 2 < bytes.size(); at += 2 + quint8(bytes.at(at + 1))) {
            const QString frame = bytes.mid(at + 2, quint8(bytes.at(at + 1)) - 1).toHex(' ');
            if (frame.startsWith(command))
                out << frame;
        }
        return out;
    }

    // Waits for a signal of the driver-card object, then lets the dialog's copy of it through.
    bool awaitAnswer(const QString &prefix, int timeoutMs = kAnswerMs)
    {
        const bool arrived =
            QTest::qWaitFor([&] { return !m_worker->events.filter(prefix).isEmpty(); }, timeoutMs);
        QTest::qWait(50);
        m_worker->clear();
        return arrived;
    }

    // Samples fed in place of the card's: frame 0 differs from the other 19, so that sensor 0
    // sums to -41, 59, -59 and sensor 1 to 2000, 1, -19 on X, Y, Z.
    void injectSamples()
    {
        m_worker->run([](MySerialport &port) {
            for (int frame = 0; frame < 20; ++frame) {
                const QByteArray bytes =
                    QByteArray::fromHex(frame == 0 ? "01 fffd 0002 fffe 0064 0001 0000"
                                                   : "01 fffe 0003 fffd 0064 0000 ffff");
                port.decodeFrame(reinterpret_cast<const quint8 *>(bytes.constData()),
                                 quint16(bytes.size()));
            }
        });
    }

    // Clicks a read that the card leaves unanswered, then sends `answer` in its place, with the
    // interface thread's timer watched: empty when it never waited 100 ms.
    QString answerRead(const QString &read, const QByteArray &answer)
    {
        m_card->withModel([](CardModel &card) { card.setSilent(true); });
        click(qPrintable(read));
        if (!QTest::qWaitFor([&] { return requests(answer.mid(2, 1).toHex()).size() == 1; }))
            return QStringLiteral("no request");
        const TimerGapProbe probe;
        m_card->withModel([answer](CardModel &card) {
            card.setSilent(false);
            emit card.bytesToHost(answer);
        });
        // Answered behind the answer, so its answer marks the end of it.
        m_worker->run([](MySerialport &port) { port.setSampleFre(2, 60000); });
        if (!awaitAnswer(QStringLiteral("sampleFreResult 1 0"), 60000))
            return QStringLiteral("no end marker");
        return probe.longestGapMs() < 100 ? QString() : QString::number(probe.longestGapMs());
    }

    bool writeSingle(const QString &value, const QString &pressure, int answerMs = kAnswerMs)
    {
        widget<QLineEdit>("ltxtSingleDemarcate")->setText(value);
        widget<QLineEdit>("ltxtSinglePressure")->setText(pressure);
        click("btnSingleWrite");
        return answerMs == 0 ||
               awaitAnswer(QStringLiteral("demarcateOperationResult 137"), answerMs);
    }

    bool readArray(int axis)
    {
        select("comAxitSelect", axis);
        click("btnRead");
        const bool read = QTest::qWaitFor(
            [this] { return widget<QTableView>("readTable")->model()->rowCount() == 3; },
            kAnswerMs);
        m_worker->clear();
        return read;
    }

    std::unique_ptr<SimulatedCard> m_card;
    std::unique_ptr<WorkerPort> m_worker;
};

QTEST_MAIN(tst_Demarcate)
#include "tst_demarcate.moc"
