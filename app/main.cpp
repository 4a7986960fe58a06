// SPDX-License-Identifier: GPL-3.0-or-later
#include "diagnostics.h"
#include "languageswitcher.h"
#include "mainwindow.h"
#include "recordingcontrol.h"
#include "recordingplayer.h"
#include "simulatedcard.h"
#include "streamcontrol.h"
#include "streamserver.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
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
    QString speed;
    bool loop = false;
    std::optional<UiLanguage> language;
    QString serve;
};

const QString kLanguageOption = QStringLiteral("language");
const QString kServeOption = QStringLiteral("serve");

void addRecordOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("open"),
         QStringLiteral("Open the selected port at start, as if \"打开\" had been pressed.")},
        {QStringLiteral("record"),
         QStringLiteral("Record the sensor data to FILE (CSV) from the first time a port is open."),
         QStringLiteral("FILE")},
        {QStringLiteral("replay"),
         QStringLiteral("Start a simulated driver card that streams the recording FILE and list "
                        "its port first (not with --simulate)."),
         QStringLiteral("FILE")},
        {QStringLiteral("speed"), QStringLiteral("Replay X times as fast (default 1)."),
         QStringLiteral("X"), QStringLiteral("1")},
        {QStringLiteral("loop"), QStringLiteral("Start the replay again when it ends.")},
        {kServeOption,
         QStringLiteral("Share the live stream with other programs over TCP on PORT, on "
                        "127.0.0.1 unless an ADDRESS is given (as \"共享数据流…\" does)."),
         QStringLiteral("[ADDRESS:]PORT")},
    });
}

Options parseOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Host application of the electronic skin: opens the driver card's serial "
                       "port and shows the sensors' forces."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Start a simulated driver card inside the program and list its port "
                       "first."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("List PATH among the serial ports even though the system does not "
                       "report it (a virtual port). May be repeated."),
        QStringLiteral("PATH"));
    const QCommandLineOption language(
        kLanguageOption,
        QStringLiteral("Show the interface in LANGUAGE, zh (Chinese) or en (English), instead of "
                       "the language last chosen in the menu."),
        QStringLiteral("LANGUAGE"));
    const QCommandLineOption verbose(
        QStringLiteral("verbose"),
        QStringLiteral("Print the program's diagnostics (the eskin.* logging categories)."));
    parser.addOption(simulate);
    parser.addOption(port);
    parser.addOption(language);
    parser.addOption(verbose);
    addRecordOptions(parser);
    parser.process(app);
    return {parser.isSet(simulate),
            parser.values(port),
            parser.isSet(QStringLiteral("open")),
            parser.value(QStringLiteral("record")),
            parser.value(QStringLiteral("replay")),
            parser.value(QStringLiteral("speed")),
            parser.isSet(QStringLiteral("loop")),
            LanguageSwitcher::fromCode(parser.value(language)),
            parser.value(kServeOption)};
}

QString speedError(const QString &speed)
{
    bool ok = false;
    if (RecordingPlayer::isSpeed(speed.toDouble(&ok)) && ok)
        return {};
    return QStringLiteral("--speed: not a factor from %1 to %2: %3")
        .arg(RecordingPlayer::kMinSpeed)
        .arg(RecordingPlayer::kMaxSpeed)
        .arg(speed);
}

// An unknown language or replay speed is refused before the windowed application needs a
// display.
bool refusesValues(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    const QCommandLineOption speed(QStringLiteral("speed"), QString(), QStringLiteral("X"));
    parser.addOption(QCommandLineOption(kLanguageOption, QString(), QStringLiteral("LANGUAGE")));
    parser.addOption(speed);
    // Only these values count here; the other options are checked later, with the help text
    // at hand.
    parser.parse(arguments);
    if (parser.isSet(speed) && !speedError(parser.value(speed)).isEmpty()) {
        std::fprintf(stderr, "electronic-skin: %s\n", qPrintable(speedError(parser.value(speed))));
        return true;
    }
    const QString value = parser.value(kLanguageOption);
    if (!parser.isSet(kLanguageOption) || LanguageSwitcher::fromCode(value))
        return false;
    std::fprintf(stderr, "electronic-skin: unknown language \"%s\" for --language: use zh or en\n",
                 qPrintable(value));
    return true;
}

// A malformed --serve value is refused before the windowed application needs a display.
bool refusesServeAddress(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.addOption(QCommandLineOption(kServeOption, QString(), QStringLiteral("ADDRESS")));
    parser.parse(arguments);
    QHostAddress address;
    quint16 port = 0;
    const QString value = parser.value(kServeOption);
    if (!parser.isSet(kServeOption) || StreamServer::parseAddress(value, &address, &port))
        return false;
    std::fprintf(stderr, "electronic-skin: --serve: not [ADDRESS:]PORT: %s\n", qPrintable(value));
    return true;
}

// Help and version need no display: they are answered before the windowed application exists.
bool asksForTextOnly(int argc, char *argv[])
{
    const QByteArrayList textOptions{"-h", "--help", "-?", "--help-all", "-v", "--version"};
    for (int i = 1; i < argc; ++i) {
        if (textOptions.contains(QByteArray(argv[i])))
            return true;
    }
    return false;
}

bool hasOption(int argc, char *argv[], const QByteArray &name)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == name || argument.startsWith(name + '='))
            return true;
    }
    return false;
}

void nameApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("ElectronicSkin"));
    QCoreApplication::setApplicationName(QStringLiteral("electronic-skin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ESKIN_VERSION));
}

// Reads the recording and starts a card that plays it; an empty string, or why it did not start.
QString startReplayCard(const Options &options, std::unique_ptr<SimulatedCard> &card,
                        RecordingPlayer *&player)
{
    const double speed = options.speed.toDouble(); // checked before the application started
    auto recording = std::make_unique<RecordIndex>();
    const bool readable = recording->open(options.replay);
    for (const QString &warning : recording->warnings())
        std::fprintf(stderr, "electronic-skin: %s\n", qPrintable(warning));
    if (!readable)
        return recording->errorString();
    card = std::make_unique<SimulatedCard>();
    const bool loop = options.loop;
    if (!card->start({}, [&](CardModel &model) {
            player = new RecordingPlayer(std::move(recording), speed, loop, &model);
            QObject::connect(player, &RecordingPlayer::failed, player, [](const QString &error) {
                std::fprintf(stderr, "electronic-skin: %s\n", qPrintable(error));
            });
        })) {
        const QString reason = card->errorString();
        card.reset();
        return reason;
    }
    return {};
}

} // namespace

int main(int argc, char *argv[])
{
    if (asksForTextOnly(argc, argv)) {
        QCoreApplication app(argc, argv);
        nameApplication();
        parseOptions(app); // prints and exits
        return 0;
    }
    if (refusesValues(argc, argv) || refusesServeAddress(argc, argv))
        return 2;
    applyDiagnosticsDefault(hasOption(argc, argv, "--verbose"));

    // Refused before any window: the two cards would each be listed first.
    if (hasOption(argc, argv, "--replay") && hasOption(argc, argv, "--simulate")) {
        std::fprintf(stderr, "electronic-skin: --replay and --simulate cannot be used together: "
                             "each starts a simulated card of its own\n");
        return 2;
    }

    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QApplication app(argc, argv);
    nameApplication();
    // Lets the desktop match the windows with the installed entry (its icon, its name).
    QGuiApplication::setDesktopFileName(QStringLiteral("electronic-skin"));
    const Options options = parseOptions(app);

    // The simulated card outlives the main window, which closes its port on the way out.
    std::unique_ptr<SimulatedCard> card;
    QStringList extraPorts;
    if (options.simulate) {
        card = std::make_unique<SimulatedCard>();
        if (!card->start()) {
            std::fprintf(stderr, "electronic-skin: the simulated driver card did not start: %s\n",
                         qPrintable(card->errorString()));
            return 1;
        }
        extraPorts << card->portName();
    }
    QString replayError;
    RecordingPlayer *player = nullptr; // lives in the card's thread
    if (!options.replay.isEmpty()) {
        replayError = startReplayCard(options, card, player);
        if (card)
            extraPorts << card->portName();
        else
            std::fprintf(stderr, "electronic-skin: %s\n", qPrintable(replayError));
    }
    extraPorts << options.ports;

    MainWindow window;
    window.setExtraPorts(extraPorts);
    if (options.language)
        window.useLanguage(*options.language);
    window.setWindowTitle(QStringLiteral("Electronic Skin"));
    if (player) // plays only once the window has opened the port
        QObject::connect(player, &RecordingPlayer::markerPlayed, &window,
                         &MainWindow::showReplayedMarker);
    window.show();
    if (!replayError.isEmpty())
        QMessageBox::critical(&window, QObject::tr("错误信息"), replayError);
    if (!options.record.isEmpty())
        window.recording()->recordOnFirstOpen(options.record);
    if (!options.serve.isEmpty())
        window.stream()->start(options.serve);
    if (options.open)
        QTimer::singleShot(0, &window, &MainWindow::openSelectedPort);
    return app.exec();
}
