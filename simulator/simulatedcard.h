// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SIMULATEDCARD_H
#define SIMULATEDCARD_H

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class CardModel;
class PtyCardServer;
class WorkerThread;

// A simulated driver card running on a thread of its own, served on a pseudo-terminal: what a
// test or a demonstration starts inside its own process. Every operation blocks until the
// card's thread has carried it out.
class SimulatedCard : public QObject
{
    Q_OBJECT
public:
    explicit SimulatedCard(QObject *parent = nullptr);
    ~SimulatedCard() override;

    // Opens the line (under linkPath when given) and starts streaming. `setUp` runs on the
    // model first, in the card's thread, before anything is sent.
    bool start(const QString &linkPath = QString(),
               const std::function<void(CardModel &)> &setUp = nullptr);
    QString portName() const;
    QString errorString() const;

    // Runs `change` on the card model in the card's thread: switch faults, read stored state.
    void withModel(const std::function<void(CardModel &)> &change);
    // Everything the host has written on the current line.
    QByteArray receivedBytes();

    void hangUp();
    bool reconnect();

private:
    void inCardThread(const std::function<void()> &work);

    WorkerThread *m_thread = nullptr;
    CardModel *m_model = nullptr;
    PtyCardServer *m_server = nullptr;
    QString m_portName;
    QString m_error;
};

#endif // SIMULATEDCARD_H
