// SPDX-License-Identifier: GPL-3.0-or-later
// electronic-skin started as a lab leaves it running: the card that --simulate or --replay
// starts, else the first --port, is the port opened, whatever an earlier run remembered; its
// --record file names the card's frequency; SIGINT and SIGTERM end it as closing its window
// does, with the recording complete.

#include "cardmodel.h"
#include "recordformat.h"
#include "recordreader.h"
#include "simulatedcard.h"
#include "testfile.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <pty.h>
#include <unistd.h>

class tst_ProgramRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // A port without a card, listed and remembered from an earlier run.
        char name[128] = {};
        QVERIFY(::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0);
        m_remembered = QString::fromLocal8Bit(name);
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("config/ElectronicSkin")));
        QVERIFY(writeTestFile(
            m_dir.filePath(QStringLiteral("config/ElectronicSkin/electronic-skin.conf")),
            "[serial]\nport=" + m_remembered.toLocal8Bit() + '\n'));
        QByteArray replay = "# frequency_hz: 50\n" + RecordFormat::headerLine() + '\n';
        for (int i = 0; i < 100; ++i)
            RecordFormat::appendFrameLine(replay, i * 20000, {{qint16(i), 1, 2}}, 1);
        QVERIFY(writeTestFile(m_dir.filePath(QStringLiteral("replay.csv")), replay));
    }

    void cleanupTestCase()
    {
        ::close(m_master);
        ::close(m_slave);
    }

    void startedCard_isOpenedAndRecorded_untilASignal_data()
    {
        QTest::addColumn<QStringList>("card");
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("frequency");
        QTest::newRow("--simulate, SIGINT") << QStringList{"--simulate"} << int(SIGINT) << 100;
        QTest::newRow("--replay, SIGTERM")
            << QStringList{"--replay", m_dir.filePath("replay.csv"), "--loop"} << int(SIGTERM)
            << 50;
        QTest::newRow("--port, SIGTERM") << QStringList{"--port", link()} << int(SIGTERM) << 200;
    }

    void startedCard_isOpenedAndRecorded_untilASignal()
    {
        QFETCH(QStringList, card);
        QFETCH(int, signal);
        QFETCH(int, frequency);
        SimulatedCard named;
        QVERIFY(named.start(link(), [](CardModel &model) { model.setFrequencyIndex(4); }));
        const QString output = m_dir.filePath(QTest::currentDataTag() + QStringLiteral(".csv"));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath("config"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(ESKIN_APP),
                      card + QStringList{"--port", m_remembered, "--open", "--record", output});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(output).size() > 2000, 20000);
        ::kill(pid_t(program.processId()), signal);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);

        RecordReader reader;
        QVERIFY2(reader.read(output), qPrintable(reader.errorString()));
        QVERIFY(reader.warnings().isEmpty()); // closed as on the window's close
        QVERIFY(reader.header().port != m_remembered);
        QCOMPARE(reader.header().port == link(), card.first() == QLatin1String("--port"));
        QCOMPARE(reader.header().frequencyHz, frequency);
    }

private:
    QString link() const { return m_dir.filePath(QStringLiteral("card")); }

    QTemporaryDir m_dir;
    int m_master = -1;
    int m_slave = -1;
    QString m_remembered;
};

QTEST_GUILESS_MAIN(tst_ProgramRun)
#include "tst_programrun.moc"
