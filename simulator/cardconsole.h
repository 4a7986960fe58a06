// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CARDCONSOLE_H
#define CARDCONSOLE_H

#include <QObject>
#include <QString>
#include <QStringList>

class CardModel;
class PtyCardServer;

// Text commands that switch a running simulated card's settings and faults, one per line, for
// example "silent on", "corrupt 0.01", "split 7 20", "hangup". The simulator's command-line
// options are turned into the same commands.
class CardConsole : public QObject
{
    Q_OBJECT
public:
    CardConsole(CardModel *model, PtyCardServer *server, QObject *parent = nullptr);

    // Carries out one command; returns false, with the reason in lastError(), when the line is
    // not a command or its value is out of range.
    bool execute(const QString &line);
    QString lastError() const { return m_error; }
    static QString help();
    // Every command a line may begin with, "help" and "quit" included.
    static QStringList commandNames();

private:
    bool switchFault(const QString &name, const QString &value);
    bool setNumber(const QString &name, const QStringList &values);
    bool refuse(const QString &why);

    CardModel *m_model;
    PtyCardServer *m_server;
    QString m_error;
};

#endif // CARDCONSOLE_H
