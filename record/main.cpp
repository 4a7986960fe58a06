// SPDX-License-Identifier: GPL-3.0-or-later
// eskin-record: records the driver card's sensor data to CSV without a window, for scripts,
// and serves the live stream to other programs.
//   eskin-record --port PATH [--baud N] [--frequency HZ] (--seconds S | --frames N)
//                --output FILE|-
//   eskin-record --port PATH [--baud N] [--frequency HZ] [--seconds S | --frames N]
//                [--output FILE|-] --serve [ADDRESS:]PORT

#include "commandline.h"
#include "markerinput.h"
#include "portlist.h"
#include "recordformat.h"
#include "recordsession.h"
#include "streamserver.h"
#include "terminationsignals.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <limits>
#include <unistd.h>

namespace {

constexpr double kMaxSeconds = 1e6;

void printError(const QString &message)
{
    std::fprintf(stderr, "eskin-record: %s\n", qPrintable(message));
}

// The link's debug lines and warnings are for developers; a script sees only what this
// program says, each error on one line.
void filterMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg)
        return;
    printError(message);
}

// The card's rates, as --frequency takes them.
QStringList frequencyChoices()
{
    QStringList choices;
    for (int hz : kSampleRatesHz)
        choices << QString::number(hz);
    return choices;
}

void addOptions(CommandLine &line)
{
    line.addOptions({
        {QStringLiteral("port"), QStringLiteral("The driver card's serial port."),
         QStringLiteral("PATH")},
        {QStringLiteral("baud"), QStringLiteral("Baud rate (default 115200)."), QStringLiteral("N"),
         QStringLiteral("115200")},
        {QStringLiteral("frequency"),
         QStringLiteral("Set the card's sample frequency first: 10, 20, 50, 100 or 200."),
         QStringLiteral("HZ")},
        {QStringLiteral("seconds"), QStringLiteral("Record for S seconds from the first frame."),
         QStringLiteral("S")},
        {QStringLiteral("frames"), QStringLiteral("Record N frames."), QStringLiteral("N")},
        {QStringLiteral("output"),
         QStringLiteral("The CSV file to write, - for standard output. An existing file is "
                        "replaced once the first frame has come."),
         QStringLiteral("FILE")},
        {QStringLiteral("serve"),
         QStringLiteral("Serve the stream to other programs over TCP on PORT, on 127.0.0.1 "
                        "unless an ADDRESS is given; runs until stopped unless --seconds or "
                        "--frames."),
         QStringLiteral("[ADDRESS:]PORT")},
        {QStringLiteral("progress"),
         QStringLiteral("A progress line on standard error every second, even when it is not "
                        "a terminal.")},
        {QStringLiteral("quiet"), QStringLiteral("Print nothing but errors.")},
    });
}

// The settings the command line asks for; false when it is refused (already printed).
bool readSettings(const CommandLine &line, RecordSession::Settings &s)
{
    const auto given = [&line](const char *name) {
        return line.isSet(QLatin1String(name));
    };
    if (!given("port") || !(given("output") || given("serve")))
        return line.refuse(QStringLiteral("--port and --output (or --serve) are required"));
    if (given("seconds") && given("frames"))
        return line.refuse(QStringLiteral("give one of --seconds and --frames, not both"));
    // A server runs until it is stopped; a recording alone needs an end.
    if (!given("serve") && !given("seconds") && !given("frames"))
        return line.refuse(QStringLiteral("give one of --seconds and --frames"));
    quint16 servePort = 0;
    const QString serve = line.value(QStringLiteral("serve"));
    if (given("serve") && !StreamServer::parseAddress(serve, &s.serveAddress, &servePort))
        return line.refuse(QStringLiteral("--serve: not [ADDRESS:]PORT: %1").arg(serve));
    s.servePort = given("serve") ? servePort : -1;
    qint64 baud = 0;
    if (!line.excludes(QStringLiteral("progress"), QStringLiteral("quiet")) ||
        !line.integer(QStringLiteral("baud"), 1, 100000000, &baud) ||
        !line.number(QStringLiteral("seconds"), 0.001, kMaxSeconds, &s.seconds) ||
        !line.integer(QStringLiteral("frames"), 1, std::numeric_limits<qint64>::max(), &s.frames) ||
        !line.oneOf(QStringLiteral("frequency"), frequencyChoices()))
        return false;
    s.port = PortList::fromCommandLine(line.value(QStringLiteral("port")));
    s.output = line.value(QStringLiteral("output"));
    s.baudRate = int(baud);
    s.frequencyHz = line.value(QStringLiteral("frequency")).toInt();
    s.progress = given("progress") || (!given("quiet") && ::isatty(STDERR_FILENO));
    s.program = QStringLiteral("eskin-record " ESKIN_VERSION);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("eskin-record"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ESKIN_VERSION));
    // Installed first: a signal that comes while the port opens ends the run with its line.
    TerminationSignals endSignals;

    CommandLine line(
        QStringLiteral("eskin-record"), QStringLiteral(ESKIN_VERSION),
        QStringLiteral("Records the electronic skin's sensor data from a driver card to CSV, or "
                       "serves it live to other programs."));
    addOptions(line);
    if (const int code = line.parse(app.arguments()); code != CommandLine::kGoOn)
        return code;
    RecordSession::Settings settings;
    if (!readSettings(line, settings))
        return CommandLine::kExitUsage;
    qInstallMessageHandler(filterMessages);

    RecordSession session(settings);
    int exitCode = 0;
    const bool quiet = line.isSet(QStringLiteral("quiet"));
    QObject::connect(&session, &RecordSession::ended, &app,
                     [&exitCode, &session, quiet](int code, const QString &error) {
                         if (!error.isEmpty())
                             printError(error);
                         else if (code == 0 && !quiet)
                             printError(session.summary());
                         exitCode = code;
                         QCoreApplication::exit(code);
                     });
    if (!line.isSet(QStringLiteral("quiet")))
        QObject::connect(&session, &RecordSession::notice, &app, printError);
    // A signal ends the recording as if its limit had been reached.
    QObject::connect(&endSignals, &TerminationSignals::received, &session, &RecordSession::stop);
    // A reader that goes away is a write error, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    // Each line on standard input marks the newest frame. Started in the background from a
    // terminal, the program is not stopped by reading it: the read fails and reading ends.
    std::signal(SIGTTIN, SIG_IGN);
    MarkerInput markers(STDIN_FILENO);
    QObject::connect(&markers, &MarkerInput::lineRead, &session, &RecordSession::addMarker);

    QTimer::singleShot(0, &session, &RecordSession::start);
    app.exec();
    return exitCode;
}
