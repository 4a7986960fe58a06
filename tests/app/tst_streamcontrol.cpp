// SPDX-License-Identifier: GPL-3.0-or-later
// Sharing the stream from the main window: the menu entry and its remembered address, the
// status field with the clients, a client reading the simulated card's frames, a marker and the
// gap of a port closed and opened again, the reason of an address that cannot be used. A
// malformed --serve is the command line's (tst_commandline).

#include "cardmodel.h"
#include "curvegraphic.h"
#include "mainwindow.h"
#include "menuentry.h"
#include "messageboxrecorder.h"
#include "modaldialoganswer.h"
#include "nomachineports.h"
#include "recordreader.h"
#include "simulatedcard.h"
#include "streamcontrol.h"
#include "streamserver.h"

#include <QAction>
#include <QBuffer>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

class tst_StreamControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().remove(QStringLiteral("stream"));
        QVERIFY(m_card.start());
        m_window = std::make_unique<MainWindow>();
        m_window->setExtraPorts({m_card.portName()});
        m_action = m_window->findChild<QAction *>(QStringLiteral("actionServe"));
        m_status = m_window->findChild<QLabel *>(QStringLiteral("statusServe"));
        QVERIFY(m_action && m_status);
        m_window->show();
    }

    void cleanupTestCase() { m_window.reset(); }

    void menu_servesTheCardsFrames_andRemembersTheAddress()
    {
        QCOMPARE(answerTextDialog(m_action, QStringLiteral("127.0.0.1:0")),
                 QString::fromLatin1(StreamControl::kDefaultAddress));
        QVERIFY(m_window->stream()->isServing());
        QCOMPARE(m_action->text(), QStringLiteral("停止共享数据流"));
        const quint16 port = m_window->stream()->server()->serverPort();
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE(m_status->text(),
                     QStringLiteral("数据流：127.0.0.1:%1（1 个客户端）").arg(port));
        m_window->openSelectedPort();
        QByteArray lines;
        QTRY_VERIFY_WITH_TIMEOUT((lines += client.readAll()).count('\n') > 20, 5000);
        QVERIFY(lines.startsWith("# program: "));
        QVERIFY(lines.contains("# port: " + m_card.portName().toUtf8() + "\n# baud: 115200\n"));
        QAction *mark = menuEntry(*m_window, "menu", "actionMarker");
        QVERIFY(mark);
        mark->trigger();
        QTRY_VERIFY((lines += client.readAll()).contains(",1,标记 1\n"));
        // On the frame the window shows as newest, with that frame's time.
        QBuffer stream(&lines);
        RecordReader streamed;
        QVERIFY(stream.open(QIODevice::ReadOnly) && streamed.read(stream, QStringLiteral("s")));
        QCOMPARE(streamed.markers().size(), std::size_t(1));
        const auto *curves = qobject_cast<CurveGraphic *>(mark->parent());
        const SensorSeries &shown = curves->series(0);
        const qsizetype at = shown.keys.indexOf(curves->markers().first().key);
        const Axit_t marked =
            streamed.frames().at(std::size_t(streamed.markers()[0].frameIndex)).readings[0];
        QCOMPARE(QList<double>({double(marked.x), double(marked.y), double(marked.z)}),
                 QList<double>({shown.xValues.at(at), shown.yValues.at(at), shown.zValues.at(at)}));

        // A port closed and opened again while the stream runs is a gap for its clients.
        const auto *open = m_window->findChild<QPushButton *>(QStringLiteral("btnSerialOpen"));
        m_window->openSelectedPort();
        QTRY_COMPARE(open->text(), QStringLiteral("打开"));
        m_window->openSelectedPort();
        QTRY_VERIFY_WITH_TIMEOUT((lines += client.readAll()).contains(",port closed\n"), 5000);

        m_action->trigger();
        QVERIFY(!m_window->stream()->isServing());
        QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(m_status->isHidden());
        QCOMPARE(answerTextDialog(m_action, QString()), QStringLiteral("127.0.0.1:0")); // cancelled
        QVERIFY(!m_window->stream()->isServing());
    }

    void addressInUse_isReportedWithTheReason()
    {
        QTcpServer occupant;
        QVERIFY(occupant.listen(QHostAddress::LocalHost));
        MessageBoxRecorder boxes;
        const QString address = QStringLiteral("127.0.0.1:%1").arg(occupant.serverPort());
        QTcpServer second; // the system's reason, in Qt's words for the language shown
        QVERIFY(!second.listen(QHostAddress::LocalHost, occupant.serverPort()));
        QVERIFY(!m_window->stream()->start(address));
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].text,
                 QStringLiteral("无法在 %1 共享数据流：%2").arg(address, second.errorString()));
        QVERIFY(m_status->isHidden());
    }

private:
    SimulatedCard m_card;
    std::unique_ptr<MainWindow> m_window;
    QAction *m_action = nullptr;
    QLabel *m_status = nullptr;
};

QTEST_MAIN(tst_StreamControl)
#include "tst_streamcontrol.moc"
