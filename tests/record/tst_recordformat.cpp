// SPDX-License-Identifier: GPL-3.0-or-later
// The recording format as scripts and the replay depend on it: what the writer puts in a file,
// that the reader gives it back, and every kind of file the reader refuses and where.

#include "recordreader.h"
#include "recordwriter.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QList<Axit_t> readings(int count, qint16 base)
{
    QList<Axit_t> list;
    for (int i = 0; i < count; ++i)
        list.append(Axit_t{qint16(base + i), qint16(-base - i), qint16(i * 100)});
    return list;
}

// A good data line with `sensors` sensors, the rest of the line empty.
QByteArray dataLine(const QByteArray &time, int sensors)
{
    QByteArray line = time + ',' + QByteArray::number(sensors);
    for (int cell = 0; cell < 48; ++cell)
        line += cell < sensors * 3 ? ",7" : ",";
    return line + '\n';
}

} // namespace

class tst_RecordFormat : public QObject
{
    Q_OBJECT

private slots:
    void writtenFile_hasHeader_andReadsBackFrameForFrame()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.csv"));
        {
            RecordWriter writer;
            QVERIFY(writer.open(
                path, {QStringLiteral("test 1"), QStringLiteral("/dev/ttyX"), 115200, 200}));
            writer.writeFrame(readings(16, 32750), 16);
            writer.writeFrame(readings(16, -32768), 1); // only the first reading counts
            writer.writeFrame(readings(3, 5), 3);
            QCOMPARE(writer.framesWritten(), 3);
            writer.finish();
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.at(0), QByteArray("# program: test 1"));
        QCOMPARE(lines.at(3), QByteArray("# frequency_hz: 200"));
        QVERIFY(
            QRegularExpression(QStringLiteral(R"(^# start: \d{4}-\d\d-\d\dT[\d:.]+[+-]\d\d:\d\d$)"))
                .match(QString::fromLatin1(lines.at(4)))
                .hasMatch());
        QCOMPARE(lines.at(5).count(',') + 1, 50);
        QVERIFY(lines.at(5).startsWith("time_s,sensors,s0_x,s0_y,s0_z,s1_x,"));
        QVERIFY(lines.at(5).endsWith(",s15_x,s15_y,s15_z"));
        QVERIFY(lines.at(6).startsWith("0.000000,16,32750,-32750,0,32751,-32751,100,"));
        QVERIFY(lines.at(7).endsWith(",1,-32768,-32768,0" + QByteArray(45, ',')));
        QCOMPARE(lines.last(), QByteArray()); // ends on a line end

        RecordReader reader;
        QVERIFY2(reader.read(path), qPrintable(reader.errorString()));
        QCOMPARE(reader.frames().size(), std::size_t(3));
        QCOMPARE(reader.frames()[0].timeUs, 0);
        QCOMPARE(reader.frames()[1].sensors, 1);
        QCOMPARE(reader.frames()[1].readings[0].x, qint16(-32768));
        QCOMPARE(reader.frames()[2].readings[2].z, qint16(200));
        QVERIFY(reader.frames()[2].timeUs >= reader.frames()[1].timeUs);
        QVERIFY(reader.warnings().isEmpty());
    }

    void unwritablePath_isRefusedWithReason_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("a directory") << QDir::tempPath();
        QTest::newRow("no such folder") << QStringLiteral("/nonexistent-folder/run.csv");
        QTest::newRow("full disk") << QStringLiteral("/dev/full");
    }

    void unwritablePath_isRefusedWithReason()
    {
        QFETCH(QString, path);
        RecordWriter writer;
        QVERIFY(!writer.open(path, {}));
        QVERIFY(!writer.errorString().isEmpty());
        QVERIFY(!writer.isOpen());
    }

    void rejectedFile_namesLineAndCause_data()
    {
        const QByteArray header = RecordWriter::headerLine() + '\n';
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << QByteArray() << "f.csv:1: no header line";
        QTest::newRow("no header") << dataLine("0.0", 1) << "f.csv:1: expected the header";
        QTest::newRow("other header") << QByteArray("# x\ntime,sensors\n") << "f.csv:2: expected";
        QTest::newRow("comment after header") << header + "# late\n"
                                              << "f.csv:2: 1 columns, expected 50";
        QTest::newRow("missing column")
            << header + dataLine("0.0", 1).replace(",,\n", ",\n") << "f.csv:2: 49 columns";
        QTest::newRow("not an integer") << header + dataLine("0.0", 2).replace(",7,", ",7.5,")
                                        << "f.csv:2: s0_x \"7.5\" is not an integer";
        QTest::newRow("above range") << header + dataLine("0.0", 1).replace(",7,", ",32768,")
                                     << "f.csv:2: s0_x 32768 is outside -32768..32767";
        QTest::newRow("below range") << header + dataLine("0.0", 1).replace(",7,", ",-32769,")
                                     << "f.csv:2: s0_x -32769 is outside";
        QTest::newRow("no sensors") << header + dataLine("0.0", 0) << "f.csv:2: sensors \"0\"";
        QTest::newRow("17 sensors")
            << header + dataLine("0.0", 16).replace(",16,", ",17,") << "f.csv:2: sensors \"17\"";
        QTest::newRow("count above filled")
            << header + dataLine("0.0", 2).replace("0.0,2,", "0.0,3,") << "f.csv:2: s2_x is empty";
        QTest::newRow("count below filled")
            << header + dataLine("0.0", 2).replace("0.0,2,", "0.0,1,") << "f.csv:2: s1_x is filled";
        QTest::newRow("time backwards") << header + dataLine("1.5", 1) + dataLine("1.25", 1)
                                        << "f.csv:3: time 1.250000 is earlier";
        QTest::newRow("bad time") << header + dataLine("-1", 1) << "f.csv:2: time_s \"-1\"";
    }

    void rejectedFile_namesLineAndCause()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        QBuffer buffer(&content);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        RecordReader reader;
        QVERIFY(!reader.read(buffer, QStringLiteral("f.csv")));
        QVERIFY2(reader.errorString().startsWith(error), qPrintable(reader.errorString()));
        QVERIFY(reader.frames().empty());
    }

    void cutShortLastLine_isLeftOutWithWarning()
    {
        QByteArray content = RecordWriter::headerLine() + "\r\n" + dataLine("0.000000", 2) +
                             dataLine("0.010000", 2).left(20);
        QBuffer buffer(&content);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        RecordReader reader;
        QVERIFY2(reader.read(buffer, QStringLiteral("f.csv")), qPrintable(reader.errorString()));
        QCOMPARE(reader.frames().size(), std::size_t(1));
        QCOMPARE(reader.warnings().size(), 1);
        QVERIFY(reader.warnings().first().startsWith(QLatin1String("f.csv:3:")));
    }
};

QTEST_GUILESS_MAIN(tst_RecordFormat)
#include "tst_recordformat.moc"
