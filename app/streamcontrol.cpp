// SPDX-License-Identifier: GPL-3.0-or-later
#include "streamcontrol.h"

#include "cardheader.h"
#include "elidinglabel.h"
#include "myserialport.h"
#include "streamserver.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QInputDialog>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>

namespace {

Q_LOGGING_CATEGORY(lcApp, "eskin.app")

const QString kAddressKey = QStringLiteral("stream/address");

} // namespace

StreamControl::StreamControl(MySerialport *card, QMenu *menu, ElidingLabel *status, QWidget *window)
    : QObject(window)
    , m_window(window)
    , m_server(new StreamServer(this))
    , m_action(new QAction(window))
    , m_status(status)
{
    m_action->setObjectName(QStringLiteral("actionServe"));
    menu->addAction(m_action);
    connect(m_action, &QAction::triggered, this, &StreamControl::toggle);
    // In the worker thread: the server formats the line there and hands it over.
    connect(card, &SlaveProtocol::stampedFrame, m_server, &StreamServer::addFrame,
            Qt::DirectConnection);
    StreamServer *server = m_server;
    followCardHeader(card, server,
                     [server](const RecordHeader &header) { server->setHeader(header); });
    followCardGaps(card, server, [server](const QString &cause) { server->beginGap(cause); });
    connect(m_server, &StreamServer::clientCountChanged, this, &StreamControl::showState);
    connect(m_server, &StreamServer::clientRefused, this, &StreamControl::showState);
    connect(m_server, &StreamServer::refusalLogged, this,
            [](const QString &line) { qCWarning(lcApp).noquote() << line; });
    showState();
}

bool StreamControl::isServing() const
{
    return m_server->isListening();
}

bool StreamControl::start(const QString &address)
{
    QHostAddress host;
    quint16 port = 0;
    if (!StreamServer::parseAddress(address, &host, &port)) {
        QMessageBox::warning(m_window, tr("提示"),
                             tr("“%1”不是地址和端口：请填写 [地址:]端口，如 5555 或 "
                                "0.0.0.0:5555。")
                                 .arg(address));
        return false;
    }
    const bool serving = m_server->listen(host, port);
    showState();
    if (!serving)
        QMessageBox::critical(
            m_window, tr("错误信息"),
            tr("无法在 %1 共享数据流：%2")
                .arg(StreamServer::addressText(host, port), m_server->errorString()));
    return serving;
}

void StreamControl::stop()
{
    m_server->close();
    showState();
}

void StreamControl::sendMarker(int number, const QString &label, const FrameStamp &marked)
{
    if (isServing())
        m_server->addMarker(marked, number, label);
}

void StreamControl::toggle()
{
    if (isServing()) {
        stop();
        return;
    }
    QSettings settings;
    bool chosen = false;
    const QString address = QInputDialog::getText(
        m_window, tr("共享数据流"), tr("地址和端口（[地址:]端口；只填端口时仅本机的程序可读）："),
        QLineEdit::Normal,
        settings.value(kAddressKey, QString::fromLatin1(kDefaultAddress)).toString(), &chosen);
    if (!chosen)
        return;
    if (start(address.trimmed()))
        settings.setValue(kAddressKey, address.trimmed());
}

bool StreamControl::event(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        showState();
    return QObject::event(event);
}

void StreamControl::showState()
{
    const bool serving = isServing();
    m_action->setText(serving ? tr("停止共享数据流") : tr("共享数据流…"));
    m_status->setVisible(serving);
    if (!serving)
        return;
    const QString address =
        StreamServer::addressText(m_server->serverAddress(), m_server->serverPort());
    const qint64 refused = m_server->refusedClients();
    m_status->setWholeText(
        refused == 0 ? tr("数据流：%1（%2 个客户端）").arg(address).arg(m_server->clientCount())
                     : tr("数据流：%1（%2 个客户端，已拒绝 %3 个）")
                           .arg(address)
                           .arg(m_server->clientCount())
                           .arg(refused));
}
