// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkstatusbar.h"

#include "elidinglabel.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QStatusBar>
#include <QStringList>
#include <QVBoxLayout>

namespace {

// No sensor-data frame for at least this long, and the port open: the stream is shown as stale.
constexpr qint64 kStaleAfterMs = 1000;
const char *const kAlertStyle = "color: red";
const char *const kWarningStyle = "color: #b35900";

} // namespace

LinkStatusBar::LinkStatusBar(QStatusBar *bar)
    : QObject(bar)
    , m_bar(bar)
{
    auto *panel = new QWidget(bar);
    panel->setObjectName(QStringLiteral("statusLinkPanel"));
    auto *rows = new QVBoxLayout(panel);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    // The health line on top: its warnings come first.
    for (QHBoxLayout *&line : m_lines) {
        line = new QHBoxLayout;
        line->setSpacing(12);
        line->addStretch(1);
        rows->addLayout(line);
    }
    bar->addWidget(panel, 1);

    m_stale = addField(new QLabel, "statusStale", Line::Health, kAlertStyle);
    m_sensors = addField(new QLabel, "statusSensors", Line::Health, kWarningStyle);
    m_rate = addField(new QLabel, "statusRate", Line::Health, nullptr);
    m_errors = new ElidingLabel(Qt::ElideRight);
    addField(m_errors, "statusErrors", Line::Health, kAlertStyle);
    m_port = addPortLineField("statusPort");
    m_card = new ElidingLabel(Qt::ElideRight);
    addField(m_card, "statusCard", Line::Port, kWarningStyle);
    m_card->hide();
    showPort();
}

ElidingLabel *LinkStatusBar::addPortLineField(const char *objectName)
{
    auto *label = new ElidingLabel(Qt::ElideMiddle);
    addField(label, objectName, Line::Port, nullptr);
    return label;
}

// Each line ends in a stretch; fields go before it.
QLabel *LinkStatusBar::addField(QLabel *label, const char *objectName, Line line, const char *style)
{
    label->setObjectName(QLatin1String(objectName));
    if (style)
        label->setStyleSheet(QLatin1String(style));
    QHBoxLayout *row = m_lines[int(line)];
    row->insertWidget(row->count() - 1, label);
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

void LinkStatusBar::showWait(ReconnectWait wait, const QString &portName)
{
    m_wait = wait;
    m_waitPort = portName;
    showPort();
}

void LinkStatusBar::showSensorCount(int shown)
{
    m_shownSensors = shown;
    if (m_open)
        showSensorWarning();
}

void LinkStatusBar::showReconnectedCard(const CardProfile &before, const CardProfile &after)
{
    m_cardBefore = before;
    m_cardAfter = after;
    showCardChange();
}

void LinkStatusBar::clearReconnectedCard()
{
    showReconnectedCard({}, {});
}

bool LinkStatusBar::event(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        if (m_open)
            showFigures();
        showPort();
        showCardChange();
    }
    return QObject::event(event);
}

void LinkStatusBar::showCardChange()
{
    const CardProfile &before = m_cardBefore;
    const CardProfile &after = m_cardAfter;
    const bool differs = after.differsFrom(before);
    m_card->setVisible(differs);
    if (!differs)
        return;
    QStringList changes;
    if (after.rateDiffersFrom(before))
        changes << tr("采样频率 %1 → %2 Hz").arg(before.frequencyHz).arg(after.frequencyHz);
    if (after.sensorsDifferFrom(before))
        changes << tr("传感器 %1 → %2 个").arg(before.sensors).arg(after.sensors);
    m_card->setWholeText(tr("重连后驱动卡与之前不同：%1").arg(changes.join(tr("，"))));
    m_card->setToolTip(m_card->toolTip() + u'\n' +
                       tr("重连的端口上的驱动卡所报的采样频率或传感器数与丢失前不同，可能是另一块"
                          "驱动卡。记录和数据流中已写明。"));
}

void LinkStatusBar::showFigures()
{
    const bool stale = m_health.msWithoutSensorData >= kStaleAfterMs;
    m_stale->setText(stale ? tr("无数据 %1 s").arg(m_health.msWithoutSensorData / 1000)
                           : QString());
    m_stale->setVisible(stale);
    showSensorWarning();
    m_rate->setText(tr("%1 帧/秒").arg(qRound(m_health.sensorFramesPerSecond)));
    const LinkCounters &counts = m_health.counters;
    QStringList errors;
    if (counts.checksumErrors > 0)
        errors << tr("校验错误 %1").arg(counts.checksumErrors);
    if (counts.discardedBytes > 0)
        errors << tr("丢弃 %1 字节").arg(counts.discardedBytes);
    m_errors->setWholeText(errors.join(QStringLiteral("  ")));
    m_errors->setVisible(!errors.isEmpty());
}

void LinkStatusBar::showSensorWarning()
{
    const int reported = m_health.sensorCount;
    const bool differs = reported > 0 && reported != m_shownSensors;
    if (differs) {
        m_sensors->setText(tr("驱动卡报告 %1 个传感器").arg(reported));
        m_sensors->setToolTip(
            tr("窗口显示 %1 个传感器。勾选“菜单” → “传感器数跟随驱动卡”，窗口即跟随驱动卡。")
                .arg(m_shownSensors));
    }
    m_sensors->setVisible(differs);
}

void LinkStatusBar::showPort()
{
    QString text;
    if (m_open)
        text = tr("已连接 %1 @ %2").arg(m_health.portName).arg(m_health.baudRate);
    else if (m_wait == ReconnectWait::Lost)
        text = tr("串口丢失，等待重连…");
    else if (m_wait == ReconnectWait::Unanswered)
        text = tr("%1 上无驱动卡应答，等待重连…").arg(m_waitPort);
    else if (m_wait == ReconnectWait::OtherDevice)
        text = tr("%1 现为另一设备，等待原设备…").arg(m_waitPort);
    else if (m_wait == ReconnectWait::GaveUp)
        text = tr("%1 上的设备不像驱动卡那样应答，已停止重连，请按“打开”").arg(m_waitPort);
    else
        text = tr("未连接");
    m_port->setWholeText(text);
    m_rate->setVisible(m_open);
    if (!m_open) {
        m_stale->hide();
        m_sensors->hide();
        m_errors->hide();
    }
}
