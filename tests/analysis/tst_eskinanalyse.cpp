// SPDX-License-Identifier: GPL-3.0-or-later
// eskin-analyse as a script runs it: a short recording (with a marker, a gap and a frequency line)
// from a file and from standard input against values computed by hand, and refused recordings.
// Its command line is tried with the other programs' (tst_commandline).

#include "loadedframe.h"
#include "recordformat.h"
#include "testfile.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <tuple>

namespace {

// Its exit code, standard output and standard error.
std::tuple<int, QByteArray, QString> analyse(const QStringList &arguments, const QByteArray &input)
{
    QProcess program;
    program.start(QStringLiteral(ESKIN_ANALYSE), arguments);
    program.write(input);
    program.closeWriteChannel();
    if (!program.waitForFinished(60000))
        return {-1, {}, QStringLiteral("did not end")};
    return {program.exitCode(), program.readAllStandardOutput(),
            QString::fromLocal8Bit(program.readAllStandardError())};
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

QByteArray row(qint64 micros, int sensors, const QList<QPair<int, Axit_t>> &loaded = {})
{
    QByteArray line;
    RecordFormat::appendFrameLine(line, micros, loadedFrame(sensors, loaded), uint(sensors));
    return line;
}

// The frames of the analysis' own test cases, with a line of each kind among them.
QByteArray recording()
{
    return "# program: electronic-skin 0.1.0\n# frequency_hz: 100\n" + RecordFormat::headerLine() +
           '\n' + row(0, 16, {{5, {0, 0, 499}}}) +
           row(10000, 16, {{0, {600, 0, 800}}, {15, {0, -1800, 2400}}}) +
           "# marker: 0.010000,1,load on\n# gap: 0.01,1.5,port lost\n" +
           row(1510000, 5, {{1, {0, 0, -1000}}, {4, {0, 0, 2000}}}) +
           "# frequency: 1.520000,200\n" + row(1520000, 4, {{3, {300, 400, 0}}});
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
           "# marker: 0.010000,1,load on\n# gap: 0.010000,1.500000,port lost\n"
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
        QVERIFY(writeTestFile(output(), "an older file\n"));
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
        QVERIFY(writeTestFile(input(), recording()));
        const QStringList source =
            fromStandardInput ? QStringList{"-"} : QStringList{input(), "--output", output()};
        const auto [code, out, error] =
            analyse(source + QStringList{"--threshold", QString::number(threshold)},
                    fromStandardInput ? recording() : QByteArray());
        QCOMPARE(error, QString());
        QCOMPARE(code, 0);
        QCOMPARE(fromStandardInput ? out : contentOf(output()),
                 analysis(fromStandardInput ? QStringLiteral("standard input") : input(), threshold,
                          lastRow));
    }

    void badRecording_isRefusedNamingItsLine_andLeavesTheOutputAsItWas_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("arguments"); // %in and %out stand for the files
        QTest::addColumn<QString>("error");
        const QByteArray head = RecordFormat::headerLine() + '\n' + row(1000000, 1);
        QTest::newRow("time backwards")
            << head + row(500000, 1) << QStringList{"%in", "--output", "%out"}
            << "eskin-analyse: %in:3: time 0.500000 is earlier than the line before (1.000000)\n";
        QTest::newRow("from standard input")
            << head + "# note\n"
            << QStringList{"-", "--output", "%out"}
            << "eskin-analyse: standard input:3: a comment line among the rows;";
        QTest::newRow("output over the recording")
            << head << QStringList{"%in", "--output", "%in"}
            << "eskin-analyse: cannot write %in: it is the recording to analyse\n";
    }

    void badRecording_isRefusedNamingItsLine_andLeavesTheOutputAsItWas()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QVERIFY(writeTestFile(input(), content));
        arguments.replaceInStrings(QStringLiteral("%in"), input());
        arguments.replaceInStrings(QStringLiteral("%out"), output());
        const auto [code, out, said] = analyse(arguments, content);
        QCOMPARE(code, 1);
        QVERIFY2(said.startsWith(error.replace(QStringLiteral("%in"), input())), qPrintable(said));
        QCOMPARE(contentOf(output()), QByteArray("an older file\n"));
        QCOMPARE(contentOf(input()), content);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2); // no file left behind
    }

private:
    QString input() const { return m_dir->filePath(QStringLiteral("run.csv")); }
    QString output() const { return m_dir->filePath(QStringLiteral("analysis.csv")); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(tst_EskinAnalyse)
#include "tst_eskinanalyse.moc"
