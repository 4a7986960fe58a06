// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "diagnostics.h"
#include "languageswitcher.h"
#include "mainwindow.h"
#include "mqttcontrol.h"
#include "mqttoptions.h"
#include "portlist.h"
#include "recordingcontrol.h"
#include "recordingplayer.h"
#include "simulatedcard.h"
#include "streamcontrol.h"
#include "streamserver.h"
#include "terminationsignals.h"
#include "windowsystemstart.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

struct Options
{
    bool simulate = false;
    QStringList ports;
    bool open = false;
    QString record;
    QString replay;
    QString review;
    double speed = 1;
    bool loop = false;
    std::optional<UiLanguage> language;
    bool verbose = false;
    QString serve;
    QString mqtt;
    MqttOptions mqttSecrets; // the URL is read again by the window
};

// A box or dialog that is still open when a signal comes is given this long to return from its
// own event loop before the window closes.
constexpr int kModalCloseMs = 50;

void printError(const QString &message)
{
    std::fprintf(stderr, "electronic-skin: %s\n", qPrintable(message));
}

void addOptions(CommandLine &line)
{
    line.addOptions({
        {QStringLiteral("simulate"),
         QStringLiteral("Start a simulated driver card inside the program, list its port first "
                        "and select it.")},
        {QStringLiteral("port"),
         QStringLiteral("List PATH among the serial ports even though the system does not "
                        "report it (a virtual port), and select the first one given. May be "
                        "repeated."),
         QStringLiteral("PATH")},
        {QStringLiteral("open"),
         QStringLiteral("Open the selected port at start, as if \"打开\" had been pressed.")},
        {QStringLiteral("record"),
         QStringLiteral("Record the sensor data to FILE (CSV) from the first time a port is open."),
         QStringLiteral("FILE")},
        {QStringLiteral("replay"),
         QStringLiteral("Start a simulated driver card that streams the recording FILE, list its "
                        "port first and select it (not with --simulate)."),
         QStringLiteral("FILE")},
        {QStringLiteral("speed"), QStringLiteral("Replay X times as fast (default 1)."),
         QStringLiteral("X"), QStringLiteral("1")},
        {QStringLiteral("loop"), QStringLiteral("Start the replay again when it ends.")},
        {QStringLiteral("review"),
         QStringLiteral("Open the recording FILE for review at start, as \"打开记录…\" does (not "
                        "with --simulate, --replay or --open)."),
         QStringLiteral("FILE")},
        {QStringLiteral("language"),
         QStringLiteral("Show the interface in LANGUAGE, zh (Chinese) or en (English), instead "
                        "of the language last chosen in the menu."),
         QStringLiteral("LANGUAGE")},
        {QStringLiteral("serve"),
         QStringLiteral("Share the live stream with other programs over TCP on PORT, on "
                        "127.0.0.1 unless an ADDRESS is given (as \"共享数据流…\" does)."),
         QStringLiteral("[ADDRESS:]PORT")},
        {QStringLiteral("mqtt"),
         QStringLiteral("Publish the live stream to the MQTT broker of URL under its PREFIX "
                        "(mqtt://[USER@]HOST[:PORT]/PREFIX, mqtts:// with TLS), as \"发布到 "
                        "MQTT…\" does."),
         QStringLiteral("URL")},
        {QStringLiteral("verbose"),
         QStringLiteral("Print the program's diagnostics (the eskin.* logging categories).")},
    });
    line.addOptions(MqttOptions::secretOptions());
}

// Qt's own options (-platform, -style, ...) are for the application object, which takes them
// out of the arguments itself.
QStringList withoutToolkitOptions(const QStringList &arguments)
{
    static const QStringList withValue{"platform",        "platformpluginpath",
                                       "platformtheme",   "plugin",
                                       "qwindowgeometry", "qwindowicon",
                                       "qwindowtitle",    "display",
                                       "geometry",        "style",
                                       "stylesheet",      "session"};
    static const QStringList switches{"reverse", "widgetcount", "nograb", "dograb", "sync"};
    QStringList kept;
    for (int i = 0; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        if (i == 0 || !name.startsWith(u'-')) {
            kept << name;
            continue;
        }
        name = name.mid(name.startsWith(QLatin1String("--")) ? 2 : 1).section(u'=', 0, 0);
        if (withValue.contains(name) && !arguments.at(i).contains(u'='))
            ++i; // its value too
        else if (!withValue.contains(name) && !switches.contains(name))
            kept << arguments.at(i);
    }
    return kept;
}

// --mqtt and its files; false when refused (and told), with the exit code in `code`.
bool readBroker(const CommandLine &line, Options &options, int *code)
{
    *code = CommandLine::kExitUsage;
    if (!line.needs(QStringLiteral("mqtt-password-file"), QStringLiteral("mqtt")) ||
        !line.needs(QStringLiteral("mqtt-cafile"), QStringLiteral("mqtt")))
        return false;
    options.mqtt = line.value(QStringLiteral("mqtt"));
    QString detail;
    const MqttUrl::Problem problem =
        line.isSet(QStringLiteral("mqtt"))
            ? MqttUrl::parse(options.mqtt, MqttUrl::Use::Publish, &options.mqttSecrets.url, &detail)
            : MqttUrl::Problem::None;
    if (problem != MqttUrl::Problem::None)
        return line.refuse(
            MqttUrl::refusal(QStringLiteral("--mqtt"), options.mqtt, problem, detail));
    // The environment's password serves the menu's publishing too.
    QString error;
    if (options.mqttSecrets.readSecrets(line.value(QStringLiteral("mqtt-password-file")),
                                        line.value(QStringLiteral("mqtt-cafile")), &error))
        return true;
    printError(error);
    *code = 1;
    return false;
}

// The values the options carry; false when one is refused (and told).
bool readValues(const CommandLine &line, Options &options)
{
    const QString review = QStringLiteral("review");
    if (!line.excludes(QStringLiteral("replay"), QStringLiteral("simulate")) ||
        !line.excludes(review, QStringLiteral("simulate")) ||
        !line.excludes(review, QStringLiteral("replay")) ||
        !line.excludes(review, QStringLiteral("open")) ||
        !line.needs(QStringLiteral("speed"), QStringLiteral("replay")) ||
        !line.needs(QStringLiteral("loop"), QStringLiteral("replay")) ||
        !line.number(QStringLiteral("speed"), RecordingPlayer::kMinSpeed,
                     RecordingPlayer::kMaxSpeed, &options.speed))
        return false;
    const QString language = line.value(QStringLiteral("language"));
    options.language = LanguageSwitcher::fromCode(language);
    if (line.isSet(QStringLiteral("language")) && !options.language)
        return line.refuse(
            QStringLiteral("unknown language \"%1\" for --language: use zh or en").arg(language));
    options.serve = line.value(QStringLiteral("serve"));
    QHostAddress serveAddress;
    quint16 servePort = 0;
    if (line.isSet(QStringLiteral("serve")) &&
        !StreamServer::parseAddress(options.serve, &serveAddress, &servePort))
        return line.refuse(QStringLiteral("--serve: not [ADDRESS:]PORT: %1").arg(options.serve));
    options.simulate = line.isSet(QStringLiteral("simulate"));
    for (const QString &port : line.values(QStringLiteral("port")))
        options.ports << PortList::fromCommandLine(port);
    options.open = line.isSet(QStringLiteral("open"));
    options.record = line.value(QStringLiteral("record"));
    options.replay = line.value(QStringLiteral("replay"));
    options.review = line.value(review);
    options.loop = line.isSet(QStringLiteral("loop"));
    options.verbose = line.isSet(QStringLiteral("verbose"));
    return true;
}

// Before the application object, which needs a display: a refused command line is told without
// one. CommandLine::kGoOn, or the exit code.
int readOptions(int argc, char *argv[], Options &options)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CommandLine line(QStringLiteral("electronic-skin"), QStringLiteral(ESKIN_VERSION),
                     QStringLiteral("Host application of the electronic skin: opens the driver "
                                    "card's serial port and shows the sensors' forces."));
    addOptions(line);
    if (const int code = line.parse(withoutToolkitOptions(arguments)); code != CommandLine::kGoOn)
        return code;
    if (!readValues(line, options))
        return CommandLine::kExitUsage;
    int code = CommandLine::kGoOn;
    return readBroker(line, options, &code) ? CommandLine::kGoOn : code;
}

void nameApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("ElectronicSkin"));
    QCoreApplication::setApplicationName(QStringLiteral("electronic-skin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ESKIN_VERSION));
}

// The recording to replay, checked whole before any window: null (after saying why) when it is
// not one.
std::unique_ptr<RecordIndex> openRecording(const QString &path)
{
    auto recording = std::make_unique<RecordIndex>();
    const bool readable = recording->open(path);
    for (const QString &warning : recording->warnings())
        printError(warning);
    if (readable)
        return recording;
    printError(recording->errorString());
    return nullptr;
}

// `player` is set to the card's player, which lives in the card's thread.
std::unique_ptr<SimulatedCard> startReplayCard(std::unique_ptr<RecordIndex> recording,
                                               const Options &options, RecordingPlayer *&player)
{
    auto card = std::make_unique<SimulatedCard>();
    const double speed = options.speed;
    const bool loop = options.loop;
    if (!card->start({}, [&](CardModel &model) {
            player = new RecordingPlayer(std::move(recording), speed, loop, &model);
            QObject::connect(player, &RecordingPlayer::failed, player, printError);
        })) {
        printError(QStringLiteral("the replay's simulated driver card did not start: %1")
                       .arg(card->errorString()));
        return nullptr;
    }
    return card;
}

// A signal ends the program as closing its window does. A box or dialog runs an event loop of
// its own: it is closed first, and the window once it has returned.
void closeOnSignal(MainWindow *window)
{
    if (QWidget *modal = QApplication::activeModalWidget()) {
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
        QTimer::singleShot(kModalCloseMs, window, [window] { closeOnSignal(window); });
        return;
    }
    window->close();
}

} // namespace

int main(int argc, char *argv[])
{
    Options options;
    if (const int code = readOptions(argc, argv, options); code != CommandLine::kGoOn)
        return code;
    applyDiagnosticsDefault(options.verbose);
    std::unique_ptr<RecordIndex> recording;
    if (!options.replay.isEmpty() && !(recording = openRecording(options.replay)))
        return 1;
    const QStringList replayWarnings = recording ? recording->warnings() : QStringList();

    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    std::optional<WindowSystemStart> windowSystem(std::in_place, QStringLiteral("electronic-skin"));
    QApplication app(argc, argv);
    windowSystem.reset();
    nameApplication();
    // Lets the desktop match the windows with the installed entry (its icon, its name).
    QGuiApplication::setDesktopFileName(QStringLiteral("electronic-skin"));
    TerminationSignals endSignals;

    // The simulated card outlives the main window, which closes its port on the way out.
    std::unique_ptr<SimulatedCard> card;
    RecordingPlayer *player = nullptr;
    if (options.simulate) {
        card = std::make_unique<SimulatedCard>();
        if (!card->start()) {
            printError(QStringLiteral("the simulated driver card did not start: %1")
                           .arg(card->errorString()));
            return 1;
        }
    } else if (recording && !(card = startReplayCard(std::move(recording), options, player))) {
        return 1;
    }
    const QStringList extraPorts =
        (card ? QStringList{card->portName()} : QStringList()) + options.ports;

    MainWindow window;
    window.setExtraPorts(extraPorts);
    window.preferPort(extraPorts.value(0));
    if (options.language)
        window.useLanguage(*options.language);
    window.setWindowTitle(QStringLiteral("Electronic Skin"));
    if (player) // plays only once the window has opened the port
        QObject::connect(player, &RecordingPlayer::markerPlayed, &window,
                         &MainWindow::showReplayedMarker);
    window.show();
    window.showRecordingWarnings(replayWarnings);
    if (!options.record.isEmpty())
        window.recording()->recordOnFirstOpen(options.record);
    if (!options.serve.isEmpty())
        window.stream()->start(options.serve);
    window.mqtt()->setSecrets(options.mqttSecrets.password, options.mqttSecrets.caFile);
    if (!options.mqtt.isEmpty()) // an unreachable broker is tried again, as the status bar says
        window.mqtt()->start(options.mqtt);
    if (options.open)
        QTimer::singleShot(0, &window, &MainWindow::openSelectedPort);
    if (!options.review.isEmpty()) // refused as the menu's file is: with a box, staying live
        QTimer::singleShot(0, &window,
                           [&window, path = options.review] { window.openRecording(path); });
    QObject::connect(&endSignals, &TerminationSignals::received, &window,
                     [&window] { closeOnSignal(&window); });
    return app.exec();
}
