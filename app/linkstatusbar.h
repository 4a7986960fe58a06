// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LINKSTATUSBAR_H
#define LINKSTATUSBAR_H

#include "cardprofile.h"
#include "linkhealth.h"
#include "portreconnector.h"

#include <QObject>
#include <QString>

class ElidingLabel;
class QHBoxLayout;
class QLabel;
class QStatusBar;

// The link's fields in the window's status bar, each a label of its own, on two lines so that
// the narrow window has room for them in both languages. The health line, shown while a port is
// open, has the warnings first:
//   statusStale    in red, "无数据 N s" once no sensor data has come for a second;
//   statusSensors  in orange, "驱动卡报告 N 个传感器" while the card's frames carry another
//                  number of sensors than the windows show; its tooltip names the option that
//                  makes them follow the card;
//   statusRate     "N 帧/秒", the sensor frames per second;
//   statusErrors   in red, "校验错误 N" and "丢弃 N 字节" since the first whole frame after the
//                  open, when there are any.
// The port line: statusPort, "未连接", "已连接 PORT @ BAUD" or what a wait for a lost port has
// come to; statusCard in orange, "重连后驱动卡与之前不同：…" when the card behind a port opened
// again after a loss tells another rate or sensor count than before the loss (until the
// operator opens or closes a port, or a later reconnection finds the card as before); then the
// fields others add (the recording). Long texts give up width first and are shown whole in their
// tooltips.
//
// The window tells it the port state whenever it sets its controls to it (showPortState) and
// the number of sensors the windows show (showSensorCount); the card feeds it its
// twice-a-second linkHealthChanged() (showHealth), whose latest snapshot also names the port;
// the reconnector its waitChanged() (showWait). On a change of language every field is set anew
// from the latest state.
class LinkStatusBar : public QObject
{
    Q_OBJECT
public:
    enum class Line { Health, Port };

    // Adds the fields to `bar`, after those already there, and lives as long as it does.
    explicit LinkStatusBar(QStatusBar *bar);

    // One more field of the port line, after those there; its text may be drawn shortened.
    ElidingLabel *addPortLineField(const char *objectName);

public slots:
    void showPortState(bool open);
    void showHealth(const LinkHealth &health);
    void showWait(ReconnectWait wait, const QString &portName);
    void showSensorCount(int shown);
    void showReconnectedCard(const CardProfile &before, const CardProfile &after);
    void clearReconnectedCard();

protected:
    bool event(QEvent *event) override;

private:
    QLabel *addField(QLabel *label, const char *objectName, Line line, const char *style);
    void showPort();
    void showFigures();
    void showSensorWarning();
    void showCardChange();

    QStatusBar *m_bar;
    QHBoxLayout *m_lines[2];
    QLabel *m_stale;
    QLabel *m_sensors;
    QLabel *m_rate;
    ElidingLabel *m_errors;
    ElidingLabel *m_port;
    ElidingLabel *m_card;
    CardProfile m_cardBefore;
    CardProfile m_cardAfter;
    bool m_open = false;
    ReconnectWait m_wait = ReconnectWait::None;
    QString m_waitPort;
    int m_shownSensors = 0;
    LinkHealth m_health;
};

#endif // LINKSTATUSBAR_H
