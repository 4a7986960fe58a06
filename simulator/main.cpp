// SPDX-License-Identifier: GPL-3.0-or-later
// eskin-card-sim: a simulated driver card on a pseudo-terminal. It prints the terminal's path,
// keeps an optional symbolic link to it, and takes commands on standard input that switch its
// faults while it runs.

#include "cardconsole.h"
#include "cardmodel.h"
#include "diagnostics.h"
#include "ptycardserver.h"
#include "recordingplayer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

struct Option
{
    const char *name;
    const char *valueName; // nullptr for a switch
    const char *description;
    const char *command; // the console command; a value is appended
};

constexpr Option kOptions[] = {
    {"sensors", "N", "Number of sensors, 1 to 16 (default 16).", "sensors"},
    {"frequency", "INDEX", "Frequency index 0..4 = 10, 20, 50, 100, 200 Hz.", "frequency"},
    {"capacity", "N", "Single-point entries per sensor and axis.", "capacity"},
    {"corrupt", "FRACTION", "Flip one bit in this share of sent bytes.", "corrupt"},
    {"split", "BYTES,MS", "Send in pieces of BYTES bytes, MS milliseconds apart.", "split"},
    {"silent", nullptr, "Answer no request.", "silent on"},
    {"refuse", nullptr, "Answer every request with status 1.", "refuse on"},
    {"storage-full", nullptr, "Answer single-point writes with status 2.", "full on"},
    {"no-stream", nullptr, "Send no sensor data.", "stream off"},
};

int signalPipe[2] = {-1, -1};

void quitOnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("eskin-card-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ESKIN_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated electronic-skin driver card on a pseudo-terminal.\n\n") +
        CardConsole::help());
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption link(QStringLiteral("link"),
                                  QStringLiteral("Keep a symbolic link PATH to the terminal."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed for reproducible readings."),
                                  QStringLiteral("SEED"));
    const QCommandLineOption replay(
        QStringLiteral("replay"),
        QStringLiteral("Stream the readings of the recording FILE at its own timing instead of "
                       "the simulated skin's."),
        QStringLiteral("FILE"));
    const QCommandLineOption speed(QStringLiteral("speed"),
                                   QStringLiteral("Replay X times as fast (default 1)."),
                                   QStringLiteral("X"), QStringLiteral("1"));
    const QCommandLineOption loop(QStringLiteral("loop"),
                                  QStringLiteral("Start the replay again when it ends."));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Print the card's diagnostics."));
    parser.addOption(link);
    parser.addOption(seed);
    parser.addOptions({replay, speed, loop, verbose});
    for (const Option &option : kOptions) {
        parser.addOption(option.valueName
                             ? QCommandLineOption(QString::fromLatin1(option.name),
                                                  QString::fromLatin1(option.description),
                                                  QString::fromLatin1(option.valueName))
                             : QCommandLineOption(QString::fromLatin1(option.name),
                                                  QString::fromLatin1(option.description)));
    }
    parser.process(app);
    applyDiagnosticsDefault(parser.isSet(verbose));

    CardModel model;
    PtyCardServer server(&model);
    CardConsole console(&model, &server);
    QTextStream err(stderr);
    if (parser.isSet(seed)) {
        bool ok = false;
        const uint value = parser.value(seed).toUInt(&ok);
        if (!ok) {
            err << "--seed: not a number: " << parser.value(seed) << Qt::endl;
            return 2;
        }
        model.setSeed(value);
    }
    for (const Option &option : kOptions) {
        const QString name = QString::fromLatin1(option.name);
        if (!parser.isSet(name))
            continue;
        QString command = QString::fromLatin1(option.command);
        if (option.valueName)
            command += u' ' + parser.value(name).replace(u',', u' ');
        if (!console.execute(command)) {
            err << "--" << name << ": " << console.lastError() << Qt::endl;
            return 2;
        }
    }

    if (parser.isSet(replay)) {
        bool ok = false;
        const double factor = parser.value(speed).toDouble(&ok);
        if (!ok || !RecordingPlayer::isSpeed(factor)) {
            err << "--speed: not a factor from " << RecordingPlayer::kMinSpeed << " to "
                << RecordingPlayer::kMaxSpeed << ": " << parser.value(speed) << Qt::endl;
            return 2;
        }
        auto recording = std::make_unique<RecordIndex>();
        const bool readable = recording->open(parser.value(replay));
        for (const QString &warning : recording->warnings())
            err << warning << Qt::endl;
        if (!readable) {
            err << recording->errorString() << Qt::endl;
            return 1;
        }
        auto *player =
            new RecordingPlayer(std::move(recording), factor, parser.isSet(loop), &model);
        QObject::connect(player, &RecordingPlayer::failed, &app,
                         [&err](const QString &error) { err << error << Qt::endl; });
    } else if (parser.isSet(speed) || parser.isSet(loop)) {
        err << "--speed and --loop need --replay" << Qt::endl;
        return 2;
    }

    if (!server.open(parser.value(link))) {
        err << "cannot open a pseudo-terminal: " << server.errorString() << Qt::endl;
        return 1;
    }
    QTextStream out(stdout);
    out << server.terminalPath() << Qt::endl;
    if (parser.isSet(link))
        out << "link: " << server.portName() << Qt::endl;
    model.start();

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char chunk[512];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            input.setEnabled(false); // end of input: keep serving until a signal ends it
            return;
        }
        pending.append(chunk, int(n));
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            const QString command = QString::fromLocal8Bit(pending.left(end)).trimmed();
            if (command == QLatin1String("quit"))
                QCoreApplication::quit();
            else if (command == QLatin1String("help"))
                out << CardConsole::help() << Qt::flush;
            else if (!console.execute(command))
                err << console.lastError() << Qt::endl;
            else if (command == QLatin1String("reconnect"))
                out << server.terminalPath() << Qt::endl;
        }
    });

    // A signal only writes a byte; the event loop quits, so the link is removed on the way out.
    if (::pipe(signalPipe) != 0)
        return 1;
    QSocketNotifier signalled(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalled, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, quitOnSignal);
    std::signal(SIGTERM, quitOnSignal);
    return app.exec();
}
