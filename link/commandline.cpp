// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"

#include <cstdio>

namespace {

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

CommandLine::CommandLine(const QString &program, const QString &version, const QString &description)
    : m_program(program)
    , m_version(version)
{
    m_parser.setApplicationDescription(description);
    m_parser.addHelpOption();
    m_parser.addVersionOption();
}

void CommandLine::addOption(const QCommandLineOption &option)
{
    m_parser.addOption(option);
    m_names += option.names();
    if (!option.valueName().isEmpty())
        m_valueNames += option.names();
}

void CommandLine::addOptions(const QList<QCommandLineOption> &options)
{
    for (const QCommandLineOption &option : options)
        addOption(option);
}

void CommandLine::addArgument(const QString &name, const QString &description)
{
    m_parser.addPositionalArgument(name, description);
    m_arguments += name;
}

// Values are skipped: "--speed -1" holds no option "-1".
QString CommandLine::oneDashWord(const QStringList &arguments) const
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &word = arguments.at(i);
        if (word == QLatin1String("--"))
            break;
        if (word.startsWith(QLatin1String("--"))) {
            if (!word.contains(u'=') && m_valueNames.contains(word.mid(2)))
                ++i;
        } else if (word.startsWith(u'-') && word.size() > 2) {
            return word;
        }
    }
    return {};
}

int CommandLine::parse(const QStringList &arguments)
{
    if (const QString word = oneDashWord(arguments); !word.isEmpty()) {
        const QString name = word.mid(1).section(u'=', 0, 0);
        const bool known = m_names.contains(name) || name == QLatin1String("help") ||
                           name == QLatin1String("help-all") || name == QLatin1String("version");
        refuse(known ? QStringLiteral("unknown option '%1'; did you mean '-%1'?").arg(word)
                     : QStringLiteral("unknown option '%1'").arg(word));
        return kExitUsage;
    }
    if (!m_parser.parse(arguments)) {
        refuse(m_parser.errorText());
        return kExitUsage;
    }
    // Also after --help or --version: the line holds something the program does not take.
    const QStringList given = m_parser.positionalArguments();
    if (given.size() > m_arguments.size()) {
        refuse(QStringLiteral("unexpected argument: %1").arg(given.at(m_arguments.size())));
        return kExitUsage;
    }
    if (m_parser.isSet(QStringLiteral("help")) || m_parser.isSet(QStringLiteral("help-all"))) {
        // Without an application object the parser does not know the program's name.
        print(stdout, m_parser.helpText().replace(QLatin1String("<executable_name>"), m_program));
        return 0;
    }
    if (m_parser.isSet(QStringLiteral("version"))) {
        print(stdout, m_program + u' ' + m_version + u'\n');
        return 0;
    }
    if (given.size() < m_arguments.size()) {
        refuse(QStringLiteral("missing %1").arg(m_arguments.at(given.size())));
        return kExitUsage;
    }
    return kGoOn;
}

bool CommandLine::refuse(const QString &what) const
{
    print(stderr,
          QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n").arg(m_program, what));
    return false;
}

bool CommandLine::needs(const QString &option, const QString &needed) const
{
    return !isSet(option) || isSet(needed) ||
           refuse(QStringLiteral("--%1 needs --%2").arg(option, needed));
}

bool CommandLine::excludes(const QString &a, const QString &b) const
{
    return !isSet(a) || !isSet(b) ||
           refuse(QStringLiteral("--%1 and --%2 cannot be used together").arg(a, b));
}

bool CommandLine::number(const QString &name, double min, double max, double *value) const
{
    if (!isSet(name) && m_parser.value(name).isEmpty())
        return true;
    bool ok = false;
    const double parsed = m_parser.value(name).toDouble(&ok);
    // Written so that NaN fails too.
    if (ok && parsed >= min && parsed <= max) {
        *value = parsed;
        return true;
    }
    return refuse(QStringLiteral("--%1: not a number from %2 to %3: %4")
                      .arg(name, QString::number(min, 'g', 12), QString::number(max, 'g', 12),
                           m_parser.value(name)));
}

bool CommandLine::integer(const QString &name, qint64 min, qint64 max, qint64 *value) const
{
    if (!isSet(name) && m_parser.value(name).isEmpty())
        return true;
    bool ok = false;
    const qint64 parsed = m_parser.value(name).toLongLong(&ok);
    if (ok && parsed >= min && parsed <= max) {
        *value = parsed;
        return true;
    }
    return refuse(QStringLiteral("--%1: not a whole number from %2 to %3: %4")
                      .arg(name)
                      .arg(min)
                      .arg(max)
                      .arg(m_parser.value(name)));
}

bool CommandLine::oneOf(const QString &name, const QStringList &allowed) const
{
    return !isSet(name) || allowed.contains(m_parser.value(name)) ||
           refuse(QStringLiteral("--%1: not one of %2: %3")
                      .arg(name, allowed.join(QStringLiteral(", ")), m_parser.value(name)));
}
