// SPDX-License-Identifier: GPL-3.0-or-later
// eskin-analyse as a script runs it: a short recording (with a marker, a gap and a frequency line)
// from a file and from standard input against values computed by hand, refused recordings and
// bad command lines with their exit codes and messages.

#include "recordformat.h"
#include "testfile.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QString error;
};

Result analyse(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess program;
    program.start(QStringLiteral(ESKIN_ANALYSE), arguments);
    if (!program.waitForStarted(20000))
        return {};
    program.write(input);
    program.closeWriteChannel();
    if (!program.waitForFinished(60000))
        return {};
    return {program.exitCode(), program.readAllStandardOutput(),
            QString::fromLocal8Bit(program.readAllStandardError())};
}

QByteArray row(const char *time, int sensors, const QList<QPair<int, Axit_t>> &loaded)
{
    QList<Axit_t> readings(sensors, Axit_t{0, 0, 0});
    for (const auto &[sensor, reading] : loaded)
        readings[sensor] = reading;
    QByteArray line;
    RecordFormat::appendFrameLine(line, qint64(std::llround(std::atof(time) * 1e6)), readings,
                                  uint(sensors));
    return line;
}

// The frames of the definitions' own cases, with a line of each kind among them.
QByteArray recording()
{
    return "# program: electronic-skin 0.1.0\n# frequency_hz: 100\n" + RecordFormat::headerLine() +
           '\n' + row("0", 16, {{5, {0, 0, 499}}}) +
           row("0.01", 16, {{0, {600, 0, 800}}, {15, {0, -1800, 2400}}}) +
           "# marker: 0.010000,1,load on\n"
           "# gap: 0.01,1.5,port lost\n" +
           row("1.51", 5, {{1, {0, 0, -1000}}, {4, {0, 0, 2000}}}) + "# frequency: 1.520000,200\n" +
           row("1.52", 4, {{3, {300, 400, 0}}});
}

QByteArray analysis(const QString &source, int threshold, const QByteArray &lastRow)
{
    return "# program: eskin-analyse " ESKIN_VERSION "\n# source: " + source.toUtf8() +
           "\n# threshold: " + QByteArray::number(threshold) +
           "\n# recorded_by: electronic-skin 0.1.0\n# frequency_hz: 100\n"
           "time_s,contacts,total_x,total_y,total_z,total_magnitude,cop_column,cop_row,"
           "peak_sensor,peak_magnitude\n"
           "0.000000,0,0,0,0,0.000000,,,5,499.000000\n"
           "0.010000,2,600,-1800,3200,3720.215048,2.250000,2.250000,15,3000.000000\n"
           "# marker: 0.010000,1,load on\n"
           "# gap: 0.010000,1.500000,port lost\n"
           "1.510000,2,0,0,1000,1000.000000,0.333333,0.666667,4,2000.000000\n"
           "# frequency: 1.520000,200\n" +
           lastRow + '\n';
}

} // namespace

class tst_EskinAnalyse : public QObject
{
    Q_OBJECT

private slots:
    // A folder of its own for every case: what a case leaves behind shows.
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void recording_givesALinePerFrame_withItsMarkerGapAndFrequencyLines_data()
    {
        QTest::addColumn<bool>("fromStandardInput");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<QByteArray>("lastRow");
        QTest::newRow("file to file") << false << 500
                                      << QByteArray("1.520000,1,300,400,0,500.000000,3.000000,"
                                                    "0.000000,3,500.000000");
        QTest::newRow("standard input to standard output, threshold above the last frame")
            << true << 501 << QByteArray("1.520000,0,0,0,0,0.000000,,,3,500.000000");
    }

    void recording_givesALinePerFrame_withItsMarkerGapAndFrequencyLines()
    {
        QFETCH(bool, fromStandardInput);
        QFETCH(int, threshold);
        QFETCH(QByteArray, lastRow);
        const QString input = m_dir->filePath(QStringLiteral("run.csv"));
        const QString output = m_dir->filePath(QStringLiteral("analysis.csv"));
        QVERIFY(writeTestFile(input, recording()));
        QVERIFY(writeTestFile(output, "an older file\n"));

        QStringList arguments{QStringLiteral("--threshold"), QString::number(threshold)};
        if (fromStandardInput)
            arguments << QStringLiteral("-");
        else
            arguments << input << QStringLiteral("--output") << output;
        const Result result = analyse(arguments, fromStandardInput ? recording() : QByteArray());
        QCOMPARE(result.error, QString());
        QCOMPARE(result.exitCode, 0);
        if (fromStandardInput) {
            QCOMPARE(result.out, analysis(QStringLiteral("standard input"), threshold, lastRow));
        } else {
            QFile written(output);
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(written.readAll(), analysis(input, threshold, lastRow));
            QCOMPARE(result.out, QByteArray());
        }
    }

    void badRecording_isRefusedNamingItsLine_andLeavesTheOutputAsItWas_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("arguments"); // %in and %out stand for the files
        QTest::addColumn<QString>("error");
        const QByteArray head = RecordFormat::headerLine() + '\n' + row("1", 1, {});
        QTest::newRow("time backwards")
            << head + row("0.5", 1, {}) << QStringList{"%in", "--output", "%out"}
            << "eskin-analyse: %in:3: time 0.500000 is earlier than the line before (1.000000)\n";
        QTest::newRow("from standard input")
            << head + "# note\n"
            << QStringList{"-", "--output", "%out"}
            << "eskin-analyse: standard input:3: a comment line among the rows;";
        QTest::newRow("no such recording")
            << QByteArray() << QStringList{"%in.missing", "--output", "%out"}
            << "eskin-analyse: %in.missing: cannot be read: No such file or directory\n";
        QTest::newRow("output over the recording")
            << head << QStringList{"%in", "--output", "%in"}
            << "eskin-analyse: cannot write %in: it is the recording to analyse\n";
    }

    void badRecording_isRefusedNamingItsLine_andLeavesTheOutputAsItWas()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const QString input = m_dir->filePath(QStringLiteral("bad.csv"));
        const QString output = m_dir->filePath(QStringLiteral("kept.csv"));
        QVERIFY(writeTestFile(input, content));
        QVERIFY(writeTestFile(output, "an older file\n"));
        arguments.replaceInStrings(QStringLiteral("%in"), input);
        arguments.replaceInStrings(QStringLiteral("%out"), output);

        const Result result = analyse(arguments, content);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.error.startsWith(error.replace(QStringLiteral("%in"), input)),
                 qPrintable(result.error));
        QFile kept(output);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("an older file\n"));
        QFile recordingFile(input);
        QVERIFY(recordingFile.open(QIODevice::ReadOnly));
        QCOMPARE(recordingFile.readAll(), content);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2); // no file left behind
    }

    void badCommandLine_exitsTwoWithUsageHint_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("no recording") << QStringList() << "missing FILE";
        QTest::newRow("two recordings")
            << QStringList{"a.csv", "b.csv"} << "unexpected argument: b.csv";
        QTest::newRow("threshold 0") << QStringList{"a.csv", "--threshold", "0"}
                                     << "--threshold: not a whole number from 1 to 56755: 0";
        QTest::newRow("threshold beyond any reading")
            << QStringList{"a.csv", "--threshold", "56756"}
            << "--threshold: not a whole number from 1 to 56755: 56756";
        QTest::newRow("threshold not a number")
            << QStringList{"a.csv", "--threshold", "5e2"}
            << "--threshold: not a whole number from 1 to 56755: 5e2";
        QTest::newRow("output without a value")
            << QStringList{"a.csv", "--output"} << "Missing value after '--output'.";
        QTest::newRow("one-dash option") << QStringList{"a.csv", "-threshold", "9"}
                                         << "unknown option '-threshold'; did you mean";
    }

    void badCommandLine_exitsTwoWithUsageHint()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const Result result = analyse(arguments);
        QCOMPARE(result.exitCode, 2);
        QVERIFY2(result.error.startsWith(QStringLiteral("eskin-analyse: ") + error),
                 qPrintable(result.error));
        QVERIFY(result.error.endsWith(
            QStringLiteral("Try 'eskin-analyse --help' for more information.\n")));
        QCOMPARE(result.out, QByteArray());
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(tst_EskinAnalyse)
#include "tst_eskinanalyse.moc"
