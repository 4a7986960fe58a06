// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulatedcard.h"

#include "cardmodel.h"
#include "ptycardserver.h"
#include "workerthread.h"

SimulatedCard::SimulatedCard(QObject *parent)
    : QObject(parent)
    , m_thread(new WorkerThread(this))
{
    m_thread->setObjectName(QStringLiteral("simulated card"));
    // The model is the server's parent, so one deferred deletion releases both in their thread.
    m_model = new CardModel;
    m_server = new PtyCardServer(m_model, m_model);
    m_model->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_model, &QObject::deleteLater);
    m_thread->start();
}

SimulatedCard::~SimulatedCard()
{
    inCardThread([this] {
        m_model->stop();
        m_server->hangUp();
    });
    m_thread->end();
}

bool SimulatedCard::start(const QString &linkPath, const std::function<void(CardModel &)> &setUp)
{
    bool opened = false;
    inCardThread([&] {
        if (setUp)
            setUp(*m_model);
        opened = m_server->open(linkPath);
        m_portName = m_server->portName();
        m_error = m_server->errorString();
        if (opened)
            m_model->start();
    });
    return opened;
}

QString SimulatedCard::portName() const
{
    return m_portName;
}

QString SimulatedCard::errorString() const
{
    return m_error;
}

void SimulatedCard::withModel(const std::function<void(CardModel &)> &change)
{
    inCardThread([&] { change(*m_model); });
}

QByteArray SimulatedCard::receivedBytes()
{
    QByteArray bytes;
    inCardThread([&] { bytes = m_server->receivedBytes(); });
    return bytes;
}

void SimulatedCard::hangUp()
{
    inCardThread([this] { m_server->hangUp(); });
}

bool SimulatedCard::reconnect()
{
    bool opened = false;
    inCardThread([&] {
        opened = m_server->reconnect();
        m_portName = m_server->portName();
        m_error = m_server->errorString();
    });
    return opened;
}

void SimulatedCard::inCardThread(const std::function<void()> &work)
{
    QMetaObject::invokeMethod(m_model, work, Qt::BlockingQueuedConnection);
}
