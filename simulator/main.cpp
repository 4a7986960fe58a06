// SPDX-License-Identifier: GPL-3.0-or-later
// eskin-card-sim: a simulated driver card on a pseudo-terminal. It prints the terminal's path,
// keeps an optional symbolic link to it, and takes commands on standard input that switch its
// faults while it runs.

#include "cardconsole.h"
#include "cardmodel.h"
#include "commandline.h"
#include "diagnostics.h"
#include "ptycardserver.h"
#include "recordingplayer.h"
#include "terminationsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <limits>
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

// Each fault option becomes its console command; a bad value is refused as the console says.
bool applyFaultOptions(const CommandLine &line, CardConsole &console)
{
    for (const Option &option : kOptions) {
        const QString name = QString::fromLatin1(option.name);
        if (!line.isSet(name))
            continue;
        QString command = QString::fromLatin1(option.command);
        if (option.valueName)
            command += u' ' + line.value(name).replace(u',', u' ');
        if (!console.execute(command))
            return line.refuse(QStringLiteral("--%1: %2").arg(name, console.lastError()));
    }
    return true;
}

void addOptions(CommandLine &line)
{
    line.addOptions({
        {QStringLiteral("link"), QStringLiteral("Keep a symbolic link PATH to the terminal."),
         QStringLiteral("PATH")},
        {QStringLiteral("seed"), QStringLiteral("Seed for reproducible readings."),
         QStringLiteral("SEED")},
        {QStringLiteral("replay"),
         QStringLiteral("Stream the readings of the recording FILE at its own timing instead of "
                        "the simulated skin's."),
         QStringLiteral("FILE")},
        {QStringLiteral("speed"), QStringLiteral("Replay X times as fast (default 1)."),
         QStringLiteral("X"), QStringLiteral("1")},
        {QStringLiteral("loop"), QStringLiteral("Start the replay again when it ends.")},
        {QStringLiteral("verbose"), QStringLiteral("Print the card's diagnostics.")},
    });
    for (const Option &option : kOptions) {
        line.addOption(option.valueName
                           ? QCommandLineOption(QString::fromLatin1(option.name),
                                                QString::fromLatin1(option.description),
                                                QString::fromLatin1(option.valueName))
                           : QCommandLineOption(QString::fromLatin1(option.name),
                                                QString::fromLatin1(option.description)));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("eskin-card-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ESKIN_VERSION));

    // Installed first, so that the link is removed whenever a signal ends the card.
    TerminationSignals endSignals;
    QObject::connect(&endSignals, &TerminationSignals::received, &app, &QCoreApplication::quit);

    CommandLine line(
        QStringLiteral("eskin-card-sim"), QStringLiteral(ESKIN_VERSION),
        QStringLiteral("Simulated electronic-skin driver card on a pseudo-terminal.\n\n") +
            CardConsole::help());
    addOptions(line);
    if (const int code = line.parse(app.arguments()); code != CommandLine::kGoOn)
        return code;
    qint64 seed = -1;
    double speed = 1;
    if (!line.integer(QStringLiteral("seed"), 0, std::numeric_limits<uint>::max(), &seed) ||
        !line.needs(QStringLiteral("speed"), QStringLiteral("replay")) ||
        !line.needs(QStringLiteral("loop"), QStringLiteral("replay")) ||
        !line.number(QStringLiteral("speed"), RecordingPlayer::kMinSpeed,
                     RecordingPlayer::kMaxSpeed, &speed))
        return CommandLine::kExitUsage;
    applyDiagnosticsDefault(line.isSet(QStringLiteral("verbose")));

    CardModel model;
    PtyCardServer server(&model);
    CardConsole console(&model, &server);
    QTextStream err(stderr);
    if (seed >= 0)
        model.setSeed(uint(seed));
    if (!applyFaultOptions(line, console))
        return CommandLine::kExitUsage;

    if (line.isSet(QStringLiteral("replay"))) {
        auto recording = std::make_unique<RecordIndex>();
        const bool readable = recording->open(line.value(QStringLiteral("replay")));
        for (const QString &warning : recording->warnings())
            err << warning << Qt::endl;
        if (!readable) {
            err << recording->errorString() << Qt::endl;
            return 1;
        }
        auto *player = new RecordingPlayer(std::move(recording), speed,
                                           line.isSet(QStringLiteral("loop")), &model);
        QObject::connect(player, &RecordingPlayer::failed, &app,
                         [&err](const QString &error) { err << error << Qt::endl; });
    }

    const QString link = line.value(QStringLiteral("link"));
    if (!server.open(link)) {
        err << "cannot open a pseudo-terminal: " << server.errorString() << Qt::endl;
        return 1;
    }
    QTextStream out(stdout);
    out << server.terminalPath() << Qt::endl;
    if (!link.isEmpty())
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

    return app.exec();
}
