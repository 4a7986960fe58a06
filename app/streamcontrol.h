// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef STREAMCONTROL_H
#define STREAMCONTROL_H

#include "framestamp.h"

#include <QObject>
#include <QString>

class ElidingLabel;
class MySerialport;
class QAction;
class QMenu;
class QWidget;
class StreamServer;

// Shares the live stream with other programs from the window (StreamServer). It owns:
// - the menu entry `actionServe`: "共享数据流…" asks for [ADDRESS:]PORT, offering the last one
//   chosen there (remembered in the settings), and starts the server; while it runs the entry
//   reads "停止共享数据流" and stops it;
// - the status field `statusServe`, shown while the server runs: "数据流：ADDRESS（N 个客户端）",
//   with the clients refused since it started ("已拒绝 M 个") once there are any, whole in its
//   tooltip; a refused client is logged as a warning, once a second at most;
// - the server, which takes the frames in the worker thread straight from the decoder, and
//   never makes it wait.
// An address that cannot be used is reported with the system's reason. It follows the card's
// portOpened() and sampleFreResult() in the worker thread, ahead of the frames that follow them,
// so that the clients' comment lines name the port, its baud rate and, once read, the card's
// frequency; a port that is lost or closed is a gap line for them. Texts are set anew on a change
// of language.
class StreamControl : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *kDefaultAddress = "127.0.0.1:5555";

    // `card` lives in the worker thread and must stop emitting before this object goes (the
    // window ends the worker first). The menu entry is appended to `menu`; `status` is
    // its field in the status bar; messages have `window` as parent, which also owns this object.
    StreamControl(MySerialport *card, QMenu *menu, ElidingLabel *status, QWidget *window);

    // Serves on `address` ("[ADDRESS:]PORT"); false after telling the operator why not.
    bool start(const QString &address);
    void stop();
    bool isServing() const;
    const StreamServer *server() const { return m_server; }

public slots:
    // A marker on the frame `marked` goes to the clients after the newest frame's line, with the
    // time of the frame it marks.
    void sendMarker(int number, const QString &label, const FrameStamp &marked);

protected:
    bool event(QEvent *event) override;

private slots:
    void toggle();

private:
    void showState();

    QWidget *m_window;
    StreamServer *m_server;
    QAction *m_action;
    ElidingLabel *m_status;
};

#endif // STREAMCONTROL_H
