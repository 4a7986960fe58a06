// SPDX-License-Identifier: GPL-3.0-or-later
// The English translation is complete: every message of the .ts file is translated and
// finished, and the file holds exactly the texts the program's sources use (lupdate run afresh
// over them). tst_language loads the compiled translation from eskin_app's resources.

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

struct Message
{
    QString key; // context, source text and disambiguation
    QString source;
    QString translation;
    QString type; // "unfinished", "vanished", "obsolete" or empty
};

QList<Message> readMessages(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    QList<Message> messages;
    QString context;
    Message message;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto name = xml.name();
        if (name == u"name") {
            context = xml.readElementText();
        } else if (name == u"message") {
            message = Message{context, {}, {}, {}};
        } else if (name == u"source") {
            message.source = xml.readElementText();
            message.key += u'|' + message.source;
        } else if (name == u"comment") {
            message.key += u'|' + xml.readElementText();
        } else if (name == u"translation") {
            message.type = xml.attributes().value(QStringLiteral("type")).toString();
            message.translation = xml.readElementText();
            messages << message;
        }
    }
    return xml.hasError() ? QList<Message>{} : messages;
}

QSet<QString> keysOf(const QList<Message> &messages)
{
    QSet<QString> keys;
    for (const Message &message : messages)
        keys << message.key;
    return keys;
}

QSet<QString> placeholders(const QString &text)
{
    static const QRegularExpression marker(QStringLiteral("%\\d+"));
    QSet<QString> found;
    for (const auto &match : marker.globalMatch(text))
        found << match.captured();
    return found;
}

} // namespace

class tst_Translations : public QObject
{
    Q_OBJECT

private slots:
    void everyMessage_isTranslatedAndFinished_withItsPlaceholders()
    {
        const QList<Message> messages = readMessages(QStringLiteral(ESKIN_TS_FILE));
        QVERIFY2(!messages.isEmpty(), "the .ts file is missing or not valid XML");
        QStringList faults;
        for (const Message &message : messages) {
            if (!message.type.isEmpty() || message.translation.trimmed().isEmpty())
                faults << message.key + QStringLiteral(" (not translated)");
            else if (placeholders(message.source) != placeholders(message.translation))
                faults << message.key + QStringLiteral(" (placeholders differ)");
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    }

    // Refreshing a copy of the file over the sources must neither add nor drop a text.
    void sourceTexts_equalTheTextsTheProgramUses()
    {
        QTemporaryDir dir;
        const QString fresh = dir.filePath(QStringLiteral("fresh_en.ts"));
        QVERIFY(QFile::copy(QStringLiteral(ESKIN_TS_FILE), fresh));
        QProcess lupdate;
        lupdate.start(QStringLiteral(ESKIN_LUPDATE),
                      QStringLiteral(ESKIN_LUPDATE_OPTIONS).split(u' ')
                          << QStringLiteral("-silent")
                          << QStringLiteral("@" ESKIN_TRANSLATED_SOURCES) << QStringLiteral("-ts")
                          << fresh);
        QVERIFY(lupdate.waitForFinished(60000));
        QVERIFY2(lupdate.exitCode() == 0, lupdate.readAllStandardError().constData());

        const QSet<QString> committed = keysOf(readMessages(QStringLiteral(ESKIN_TS_FILE)));
        const QSet<QString> used = keysOf(readMessages(fresh));
        QVERIFY(!used.isEmpty());
        QStringList missing = QSet<QString>(used).subtract(committed).values();
        QStringList unused = QSet<QString>(committed).subtract(used).values();
        missing.sort();
        unused.sort();
        QVERIFY2(missing.isEmpty(),
                 qPrintable(QStringLiteral("not in the .ts file (run "
                                           "scripts/update-translations.sh):\n") +
                            missing.join(u'\n')));
        QVERIFY2(unused.isEmpty(),
                 qPrintable(QStringLiteral("no longer used:\n") + unused.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(tst_Translations)
#include "tst_translations.moc"
