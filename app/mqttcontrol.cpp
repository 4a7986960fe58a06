// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqttcontrol.h"

#include "cardheader.h"
#include "elidinglabel.h"
#include "mqttclient.h"
#include "mqttpublisher.h"
#include "myserialport.h"

#include <QAction>
#include <QEvent>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>

namespace {

const QString kUrlKey = QStringLiteral("mqtt/url");
// The field's colour while the broker is not reached.
const QString kWaitingStyle = QStringLiteral("color: #c05800;");

} // namespace

MqttControl::MqttControl(MySerialport *card, QMenu *menu, ElidingLabel *status, QWidget *window)
    : QObject(window)
    , m_window(window)
    , m_publisher(new MqttPublisher(this))
    , m_action(new QAction(window))
    , m_status(status)
{
    m_action->setObjectName(QStringLiteral("actionMqtt"));
    menu->addAction(m_action);
    connect(m_action, &QAction::triggered, this, &MqttControl::toggle);
    // In the worker thread: the publisher formats the line there and hands it over.
    MqttPublisher *publisher = m_publisher;
    connect(card, &SlaveProtocol::stampedFrame, publisher, &MqttPublisher::addFrame,
            Qt::DirectConnection);
    followCardHeader(card, publisher,
                     [publisher](const RecordHeader &header) { publisher->setHeader(header); });
    followCardGaps(card, publisher,
                   [publisher](const QString &cause) { publisher->beginGap(cause); });
    connect(publisher, &MqttPublisher::stateChanged, this,
            [this](MqttConnection::State state, const QString &reason, int retryMs) {
                m_state = state;
                m_reason = reason;
                m_retryMs = retryMs;
                showState();
            });
    connect(publisher, &MqttPublisher::framesDropped, this, &MqttControl::showState);
    showState();
}

void MqttControl::setSecrets(const QByteArray &password, const QString &caFile)
{
    m_password = password;
    m_caFile = caFile;
}

bool MqttControl::start(const QString &url)
{
    return publish(url, false);
}

// A user's password is asked for when the command line gave none (`askPassword`).
bool MqttControl::publish(const QString &url, bool askPassword)
{
    MqttOptions options;
    switch (MqttUrl::parse(url, MqttUrl::Use::Publish, &options.url)) {
    case MqttUrl::Problem::None:
        break;
    case MqttUrl::Problem::Password:
        QMessageBox::warning(m_window, tr("提示"),
                             tr("密码不能写在地址里：请去掉地址中的“:密码”，发布时再输入密码（或"
                                "设置环境变量 ESKIN_MQTT_PASSWORD）。"));
        return false;
    case MqttUrl::Problem::Wildcard:
        QMessageBox::warning(m_window, tr("提示"),
                             tr("发布的前缀不能含通配符 +：每块电子皮肤用一个前缀，如 "
                                "mqtt://127.0.0.1/lab/skin1。"));
        return false;
    default:
        QMessageBox::warning(m_window, tr("提示"),
                             tr("“%1”不是 MQTT 地址：请填写 mqtt://[用户名@]主机[:端口]/前缀，如 "
                                "mqtt://127.0.0.1/lab/skin1（mqtts:// 为加密连接）。")
                                 .arg(url));
        return false;
    }
    options.password = m_password;
    options.caFile = m_caFile;
    if (askPassword && !options.url.user.isEmpty() && m_password.isEmpty()) {
        bool given = false;
        options.password =
            QInputDialog::getText(
                m_window, tr("发布到 MQTT"),
                tr("%1 在 %2 的密码：").arg(options.url.user, options.url.brokerText()),
                QLineEdit::Password, QString(), &given)
                .toUtf8();
        if (!given)
            return false;
    }
    m_url = options.url;
    m_publishing = true;
    m_publisher->start(options);
    showState();
    return true;
}

void MqttControl::stop()
{
    m_publisher->stop();
    m_publishing = false;
    showState();
}

void MqttControl::sendMarker(int number, const QString &label, const FrameStamp &marked)
{
    if (m_publishing)
        m_publisher->addMarker(marked, number, label);
}

void MqttControl::toggle()
{
    if (m_publishing) {
        stop();
        return;
    }
    QSettings settings;
    bool chosen = false;
    const QString url = QInputDialog::getText(
        m_window, tr("发布到 MQTT"),
        tr("代理服务器的地址（mqtt://[用户名@]主机[:端口]/前缀，mqtts:// 为加密连接）："),
        QLineEdit::Normal, settings.value(kUrlKey, QString::fromLatin1(kDefaultUrl)).toString(),
        &chosen);
    if (chosen && publish(url.trimmed(), true))
        settings.setValue(kUrlKey, url.trimmed());
}

bool MqttControl::event(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        showState();
    return QObject::event(event);
}

void MqttControl::showState()
{
    m_action->setText(m_publishing ? tr("停止发布到 MQTT") : tr("发布到 MQTT…"));
    m_status->setVisible(m_publishing);
    if (!m_publishing)
        return;
    QString state;
    switch (m_state) {
    case MqttConnection::State::Connected:
        state = tr("已连接");
        break;
    case MqttConnection::State::Waiting:
        state = tr("未连接，%1 秒后重试").arg(m_retryMs / 1000.0);
        break;
    default:
        state = tr("连接中…");
        break;
    }
    QString text = tr("MQTT %1：%2").arg(m_url.brokerText(), state);
    if (const qint64 dropped = m_publisher->droppedFrames(); dropped > 0)
        text += tr("，%1 帧未发布").arg(dropped);
    m_status->setWholeText(text);
    // The field is short: the URL and the reason of a failure are in its tooltip.
    QString more = text + u'\n' + m_url.text();
    if (m_state == MqttConnection::State::Waiting && !m_reason.isEmpty())
        more += u'\n' + m_reason;
    m_status->setToolTip(more);
    m_status->setStyleSheet(m_state == MqttConnection::State::Connected ? QString()
                                                                        : kWaitingStyle);
}
