// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's link health and reconnection against a scripted line and the simulated
// card: the status bar's counts and stale-stream notice, reopening a lost port, and the choices
// remembered between runs.

#include "cardmodel.h"
#include "curvegraphic.h"
#include "mainwindow.h"
#include "messageboxrecorder.h"
#include "nomachineports.h"
#include "portchoice.h"
#include "portreconnector.h"
#include "recordingcontrol.h"
#include "simulatedcard.h"
#include "unwritablenode.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <algorithm>
#include <memory>

#include <pty.h>
#include <unistd.h>

namespace {

constexpr int kOpenMs = 10000; // whatever the card answers at once, on a loaded machine too
// A condition that a loaded machine may take long to reach.
constexpr int kSlowMs = 10000;
constexpr int kResumeMs = 3000; // frames must be back this long after the port returns
const QString kWaiting = QStringLiteral("串口丢失，等待重连…");
constexpr int kReadableWidth = 100;

// A sensor-data frame of one sensor (or more) without a sync byte inside: a corrupted copy is
// rejected once and then discarded whole.
QByteArray sensorFrame(quint8 checksumDelta = 0, int sensors = 1)
{
    QByteArray frame = QByteArray::fromHex("a5").append(char(2 + 6 * sensors)).append('\0');
    frame += QByteArray::fromHex("001000f00100").repeated(sensors);
    quint8 sum = 0;
    for (char c : frame)
        sum = quint8(sum + quint8(c));
    return frame.append(char(quint8(sum + checksumDelta)));
}

} // namespace

class tst_LinkStatus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }

    void init()
    {
        QSettings().clear();
        m_boxes = std::make_unique<MessageBoxRecorder>();
        createWindow();
    }

    void cleanup()
    {
        m_window.reset();
        m_card.reset();
        m_boxes.reset();
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
        m_master = m_slave = -1;
    }

    void scriptedStream_countsShownInRed_onlyOnceNonZero()
    {
        char name[128] = {};
        QVERIFY(::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0);
        m_window->setExtraPorts({QString::fromLocal8Bit(name)});
        QCOMPARE(label("statusPort")->text(), QStringLiteral("未连接"));
        click("btnSerialOpen");
        QTRY_COMPARE_WITH_TIMEOUT(label("statusPort")->text(),
                                  QStringLiteral("已连接 %1 @ 115200").arg(name), kOpenMs);
        // Opened in the middle of a frame, with a false frame start in its rest: no error.
        writeToHost(QByteArray::fromHex("11a50322") + sensorFrame(1) + sensorFrame().repeated(3));
        QTRY_VERIFY_WITH_TIMEOUT(label("statusRate")->text() != QStringLiteral("0 帧/秒"), kOpenMs);
        QVERIFY(!label("statusErrors")->isVisible());

        // Two corrupted frames (9 bytes each after their sync byte) and 7 noise bytes.
        writeToHost(QByteArray::fromHex("0011223344") + sensorFrame(1) + sensorFrame() +
                    sensorFrame(7) + QByteArray::fromHex("5a5b") + sensorFrame());

        QTRY_COMPARE_WITH_TIMEOUT(label("statusErrors")->text(),
                                  QStringLiteral("校验错误 2  丢弃 27 字节"), kOpenMs);
        QVERIFY(label("statusErrors")->isVisible());
        QVERIFY(label("statusErrors")->styleSheet().contains(QStringLiteral("red")));
    }

    void stoppedStream_showsNoData_untilFramesReturn()
    {
        QVERIFY(openCard());
        QTRY_VERIFY_WITH_TIMEOUT(label("statusRate")->text() != QStringLiteral("0 帧/秒"), kOpenMs);
        QVERIFY(!label("statusStale")->isVisible());

        m_card->withModel([](CardModel &card) { card.setStreaming(false); });
        QElapsedTimer stopped;
        stopped.start();
        QTRY_VERIFY_WITH_TIMEOUT(label("statusStale")->isVisible(), kSlowMs);
        QVERIFY(stopped.elapsed() >= 900);
        // A loaded machine may show the field a second or two late, with the seconds it counts.
        const QRegularExpression stale(QStringLiteral("^无数据 [1-9][0-9]* s$"));
        QVERIFY2(stale.match(label("statusStale")->text()).hasMatch(),
                 qPrintable(label("statusStale")->text()));

        m_card->withModel([](CardModel &card) { card.setStreaming(true); });
        QTRY_VERIFY_WITH_TIMEOUT(!label("statusStale")->isVisible(), kOpenMs);
        QVERIFY(m_boxes->boxes.isEmpty());
    }

    void lostPort_reopenedOnlyWhenAsked_data()
    {
        QTest::addColumn<bool>("autoReconnect");
        QTest::addColumn<bool>("operatorPressesOpen");
        QTest::addColumn<int>("unplugs");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("reconnect, three unplugs") << true << false << 3 << QStringList();
        QTest::newRow("no reconnect") << false << false << 1 << QStringList{"串口丢失"};
        // The lost port stays selected while it is awaited, also when it is no longer listed:
        // "打开" ends the wait and tries that port.
        QTest::newRow("operator ends the wait") << true << true << 1 << QStringList{"串口打开失败"};
    }
    void lostPort_reopenedOnlyWhenAsked()
    {
        QFETCH(bool, autoReconnect);
        QFETCH(bool, operatorPressesOpen);
        QFETCH(int, unplugs);
        QFETCH(QStringList, boxes);
        action()->setChecked(autoReconnect);
        QVERIFY(openCard());
        const bool resumes = autoReconnect && !operatorPressesOpen;
        for (int round = 0; round < unplugs; ++round) {
            m_card->hangUp();
            QTRY_COMPARE_WITH_TIMEOUT(button("btnSerialOpen")->text(), QStringLiteral("打开"),
                                      kOpenMs);
            QCOMPARE(label("statusPort")->text(),
                     autoReconnect ? kWaiting : QStringLiteral("未连接"));
            if (operatorPressesOpen) {
                // Gone for good: the terminal's number may be another program's by now.
                QVERIFY(QFile::remove(link()));
                m_window->setExtraPorts({});
                click("btnSerialOpen");
                QTRY_COMPARE_WITH_TIMEOUT(m_boxes->texts(), boxes, kSlowMs); // the try has failed
                m_window->setExtraPorts({link()});
            }

            const double before = curves()->sampleCounter();
            QVERIFY(m_card->reconnect());
            if (!resumes) {
                QTest::qWait(kResumeMs);
                QCOMPARE(curves()->sampleCounter(), before);
                QCOMPARE(label("statusPort")->text(), QStringLiteral("未连接"));
                continue;
            }
            QTRY_VERIFY_WITH_TIMEOUT(curves()->sampleCounter() > before + 10, kResumeMs);
            QCOMPARE(label("statusPort")->text(), QStringLiteral("已连接 %1 @ 115200").arg(link()));
        }
        QCOMPARE(m_boxes->texts(), boxes);
    }

    // The status bar of the 450-pixel window with every field shown at once: nothing is pushed
    // out, and what is drawn shortened is whole in its tooltip, the stale warning always whole.
    void everyField_readableInTheNarrowWindow_data()
    {
        QTest::addColumn<UiLanguage>("language");
        QTest::newRow("Chinese") << UiLanguage::Chinese;
        QTest::newRow("English") << UiLanguage::English;
    }
    void everyField_readableInTheNarrowWindow()
    {
        QFETCH(UiLanguage, language);
        m_window->useLanguage(language);
        char name[128] = {};
        QVERIFY(::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0);
        m_window->setExtraPorts({QString::fromLocal8Bit(name)});
        click("btnSerialOpen");
        QTRY_VERIFY_WITH_TIMEOUT(action("actionRecord")->isEnabled(), kOpenMs);
        QVERIFY(m_window->recording()->start(
            m_dir.filePath(QStringLiteral("a-recording-with-a-long-name.csv"))));
        writeToHost(sensorFrame(0, 16).repeated(3) + sensorFrame(1, 16) + sensorFrame(0, 16));

        // How soon the field shows is the stale test's subject; here every field is to be shown.
        QTRY_VERIFY_WITH_TIMEOUT(label("statusStale")->isVisible(), 10000);
        const QStringList fields{"statusStale",  "statusSensors", "statusRate",
                                 "statusErrors", "statusPort",    "statusRecord"};
        QRegion used;
        for (const QString &field : fields) {
            const QLabel *shown = label(qPrintable(field));
            QVERIFY2(shown->isVisible() && !shown->text().isEmpty(), qPrintable(field));
            const QRect at(shown->mapTo(m_window.get(), QPoint(0, 0)), shown->size());
            QVERIFY2(m_window->rect().contains(at) && !used.intersects(at), qPrintable(field));
            used += at;
            // A shortened field still shows a good part of its text.
            const int needed = shown->fontMetrics().horizontalAdvance(shown->text());
            const int width = shown->contentsRect().width();
            QVERIFY2(needed <= width ||
                         (field != "statusStale" && width >= std::min(needed, kReadableWidth) &&
                          shown->toolTip().contains(shown->text())),
                     qPrintable(field + ": " + shown->text()));
        }
    }

    void stranger_underTheLostName_isLetGo_untilTheCardAnswers_data()
    {
        QTest::addColumn<bool>("cardReturns");
        QTest::newRow("card returns") << true;
        QTest::newRow("card stays away: asked three times") << false;
    }
    // Another device under the lost port's name is tried, but without an answer from a card it is
    // let go again, and the status bar says so; the card itself is taken once it answers. A port
    // known by its name only is asked no more than three times: the stranger's terminal is then
    // left alone until "打开".
    void stranger_underTheLostName_isLetGo_untilTheCardAnswers()
    {
        QFETCH(bool, cardReturns);
        action()->setChecked(true);
        QVERIFY(openCard());
        m_card->hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(label("statusPort")->text(), kWaiting, kOpenMs);
        char name[128] = {};
        QVERIFY(::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0);
        QByteArray asked;
        QSocketNotifier fromHost(m_master, QSocketNotifier::Read);
        connect(&fromHost, &QSocketNotifier::activated, this, [&] {
            char chunk[256];
            const ssize_t n = ::read(m_master, chunk, sizeof chunk);
            asked.append(chunk, qMax<ssize_t>(n, 0));
        });
        const QString stranger = link() + QStringLiteral(".stranger");
        QVERIFY(QFile::link(QString::fromLocal8Bit(name), stranger));
        QVERIFY(::rename(QFile::encodeName(stranger), QFile::encodeName(link())) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(label("statusPort")->text(),
                                  QStringLiteral("%1 上无驱动卡应答，等待重连…").arg(link()), 5000);
        QCOMPARE(button("btnSerialOpen")->text(), QStringLiteral("打开"));

        const auto frequencyReads = [&] {
            return asked.count(QByteArray::fromHex("a502842b"));
        };
        if (!cardReturns) {
            QTRY_COMPARE_WITH_TIMEOUT(
                label("statusPort")->text(),
                QStringLiteral("%1 上的设备不像驱动卡那样应答，已停止重连，请按“打开”").arg(link()),
                20000);
            QTest::qWait(3 * PortReconnector::kHoldOffMs); // a fourth try would have come by now
            QCOMPARE(frequencyReads(), PortReconnector::kMaxProbes);
            QCOMPARE(combo("SerialPortSelect")->currentText(), link());
            QVERIFY(m_boxes->boxes.isEmpty());
            return;
        }
        const double before = curves()->sampleCounter();
        QVERIFY(m_card->reconnect());
        QTRY_VERIFY_WITH_TIMEOUT(curves()->sampleCounter() > before + 10, 8000);
        QCOMPARE(label("statusPort")->text(), QStringLiteral("已连接 %1 @ 115200").arg(link()));
        QVERIFY(m_boxes->boxes.isEmpty());
        QVERIFY(frequencyReads() >= 1);
    }

    void askedPort_staysSelected_andIsTheOnlyOneTried_data()
    {
        QTest::addColumn<bool>("lost");
        QTest::newRow("given at start, absent") << false;
        QTest::newRow("lost, awaited and gone from the list") << true;
    }
    // Another port, present and remembered from an earlier run, is never opened in place of the
    // port asked for: "打开" tries that port, says that it does not exist, and tries it again.
    void askedPort_staysSelected_andIsTheOnlyOneTried()
    {
        QFETCH(bool, lost);
        SimulatedCard other;
        const QString otherLink = m_dir.filePath(QStringLiteral("other"));
        QVERIFY(other.start(otherLink));
        QSettings().setValue(QStringLiteral("serial/port"), otherLink);
        m_window.reset();
        createWindow();
        QComboBox *ports = combo("SerialPortSelect");
        if (lost) {
            action()->setChecked(true);
            QVERIFY(startCard());
            m_window->setExtraPorts({link(), otherLink});
            QCOMPARE(ports->currentText(), otherLink);
            ports->setCurrentIndex(ports->findText(link()));
            click("btnSerialOpen");
            QTRY_VERIFY_WITH_TIMEOUT(label("statusPort")->text().startsWith("已连接"), kSlowMs);
            m_card->hangUp();
            QTRY_COMPARE_WITH_TIMEOUT(label("statusPort")->text(), kWaiting, kSlowMs);
            // Gone for good: the terminal's number may be another program's by now.
            QVERIFY(QFile::remove(link()));
            QTest::qWait(2 * PortChoice::kScanIntervalMs); // scans that find the port gone
        } else {
            m_window->setExtraPorts({link(), otherLink});
            m_window->preferPort(link());
        }
        QCOMPARE(ports->currentText(), link());

        const QString missing = QStringLiteral("原因：%1 不存在").arg(link());
        for (int attempt = 1; attempt <= 2; ++attempt) {
            click("btnSerialOpen");
            QTRY_COMPARE_WITH_TIMEOUT(m_boxes->texts(), QStringList(attempt, "串口打开失败"),
                                      kSlowMs);
            QVERIFY2(m_boxes->boxes.last().informativeText.contains(missing),
                     qPrintable(m_boxes->boxes.last().informativeText));
            QCOMPARE(ports->currentText(), link());
        }
        QVERIFY(lost ? m_card->reconnect() : startCard());
        click("btnSerialOpen");
        QTRY_COMPARE_WITH_TIMEOUT(label("statusPort")->text(),
                                  QStringLiteral("已连接 %1 @ 115200").arg(link()), kSlowMs);
        QVERIFY(other.receivedBytes().isEmpty());
    }

    void lostDuringCheck_checkFails_andIsNotResumed()
    {
        action()->setChecked(true);
        QVERIFY(openCard());
        QTimer::singleShot(1000, m_card.get(), [this] {
            m_card->hangUp();
            m_card->reconnect();
        });
        click("btnCheck"); // returns once the check has ended
        QCOMPARE(m_boxes->texts(), QStringList{"校准数据获取失败"});
        QTRY_VERIFY_WITH_TIMEOUT(label("statusPort")->text().startsWith("已连接"), kResumeMs);
        QTest::qWait(500);
        QCOMPARE(m_boxes->texts(), QStringList{"校准数据获取失败"});
        QVERIFY(!m_window->findChild<QProgressDialog *>());
    }

    void choices_rememberedBetweenRuns()
    {
        QFile other(m_dir.filePath(QStringLiteral("other")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        QVERIFY(QSettings().fileName().contains(QStringLiteral(".qttest")));
        QVERIFY(!action()->isChecked() && !action("actionFollowCardSensors")->isChecked());
        const auto sensorCount = [this] {
            return m_window->findChild<QLineEdit *>(QStringLiteral("lineSensorSum"))->text();
        };
        QCOMPARE(sensorCount(), QStringLiteral("1")); // a first start
        QVERIFY(startCard());
        const QStringList ports{other.fileName(), link()};
        m_window->setExtraPorts(ports);
        combo("SerialPortSelect")->setCurrentIndex(1);
        combo("BandSelect")->setCurrentIndex(2);
        action()->setChecked(true);
        action("actionFollowCardSensors")->setChecked(true);
        click("btnSerialOpen");
        QTRY_COMPARE_WITH_TIMEOUT(label("statusPort")->text(),
                                  QStringLiteral("已连接 %1 @ 921600").arg(link()), kOpenMs);
        QTRY_COMPARE(sensorCount(), QStringLiteral("16")); // the card's

        m_window.reset();
        createWindow();
        m_window->setExtraPorts(ports);

        QCOMPARE(combo("SerialPortSelect")->currentText(), link());
        QCOMPARE(combo("BandSelect")->currentText(), QStringLiteral("921600"));
        QVERIFY(action()->isChecked() && action("actionFollowCardSensors")->isChecked());
        QCOMPARE(sensorCount(), QStringLiteral("16"));
        QCOMPARE(m_window->findChild<QTableView *>()->model()->rowCount(), 16);
    }

    void openFailure_noPermission_boxNamesTheGroup()
    {
        QTemporaryFile locked;
        const QString node = unwritableNode(locked);
        QVERIFY(!node.isEmpty());
        m_window->setExtraPorts({node});
        click("btnSerialOpen");

        QTRY_VERIFY_WITH_TIMEOUT(!m_boxes->boxes.isEmpty(), kOpenMs);
        const RecordedBox box = m_boxes->boxes.first();
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.title, QStringLiteral("错误信息"));
        QCOMPARE(box.text, QStringLiteral("串口打开失败"));
        const QString remedy = permissionRemedy(node);
        QVERIFY2(box.informativeText.contains(QStringLiteral("串口：%1").arg(node)) &&
                     box.informativeText.contains(remedy) &&
                     !box.informativeText.contains(QStringLiteral("usermod -aG root")),
                 qPrintable(box.informativeText));
    }

private:
    void createWindow()
    {
        m_window = std::make_unique<MainWindow>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    bool startCard()
    {
        m_card = std::make_unique<SimulatedCard>();
        return m_card->start(link());
    }

    bool openCard()
    {
        if (!startCard())
            return false;
        m_window->setExtraPorts({link()});
        click("btnSerialOpen");
        // Open once the card's frequency has come too: a loss before that ends the read in a
        // time-out, which the window reports.
        const auto *frequency = m_window->findChild<QComboBox *>(QStringLiteral("SampleFreSelect"));
        return QTest::qWaitFor(
            [&] {
                return label("statusPort")->text().startsWith("已连接") &&
                       frequency->currentText() == QStringLiteral("100");
            },
            kOpenMs);
    }

    void writeToHost(const QByteArray &bytes)
    {
        QCOMPARE(::write(m_master, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    }

    QLabel *label(const char *name) const
    {
        return m_window->findChild<QLabel *>(QLatin1String(name));
    }
    QComboBox *combo(const char *name) const
    {
        return m_window->findChild<QComboBox *>(QLatin1String(name));
    }
    QPushButton *button(const char *name) const
    {
        return m_window->findChild<QPushButton *>(QLatin1String(name));
    }
    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    QAction *action(const char *name = "actionAutoReconnect") const
    {
        return m_window->findChild<QAction *>(QLatin1String(name));
    }
    CurveGraphic *curves() const
    {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *curve = qobject_cast<CurveGraphic *>(widget))
                return curve;
        return nullptr;
    }
    QString link() const { return m_dir.filePath(QStringLiteral("card")); }

    QTemporaryDir m_dir;
    std::unique_ptr<SimulatedCard> m_card;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<MainWindow> m_window;
    int m_master = -1;
    int m_slave = -1;
};

QTEST_MAIN(tst_LinkStatus)
#include "tst_linkstatus.moc"
