// SPDX-License-Identifier: GPL-3.0-or-later
// The recording format as scripts and the replay depend on it: what the writer puts in a file,
// that the reader gives it back, and every kind of file the reader refuses and where.

#include "framestamper.h"
#include "recordcompare.h"
#include "recordindex.h"
#include "recordreader.h"
#include "recordwriter.h"
#include "testfile.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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
            FrameStamper stamps;
            writer.writeFrame(stamps.next(0), readings(16, 32750), 16);
            writer.writeFrame(stamps.next(0), readings(16, -32768), 1); // only the first counts
            writer.writeFrame(stamps.next(0), readings(3, 5), 3);
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

    // Frames at 100 Hz, then a gap, then 200 Hz. The second frame is marked once its row has gone
    // out, then again once the third has come, as the window's markers come late.
    void markersGapsAndRates_comeBackFromTheReader()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("marked.csv"));
        const qint64 start = FrameStamp::clockMicros() - 20000;
        const FrameStamp secondFrame{2, start + 10000, 100};
        {
            RecordWriter writer;
            QVERIFY(writer.open(path, {}, RecordWriter::FrequencyToCome));
            writer.writeMarker({}, 1, QStringLiteral("before\nthe first")); // for the first row
            writer.beginGap(QStringLiteral("no time base yet"));
            writer.writeFrame({1, start, 100}, readings(2, 1), 2);
            writer.writeFrame(secondFrame, readings(2, 2), 2);
            writer.setFrequency(100); // the rows go out
            writer.writeMarker(secondFrame, 2, QStringLiteral("load, on\u2028"));
            writer.beginGap(QStringLiteral("port lost"));
            writer.beginGap(QStringLiteral("lost again"));
            writer.writeFrame({3, FrameStamp::clockMicros() + 1000, 200}, readings(2, 3), 2);
            writer.writeMarker(secondFrame, 3, QStringLiteral("again"));
            writer.beginGap(QStringLiteral("lost at the end"));
            writer.finish();
        }
        RecordReader reader;
        QVERIFY2(reader.read(path), qPrintable(reader.errorString()));
        const auto &frames = reader.frames();
        QCOMPARE(frames.size(), std::size_t(3));
        QCOMPARE(reader.markers().size(), std::size_t(3));
        QCOMPARE(reader.markers()[2].number, 3);
        QCOMPARE(reader.markers()[2].frameIndex, 1);
        const RecordMarker first = reader.markers()[0], second = reader.markers()[1];
        QCOMPARE(first.frameIndex, 0);
        QCOMPARE(first.timeUs, 0);
        QCOMPARE(first.number, 1);
        QCOMPARE(first.label, QStringLiteral("before the first"));
        QCOMPARE(second.frameIndex, 1);
        QCOMPARE(second.timeUs, frames[1].timeUs);
        QCOMPARE(frames[1].timeUs, 10000); // the stamps' times
        QCOMPARE(second.label, QStringLiteral("load, on "));
        QCOMPARE(reader.gaps().size(), std::size_t(2));
        const RecordGap lost = reader.gaps()[0], atEnd = reader.gaps()[1];
        QCOMPARE(lost.frameIndex, 2);
        QCOMPARE(lost.cause, QStringLiteral("port lost"));
        QVERIFY(lost.startUs >= frames[1].timeUs);
        QCOMPARE(lost.startUs + lost.lengthUs, frames[2].timeUs);
        QCOMPARE(atEnd.frameIndex, 3);
        QCOMPARE(atEnd.cause, QStringLiteral("lost at the end"));
        QVERIFY(atEnd.startUs >= frames[2].timeUs);
        QCOMPARE(reader.frequencyHz(), 100);
        QCOMPARE(reader.rateChanges().size(), std::size_t(1));
        QCOMPARE(reader.rateChanges()[0].frameIndex, 2);
        QCOMPARE(reader.rateChanges()[0].hz, 200);
    }

    void index_readsAnyRange_andRefusesAFileThatChanged()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.csv"));
        QByteArray content = RecordWriter::headerLine() + '\n';
        for (int i = 0; i < 1000; ++i) {
            const qint64 timeUs = i * 5000 + (i >= 500 ? 1000000 : 0);
            RecordFormat::appendFrameLine(content, timeUs, readings(1 + i % 16, qint16(i)), 16);
            if (i == 499)
                content += RecordFormat::gapLine(2500000, 1000000, QStringLiteral("lost"));
            if (i % 300 == 0)
                content += RecordFormat::markerLine(timeUs, i, QStringLiteral("m"));
        }
        QVERIFY(writeTestFile(path, content));
        RecordReader reader;
        QVERIFY2(reader.read(path), qPrintable(reader.errorString()));
        RecordIndex index;
        qint64 lastDone = 0;
        QVERIFY(index.open(path, [&](qint64 done, qint64 total) {
            lastDone = done;
            return total == content.size();
        }));
        QCOMPARE(lastDone, content.size());
        QCOMPARE(index.frameCount(), 1000);
        QCOMPARE(index.frequencyHz(), 200);
        QCOMPARE(index.markers().size(), reader.markers().size());
        QCOMPARE(index.markers().back().frameIndex, 900);
        QCOMPARE(index.gaps().front().frameIndex, 500);
        std::vector<RecordedFrame> frames;
        for (const auto &[first, count] :
             {std::pair{0, 1}, {63, 2}, {500, 1}, {999, 1}, {0, 1000}, {130, 300}}) {
            QVERIFY2(index.readFrames(first, count, frames), qPrintable(index.errorString()));
            QCOMPARE(qint64(frames.size()), count);
            for (int i = 0; i < count; ++i)
                QVERIFY(sameFrame(frames[std::size_t(i)], reader.frames()[std::size_t(first + i)]));
        }
        QVERIFY(!index.readFrames(999, 2, frames));
        qint64 found = 0;
        for (const auto &[timeUs, expected] :
             {std::pair{-1, -1}, {0, 0}, {4999, 0}, {5000, 1}, {3000000, 499}, {9999999, 999}}) {
            QVERIFY(index.findFrame(timeUs, found));
            QCOMPARE(found, expected);
        }
        QVERIFY(!index.open(path, [](qint64, qint64) { return false; }));
        QVERIFY(index.wasCancelled());

        // A row rewritten in place, then the file cut short.
        QVERIFY(index.open(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(content.indexOf("\n0.320000,") + 1);
        file.write("0.320001");
        file.flush();
        QVERIFY(index.readFrames(0, 64, frames));
        QVERIFY(!index.readFrames(64, 1, frames));
        QVERIFY2(index.errorString().contains(QLatin1String(":67: the file has changed since")),
                 qPrintable(index.errorString()));
        QVERIFY(index.open(path));
        file.resize(1000);
        file.close();
        QVERIFY(!index.readFrames(0, 1, frames));
        QVERIFY(index.errorString().contains(QLatin1String("the file has shrunk")));
    }

    void pipe_isRead_andFifoWithoutWriter_isRefused()
    {
        const QByteArray content =
            RecordWriter::headerLine() + '\n' + dataLine("0.0", 1) + dataLine("0.01", 1);
        // A pipe named as `<(...)` names it; the writer feeds it from its own thread.
        const auto throughPipe = [&content](const auto &read) {
            int ends[2] = {-1, -1};
            if (::pipe(ends) != 0)
                return false;
            std::thread writer([&] {
                [[maybe_unused]] auto n = ::write(ends[1], content.constData(), content.size());
                ::close(ends[1]);
            });
            const bool good = read(QStringLiteral("/proc/self/fd/%1").arg(ends[0]));
            writer.join();
            ::close(ends[0]);
            return good;
        };
        RecordReader reader;
        QVERIFY(throughPipe([&](const QString &path) { return reader.read(path); }));
        QCOMPARE(reader.frames().size(), std::size_t(2));
        QCOMPARE(reader.frequencyHz(), 100);
        RecordIndex index;
        RecordedFrame last{};
        QVERIFY(throughPipe([&](const QString &path) { return index.open(path); }));
        QVERIFY(index.readFrame(1, last));
        QCOMPARE(last.timeUs, 10000);

        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!reader.read(fifo));
        QVERIFY2(
            reader.errorString().startsWith(fifo + QStringLiteral(": cannot be read: nothing")),
            qPrintable(reader.errorString()));
    }

    void unwritablePath_isRefusedWithReason_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("a directory") << QDir::tempPath();
        QTest::newRow("no such folder") << QStringLiteral("/nonexistent-folder/run.csv");
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
        QTest::newRow("comment among rows") << header + dataLine("0.0", 1) + "# late\n"
                                            << "f.csv:3: a comment line among the rows; after "
                                               "the header line only \"# marker:\", ";
        QTest::newRow("header, no rows") << "# x\n" + header << "f.csv:3: no row after the header";
        QTest::newRow("huge cell, cut and escaped")
            << header + dataLine("0.0", 1).replace(",7,", ",\x01" + QByteArray(30000, 'a') + ",")
            << "f.csv:2: s0_x \"\\x01aaaaaaaaa";
        QTest::newRow("line too long") << header + QByteArray(100000, ',') + '\n'
                                       << "f.csv:2: a line longer than 65536 bytes";
        QTest::newRow("marker at the top") << "# marker: 0.000000,1,x\n" + header
                                           << "f.csv:1: a marker, gap or frequency line before";
        QTest::newRow("marker before a row") << header + "# marker: 0.000000,1,x\n"
                                             << "f.csv:2: a marker before the first row";
        QTest::newRow("marker off its row")
            << header + dataLine("0.5", 1) + "# marker: 0.400000,1,x\n"
            << "f.csv:3: marker time 0.400000 is not the time of a row among the last 4096";
        QTest::newRow("marker without label") << header + dataLine("0.5", 1) + "# marker: 0.5,1\n"
                                              << "f.csv:3: a marker line is";
        QTest::newRow("marker number") << header + dataLine("0.5", 1) + "# marker: 0.5,one,x\n"
                                       << "f.csv:3: marker number \"one\" is not an integer";
        QTest::newRow("frequency off its row")
            << header + dataLine("0.5", 1) + "# frequency: 0.6,200\n" + dataLine("0.7", 1)
            << "f.csv:4: time 0.700000 is not the time of the frequency line before (0.600000)";
        QTest::newRow("frequency not a rate")
            << header + dataLine("0.5", 1) + "# frequency: 0.6,0\n"
            << "f.csv:3: frequency \"0\" is not a rate from 1 to 100000 Hz";
        QTest::newRow("gap before a row") << header + "# gap: 0.0,1.0,x\n"
                                          << "f.csv:2: a gap before the first row";
        QTest::newRow("gap starts early") << header + dataLine("2.0", 1) + "# gap: 1.0,1.0,x\n"
                                          << "f.csv:3: gap start 1.000000 is earlier";
        QTest::newRow("row inside gap")
            << header + dataLine("2.0", 1) + "# gap: 2.5,1.0,x\n" + dataLine("3.0", 1)
            << "f.csv:4: time 3.000000 is earlier than the end of the gap before (3.500000)";
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
        QVERIFY(reader.errorString().size() < 250); // a cell is quoted in part only
        QVERIFY(reader.frames().empty());
        // The index refuses it alike.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.csv"));
        QVERIFY(writeTestFile(path, content));
        RecordIndex index;
        QVERIFY(!index.open(path));
        QCOMPARE(index.errorString(), dir.filePath(reader.errorString()));
    }

    // Rows as the writers spell them take a quicker way than others: both ways must agree.
    void frameLine_readsAlikeHoweverSpelled_data()
    {
        QTest::addColumn<QByteArray>("line");
        const QByteArray row = dataLine("12.345678", 16).chopped(1);
        const auto cell = [&row](const char *seven) {
            return QByteArray(row).replace(",7,", QByteArray(",") + seven + ",");
        };
        QTest::newRow("as written") << row;
        QTest::newRow("largest time") << "922337203685.999999" + row.sliced(9);
        QTest::newRow("beyond the largest time") << "922337203686.0" + row.sliced(9);
        QTest::newRow("thirteen digits") << "0000000000001.5" + row.sliced(9);
        QTest::newRow("seven decimals") << "1.1234567" + row.sliced(9);
        QTest::newRow("count with a leading zero") << QByteArray(row).replace(",16,", ",016,");
        QTest::newRow("fewer sensors") << dataLine("1.5", 3).chopped(1);
        QTest::newRow("plus sign") << cell("+7");
        QTest::newRow("six digits") << cell("000007");
        QTest::newRow("smallest") << cell("-32768");
        QTest::newRow("beyond") << cell("-32769");
        QTest::newRow("trailing comma") << row + ',';
    }

    void frameLine_readsAlikeHoweverSpelled()
    {
        QFETCH(QByteArray, line);
        RecordedFrame quick{}, general{};
        QString quickError, generalError;
        const bool read = RecordFormat::parseFrameLine(line, quick, quickError);
        QCOMPARE(read, RecordFormat::parseAnyFrameLine(line, general, generalError));
        QCOMPARE(quickError, generalError);
        if (!read)
            return;
        QCOMPARE(quick.timeUs, general.timeUs);
        QCOMPARE(quick.sensors, general.sensors);
        QVERIFY(std::memcmp(&quick.readings, &general.readings, sizeof quick.readings) == 0);
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
