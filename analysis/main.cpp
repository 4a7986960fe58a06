// SPDX-License-Identifier: GPL-3.0-or-later
// eskin-analyse: what a recording's frames say about the skin as a whole (contacts, total force,
// centre of pressure, peak), one CSV line per frame.
//   eskin-analyse FILE|- [--threshold N] [--output OUT|-]

#include "commandline.h"
#include "frameanalysis.h"
#include "recordinganalysis.h"

#include <QStringList>

#include <cstdio>

namespace {

void printError(const QString &message)
{
    std::fprintf(stderr, "eskin-analyse: %s\n", qPrintable(message));
}

void addOptions(CommandLine &line)
{
    line.addArgument(QStringLiteral("FILE"),
                     QStringLiteral("The recording to analyse, - for standard input."));
    line.addOptions({
        {QStringLiteral("threshold"),
         QStringLiteral("A sensor is in contact from this magnitude on (default %1).")
             .arg(FrameAnalysis::kDefaultThreshold),
         QStringLiteral("N")},
        {QStringLiteral("output"),
         QStringLiteral("The CSV file to write, - for standard output (the default). An "
                        "existing file is replaced once the whole recording is analysed."),
         QStringLiteral("OUT")},
    });
}

} // namespace

// No application object: nothing here waits for events, and the help names the program as it
// is installed.
int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CommandLine line(QStringLiteral("eskin-analyse"), QStringLiteral(ESKIN_VERSION),
                     QStringLiteral("Analyses an electronic-skin recording frame by frame: "
                                    "contacts, total force, centre of pressure and peak, as CSV."));
    addOptions(line);
    if (const int code = line.parse(arguments); code != CommandLine::kGoOn)
        return code;
    qint64 threshold = FrameAnalysis::kDefaultThreshold;
    if (!line.integer(QStringLiteral("threshold"), FrameAnalysis::kMinThreshold,
                      FrameAnalysis::kMaxThreshold, &threshold))
        return CommandLine::kExitUsage;
    const QString output = line.isSet(QStringLiteral("output"))
                               ? line.value(QStringLiteral("output"))
                               : QString::fromLatin1(RecordingAnalysis::kStandardStream);

    RecordingAnalysis analysis(line.arguments().constFirst(), output, int(threshold),
                               QStringLiteral("eskin-analyse " ESKIN_VERSION));
    const bool done = analysis.run();
    for (const QString &warning : analysis.warnings())
        printError(warning);
    if (!done) {
        printError(analysis.errorString());
        return 1;
    }
    return 0;
}
