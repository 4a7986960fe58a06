// SPDX-License-Identifier: GPL-3.0-or-later
// eskin-record: records the driver card's sensor data to CSV without a window, for scripts,
// and serves the live stream to other programs.
//   eskin-record --port PATH [--baud N] [--frequency HZ] (--seconds S | --frames N)
//                --output FILE|-
//   eskin-record --port PATH [--baud N] [--frequency HZ] [--seconds S | --frames N]
//                [--output FILE|-] --serve [ADDRESS:]PORT

#include "recordsession.h"
#include "streamserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kExitBadArguments = 2;
constexpr double kMaxSeconds = 1e6;
const QList<int> kFrequencies{10, 20, 50, 100, 200};

int signalPipe[2] = {-1, -1};

void endOnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// The link's debug lines and warnings are for developers; a script sees only what this
// program says, each error on one line.
void filterMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg)
        return;
    std::fprintf(stderr, "eskin-record: %s\n", qPrintable(message));
}

void printError(const QString &message)
{
    std::fprintf(stderr, "eskin-record: %s\n", qPrintable(message));
}

struct Parsed
{
    RecordSession::Settings settings;
    QString error; // empty when the arguments are good
};

Parsed parseArguments(QCommandLineParser &parser, const QStringList &arguments)
{
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("The driver card's serial port."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("Baud rate (default 115200)."),
                                  QStringLiteral("N"), QStringLiteral("115200"));
    const QCommandLineOption frequency(
        QStringLiteral("frequency"),
        QStringLiteral("Set the card's sample frequency first: 10, 20, 50, 100 or 200."),
        QStringLiteral("HZ"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Record for S seconds from the first frame."),
                                     QStringLiteral("S"));
    const QCommandLineOption frames(QStringLiteral("frames"), QStringLiteral("Record N frames."),
                                    QStringLiteral("N"));
    const QCommandLineOption output(QStringLiteral("output"),
                                    QStringLiteral("The CSV file to write, - for standard output."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption progress(
        QStringLiteral("progress"),
        QStringLiteral("A progress line on standard error every second, even when it is not a "
                       "terminal."));
    const QCommandLineOption serve(
        QStringLiteral("serve"),
        QStringLiteral("Serve the stream to other programs over TCP on PORT, on 127.0.0.1 unless "
                       "an ADDRESS is given; runs until stopped unless --seconds or --frames."),
        QStringLiteral("[ADDRESS:]PORT"));
    const QCommandLineOption quietOption(QStringLiteral("quiet"),
                                         QStringLiteral("Print nothing but errors."));
    parser.setApplicationDescription(QStringLiteral(
        "Records the electronic skin's sensor data from a driver card to CSV, or serves "
        "it live to other programs."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions(
        {port, baud, frequency, seconds, frames, output, serve, progress, quietOption});

    Parsed parsed;
    RecordSession::Settings &s = parsed.settings;
    const auto fail = [&parsed](const QString &what) {
        parsed.error = what;
        return parsed;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version")))
        return parsed;
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments()[0]));
    if (!parser.isSet(port) || !(parser.isSet(output) || parser.isSet(serve)))
        return fail(QStringLiteral("--port and --output (or --serve) are required"));
    if (parser.isSet(seconds) && parser.isSet(frames))
        return fail(QStringLiteral("give one of --seconds and --frames, not both"));
    // A server runs until it is stopped; a recording alone needs an end.
    if (!parser.isSet(serve) && !parser.isSet(seconds) && !parser.isSet(frames))
        return fail(QStringLiteral("give one of --seconds and --frames"));
    if (parser.isSet(serve)) {
        quint16 servePort = 0;
        if (!StreamServer::parseAddress(parser.value(serve), &s.serveAddress, &servePort))
            return fail(QStringLiteral("--serve: not [ADDRESS:]PORT: %1").arg(parser.value(serve)));
        s.servePort = servePort;
    }
    if (parser.isSet(progress) && parser.isSet(quietOption))
        return fail(QStringLiteral("--progress and --quiet exclude each other"));
    bool ok = false;
    s.port = parser.value(port);
    s.output = parser.value(output);
    s.baudRate = parser.value(baud).toInt(&ok);
    if (!ok || s.baudRate <= 0)
        return fail(QStringLiteral("--baud: not a baud rate: %1").arg(parser.value(baud)));
    if (parser.isSet(frequency)) {
        s.frequencyHz = parser.value(frequency).toInt(&ok);
        if (!ok || !kFrequencies.contains(s.frequencyHz))
            return fail(QStringLiteral("--frequency: not one of 10, 20, 50, 100, 200: %1")
                            .arg(parser.value(frequency)));
    }
    if (parser.isSet(seconds)) {
        s.seconds = parser.value(seconds).toDouble(&ok);
        if (!ok || !(s.seconds > 0) || s.seconds > kMaxSeconds)
            return fail(QStringLiteral("--seconds: not a positive duration: %1")
                            .arg(parser.value(seconds)));
    } else if (parser.isSet(frames)) {
        s.frames = parser.value(frames).toLongLong(&ok);
        if (!ok || s.frames <= 0)
            return fail(
                QStringLiteral("--frames: not a positive count: %1").arg(parser.value(frames)));
    }
    s.progress = parser.isSet(progress) || (!parser.isSet(quietOption) && ::isatty(STDERR_FILENO));
    return parsed;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("eskin-record"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ESKIN_VERSION));

    QCommandLineParser parser;
    Parsed parsed = parseArguments(parser, app.arguments());
    if (!parsed.error.isEmpty()) {
        printError(parsed.error);
        std::fputs(qPrintable(parser.helpText()), stderr);
        return kExitBadArguments;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp();
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    qInstallMessageHandler(filterMessages);

    parsed.settings.program = QStringLiteral("eskin-record " ESKIN_VERSION);
    RecordSession session(parsed.settings);
    int exitCode = 0;
    QObject::connect(&session, &RecordSession::ended, &app,
                     [&exitCode](int code, const QString &error) {
                         if (!error.isEmpty())
                             printError(error);
                         exitCode = code;
                         QCoreApplication::exit(code);
                     });
    if (!parser.isSet(QStringLiteral("quiet")))
        QObject::connect(&session, &RecordSession::notice, &app, printError);

    // A signal only writes a byte; the recording then ends as if its limit had been reached.
    if (::pipe(signalPipe) != 0)
        return 1;
    QSocketNotifier signalled(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalled, &QSocketNotifier::activated, &session, &RecordSession::stop);
    std::signal(SIGINT, endOnSignal);
    std::signal(SIGTERM, endOnSignal);
    // A reader that goes away is a write error, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    QTimer::singleShot(0, &session, &RecordSession::start);
    app.exec();
    return exitCode;
}
