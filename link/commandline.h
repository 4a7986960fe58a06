// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

// The command line of the programs (electronic-skin, eskin-card-sim, eskin-record,
// eskin-analyse), read by the same rules: an unknown option, a missing or bad value, an option
// without the one it needs, a stray argument and a missing one are refused with "program: what
// is wrong" and the usage hint on standard error, and exit code 2; --help and --version print
// and exit 0 (with a stray argument they are refused too). A word after one dash is one option,
// never a bundle of one-letter ones: "-simulate" is refused by its name, with the option meant.
// Nothing here needs an application object, so a windowed program can refuse before it needs a
// display.
//
// A program adds its options, calls parse() and then checks its values with the refusals below,
// which return false (after printing) so that checks chain with &&:
//
//     CommandLine line(QStringLiteral("eskin-x"), QStringLiteral(ESKIN_VERSION), description);
//     line.addOption({QStringLiteral("port"), QStringLiteral("The port."),
//     QStringLiteral("PATH")}); if (const int code = line.parse(arguments); code !=
//     CommandLine::kGoOn)
//         return code;
//     double speed = 1;
//     if (!line.number(QStringLiteral("speed"), 0.01, 100, &speed))
//         return CommandLine::kExitUsage;
class CommandLine
{
public:
    static constexpr int kGoOn = -1;
    static constexpr int kExitUsage = 2;

    CommandLine(const QString &program, const QString &version, const QString &description);

    void addOption(const QCommandLineOption &option);
    void addOptions(const QList<QCommandLineOption> &options);
    // An argument without an option that the program needs, such as the file it reads; `name`
    // stands for it in the help and in the refusal of a line without it.
    void addArgument(const QString &name, const QString &description);

    // `arguments` starts with the program's own path. kGoOn when the program goes on; else the
    // exit code, after help, version or a refusal has been printed. Arguments beyond those
    // added with addArgument() are refused, and so is a line without all of those (unless it
    // asks for help or the version).
    int parse(const QStringList &arguments);

    bool isSet(const QString &name) const { return m_parser.isSet(name); }
    QString value(const QString &name) const { return m_parser.value(name); }
    QStringList values(const QString &name) const { return m_parser.values(name); }
    // The arguments added with addArgument(), in their order.
    QStringList arguments() const { return m_parser.positionalArguments(); }

    // Prints "program: what" and the usage hint; always false.
    bool refuse(const QString &what) const;
    // `option`, when given, needs `needed`.
    bool needs(const QString &option, const QString &needed) const;
    // `a` and `b` are not given together.
    bool excludes(const QString &a, const QString &b) const;
    // The value of `name`, when given, is a number from `min` to `max`; it is stored in `value`.
    bool number(const QString &name, double min, double max, double *value) const;
    bool integer(const QString &name, qint64 min, qint64 max, qint64 *value) const;
    // The value of `name`, when given, is one of `allowed`.
    bool oneOf(const QString &name, const QStringList &allowed) const;

private:
    // The first word after a single dash that is not a one-letter option; empty when none.
    QString oneDashWord(const QStringList &arguments) const;

    QString m_program;
    QString m_version;
    QCommandLineParser m_parser;
    QStringList m_names;      // the options' long names
    QStringList m_valueNames; // those of them that take a value
    QStringList m_arguments;  // the names of the arguments without an option
};

#endif // COMMANDLINE_H
