// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef WORKERPORT_H
#define WORKERPORT_H

// The driver-card object as the program runs it: on a worker thread of its own, reached only
// through queued calls. Every signal it emits is recorded in the test's thread as a line of
// text, in order, with the time it arrived.

#include "myserialport.h"
#include "workerthread.h"

#include <QElapsedTimer>
#include <QStringList>

#include <functional>
#include <type_traits>

inline QString describeShorts(const QList<short> &values)
{
    QStringList parts;
    for (short v : values)
        parts << QString::number(v);
    return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
}

inline QString describeEntries(const QList<singleDemarcateInfoUnit_t> &entries)
{
    QStringList parts;
    for (const singleDemarcateInfoUnit_t &e : entries)
        parts << QStringLiteral("(%1,%2)").arg(e.pressure).arg(e.value);
    return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
}

class WorkerPort : public QObject
{
public:
    WorkerPort()
    {
        port = new MySerialport;
        port->moveToThread(&m_thread);
        connect(&m_thread, &QThread::finished, port, &QObject::deleteLater);
        record();
        m_clock.start();
        m_thread.start();
    }

    ~WorkerPort() override { m_thread.end(); }

    // Queued into the worker, as the interface calls it.
    void run(const std::function<void(MySerialport &)> &call)
    {
        MySerialport *target = port;
        QMetaObject::invokeMethod(port, [target, call] { call(*target); });
    }

    // Blocks until the worker has run `call`: it was idle, or its nested waits let it through.
    // Returns what `call` returns.
    template<typename Call> auto runBlocking(Call call)
    {
        MySerialport *target = port;
        using Result = decltype(call(*target));
        if constexpr (std::is_void_v<Result>) {
            QMetaObject::invokeMethod(
                port, [target, call] { call(*target); }, Qt::BlockingQueuedConnection);
        } else {
            Result result{};
            QMetaObject::invokeMethod(
                port, [target, call] { return call(*target); }, Qt::BlockingQueuedConnection,
                &result);
            return result;
        }
    }

    void open(const QString &name)
    {
        run([name](MySerialport &p) { p.openPort(name, 115200); });
    }

    int count(const QString &event) const { return int(events.count(event)); }
    // Events other than sensor frames, which arrive by the hundred.
    QStringList replies() const
    {
        QStringList out;
        for (const QString &e : events)
            if (!e.startsWith(QLatin1String("frame")))
                out << e;
        return out;
    }
    qint64 timeOf(const QString &event) const
    {
        const qsizetype at = events.indexOf(event);
        return at < 0 ? -1 : times.at(at);
    }
    qint64 now() const { return m_clock.elapsed(); }
    void clear()
    {
        events.clear();
        times.clear();
        frames.clear();
    }

    MySerialport *port = nullptr;
    QStringList events;
    QList<qint64> times;
    QList<QList<Axit_t>> frames;

private:
    void add(const QString &event)
    {
        events << event;
        times << m_clock.elapsed();
    }

    void record()
    {
        connect(port, &MySerialport::portLost, this, [this] { add(QStringLiteral("portLost")); });
        connect(port, &MySerialport::flushMainwindowsSerialView, this,
                [this] { add(QStringLiteral("flush")); });
        connect(port, &MySerialport::openFailed, this, [this](const QString &, int error) {
            add(QStringLiteral("openFailed %1").arg(error));
        });
        connect(port, &SlaveProtocol::AxitReflushGraphic, this,
                [this](QList<Axit_t> &readings, uint num) {
                    frames << readings;
                    add(QStringLiteral("frame %1").arg(num));
                });
        connect(port, &SlaveProtocol::slaveCheckRec, this,
                [this](bool ok) { add(QStringLiteral("slaveCheckRec %1").arg(ok)); });
        connect(port, &SlaveProtocol::sampleFreResult, this,
                [this](int option, int res, int param) {
                    add(QStringLiteral("sampleFreResult %1 %2 %3").arg(option).arg(res).arg(param));
                });
        connect(port, &SlaveProtocol::demarcateOperationResult, this,
                [this](int option, int res, int param) {
                    add(QStringLiteral("demarcateOperationResult %1 %2 %3")
                            .arg(option)
                            .arg(res)
                            .arg(param));
                });
        connect(port, &SlaveProtocol::demarcateInfo, this,
                [this](int type, short pressure, QList<short> &info) {
                    add(QStringLiteral("demarcateInfo %1 %2 ").arg(type).arg(pressure) +
                        describeShorts(info));
                });
        connect(port, &SlaveProtocol::demarcateRemoveResult, this,
                [this](int res, int xyz, QList<short> &list) {
                    add(QStringLiteral("demarcateRemoveResult %1 %2 ").arg(res).arg(xyz) +
                        describeShorts(list));
                });
        connect(port, &SlaveProtocol::demarcateSingleRemoveResult, this,
                [this](int res, int xyz, int sensorId, QList<short> &list) {
                    add(QStringLiteral("demarcateSingleRemoveResult %1 %2 %3 ")
                            .arg(res)
                            .arg(xyz)
                            .arg(sensorId) +
                        describeShorts(list));
                });
        connect(port, &SlaveProtocol::demarcateSingleReadInfo, this,
                [this](int xyz, int sensorId, QList<singleDemarcateInfoUnit_t> &list) {
                    add(QStringLiteral("demarcateSingleReadInfo %1 %2 ").arg(xyz).arg(sensorId) +
                        describeEntries(list));
                });
    }

    WorkerThread m_thread;
    QElapsedTimer m_clock;
};

#endif // WORKERPORT_H
