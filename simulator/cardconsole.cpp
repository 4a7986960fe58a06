// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardconsole.h"

#include "cardmodel.h"
#include "ptycardserver.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

const QStringList kSwitches{QStringLiteral("silent"), QStringLiteral("refuse"),
                            QStringLiteral("full"), QStringLiteral("stream")};
const QStringList kSettings{QStringLiteral("corrupt"), QStringLiteral("split"),
                            QStringLiteral("sensors"), QStringLiteral("frequency"),
                            QStringLiteral("capacity")};
const QStringList kLineCommands{QStringLiteral("hangup"), QStringLiteral("reconnect")};

} // namespace

CardConsole::CardConsole(CardModel *model, PtyCardServer *server, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_server(server)
{}

QString CardConsole::help()
{
    return QStringLiteral("commands:\n"
                          "  silent on|off       answer no request\n"
                          "  refuse on|off       answer every request with status 1\n"
                          "  full on|off         answer single-point writes with status 2\n"
                          "  stream on|off       send sensor data or not\n"
                          "  corrupt FRACTION    flip one bit in this share of sent bytes (0..1)\n"
                          "  split BYTES MS      send in pieces of BYTES, MS apart (0 0 = off)\n"
                          "  sensors N           number of sensors, 1..16\n"
                          "  frequency INDEX     0..4 = 10, 20, 50, 100, 200 Hz\n"
                          "  capacity N          single-point entries per sensor and axis\n"
                          "  hangup              take the line away\n"
                          "  reconnect           a new line under the same link\n"
                          "  help                this list\n"
                          "  quit                end the card\n");
}

QStringList CardConsole::commandNames()
{
    return kSwitches + kSettings + kLineCommands +
           QStringList{QStringLiteral("help"), QStringLiteral("quit")};
}

bool CardConsole::execute(const QString &line)
{
    m_error.clear();
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return true;
    const QString name = words.first().toLower();
    const QStringList values = words.mid(1);
    if (kLineCommands.contains(name)) {
        if (!values.isEmpty())
            return refuse(QStringLiteral("%1 takes no value").arg(name));
        if (name == QLatin1String("hangup")) {
            m_server->hangUp();
            return true;
        }
        return m_server->reconnect() || refuse(m_server->errorString());
    }
    if (kSwitches.contains(name)) {
        const bool onOrOff = values.size() == 1 && (values.first() == QLatin1String("on") ||
                                                    values.first() == QLatin1String("off"));
        return onOrOff ? switchFault(name, values.first())
                       : refuse(QStringLiteral("%1 takes on or off").arg(name));
    }
    if (kSettings.contains(name))
        return setNumber(name, values);
    return refuse(QStringLiteral("unknown command: %1 (commands: %2)")
                      .arg(words.first(), commandNames().join(QStringLiteral(", "))));
}

bool CardConsole::switchFault(const QString &name, const QString &value)
{
    const bool on = value == QLatin1String("on");
    if (name == QLatin1String("silent"))
        m_model->setSilent(on);
    else if (name == QLatin1String("refuse"))
        m_model->setRefusing(on);
    else if (name == QLatin1String("full"))
        m_model->setStorageFull(on);
    else
        m_model->setStreaming(on);
    return true;
}

bool CardConsole::setNumber(const QString &name, const QStringList &values)
{
    bool ok = !values.isEmpty();
    QList<double> numbers;
    for (const QString &value : values)
        numbers.append(ok ? value.toDouble(&ok) : 0);
    if (!ok)
        return refuse(QStringLiteral("not a number in: ") + values.join(QLatin1Char(' ')));
    const auto inRange = [&](double low, double high) {
        for (double number : numbers)
            if (number < low || number > high)
                return false;
        return true;
    };
    const bool whole = std::all_of(numbers.begin(), numbers.end(),
                                   [](double number) { return number == std::floor(number); });
    if (!whole && name != QLatin1String("corrupt"))
        return refuse(QStringLiteral("not a whole number in: ") + values.join(QLatin1Char(' ')));
    if (name == QLatin1String("corrupt") && numbers.size() == 1 && inRange(0, 1))
        m_model->setCorruption(numbers[0]);
    else if (name == QLatin1String("split") && numbers.size() == 2 && inRange(0, 60000))
        m_model->setSplit(int(numbers[0]), int(numbers[1]));
    else if (name == QLatin1String("sensors") && numbers.size() == 1 && inRange(1, kMaxSensors))
        m_model->setSensorCount(int(numbers[0]));
    else if (name == QLatin1String("frequency") && numbers.size() == 1 &&
             inRange(0, kCardFrequencyCount - 1))
        m_model->setFrequencyIndex(int(numbers[0]));
    else if (name == QLatin1String("capacity") && numbers.size() == 1 &&
             inRange(0, kMaxSinglePointCapacity))
        m_model->setSinglePointCapacity(int(numbers[0]));
    else
        return refuse(QStringLiteral("value out of range for %1: %2")
                          .arg(name, values.join(QLatin1Char(' '))));
    return true;
}

bool CardConsole::refuse(const QString &why)
{
    m_error = why;
    return false;
}
