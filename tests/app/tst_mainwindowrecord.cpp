// SPDX-License-Identifier: GPL-3.0-or-later
// Recording from the main window: the menu entry and the status bar, --record on the first
// open (an earlier file left as it was by a card without data), the end of a recording with the
// port or the window, a reconnection to a card that streams without answering or to another
// card, files that cannot be written, and
// the curve window's markers in the file and back on the curves when it is replayed. That a
// recording replays to the same readings is eskin-record's test.

#include "cardmodel.h"
#include "curvegraphic.h"
#include "filedialoganswer.h"
#include "mainwindow.h"
#include "menuentry.h"
#include "messageboxrecorder.h"
#include "nomachineports.h"
#include "portreconnector.h"
#include "recordformat.h"
#include "recordindex.h"
#include "recordingcontrol.h"
#include "recordingplayer.h"
#include "recordreader.h"
#include "simulatedcard.h"
#include "slaveprotocol.h"
#include "testfile.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

constexpr int kOpenMs = 3000;
constexpr int kFastestIndex = 4; // 200 Hz

// The card's rate nearest to the rows first .. last - 1, without a few at each end, which a busy
// machine may receive late.
int rateOfRows(const std::vector<RecordedFrame> &rows, qint64 first, qint64 last)
{
    constexpr qint64 kEdge = 5;
    const double span = double(rows[std::size_t(last - 1 - kEdge)].timeUs -
                               rows[std::size_t(first + kEdge)].timeUs);
    return RecordFormat::nearestCardRate(1e6 * double(last - 1 - first - 2 * kEdge) / span);
}

} // namespace

class tst_MainWindowRecord : public QObject
{
    Q_OBJECT

private slots:
    // The file dialog keeps its history in the settings: test ones, not the user's.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        QVERIFY(m_dir.isValid());
        m_boxes = std::make_unique<MessageBoxRecorder>();
        m_card = std::make_unique<SimulatedCard>();
        QVERIFY(m_card->start({}, [](CardModel &card) {
            card.setSeed(7);
            card.setFrequencyIndex(kFastestIndex);
        }));
        m_window = std::make_unique<MainWindow>();
        m_window->setExtraPorts({m_card->portName()});
        m_action = m_window->findChild<QAction *>(QStringLiteral("actionRecord"));
        m_status = m_window->findChild<QLabel *>(QStringLiteral("statusRecord"));
        QVERIFY(m_action && m_status);
        m_window->show();
    }

    void cleanup()
    {
        m_window.reset();
        m_card.reset();
        m_boxes.reset();
    }

    void recordOnFirstOpen_thenMenuStops_withEveryFrameShown()
    {
        QVERIFY(!m_action->isEnabled());
        const QString path = m_dir.filePath(QStringLiteral("program.csv"));
        m_window->recording()->recordOnFirstOpen(path);
        m_window->openSelectedPort();
        QTRY_VERIFY_WITH_TIMEOUT(m_window->recording()->isRecording(), kOpenMs);
        QVERIFY(m_action->isEnabled());
        QCOMPARE(m_action->text(), QStringLiteral("停止记录"));
        QTRY_VERIFY_WITH_TIMEOUT(framesShown() >= 300, 5000);
        QVERIFY(m_status->text().contains(QLatin1String("program.csv")));

        m_action->trigger();
        QTRY_VERIFY(!m_window->recording()->isRecording());
        QCOMPARE(m_action->text(), QStringLiteral("开始记录…"));
        RecordReader original;
        QVERIFY2(original.read(path), qPrintable(original.errorString()));
        QVERIFY(original.warnings().isEmpty());
        QCOMPARE(qint64(original.frames().size()), framesShown());
    }

    // A card that sends nothing leaves the file that --record names as it was.
    void recordOnFirstOpen_cardWithoutData_leavesAnEarlierFile_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::newRow("answers, sends no data") << false;
        QTest::newRow("silent, sends no data") << true;
    }

    void recordOnFirstOpen_cardWithoutData_leavesAnEarlierFile()
    {
        QFETCH(bool, silent);
        m_card->withModel([silent](CardModel &card) {
            card.setStreaming(false);
            card.setSilent(silent);
        });
        const QString path = m_dir.filePath(QStringLiteral("earlier.csv"));
        QVERIFY(writeTestFile(path, "earlier\n"));
        m_window->recording()->recordOnFirstOpen(path);
        m_window->openSelectedPort();
        QTRY_VERIFY_WITH_TIMEOUT(m_window->recording()->isRecording(), kOpenMs);
        // Past the card's answer to the frequency read, or the box that tells its time-out.
        const auto *rate = m_window->findChild<QComboBox *>(QStringLiteral("SampleFreSelect"));
        QTRY_VERIFY_WITH_TIMEOUT(silent ? !m_boxes->boxes.isEmpty() : rate->currentText() == "200",
                                 kOpenMs);
        m_window.reset();
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier\n"));
    }

    void closingThePort_endsTheRecording()
    {
        openPort();
        const QString path = m_dir.filePath(QStringLiteral("closed.csv"));
        QVERIFY(m_window->recording()->start(path));
        QTRY_VERIFY(framesShown() > 0);
        QTest::mouseClick(m_window->findChild<QPushButton *>(QStringLiteral("btnSerialOpen")),
                          Qt::LeftButton);
        QTRY_VERIFY(!m_window->recording()->isRecording());
        QVERIFY(!m_action->isEnabled());
        RecordReader reader;
        QVERIFY2(reader.read(path), qPrintable(reader.errorString()));
        QVERIFY(reader.warnings().isEmpty());
        QVERIFY(m_boxes->boxes.isEmpty());
    }

    // In the home folder when there is no documents folder.
    void menuEntry_suggestsDatedFile_andClosingTheWindowEndsTheFileCleanly()
    {
        openPort();
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(m_dir.path()));
        const auto restoreHome = qScopeGuard([&home] { qputenv("HOME", home); });
        const QString path = m_dir.filePath(QStringLiteral("chosen.csv"));
        const QString suggested = answerFileDialog(path, [this] { m_action->trigger(); });
        QVERIFY2(QRegularExpression(QStringLiteral("^%1/eskin-\\d{8}-\\d{6}\\.csv$")
                                        .arg(QRegularExpression::escape(m_dir.path())))
                     .match(suggested)
                     .hasMatch(),
                 qPrintable(suggested));
        QVERIFY(m_window->recording()->isRecording());
        QTRY_VERIFY(framesShown() > 0);
        m_window.reset();
        RecordReader reader;
        QVERIFY2(reader.read(path), qPrintable(reader.errorString()));
        QVERIFY(reader.warnings().isEmpty());
        QVERIFY(qint64(reader.frames().size()) >= framesShown());
    }

    void unwritableFile_isToldAndNothingStarts()
    {
        openPort();
        QVERIFY(!m_window->recording()->start(QStringLiteral("/nonexistent/run.csv")));
        QVERIFY(!m_window->recording()->isRecording());
        QTRY_COMPARE(m_boxes->boxes.size(), 1);
        QCOMPARE(m_boxes->boxes.first().title, QStringLiteral("错误信息"));
        QVERIFY(m_boxes->boxes.first().text.contains(QLatin1String("/nonexistent/run.csv")));
        QCOMPARE(m_action->text(), QStringLiteral("开始记录…"));
        QVERIFY(m_action->isEnabled()); // the port stays open
    }

    // A small file system of its own where the test may mount one, else a device that is
    // always full.
    void fullDisk_stopsWithTheSystemsReason_andTheRowsInTheFile()
    {
        QTemporaryDir mountPoint;
        const bool mounted =
            QProcess::execute(QStringLiteral("mount"),
                              {"-t", "tmpfs", "-o", "size=48k", "tmpfs", mountPoint.path()}) == 0;
        const auto unmount = qScopeGuard([&] {
            if (mounted)
                QProcess::execute(QStringLiteral("umount"), {mountPoint.path()});
        });
        const QString path =
            mounted ? mountPoint.filePath(QStringLiteral("full.csv")) : QStringLiteral("/dev/full");
        openPort();
        QVERIFY(m_window->recording()->start(path));
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->recording()->isRecording(), 10000);
        QTRY_COMPARE(m_boxes->boxes.size(), 1);
        QVERIFY2(m_boxes->boxes.first().text.contains(path + QStringLiteral(" 失败，记录已停止：") +
                                                      QString::fromLocal8Bit(strerror(ENOSPC))),
                 qPrintable(m_boxes->boxes.first().text));
        QVERIFY(m_action->isEnabled()); // the port and the live display go on
        RecordReader reader;
        if (mounted) {
            QVERIFY2(reader.read(path), qPrintable(reader.errorString()));
            QVERIFY(reader.warnings().isEmpty());
        }
        QVERIFY(!mounted || framesShown() > 100);
        QCOMPARE(framesShown(), qint64(reader.frames().size()));
    }

    // With reconnection on, a lost port leaves a gap in the same file; without, it ends it.
    void lostPort_recordingGoesOnWithAGap_onlyWhenReconnected_data()
    {
        QTest::addColumn<bool>("reconnect");
        QTest::newRow("reconnection on") << true;
        QTest::newRow("reconnection off") << false;
    }

    void lostPort_recordingGoesOnWithAGap_onlyWhenReconnected()
    {
        QFETCH(bool, reconnect);
        SimulatedCard card;
        const QString link = m_dir.filePath(QStringLiteral("card"));
        QVERIFY(card.start(link));
        m_window->setExtraPorts({}); // the list is built anew when its length changes
        m_window->setExtraPorts({link});
        m_window->findChild<QAction *>(QStringLiteral("actionAutoReconnect"))
            ->setChecked(reconnect);
        openPort();
        const QString path = m_dir.filePath(QStringLiteral("gap.csv"));
        QVERIFY(m_window->recording()->start(path));
        QTRY_VERIFY(framesShown() > 50);
        card.hangUp();
        QTRY_COMPARE(m_window->findChild<QPushButton *>(QStringLiteral("btnSerialOpen"))->text(),
                     QStringLiteral("打开"));
        if (!reconnect)
            QTRY_VERIFY(!m_window->recording()->isRecording());
        // The count shown may still miss the frames of the writer's last report before the loss.
        const qint64 beforeLoss = framesShown();
        QVERIFY(card.reconnect());
        if (reconnect) {
            QTRY_VERIFY_WITH_TIMEOUT(framesShown() > beforeLoss + 150, 10000);
            QVERIFY(m_window->recording()->isRecording());
        }
        m_window->recording()->stop();
        QTRY_VERIFY(!m_window->recording()->isRecording());

        RecordReader reader;
        QVERIFY2(reader.read(path), qPrintable(reader.errorString()));
        QCOMPARE(qint64(reader.frames().size()), framesShown());
        QCOMPARE(reader.gaps().size(), std::size_t(reconnect ? 1 : 0));
        if (reconnect) {
            const RecordGap &gap = reader.gaps().front();
            QCOMPARE(gap.cause, QStringLiteral("port lost"));
            QVERIFY2(gap.frameIndex > 50 && gap.frameIndex < framesShown() - 50,
                     qPrintable(QStringLiteral("%1 of %2").arg(gap.frameIndex).arg(framesShown())));
            QVERIFY(gap.lengthUs >= PortReconnector::kHoldOffMs * 1000);
        }
        QVERIFY(m_boxes->boxes.size() == (reconnect ? 0 : 1));
    }

    // After a loss, the card that comes back counts once it streams, also when it does not
    // answer; one that tells another rate or sensor count than before is named in the status bar,
    // and the file says so in a frequency line and in its rows.
    void reconnection_takesACardThatStreams_andTellsAnotherCard_data()
    {
        QTest::addColumn<bool>("sameCard");
        QTest::newRow("the same card, streaming without answering") << true;
        QTest::newRow("another card under the name") << false;
    }

    void reconnection_takesACardThatStreams_andTellsAnotherCard()
    {
        QFETCH(bool, sameCard);
        const QString link = m_dir.filePath(QStringLiteral("card"));
        auto card = std::make_unique<SimulatedCard>();
        QVERIFY(
            card->start(link, [](CardModel &model) { model.setFrequencyIndex(kFastestIndex); }));
        m_window->setExtraPorts({}); // the list is built anew when its length changes
        m_window->setExtraPorts({link});
        m_window->findChild<QAction *>(QStringLiteral("actionAutoReconnect"))->setChecked(true);
        openPort();
        const auto *rate = m_window->findChild<QComboBox *>(QStringLiteral("SampleFreSelect"));
        QTRY_COMPARE_WITH_TIMEOUT(rate->currentText(), QStringLiteral("200"), kOpenMs);
        const QString path = m_dir.filePath(QStringLiteral("returned.csv"));
        QVERIFY(m_window->recording()->start(path));
        QTRY_VERIFY(framesShown() > 50);
        if (sameCard)
            card->withModel([](CardModel &model) { model.setSilent(true); });
        card->hangUp();
        const auto *open = m_window->findChild<QPushButton *>(QStringLiteral("btnSerialOpen"));
        QTRY_COMPARE(open->text(), QStringLiteral("打开"));
        const qint64 beforeLoss = framesShown();
        if (sameCard) {
            QVERIFY(card->reconnect());
        } else {
            card = std::make_unique<SimulatedCard>(); // the first one takes its link along
            QVERIFY(card->start(link, [](CardModel &model) {
                model.setFrequencyIndex(3);
                model.setSensorCount(4);
            }));
        }
        QTRY_VERIFY_WITH_TIMEOUT(framesShown() > beforeLoss + 150, 10000);
        QTRY_COMPARE(open->text(), QStringLiteral("关闭")); // the port counts as open again
        const QLabel *changed = m_window->findChild<QLabel *>(QStringLiteral("statusCard"));
        QTRY_COMPARE(changed->isVisible(), !sameCard);
        if (!sameCard)
            QCOMPARE(changed->text(),
                     QStringLiteral("重连后驱动卡与之前不同：采样频率 200 → 100 Hz，"
                                    "传感器 16 → 4 个"));
        m_window->recording()->stop();
        QTRY_VERIFY(!m_window->recording()->isRecording());

        RecordReader reader;
        QVERIFY2(reader.read(path), qPrintable(reader.errorString()));
        QCOMPARE(reader.gaps().size(), std::size_t(1));
        const qint64 back = reader.gaps().front().frameIndex;
        QCOMPARE(reader.frames().at(std::size_t(back)).sensors, sameCard ? 16 : 4);
        QCOMPARE(reader.rateChanges().size(), std::size_t(sameCard ? 0 : 1));
        if (!sameCard)
            QVERIFY(reader.rateChanges().front().hz == 100 &&
                    reader.rateChanges().front().frameIndex >= back);
        QVERIFY(m_boxes->boxes.isEmpty()); // nobody is told of the card's silence
        m_window.reset();                  // before the card it reads
    }

    void markers_fromTheMenu_landInTheFile_andShowWhenReplayed_data()
    {
        QTest::addColumn<int>("markers");
        QTest::newRow("none") << 0;
        QTest::newRow("two") << 2;
    }

    void markers_fromTheMenu_landInTheFile_andShowWhenReplayed()
    {
        QFETCH(int, markers);
        openPort();
        const QString path = m_dir.filePath(QTest::currentDataTag() + QStringLiteral(".csv"));
        QVERIFY(m_window->recording()->start(path));
        QAction *mark = menuEntry(*m_window, "menu", "actionMarker"); // the curve window's
        auto *curves = qobject_cast<CurveGraphic *>(mark ? mark->parent() : nullptr);
        QVERIFY(curves);
        for (int i = 1; i <= markers + 1; ++i) {
            QTRY_VERIFY(curves->sampleCounter() > 60 * i);
            if (i <= markers)
                mark->trigger();
        }
        m_action->trigger();
        QTRY_VERIFY(!m_window->recording()->isRecording());

        RecordReader reader;
        QVERIFY2(reader.read(path), qPrintable(reader.errorString()));
        QCOMPARE(int(reader.markers().size()), markers);
        const SensorSeries &shown = curves->series(0);
        for (int i = 0; i < markers; ++i) {
            const RecordMarker &marker = reader.markers().at(std::size_t(i));
            QCOMPARE(marker.number, i + 1);
            QCOMPARE(marker.label, QStringLiteral("标记 %1").arg(i + 1));
            // After the row of the frame the window marked.
            const qsizetype at = shown.keys.indexOf(curves->markers().at(i).key);
            const Axit_t &row = reader.frames().at(std::size_t(marker.frameIndex)).readings[0];
            QCOMPARE(
                QList<double>({double(row.x), double(row.y), double(row.z)}),
                QList<double>({shown.xValues.at(at), shown.yValues.at(at), shown.zValues.at(at)}));
        }
        // Comments at the top, the header, then a row per frame and a line per marker only.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        const qsizetype header = lines.indexOf(RecordFormat::headerLine());
        QCOMPARE(lines.size() - header - 2, qsizetype(reader.frames().size()) + markers);
        if (markers == 0)
            return;

        SimulatedCard replay;
        auto recording = std::make_unique<RecordIndex>();
        QVERIFY(recording->open(path));
        QVERIFY(replay.start({}, [&](CardModel &model) {
            auto *player = new RecordingPlayer(std::move(recording), 1, false, &model);
            connect(player, &RecordingPlayer::markerPlayed, m_window.get(),
                    &MainWindow::showReplayedMarker);
        }));
        QTest::mouseClick(m_window->findChild<QPushButton *>(QStringLiteral("btnSerialOpen")),
                          Qt::LeftButton);
        QTRY_VERIFY(!m_action->isEnabled());
        m_window->setExtraPorts({replay.portName(), m_card->portName()});
        m_window->findChild<QComboBox *>(QStringLiteral("SerialPortSelect"))
            ->setCurrentText(replay.portName());
        openPort();
        QTRY_COMPARE_WITH_TIMEOUT(curves->markers().size(), 2 * markers, 5000);
        QCOMPARE(curves->markers().last().label, QStringLiteral("标记 %1").arg(markers));
        m_window.reset(); // before the card it reads
    }

    // The card goes from 200 to 100 Hz during a recording: the file says so at the first row at
    // 100 Hz, and its replay serves each part at its rate (its review: tst_review).
    void rateChange_isInTheFile_andItsReplayServesEachPartAtItsRate()
    {
        openPort();
        const QString path = m_dir.filePath(QStringLiteral("rates.csv"));
        QVERIFY(m_window->recording()->start(path));
        QTRY_VERIFY_WITH_TIMEOUT(framesShown() > 150, 5000);
        m_window->findChild<QComboBox *>(QStringLiteral("SampleFreSelect"))->setCurrentIndex(3);
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->boxes.size(), 1, kOpenMs);
        QCOMPARE(m_boxes->boxes.first().text, QStringLiteral("采样频率设置成功"));
        const qint64 changedAt = framesShown();
        QTRY_VERIFY_WITH_TIMEOUT(framesShown() > changedAt + 100, 5000);
        m_action->trigger();
        QTRY_VERIFY(!m_window->recording()->isRecording());

        RecordReader reader;
        QVERIFY2(reader.read(path), qPrintable(reader.errorString()));
        const std::vector<RecordedFrame> &rows = reader.frames();
        QCOMPARE(reader.header().frequencyHz, 200);
        QCOMPARE(reader.rateChanges().size(), std::size_t(1));
        const RecordRateChange change = reader.rateChanges().front();
        QCOMPARE(change.hz, 100);
        QCOMPARE(change.timeUs, rows[std::size_t(change.frameIndex)].timeUs);
        QCOMPARE(rateOfRows(rows, 0, change.frameIndex), 200);
        QCOMPARE(rateOfRows(rows, change.frameIndex, qint64(rows.size())), 100);

        auto recording = std::make_unique<RecordIndex>();
        QVERIFY(recording->open(path));
        CardModel replay;
        QList<int> rates; // the card's frequency index as it sends each frame
        connect(&replay, &CardModel::bytesToHost, this, [&](const QByteArray &bytes) {
            if (bytes.size() > 2 && bytes.at(2) == char(CmdSensorData))
                rates.append(replay.frequencyIndex());
        });
        auto *player = new RecordingPlayer(std::move(recording), 10, false, &replay);
        QSignalSpy ended(player, &RecordingPlayer::ended);
        replay.start();
        replay.setHostOpen(true);
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 10000);
        QCOMPARE(rates.size(), qsizetype(rows.size()));
        QCOMPARE(rates.count(kFastestIndex), change.frameIndex);
        QCOMPARE(rates.indexOf(3), change.frameIndex);
    }

private:
    void openPort()
    {
        m_window->openSelectedPort();
        QTRY_VERIFY_WITH_TIMEOUT(m_action->isEnabled(), kOpenMs);
    }

    // The frame count in the status bar: "…（N 帧）".
    qint64 framesShown()
    {
        if (m_window)
            m_lastStatus = m_status->text();
        static const QRegularExpression count(QStringLiteral("（(\\d+) 帧）"));
        return count.match(m_lastStatus).captured(1).toLongLong();
    }

    QTemporaryDir m_dir;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<SimulatedCard> m_card;
    std::unique_ptr<MainWindow> m_window;
    QAction *m_action = nullptr;
    QLabel *m_status = nullptr;
    QString m_lastStatus;
};

QTEST_MAIN(tst_MainWindowRecord)
#include "tst_mainwindowrecord.moc"
