// SPDX-License-Identifier: GPL-3.0-or-later
// Switching the interface language: every window follows at once, Qt's own texts too, English
// shows no Chinese text left over, switching back restores every text exactly, and the choice is
// remembered and overridden as the operator expects.

#include "curvegraphic.h"
#include "demarcate.h"
#include "keeploadedlibraries.h"
#include "mainwindow.h"
#include "messageboxrecorder.h"
#include "simulatedcard.h"

#include <qcustomplot.h>

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

namespace {

constexpr int kSwitchMs = 5000;

template<typename Window> Window *topLevel()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<Window *>(widget))
            return window;
    }
    return nullptr;
}

// Every text a window shows, one "object: text" line each, in the order of the widget tree.
// The status bar's link figures change from one look to the next; their words must not.
QString liveFiguresMasked(const QObject *label, QString text)
{
    if (label->objectName().startsWith(QLatin1String("status")))
        text.replace(QRegularExpression(QStringLiteral("[0-9]+")), QStringLiteral("#"));
    return text;
}

QStringList shownTexts(const QWidget *window)
{
    QStringList lines{window->windowTitle()};
    const auto add = [&lines](const QObject *object, const QString &text) {
        lines << object->objectName() + QStringLiteral(": ") + text;
    };
    for (const QObject *o : window->findChildren<QObject *>()) {
        // Qt's inner parts (corner buttons, the menu bar's overflow menu) have no name.
        if (o->objectName().isEmpty())
            continue;
        if (auto *button = qobject_cast<const QAbstractButton *>(o))
            add(o, button->text());
        else if (auto *label = qobject_cast<const QLabel *>(o))
            add(o, liveFiguresMasked(o, label->text()));
        else if (auto *group = qobject_cast<const QGroupBox *>(o))
            add(o, group->title());
        else if (auto *edit = qobject_cast<const QLineEdit *>(o))
            add(o, edit->text());
        else if (auto *menu = qobject_cast<const QMenu *>(o))
            add(o, menu->title());
        else if (auto *action = qobject_cast<const QAction *>(o))
            add(o, action->text());
        else if (auto *plot = qobject_cast<const QCustomPlot *>(o)) {
            add(o, plot->xAxis->label() + u'/' + plot->yAxis->label());
            for (int i = 0; i < plot->itemCount(); ++i) { // the markers' labels
                if (auto *text = qobject_cast<QCPItemText *>(plot->item(i)))
                    add(o, text->text());
            }
        }
        if (auto *tabs = qobject_cast<const QTabWidget *>(o)) {
            for (int i = 0; i < tabs->count(); ++i)
                add(o, tabs->tabText(i));
        } else if (auto *table = qobject_cast<const QTableView *>(o)) {
            for (int c = 0; c < table->model()->columnCount(); ++c)
                add(o, table->model()->headerData(c, Qt::Horizontal).toString());
        } else if (auto *list = qobject_cast<const QListWidget *>(o)) {
            for (int r = 0; r < list->count(); ++r)
                add(o, list->item(r)->text());
        }
    }
    return lines;
}

QStringList chineseLeftIn(const QStringList &lines)
{
    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    // The language menu names each language in itself, whatever the interface's language.
    static const QRegularExpression notLanguageMenu(
        QStringLiteral("^(?!menuLanguage|actionLanguage)"));
    return lines.filter(han).filter(notLanguageMenu);
}

} // namespace

class tst_Language : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // Of this run alone: the test-mode location is shared by every run on the machine.
        QVERIFY(m_settings.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    }
    void init() { QSettings().clear(); }

    void switchToEnglishAndBack_everyWindowFollows_andChineseReturnsExactly()
    {
        SimulatedCard card;
        QVERIFY(card.start());
        MessageBoxRecorder boxes(QMessageBox::No);
        MainWindow window;
        window.setExtraPorts({card.portName()});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *open = window.findChild<QPushButton *>(QStringLiteral("btnSerialOpen"));
        QTest::mouseClick(open, Qt::LeftButton);
        QTRY_COMPARE(open->text(), QStringLiteral("关闭"));
        auto *count = window.findChild<QLineEdit *>(QStringLiteral("lineSensorSum"));
        count->setText(QStringLiteral("3"));
        emit count->editingFinished();
        // The card's 16 sensors against the 3 shown: the status bar says so within a second.
        QTRY_VERIFY(window.findChild<QLabel *>(QStringLiteral("statusSensors"))->isVisible());
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("btnGraphic")),
                          Qt::LeftButton);
        window.findChild<QAction *>(QStringLiteral("actDemarcate"))->trigger();
        CurveGraphic *curves = topLevel<CurveGraphic>();
        Demarcate *calibration = topLevel<Demarcate>();
        QVERIFY(curves && calibration && QTest::qWaitForWindowExposed(curves));
        QCOMPARE(curves->addMarker(), 1); // "标记 1", in the language shown
        keepLoadedLibrariesUntilExit();
        const auto allTexts = [&] {
            return shownTexts(&window) + shownTexts(curves) + shownTexts(calibration);
        };
        // A question box of the main window and an information box of the dialog.
        const auto askBoxes = [&] {
            boxes.boxes.clear();
            QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("btnWrite")),
                              Qt::LeftButton);
            QTest::mouseClick(
                calibration->findChild<QPushButton *>(QStringLiteral("btnSingleWrite")),
                Qt::LeftButton);
            QStringList shown;
            for (const RecordedBox &box : boxes.boxes)
                shown << box.title + u' ' + box.text;
            return shown;
        };
        const QStringList chinese = allTexts();
        const QStringList chineseBoxes = askBoxes();
        QCOMPARE(chineseBoxes, QStringList({"提示 确定写入吗?", "提示 请“单点标定”后再写入"}));

        window.findChild<QAction *>(QStringLiteral("actionLanguageEnglish"))->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(allTexts().contains("btnSingleRemoveAll: Delete all"), kSwitchMs);
        const QStringList english = allTexts();
        QCOMPARE(chineseLeftIn(english).join(u"\n"), QString());
        for (const char *line :
             {"btnSerialOpen: Close", "btnCheck: Baseline", "menu: Menu", "tableView: Select",
              "tableView: X axis", "lineSensorSum: 3", "sensorList: Select all",
              "graphic: Time/Force", "graphic: Marker 1", "Calibration",
              "writtenGroupBox: Written data, X axis",
              "singleReadGroupBox: Written calibration data, sensor 1, X axis",
              "singleReadTable: Value"})
            QVERIFY2(english.contains(QLatin1String(line)), line);
        QCOMPARE(askBoxes(), QStringList({"Notice Write to the driver card?",
                                          "Notice Please “Calibrate” before writing"}));
        QCOMPARE(QSettings().value("language").toString(), QStringLiteral("en"));

        window.findChild<QAction *>(QStringLiteral("actionLanguageChinese"))->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(allTexts(), chinese, kSwitchMs);
        QCOMPARE(askBoxes(), chineseBoxes);
        QCOMPARE(QSettings().value("language").toString(), QStringLiteral("zh"));
    }

    // Qt's own texts, here a box's standard buttons, in the language of the interface: at start
    // and after each switch from the menu.
    void qtOwnTexts_followTheInterfaceLanguage()
    {
        const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        if (!QFile::exists(folder + QStringLiteral("/qtbase_zh_CN.qm")))
            QSKIP("Qt's translations are not installed (Debian package qt6-translations-l10n)");
        const auto yesNo = [] {
            QMessageBox box(QMessageBox::Question, QString(), QString(),
                            QMessageBox::Yes | QMessageBox::No);
            return box.button(QMessageBox::Yes)->text() + u' ' +
                   box.button(QMessageBox::No)->text();
        };
        MainWindow window;
        QCOMPARE(yesNo(), QStringLiteral("是(&Y) 否(&N)"));
        window.findChild<QAction *>(QStringLiteral("actionLanguageEnglish"))->trigger();
        QCOMPARE(yesNo(), QStringLiteral("&Yes &No"));
        window.findChild<QAction *>(QStringLiteral("actionLanguageChinese"))->trigger();
        QCOMPARE(yesNo(), QStringLiteral("是(&Y) 否(&N)"));
    }

    void startLanguage_isTheRememberedOne_andUseLanguageLeavesItStored_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("readButton");
        QTest::newRow("none") << QVariant() << QStringLiteral("读取");
        QTest::newRow("en") << QVariant("en") << QStringLiteral("Read");
        QTest::newRow("unknown") << QVariant("fr") << QStringLiteral("读取");
    }
    void startLanguage_isTheRememberedOne_andUseLanguageLeavesItStored()
    {
        QFETCH(QVariant, stored);
        QFETCH(QString, readButton);
        if (stored.isValid())
            QSettings().setValue("language", stored);
        MainWindow window;
        auto *read = window.findChild<QPushButton *>(QStringLiteral("btnRead"));
        auto *english = window.findChild<QAction *>(QStringLiteral("actionLanguageEnglish"));
        QCOMPARE(read->text(), readButton);
        QCOMPARE(english->isChecked(), readButton == QLatin1String("Read"));

        window.useLanguage(UiLanguage::English);
        QTRY_COMPARE_WITH_TIMEOUT(read->text(), QStringLiteral("Read"), kSwitchMs);
        QVERIFY(english->isChecked());
        QCOMPARE(QSettings().value("language"), stored);
    }

private:
    QTemporaryDir m_settings;
};

QTEST_MAIN(tst_Language)
#include "tst_language.moc"
