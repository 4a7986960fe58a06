// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MQTTCONTROL_H
#define MQTTCONTROL_H

#include "framestamp.h"
#include "mqttconnection.h"

#include <QObject>
#include <QString>

class ElidingLabel;
class MqttPublisher;
class MySerialport;
class QAction;
class QMenu;
class QWidget;

// Publishes the live stream to an MQTT broker from the window (MqttPublisher). It owns:
// - the menu entry `actionMqtt`: "发布到 MQTT…" asks for the broker's URL, offering the last
//   one chosen there (remembered in the settings), and for the password when the URL names a
//   user and none was given at start; it then publishes. While it does, the entry reads
//   "停止发布到 MQTT" and stops it;
// - the status field `statusMqtt`, shown while publishing: the broker and the connection's
//   state ("MQTT HOST:PORT：已连接", "连接中…", or when it tries again), with the frames the broker
//   could not take; its tooltip adds the URL and why the connection failed.
// A broker that cannot be reached is only told in the status bar: publishing goes on trying.
// The publisher takes the frames in the worker thread straight from the decoder, follows the
// card's port and frequency for the stream's head, and marks a closed or lost port with a gap.
// Texts are set anew on a change of language.
class MqttControl : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *kDefaultUrl = "mqtt://127.0.0.1/lab/skin1";

    // As StreamControl's: `card` lives in the worker thread and must stop emitting before
    // this object goes; `window` is the messages' parent and owns this object.
    MqttControl(MySerialport *card, QMenu *menu, ElidingLabel *status, QWidget *window);

    // The password (from --mqtt-password-file or the environment) and the CA file of the
    // command line, for every start.
    void setSecrets(const QByteArray &password, const QString &caFile);
    // Publishes to `url`; false after telling the operator why not (a malformed URL).
    bool start(const QString &url);
    void stop();
    bool isPublishing() const { return m_publishing; }
    const MqttPublisher *publisher() const { return m_publisher; }

public slots:
    // A marker on the frame `marked` goes to the broker after the newest frame's row, with the
    // time of the row it marks, as the stream places it.
    void sendMarker(int number, const QString &label, const FrameStamp &marked);

protected:
    bool event(QEvent *event) override;

private slots:
    void toggle();

private:
    bool publish(const QString &url, bool askPassword);
    void showState();

    QWidget *m_window;
    MqttPublisher *m_publisher;
    QAction *m_action;
    ElidingLabel *m_status;
    QByteArray m_password;
    QString m_caFile;
    MqttUrl m_url;
    bool m_publishing = false;
    MqttConnection::State m_state = MqttConnection::State::Stopped;
    QString m_reason;
    int m_retryMs = 0;
};

#endif // MQTTCONTROL_H
