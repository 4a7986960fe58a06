// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LINKSTATUSBAR_H
#define LINKSTATUSBAR_H

#include "linkhealth.h"

#include <QObject>
#include <QString>

class QLabel;
class QStatusBar;

// The link's fields in the window's status bar, each a label of its own:
//   statusPort    "未连接", "已连接 PORT @ BAUD", or "串口丢失，等待重连…" while a lost port is
//                 awaited;
//   statusRate    "N 帧/秒", the sensor frames per second;
//   statusErrors  in red, "校验错误 N" and "丢弃 N 字节" since the open, when there are any;
//   statusStale   in red, "无数据 N s" once no sensor data has come for a second.
// The last three are shown only while a port is open. The window tells it the port state
// whenever it sets its controls to it (showPortState); the card feeds it its
// twice-a-second linkHealthChanged() (showHealth), whose latest snapshot also names the port;
// the reconnector its waitingChanged() (showWaiting). On a change of language every field is
// set anew from the latest state. A further field of the link is one more label made by
// addField().
class LinkStatusBar : public QObject
{
    Q_OBJECT
public:
    // Adds the fields to `bar`, after those already there, and lives as long as it does.
    explicit LinkStatusBar(QStatusBar *bar);

public slots:
    void showPortState(bool open);
    void showHealth(const LinkHealth &health);
    void showWaiting(bool waiting);

protected:
    bool event(QEvent *event) override;

private:
    QLabel *addField(const char *objectName, bool alert);
    void showPort();
    void showFigures();

    QStatusBar *m_bar;
    QLabel *m_port;
    QLabel *m_rate;
    QLabel *m_errors;
    QLabel *m_stale;
    bool m_open = false;
    bool m_waiting = false;
    LinkHealth m_health;
};

#endif // LINKSTATUSBAR_H
