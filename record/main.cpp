// SPDX-License-Identifier: GPL-3.0-or-later
// eskin-record: records the driver card's sensor data to CSV without a window, for scripts,
// serves the live stream to other programs, publishes it to an MQTT broker, and records the
// streams published there.
//   eskin-record --port PATH [--baud N] [--frequency HZ] (--seconds S | --frames N)
//                --output FILE|-
//   eskin-record --port PATH [--baud N] [--frequency HZ] [--seconds S | --frames N]
//                [--output FILE|-] [--serve [ADDRESS:]PORT] [--mqtt URL]
//   eskin-record --from-mqtt URL [--seconds S | --frames N] --output FILE|-|FOLDER
// with --reconnect to ride through a lost port.

#include "commandline.h"
#include "markerinput.h"
#include "mqttrecordsession.h"
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
        {QStringLiteral("mqtt"),
         QStringLiteral("Publish the stream to the MQTT broker of URL under its PREFIX "
                        "(mqtt://[USER@]HOST[:PORT]/PREFIX, mqtts:// with TLS); runs until "
                        "stopped unless --seconds or --frames."),
         QStringLiteral("URL")},
        {QStringLiteral("from-mqtt"),
         QStringLiteral("Record the stream published under the PREFIX of URL from its MQTT "
                        "broker, instead of a card's; with + for levels of PREFIX, each stream "
                        "that matches to a file of its own in the folder --output."),
         QStringLiteral("URL")},
        {QStringLiteral("reconnect"),
         QStringLiteral("Ride through a lost port or stopped data: wait for the same device to "
                        "come back and the card to answer or stream, then go on after a gap line. "
                        "Without it the run ends with status 1.")},
        {QStringLiteral("progress"),
         QStringLiteral("A progress line on standard error every second, even when it is not "
                        "a terminal.")},
        {QStringLiteral("quiet"), QStringLiteral("Print nothing but errors.")},
    });
    line.addOptions(MqttOptions::secretOptions());
}

// The broker's URL given with `option` and what goes with it; false when it is refused (already
// printed) with `code`, 2 for the command line and 1 for a file that cannot be read.
bool readBroker(const CommandLine &line, const QString &option, MqttUrl::Use use, MqttOptions &mqtt,
                int *code)
{
    *code = CommandLine::kExitUsage;
    const QString text = line.value(option);
    QString detail;
    const MqttUrl::Problem problem = MqttUrl::parse(text, use, &mqtt.url, &detail);
    if (problem != MqttUrl::Problem::None)
        return line.refuse(MqttUrl::refusal(QStringLiteral("--") + option, text, problem, detail));
    QString error;
    if (!mqtt.readSecrets(line.value(QStringLiteral("mqtt-password-file")),
                          line.value(QStringLiteral("mqtt-cafile")), &error)) {
        printError(error);
        *code = 1;
        return false;
    }
    return true;
}

// The options both ways of recording share.
bool readCommon(const CommandLine &line, double *seconds, qint64 *frames, bool *progress)
{
    if (line.isSet(QStringLiteral("seconds")) && line.isSet(QStringLiteral("frames")))
        return line.refuse(QStringLiteral("give one of --seconds and --frames, not both"));
    if (!line.excludes(QStringLiteral("progress"), QStringLiteral("quiet")) ||
        !line.number(QStringLiteral("seconds"), 0.001, kMaxSeconds, seconds) ||
        !line.integer(QStringLiteral("frames"), 1, std::numeric_limits<qint64>::max(), frames))
        return false;
    *progress = line.isSet(QStringLiteral("progress")) ||
                (!line.isSet(QStringLiteral("quiet")) && ::isatty(STDERR_FILENO));
    return true;
}

// --from-mqtt; false when refused (already printed) with `code`.
bool readBrokerRecording(const CommandLine &line, MqttRecordSession::Settings &s, int *code)
{
    *code = CommandLine::kExitUsage;
    for (const char *card : {"port", "baud", "frequency", "serve", "mqtt", "reconnect"}) {
        if (!line.excludes(QStringLiteral("from-mqtt"), QLatin1String(card)))
            return false;
    }
    if (!line.isSet(QStringLiteral("output")))
        return line.refuse(QStringLiteral("--from-mqtt needs --output"));
    if (!readCommon(line, &s.seconds, &s.frames, &s.progress) ||
        !readBroker(line, QStringLiteral("from-mqtt"), MqttUrl::Use::Subscribe, s.mqtt, code))
        return false;
    s.output = line.value(QStringLiteral("output"));
    if (s.mqtt.url.hasWildcard() && (s.frames > 0 || s.output == QLatin1String("-"))) {
        *code = CommandLine::kExitUsage;
        return line.refuse(QStringLiteral("with + in the PREFIX of --from-mqtt, --output names a "
                                          "folder, and --frames does not apply"));
    }
    return true;
}

// The settings of a recording from a card; false when refused (already printed) with `code`.
bool readSettings(const CommandLine &line, RecordSession::Settings &s, int *code)
{
    *code = CommandLine::kExitUsage;
    const auto given = [&line](const char *name) {
        return line.isSet(QLatin1String(name));
    };
    if (!given("port") || !(given("output") || given("serve") || given("mqtt")))
        return line.refuse(
            QStringLiteral("--port and --output (or --serve, --mqtt, or --from-mqtt instead of "
                           "--port) are required"));
    // A server and a publisher run until stopped; a recording alone needs an end.
    if (!given("serve") && !given("mqtt") && !given("seconds") && !given("frames"))
        return line.refuse(QStringLiteral("give one of --seconds and --frames"));
    quint16 servePort = 0;
    const QString serve = line.value(QStringLiteral("serve"));
    if (given("serve") && !StreamServer::parseAddress(serve, &s.serveAddress, &servePort))
        return line.refuse(QStringLiteral("--serve: not [ADDRESS:]PORT: %1").arg(serve));
    s.servePort = given("serve") ? servePort : -1;
    qint64 baud = 0;
    if (!readCommon(line, &s.seconds, &s.frames, &s.progress) ||
        !line.integer(QStringLiteral("baud"), 1, 100000000, &baud) ||
        !line.oneOf(QStringLiteral("frequency"), frequencyChoices()))
        return false;
    if (given("mqtt") &&
        !readBroker(line, QStringLiteral("mqtt"), MqttUrl::Use::Publish, s.mqtt.emplace(), code))
        return false;
    s.port = PortList::fromCommandLine(line.value(QStringLiteral("port")));
    s.output = line.value(QStringLiteral("output"));
    s.baudRate = int(baud);
    s.frequencyHz = line.value(QStringLiteral("frequency")).toInt();
    s.reconnect = given("reconnect");
    s.program = QStringLiteral("eskin-record " ESKIN_VERSION);
    return true;
}

// Runs `session` until it ends: signals stop it, its notices and the summary of a complete run
// print unless `quiet`.
template<typename Session>
int run(Session &session, const TerminationSignals &endSignals, bool quiet)
{
    int exitCode = 0;
    QObject::connect(&session, &Session::ended, &session,
                     [&exitCode, &session, quiet](int code, const QString &error) {
                         if (!error.isEmpty())
                             printError(error);
                         else if (code == 0 && !quiet)
                             printError(session.summary());
                         exitCode = code;
                         QCoreApplication::exit(code);
                     });
    if (!quiet)
        QObject::connect(&session, &Session::notice, &session, printError);
    // A signal ends the recording as if its limit had been reached.
    QObject::connect(&endSignals, &TerminationSignals::received, &session, &Session::stop);
    QTimer::singleShot(0, &session, &Session::start);
    QCoreApplication::exec();
    return exitCode;
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
    const bool quiet = line.isSet(QStringLiteral("quiet"));
    // A reader that goes away is a write error, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    int code = 0;
    if (line.isSet(QStringLiteral("from-mqtt"))) {
        MqttRecordSession::Settings settings;
        if (!readBrokerRecording(line, settings, &code))
            return code;
        qInstallMessageHandler(filterMessages);
        MqttRecordSession session(settings);
        return run(session, endSignals, quiet);
    }
    RecordSession::Settings settings;
    if (!line.needs(QStringLiteral("mqtt-password-file"), QStringLiteral("mqtt")) ||
        !line.needs(QStringLiteral("mqtt-cafile"), QStringLiteral("mqtt")))
        return CommandLine::kExitUsage;
    if (!readSettings(line, settings, &code))
        return code;
    qInstallMessageHandler(filterMessages);
    RecordSession session(settings);
    // Each line on standard input marks the newest frame. Started in the background from a
    // terminal, the program is not stopped by reading it: the read fails and reading ends.
    std::signal(SIGTTIN, SIG_IGN);
    MarkerInput markers(STDIN_FILENO);
    QObject::connect(&markers, &MarkerInput::lineRead, &session, &RecordSession::addMarker);
    return run(session, endSignals, quiet);
}
