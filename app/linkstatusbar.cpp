// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkstatusbar.h"

#include <QEvent>
#include <QLabel>
#include <QStatusBar>
#include <QStringList>

namespace {

// No sensor-data frame for at least this long, and the port open: the stream is shown as stale.
constexpr qint64 kStaleAfterMs = 1000;

} // namespace

LinkStatusBar::LinkStatusBar(QStatusBar *bar)
    : QObject(bar)
    , m_bar(bar)
    , m_port(addField("statusPort", false))
    , m_rate(addField("statusRate", false))
    , m_errors(addField("statusErrors", true))
    , m_stale(addField("statusStale", true))
{
    showPort();
}

QLabel *LinkStatusBar::addField(const char *objectName, bool alert)
{
    auto *label = new QLabel(m_bar);
    label->setObjectName(QLatin1String(objectName));
    if (alert)
        label->setStyleSheet(QStringLiteral("color: red"));
    m_bar->addWidget(label);
    return label;
}

// The card publishes the first snapshot of an open before it reports the open itself.
void LinkStatusBar::showPortState(bool open)
{
    m_open = open;
    if (open)
        showFigures();
    showPort();
}

void LinkStatusBar::showHealth(const LinkHealth &health)
{
    // A snapshot sent just before the port closed arrives after the close: it is kept, but not
    // shown, and the next open's first snapshot replaces it.
    m_health = health;
    if (m_open)
        showFigures();
}

void LinkStatusBar::showWaiting(bool waiting)
{
    m_waiting = waiting;
    showPort();
}

bool LinkStatusBar::event(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        if (m_open)
            showFigures();
        showPort();
    }
    return QObject::event(event);
}

void LinkStatusBar::showFigures()
{
    const LinkCounters &counts = m_health.counters;
    m_rate->setText(tr("%1 帧/秒").arg(qRound(m_health.sensorFramesPerSecond)));
    QStringList errors;
    if (counts.checksumErrors > 0)
        errors << tr("校验错误 %1").arg(counts.checksumErrors);
    if (counts.discardedBytes > 0)
        errors << tr("丢弃 %1 字节").arg(counts.discardedBytes);
    m_errors->setText(errors.join(QStringLiteral("  ")));
    m_errors->setVisible(!errors.isEmpty());
    const bool stale = m_health.msWithoutSensorData >= kStaleAfterMs;
    m_stale->setText(stale ? tr("无数据 %1 s").arg(m_health.msWithoutSensorData / 1000)
                           : QString());
    m_stale->setVisible(stale);
}

void LinkStatusBar::showPort()
{
    if (m_open)
        m_port->setText(tr("已连接 %1 @ %2").arg(m_health.portName).arg(m_health.baudRate));
    else
        m_port->setText(m_waiting ? tr("串口丢失，等待重连…") : tr("未连接"));
    m_rate->setVisible(m_open);
    if (!m_open) {
        m_errors->hide();
        m_stale->hide();
    }
}
