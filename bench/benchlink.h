// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef BENCHLINK_H
#define BENCHLINK_H

// The driver-card object as the programs run it, for the benchmarks: on a worker thread of its
// own, reached only through queued calls. Connect to `port` before open(); the port is closed
// and the thread ended on close() or at the latest when the link goes, also on an early return.

#include "myserialport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <utility>

class BenchLink
{
public:
    explicit BenchLink(const QString &threadName = QString())
    {
        if (!threadName.isEmpty())
            m_thread.setObjectName(threadName);
        port->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, port, &QObject::deleteLater);
    }

    ~BenchLink() { close(); }

    BenchLink(const BenchLink &) = delete;
    BenchLink &operator=(const BenchLink &) = delete;

    // Starts the worker and opens `name`; true once the card has answered the open's frequency
    // read, false when it has not within 5 s.
    bool open(const QString &name)
    {
        bool opened = false;
        QObject context;
        QObject::connect(
            port, &SlaveProtocol::sampleFreResult, &context,
            [&opened](int option, int res, int) { opened = opened || (option == 0 && res == 0); });
        m_thread.start();
        m_started = true;
        MySerialport *target = port;
        QMetaObject::invokeMethod(port, [target, name] { target->openPort(name, 115200); });
        QElapsedTimer waiting;
        waiting.start();
        while (!opened && waiting.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return opened;
    }

    // Closes the port and ends the worker; `port` is gone afterwards.
    void close()
    {
        if (std::exchange(m_closed, true))
            return;
        if (!m_started) {
            delete port; // never in a running thread: nothing else deletes it
            return;
        }
        MySerialport *target = port;
        QMetaObject::invokeMethod(
            port, [target] { target->closePort(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    MySerialport *const port = new MySerialport;

private:
    QThread m_thread;
    bool m_started = false;
    bool m_closed = false;
};

#endif // BENCHLINK_H
