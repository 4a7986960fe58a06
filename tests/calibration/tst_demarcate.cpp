// Calibration dialog against the simulated card over a pseudo-terminal, with the driver-card
// object on its worker thread: calibration runs, array points read and removed, single-point
// pairs written, read and removed, and the failures the card can give.

#include "cardmodel.h"
#include "demarcate.h"
#include "dialogprobe.h"
#include "messageboxrecorder.h"
#include "simulatedcard.h"
#include "workerport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include <memory>

namespace {

constexpr int kAnswerMs = 1000;
constexpr int kNoAnswerMs = kReplyTimeoutMs + 1500;
constexpr int kRunTimeoutMs = 10000;
constexpr int kSensors = 4;

enum Fault { None, StorageFull, NoCapacity, Refusing, Silent };

void applyFault(CardModel &card, int fault)
{
    card.setStorageFull(fault == StorageFull);
    card.setSinglePointCapacity(fault == NoCapacity ? 0 : kDefaultSinglePointCapacity);
    card.setRefusing(fault == Refusing);
    card.setSilent(fault == Silent);
}

// Samples fed in place of the card's: frame 0 differs from the other 19, so that sensor 0
// sums to -41, 59, -59 and sensor 1 to 2000, 1, -19 on X, Y, Z.
short sampleValue(int sensor, int axis, int frame)
{
    static constexpr short kFirst[2][3] = {{-3, 2, -2}, {100, 1, 0}};
    static constexpr short kRest[2][3] = {{-2, 3, -3}, {100, 0, -1}};
    return frame == 0 ? kFirst[sensor][axis] : kRest[sensor][axis];
}

struct Removal
{
    const char *button;
    QList<int> ticks;
    int fault;
    QString request; // command and payload in hex
    QStringList shown;
    QString box;
    int axisChosen = 0;
    int yPointsAfter = 4; // rows of the Y list once it has taken one more point
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

Q_DECLARE_METATYPE(Removal)
Q_DECLARE_METATYPE(Write)

class tst_Demarcate : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_card = std::make_unique<SimulatedCard>();
        QVERIFY2(m_card->start(QString(),
                               [](CardModel &card) {
                                   card.setSeed(3);
                                   card.setSensorCount(kSensors);
                                   card.setStreaming(false);
                               }),
                 qPrintable(m_card->errorString()));
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

    void run_climbsToTwentyAndSucceeds_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("success");
        QTest::newRow("array") << "btnDemarcate"
                               << "校准"
                               << "标定成功";
        QTest::newRow("single point") << "btnSingleDemarcate"
                                      << "单点标定"
                                      << "单点标定成功";
    }

    void run_climbsToTwentyAndSucceeds()
    {
        QFETCH(QString, button);
        QFETCH(QString, title);
        QFETCH(QString, success);
        int highest = -1;
        QStringList settings;
        QPointer<QProgressDialog> seen;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            auto *progress = m_dialog->findChild<QProgressDialog *>();
            if (!progress || progress == seen)
                return;
            seen = progress;
            settings = {progress->windowTitle(),
                        progress->labelText(),
                        progress->findChild<QPushButton *>()->text(),
                        QString::number(progress->maximum()),
                        QString::number(progress->width()),
                        QString::number(progress->windowModality())};
            connect(progress->findChild<QProgressBar *>(), &QProgressBar::valueChanged, this,
                    [&](int value) { highest = std::max(highest, value); });
        });
        watch.start(1);

        click(qPrintable(button));

        QCOMPARE(settings, QStringList({title, "正在获取校准数据...", "取消", "20", "300",
                                        QString::number(Qt::WindowModal)}));
        QCOMPARE(highest, 20);
        QCOMPARE(m_boxes->texts(), QStringList{success});
        QCOMPARE(m_boxes->boxes.first().title, QStringLiteral("系统提示"));
        QVERIFY(!seen);
        QCOMPARE(requests(CmdSampling), QStringList({"82 01", "82 00"}));
        const QString result = button == "btnDemarcate"
                                   ? tableRows(m_dialog.get(), "writeTable", 1).first()
                                   : widget<QLineEdit>("ltxtSingleDemarcate")->text();
        QVERIFY2(QRegularExpression("^-?\\d+(\\|-?\\d+){0,3}$").match(result).hasMatch(),
                 qPrintable(result));
    }

    void run_averagesTruncateTowardZero_data()
    {
        QTest::addColumn<bool>("array");
        QTest::addColumn<int>("sensor");
        QTest::addColumn<int>("axis");
        QTest::addColumn<QString>("result");
        QTest::newRow("array X") << true << 0 << 0 << "0.00|-2|100|0|0";
        QTest::newRow("single -41 on X") << false << 0 << 0 << "-2";
        QTest::newRow("single 59 on Y") << false << 0 << 1 << "2";
        QTest::newRow("single -19 on Z") << false << 1 << 2 << "0";
        QTest::newRow("single unreported sensor") << false << 2 << 0 << "0";
    }

    void run_averagesTruncateTowardZero()
    {
        QFETCH(bool, array);
        QFETCH(int, sensor);
        QFETCH(int, axis);
        QFETCH(QString, result);
        stopCardSamples();
        select(array ? "comAxitSelect" : "comSingleAxitSelect", axis);
        select("sensorIdSelect", sensor);
        QTimer::singleShot(30, this, [this] { injectSamples(); });

        click(array ? "btnDemarcate" : "btnSingleDemarcate");

        QCOMPARE(m_boxes->texts(), QStringList{array ? "标定成功" : "单点标定成功"});
        QCOMPARE(array ? tableRows(m_dialog.get(), "writeTable", 0).first()
                       : widget<QLineEdit>("ltxtSingleDemarcate")->text(),
                 result);
    }

    void run_cancelledOrPortClosed_fails_data()
    {
        QTest::addColumn<bool>("array");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("array cancelled") << true << true;
        QTest::newRow("array port closed") << true << false;
        QTest::newRow("single cancelled") << false << true;
        QTest::newRow("single port closed") << false << false;
    }

    void run_cancelledOrPortClosed_fails()
    {
        QFETCH(bool, array);
        QFETCH(bool, cancel);
        stopCardSamples();
        widget<QLineEdit>("ltxtSingleDemarcate")->setText("7");
        QTimer::singleShot(100, this, [this, cancel] {
            if (cancel)
                m_dialog->findChild<QProgressDialog *>()->findChild<QPushButton *>()->click();
            else
                m_worker->run([](MySerialport &port) { port.closePort(); });
        });
        QElapsedTimer clock;
        clock.start();

        click(array ? "btnDemarcate" : "btnSingleDemarcate");

        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m_boxes->texts(), QStringList{array ? "标定失败！！！" : "单点标定失败！！！"});
        QCOMPARE(m_boxes->boxes.first().icon, QMessageBox::Warning);
        QCOMPARE(widget<QLineEdit>("ltxtSingleDemarcate")->text(), QStringLiteral("7"));
        QCOMPARE(tableRows(m_dialog.get(), "writeTable", 0), QStringList{""});
        // A closed port cannot carry the stop to the card.
        QCOMPARE(requests(CmdSampling),
                 cancel ? QStringList({"82 01", "82 00"}) : QStringList{"82 01"});
    }

    // The worker is kept busy as the second run starts: a first poll before it has taken the
    // start would find the first run's end and report success at once.
    void run_withoutSamples_failsAfterTimeout_evenRightAfterARun()
    {
        click("btnDemarcate");
        QCOMPARE(m_boxes->texts(), QStringList{"标定成功"});
        stopCardSamples();
        m_worker->run([](MySerialport &) { QThread::msleep(300); });
        QElapsedTimer clock;
        clock.start();

        click("btnDemarcate");

        QVERIFY2(clock.elapsed() >= kRunTimeoutMs - 50 && clock.elapsed() < kRunTimeoutMs + 3000,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m_boxes->texts(), QStringList({"标定成功", "标定失败！！！"}));
        QCOMPARE(requests(CmdSampling), QStringList({"82 01", "82 00", "82 01", "82 00"}));
    }

    void run_dialogDeletedMidway_returnsWithoutTouchingIt()
    {
        stopCardSamples();
        QTimer::singleShot(100, this, [this] { m_dialog.reset(); });

        QVERIFY(QMetaObject::invokeMethod(m_dialog.get(), "on_btnDemarcate_clicked"));

        QVERIFY(!m_dialog);
        QVERIFY(m_boxes->boxes.isEmpty());
    }

    void arrayRead_listsCardPointsAscending_data()
    {
        QTest::addColumn<int>("axis");
        QTest::newRow("X") << 0;
        QTest::newRow("Z") << 2;
    }

    void arrayRead_listsCardPointsAscending()
    {
        QFETCH(int, axis);
        QList<CardCalibrationPoint> stored;
        m_card->withModel([&](CardModel &card) { stored = card.calibrationPoints(axis); });
        QCOMPARE(stored.first().pressure, 200); // the card keeps them out of order
        QStringList values;
        for (int sensor = 0; sensor < kSensors; ++sensor)
            values << QString::number(stored.first().values.at(sensor));

        QVERIFY(readArray(axis));

        const QStringList rows = tableRows(m_dialog.get(), "readTable");
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0).left(5) + rows.at(1).left(5), QStringLiteral("0.50|1.00|"));
        QCOMPARE(rows.at(2), QStringLiteral("2.00|") + values.join(QLatin1Char('|')));
        QCOMPARE(requests(CmdCalibrationPoint), QStringList{QStringLiteral("88 0%1").arg(axis)});
        QCOMPARE(widget<QWidget>("writtenGroupBox")->property("title").toString(),
                 QString::fromLatin1(kAxisNames[axis]) + QStringLiteral("轴已写入数据"));
    }

    void arrayRemoval_changesListsOnlyWhenDone_data()
    {
        QTest::addColumn<Removal>("removal");
        const QStringList all{"0.50", "1.00", "2.00"};
        const QString one = QStringLiteral("删除驱动卡指定的标定数据失败");
        const QString every = QStringLiteral("删除驱动卡标定数据失败");
        QTest::newRow("two ticked")
            << Removal{"btnRemove", {0, 2}, None, "86 00 00 32 00 c8", {"1.00"}, {}};
        QTest::newRow("none ticked") << Removal{"btnRemove", {}, None, "86 00", all, {}};
        QTest::newRow("ticked, then Y chosen")
            << Removal{"btnRemove", {1}, None, "86 00 00 64", {"0.50", "2.00"}, {}, 1};
        QTest::newRow("refused") << Removal{"btnRemove", {0}, Refusing, "86 00 00 32", all, one};
        QTest::newRow("all") << Removal{"btnRemoveAll", {}, None, "87", {}, {}, 0, 1};
        QTest::newRow("all answered 1") << Removal{"btnRemoveAll", {}, Refusing, "87", all, every};
        QTest::newRow("all unanswered") << Removal{"btnRemoveAll", {}, Silent, "87", all, every};
    }

    void arrayRemoval_changesListsOnlyWhenDone()
    {
        QFETCH(Removal, removal);
        QVERIFY(readArray(1) && readArray(0));
        auto *view = widget<QTableView>("readTable");
        for (int row : removal.ticks) {
            const QRect cell = view->visualRect(view->model()->index(row, 0));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        }
        select("comAxitSelect", removal.axisChosen);
        m_card->withModel([&](CardModel &card) { applyFault(card, removal.fault); });

        click(removal.button);

        QVERIFY(awaitAnswer(QStringLiteral("demarcate"), kNoAnswerMs));
        QCOMPARE(requestsLike(removal.request), QStringList{removal.request});
        QStringList pressures;
        for (const QString &row : tableRows(m_dialog.get(), "readTable"))
            pressures << row.section(QLatin1Char('|'), 0, 0);
        QCOMPARE(pressures, removal.shown);
        QCOMPARE(m_boxes->texts(), optional(removal.box));
        m_worker->run([](MySerialport &port) {
            QList<short> values{1, 2, 3, 4};
            emit port.demarcateInfo(1, 500, values);
        });
        QVERIFY(awaitAnswer(QStringLiteral("demarcateInfo 1 500")));
        QCOMPARE(view->model()->rowCount(), removal.yPointsAfter);
    }

    void singleWrite_sendsPairOrReportsWhy_data()
    {
        QTest::addColumn<Write>("write");
        const QString sent = QStringLiteral("89 00 00 00 64 00 05");
        const QString full = QStringLiteral("标定数据空间已写满，请先删除，再写入");
        const QString failed = QStringLiteral("标定数据写入失败");
        QTest::newRow("0.53 as 53")
            << Write{"12", "0.53", None, "89 00 00 00 35 00 0c", "0.53|12", {}};
        QTest::newRow("-1.234 as -123")
            << Write{"-5", "-1.234", None, "89 00 00 ff 85 ff fb", "-1.23|-5", {}};
        QTest::newRow("no value") << Write{"", "1", None, {}, {}, "请“单点标定”后再写入"};
        QTest::newRow("no pressure") << Write{"5", "", None, {}, {}, "请输入标定的压力值"};
        QTest::newRow("value never checked")
            << Write{"40000", "1", None, {}, {}, "允许输入范围：-32767~32767"};
        QTest::newRow("storage full") << Write{"5", "1", StorageFull, sent, {}, full};
        QTest::newRow("no room left") << Write{"5", "1", NoCapacity, sent, {}, full};
        QTest::newRow("refused") << Write{"5", "1", Refusing, sent, {}, failed};
        QTest::newRow("unanswered") << Write{"5", "1", Silent, sent, {}, failed};
    }

    void singleWrite_sendsPairOrReportsWhy()
    {
        QFETCH(Write, write);
        m_card->withModel([&](CardModel &card) { applyFault(card, write.fault); });

        writeSingle(write.value, write.pressure, write.request.isEmpty() ? 100 : kNoAnswerMs);

        QCOMPARE(requests(CmdSingleWrite), optional(write.request));
        QCOMPARE(singleRows(), optional(write.shown));
        QCOMPARE(m_boxes->texts(), optional(write.box));
    }

    void singleWrite_mergesInPressureOrder_intoListWrittenFor()
    {
        QVERIFY(writeSingle("1234", "1.50"));
        QCOMPARE(singleRows(), QStringList{"1.50|1234"});
        QVERIFY(writeSingle("1300", "1.50"));
        QCOMPARE(singleRows(), QStringList{"1.50|1300"});
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
        QCOMPARE(requests(CmdSingleRead), QStringList{"8c 00 02"});
        QCOMPARE(singleRows(), QStringList{"1.50|77"});
    }

    void singleRemoval_changesListOnlyWhenDone_data()
    {
        QTest::addColumn<Removal>("removal");
        const QStringList all{"0.50|5", "1.50|15", "2.00|20"};
        QTest::newRow("two ticked")
            << Removal{"btnSingleRemove", {1, 2}, None, "8a 00 00 00 96 00 c8", {"0.50|5"}, {}};
        QTest::newRow("none ticked") << Removal{"btnSingleRemove", {}, None, "8a 00 00", all, {}};
        QTest::newRow("refused") << Removal{"btnSingleRemove", {0}, Refusing,
                                            "8a 00 00 00 32",  all, "删除驱动卡指定的标定数据失败"};
        QTest::newRow("all") << Removal{"btnSingleRemoveAll", {}, None, "8b 00 00", {}, {}};
        QTest::newRow("all refused") << Removal{
            "btnSingleRemoveAll", {}, Refusing, "8b 00 00", all, "删除驱动卡标定数据失败"};
    }

    void singleRemoval_changesListOnlyWhenDone()
    {
        QFETCH(Removal, removal);
        QVERIFY(writeSingle("5", "0.5") && writeSingle("15", "1.5") && writeSingle("20", "2"));
        QAbstractItemModel *model = widget<QTableView>("singleReadTable")->model();
        for (int row : removal.ticks)
            model->setData(model->index(row, 0), true, Qt::UserRole);
        m_card->withModel([&](CardModel &card) { applyFault(card, removal.fault); });

        click(removal.button);

        QVERIFY(awaitAnswer(QStringLiteral("demarcate")));
        QCOMPARE(requestsLike(removal.request), QStringList{removal.request});
        QCOMPARE(singleRows(), removal.shown);
        QCOMPARE(m_boxes->texts(), optional(removal.box));
    }

private:
    template<typename T> T *widget(const char *name) const
    {
        return widgetOf<T>(m_dialog.get(), name);
    }
    void click(const char *name) { widget<QPushButton>(name)->click(); }
    void select(const char *combo, int index) { widget<QComboBox>(combo)->setCurrentIndex(index); }
    QStringList singleRows() const { return tableRows(m_dialog.get(), "singleReadTable"); }
    void stopCardSamples()
    {
        m_card->withModel([](CardModel &card) { card.stop(); });
    }

    // The host's frames of one command, as "command payload" in hex.
    QStringList requests(quint8 cmd) const
    {
        const QByteArray bytes = m_card->receivedBytes();
        QStringList out;
        for (qsizetype at = 0; at + 2 < bytes.size(); at += 2 + quint8(bytes.at(at + 1))) {
            const QByteArray frame = bytes.mid(at + 2, quint8(bytes.at(at + 1)) - 1);
            if (quint8(frame.at(0)) == cmd)
                out << QString::fromLatin1(frame.toHex(' '));
        }
        return out;
    }

    QStringList requestsLike(const QString &request) const
    {
        return requests(quint8(request.left(2).toUInt(nullptr, 16)));
    }

    // Waits for a signal of the driver-card object, then lets the dialog's copy of it through.
    bool awaitAnswer(const QString &prefix, int timeoutMs = kAnswerMs)
    {
        const bool arrived = QTest::qWaitFor(
            [&] {
                return std::any_of(m_worker->events.cbegin(), m_worker->events.cend(),
                                   [&](const QString &e) { return e.startsWith(prefix); });
            },
            timeoutMs);
        QTest::qWait(50);
        m_worker->clear();
        return arrived;
    }

    void injectSamples()
    {
        m_worker->run([](MySerialport &port) {
            for (int frame = 0; frame < 20; ++frame) {
                QByteArray bytes(1, char(CmdAccumulation));
                for (int sensor = 0; sensor < 2; ++sensor) {
                    for (int axis = 0; axis < kAxisCount; ++axis) {
                        const short v = sampleValue(sensor, axis, frame);
                        bytes.append(char(v >> 8)).append(char(v & 0xFF));
                    }
                }
                port.decodeFrame(reinterpret_cast<const quint8 *>(bytes.constData()),
                                 quint16(bytes.size()));
            }
        });
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
        widget<QTabWidget>("tabWidget")->setCurrentIndex(0);
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
    std::unique_ptr<Demarcate> m_dialog;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
};

QTEST_MAIN(tst_Demarcate)
#include "tst_demarcate.moc"
