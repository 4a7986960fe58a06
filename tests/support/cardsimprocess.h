// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CARDSIMPROCESS_H
#define CARDSIMPROCESS_H

// eskin-card-sim run as a script runs it, for the tests that build with ESKIN_CARD_SIM set to
// the program's path.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <csignal>
#include <memory>

// Ends the card as an operator would, with SIGTERM, so that it removes its link.
struct CardSimProcess : QProcess
{
    ~CardSimProcess() override
    {
        if (state() == QProcess::Running) {
            ::kill(pid_t(processId()), SIGTERM);
            waitForFinished(5000);
        }
    }
};

// The next line the card prints (its terminal's path first, then its link), or an empty string
// when none comes within 5 s.
inline QString readCardLine(QProcess &card)
{
    for (int i = 0; i < 50 && !card.canReadLine(); ++i)
        card.waitForReadyRead(100);
    return QString::fromLocal8Bit(card.readLine()).trimmed();
}

// A card on its own pseudo-terminal under `link`, once it has printed its first line; null when
// the program does not start.
inline std::unique_ptr<QProcess> startCardSim(const QString &link, const QStringList &options)
{
    std::unique_ptr<QProcess> card = std::make_unique<CardSimProcess>();
    card->start(QStringLiteral(ESKIN_CARD_SIM),
                QStringList{QStringLiteral("--link"), link} + options);
    if (!card->waitForStarted())
        return nullptr;
    for (int i = 0; i < 50 && !card->canReadLine(); ++i)
        card->waitForReadyRead(100);
    return card;
}

#endif // CARDSIMPROCESS_H
