// SPDX-License-Identifier: GPL-3.0-or-later
// Publishing to a real Mosquitto broker from the main window: the menu entry and its remembered
// URL, the simulated card's head, frames and a marker at a subscriber, the status field through
// a broker that goes away and comes back, and a broker not there at the start, tried until it
// is. The URL's rules are the command line's (tst_commandline, tst_mqtt).

#include "mainwindow.h"
#include "menuentry.h"
#include "modaldialoganswer.h"
#include "mosquittobroker.h"
#include "mqttclient.h"
#include "mqttcontrol.h"
#include "recordformat.h"
#include "simulatedcard.h"

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

constexpr int kWaitMs = 30000;

// What a subscriber of the test's own has received, by the part of the stream.
struct Subscriber
{
    explicit Subscriber(const QString &url)
    {
        MqttOptions options;
        MqttUrl::parse(url, MqttUrl::Use::Subscribe, &options.url);
        QObject::connect(&client, &MqttClient::messageReceived,
                         [this](const QByteArray &topic, const QByteArray &payload) {
                             received[topic.mid(topic.lastIndexOf('/') + 1)] += payload;
                         });
        client.start(options, {}, {"lab/+/head", "lab/+/frames", "lab/+/events", "lab/+/status"});
    }
    MqttClient client;
    QHash<QByteArray, QByteArray> received;
};

} // namespace

class tst_MqttControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().remove(QStringLiteral("mqtt"));
        QVERIFY(m_dir.isValid());
        QVERIFY(m_card.start());
        m_window = std::make_unique<MainWindow>();
        m_window->setExtraPorts({m_card.portName()});
        m_action = m_window->findChild<QAction *>(QStringLiteral("actionMqtt"));
        m_status = m_window->findChild<QLabel *>(QStringLiteral("statusMqtt"));
        QVERIFY(m_action && m_status);
        m_window->show();
    }

    void cleanupTestCase() { m_window.reset(); }

    void menu_publishesTheCard_andTheStatusFollowsTheBroker()
    {
        MosquittoBroker broker(m_dir.path());
        QVERIFY(broker.start());
        Subscriber subscriber(broker.url(QStringLiteral("lab/+")));
        QTRY_COMPARE_WITH_TIMEOUT(subscriber.client.state(), MqttConnection::State::Connected,
                                  kWaitMs);
        const QString url = broker.url(QStringLiteral("lab/window"));
        QCOMPARE(answerTextDialog(m_action, url), QString::fromLatin1(MqttControl::kDefaultUrl));
        QCOMPARE(m_action->text(), QStringLiteral("停止发布到 MQTT"));
        const QString address = QStringLiteral("127.0.0.1:%1").arg(broker.port());
        QTRY_COMPARE_WITH_TIMEOUT(m_status->text(), QStringLiteral("MQTT %1：已连接").arg(address),
                                  kWaitMs);
        QVERIFY(m_status->toolTip().contains(url));
        m_window->openSelectedPort();
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.received["frames"].count('\n') > 20, kWaitMs);
        const QByteArray head = subscriber.received["head"];
        QVERIFY(head.startsWith("# program: "));
        QVERIFY(head.contains("# port: " + m_card.portName().toUtf8() + "\n# baud: 115200\n"));
        QVERIFY(head.endsWith(RecordFormat::headerLine() + '\n'));
        QAction *mark = menuEntry(*m_window, "menu", "actionMarker");
        QVERIFY(mark);
        mark->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.received["events"].contains(",1,标记 1\n"), kWaitMs);

        broker.stop();
        QTRY_VERIFY_WITH_TIMEOUT(
            m_status->text().startsWith(QStringLiteral("MQTT %1：未连接，").arg(address)), kWaitMs);
        QVERIFY(broker.start());
        // Back, with the frames the broker missed counted.
        const QRegularExpression back(QStringLiteral("^MQTT %1：已连接，[1-9][0-9]* 帧未发布$")
                                          .arg(QRegularExpression::escape(address)));
        QTRY_VERIFY_WITH_TIMEOUT(back.match(m_status->text()).hasMatch(), kWaitMs);
        subscriber.received.clear();
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.received["frames"].count('\n') > 20, kWaitMs);

        m_action->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.received["status"].endsWith("offline"), kWaitMs);
        QVERIFY(m_status->isHidden());
        QCOMPARE(answerTextDialog(m_action, QString()), url); // remembered; cancelled
        QVERIFY(!m_window->mqtt()->isPublishing());
    }

    void brokerMissingAtStart_isToldInTheStatusBar_andTriedUntilThere()
    {
        MosquittoBroker broker(m_dir.path());
        QVERIFY(broker.start()); // for a port of its own, free once it has stopped
        broker.stop();
        const QString address = QStringLiteral("127.0.0.1:%1").arg(broker.port());
        QVERIFY(m_window->mqtt()->start(broker.url(QStringLiteral("lab/late"))));
        QTRY_VERIFY_WITH_TIMEOUT(
            m_status->text().startsWith(QStringLiteral("MQTT %1：未连接，").arg(address)), kWaitMs);
        QVERIFY(m_status->toolTip().endsWith(QLatin1String("\nConnection refused")));
        QVERIFY(broker.start());
        // The frames of the card that runs since the last test were not published meanwhile.
        const QRegularExpression connected(QStringLiteral("^MQTT %1：已连接(，[0-9]+ 帧未发布)?$")
                                               .arg(QRegularExpression::escape(address)));
        QTRY_VERIFY_WITH_TIMEOUT(connected.match(m_status->text()).hasMatch(), kWaitMs);
        m_window->mqtt()->stop();
    }

private:
    QTemporaryDir m_dir;
    SimulatedCard m_card;
    std::unique_ptr<MainWindow> m_window;
    QAction *m_action = nullptr;
    QLabel *m_status = nullptr;
};

QTEST_MAIN(tst_MqttControl)
#include "tst_mqttcontrol.moc"
