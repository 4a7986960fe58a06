#include "mainwindow.h"
#include "simulatedcard.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <memory>

namespace {

struct Options
{
    bool simulate = false;
    QStringList ports;
};

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
    parser.addOption(simulate);
    parser.addOption(port);
    parser.process(app);
    return {parser.isSet(simulate), parser.values(port)};
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

void nameApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("ElectronicSkin"));
    QCoreApplication::setApplicationName(QStringLiteral("electronic-skin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ESKIN_VERSION));
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

    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QApplication app(argc, argv);
    nameApplication();
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
    extraPorts << options.ports;

    MainWindow window;
    window.setExtraPorts(extraPorts);
    window.setWindowTitle(QStringLiteral("Electronic Skin"));
    window.show();
    return app.exec();
}
