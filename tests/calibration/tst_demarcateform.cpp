// SPDX-License-Identifier: GPL-3.0-or-later
// Calibration dialog without a card: the form, the sensor columns, the checks of table cells and
// entry fields, and the lists built from answers of a driver-card object that is never opened
// (the tests emit its signals).

#include "dialogprobe.h"
#include "myserialport.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

namespace {

const QString kPressureRange = QStringLiteral("允许输入范围：-327.00~327.00");
const QString kValueRange = QStringLiteral("允许输入范围：-32767~32767");

// Text typed into a table cell, or into a line edit when the column is negative.
struct Entry
{
    QString widget;
    int column;
    QString typed;
    QString shown;
    QString warning;
};

struct Report
{
    int sensors;
    int axis;
    QList<QPair<short, QList<short>>> points; // pressure, values
    QStringList shown;
    QString warning;
};

} // namespace

Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(Report)

class tst_DemarcateForm : public QObject, private DialogProbe
{
    Q_OBJECT

private slots:
    void init()
    {
        m_port = std::make_unique<MySerialport>();
        m_dialog = std::make_unique<Demarcate>();
        m_dialog->setSerial(m_port.get());
        m_boxes = std::make_unique<MessageBoxRecorder>();
    }

    void cleanup()
    {
        m_boxes.reset();
        m_dialog.reset();
        m_port.reset();
    }

    void freshDialog_showsSinglePointPageFirst_andTitles()
    {
        auto *tabs = widget<QTabWidget>("tabWidget");
        QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("singleTab"));
        QCOMPARE(m_dialog->windowTitle(), QStringLiteral("标定"));
        QCOMPARE(tabs->tabText(0) + tabs->tabText(1), QStringLiteral("阵列型标定单点型标定"));
        QStringList titles;
        for (const char *name : {"writtenGroupBox", "writeGroupBox", "groupBox_2",
                                 "singleReadGroupBox", "singleWriteGroupBox"})
            titles << widget<QGroupBox>(name)->title();
        QCOMPARE(titles, QStringList({"X轴已写入数据", "待写入数据", "传感器选择",
                                      "传感器1-X轴已写入标定信息", "待写入标定信息"}));
        select("comAxitSelect", 2);
        QCOMPARE(widget<QGroupBox>("writtenGroupBox")->title(), QStringLiteral("Z轴已写入数据"));
    }

    void setSensorSum_resizesSensorColumnsAndChoice_data()
    {
        QTest::addColumn<QList<uint>>("sums");
        QTest::addColumn<int>("count");
        QTest::newRow("fresh") << QList<uint>{} << 1;
        QTest::newRow("4 then 2") << QList<uint>{4, 2} << 2;
        QTest::newRow("2 then 5") << QList<uint>{2, 5} << 5;
        QTest::newRow("17 keeps 16") << QList<uint>{17} << 16;
    }

    void setSensorSum_resizesSensorColumnsAndChoice()
    {
        QFETCH(QList<uint>, sums);
        QFETCH(int, count);
        for (uint sum : sums)
            m_dialog->setSensorSum(sum);

        QStringList sensors;
        QStringList choices;
        for (int k = 0; k < count; ++k) {
            sensors << QString::number(k);
            choices << QString::number(k + 1);
        }
        QCOMPARE(headers("readTable"), QStringList({"选择", "压力"}) + sensors);
        QCOMPARE(headers("writeTable"), QStringList{"压力"} + sensors);
        auto *choice = widget<QComboBox>("sensorIdSelect");
        QStringList items;
        for (int i = 0; i < choice->count(); ++i)
            items << choice->itemText(i);
        QCOMPARE(items, choices);
    }

    void entry_isCheckedAsTyped_data()
    {
        QTest::addColumn<Entry>("entry");
        const auto cell = [](const char *table, int column, const char *typed, const char *shown,
                             const QString &warning = {}) {
            QTest::addRow("%s[%d] %s", table, column, typed)
                << Entry{table, column, typed, shown, warning};
        };
        const auto field = [](const char *edit, const char *typed, const char *shown,
                              const QString &warning = {}) {
            QTest::addRow("%s %s", edit, typed) << Entry{edit, -1, typed, shown, warning};
        };
        // Decimals are counted and rounded on the text typed, not on its nearest float.
        cell("writeTable", 0, "1.234", "1.23");
        cell("writeTable", 0, "1.005", "1.01");
        for (const char *kept : {"1.2", "0.15", "1.05", "-1.234", "327"})
            cell("writeTable", 0, kept, kept);
        for (const char *refused : {"400", "-327.01", "nan"})
            cell("writeTable", 0, refused, "0.00", kPressureRange);
        cell("readTable", 1, "1.234", "1.23");
        cell("readTable", 0, "abc", "abc"); // the tick column
        cell("writeTable", 1, "-32767", "-32767");
        cell("writeTable", 1, "-32768", "0", kValueRange);
        for (const char *refused : {"12.5", "x"})
            cell("readTable", 2, refused, "0", kValueRange);
        field("ltxtSingleDemarcate", "40000", "0", kValueRange);
        field("ltxtSingleDemarcate", "-32767", "-32767");
        field("ltxtSinglePressure", "327.5", "0.00", kPressureRange);
        field("ltxtSinglePressure", "1.239", "1.24");
        for (const char *kept : {"1.2e-1", "-1.234"})
            field("ltxtSinglePressure", kept, kept);
    }

    void entry_isCheckedAsTyped()
    {
        QFETCH(Entry, entry);
        if (entry.column < 0) {
            // Finished as the operator does, with the focus in the field: the warning box that
            // takes the focus away must not start a second check. A bare X server does not
            // promise to activate the window, so the focus moves are sent to the field itself:
            // it has the focus, and loses it to the box as the box opens.
            m_dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
            auto *edit = widget<QLineEdit>(qPrintable(entry.widget));
            QFocusEvent focusIn(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
            QApplication::sendEvent(edit, &focusIn);
            m_boxes->setAnswerDelay(100);
            QTimer boxOpens;
            connect(&boxOpens, &QTimer::timeout, edit, [edit, &boxOpens] {
                if (!QApplication::activeModalWidget())
                    return;
                boxOpens.stop();
                QFocusEvent focusOut(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
                QApplication::sendEvent(edit, &focusOut);
            });
            boxOpens.start(5);
            edit->setText(entry.typed);
            QTest::keyClick(edit, Qt::Key_Return);
            QTRY_COMPARE(edit->text(), entry.shown);
            QTRY_VERIFY(!QApplication::activeModalWidget());
            QTest::qWait(100);
        } else {
            QAbstractItemModel *cells = widget<QTableView>(qPrintable(entry.widget))->model();
            if (cells->rowCount() == 0)
                cells->insertRow(0);
            QVERIFY(cells->setData(cells->index(0, entry.column), entry.typed));
            QCOMPARE(cells->index(0, entry.column).data().toString(), entry.shown);
        }
        QCOMPARE(m_boxes->texts(), optional(entry.warning));
        if (!entry.warning.isEmpty())
            QCOMPARE(m_boxes->boxes.first().icon, QMessageBox::Warning);
    }

    void reportedPoints_listAscendingByPressure_data()
    {
        QTest::addColumn<Report>("report");
        QList<short> seventeen;
        for (short v = 0; v < 17; ++v)
            seventeen << v;
        QTest::newRow("out of order") << Report{
            2, 0, {{300, {3, 4}}, {100, {1}}, {200, {2}}}, {"1.00|1", "2.00|2", "3.00|3|4"}, {}};
        QTest::newRow("repeated pressure")
            << Report{2, 2, {{100, {1, 2}}, {200, {3}}, {100, {5, 6}}}, {"1.00|5|6", "2.00|3"}, {}};
        QTest::newRow("no values") << Report{2, 1, {{100, {1}}, {-50, {}}}, {"1.00|1"}, {}};
        QTest::newRow("beyond sensor count") << Report{2, 0, {{-5, {7, 8, 9}}}, {"-0.05|7|8"}, {}};
        QTest::newRow("17 values") << Report{
            16, 0, {{100, seventeen}}, {"1.00|0|1|2|3|4|5|6|7|8|9|10|11|12|13|14|15"}, {}};
        QTest::newRow("unknown axis") << Report{2, 3, {{100, {1}}}, {}, "指定轴有误"};
    }

    void reportedPoints_listAscendingByPressure()
    {
        QFETCH(Report, report);
        m_dialog->setSensorSum(uint(report.sensors));

        for (auto [pressure, values] : report.points)
            emit m_port->demarcateInfo(report.axis, pressure, values);

        QCOMPARE(rows("readTable"), report.shown);
        QCOMPARE(m_boxes->texts(), optional(report.warning));
    }

    // Emptied at once: a card without points for the axis sends nothing that would refill it.
    void read_emptiesTheTableBeforeAnyAnswer()
    {
        QList<short> values{1};
        emit m_port->demarcateInfo(0, 999, values);
        QCOMPARE(rows("readTable"), QStringList{"9.99|1"});
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QSerialPort): device not open");

        // The button itself waits for an open port.
        QVERIFY(QMetaObject::invokeMethod(m_dialog.get(), "on_btnRead_clicked"));

        QCOMPARE(rows("readTable"), QStringList{});
    }

    void singleSelection_retitlesAndShowsThatList()
    {
        m_dialog->setSensorSum(4);
        QList<singleDemarcateInfoUnit_t> sensor2X{{150, 7}};
        QList<singleDemarcateInfoUnit_t> sensor3Y{{-100, 8}, {50, 9}};
        emit m_port->demarcateSingleReadInfo(0, 1, sensor2X);
        emit m_port->demarcateSingleReadInfo(1, 2, sensor3Y);
        auto *group = widget<QGroupBox>("singleReadGroupBox");
        QCOMPARE(singleRows(), QStringList{});

        select("sensorIdSelect", 1);
        QCOMPARE(group->title(), QStringLiteral("传感器2-X轴已写入标定信息"));
        QCOMPARE(singleRows(), QStringList{"1.50|7"});

        select("comSingleAxitSelect", 1);
        select("sensorIdSelect", 2);
        QCOMPARE(group->title(), QStringLiteral("传感器3-Y轴已写入标定信息"));
        QCOMPARE(singleRows(), QStringList({"-1.00|8", "0.50|9"}));

        m_dialog->setSensorSum(2); // the chosen sensor goes: sensor 2 is chosen instead
        QCOMPARE(group->title(), QStringLiteral("传感器2-Y轴已写入标定信息"));
        QCOMPARE(singleRows(), QStringList{});
    }

    void singleReadAnswer_checkedBeforeStored_data()
    {
        QTest::addColumn<int>("axis");
        QTest::addColumn<int>("sensor");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("box");
        // -32768 is the card's: shown as it is, without a box.
        QTest::newRow("card order kept")
            << 0 << 0 << QStringList{"2.00|1", "1.00|-32768"} << QString();
        QTest::newRow("unknown axis") << 3 << 0 << QStringList{} << "单点数据读取有误";
        QTest::newRow("sensor 16") << 0 << 16 << QStringList{} << QString();
    }

    void singleReadAnswer_checkedBeforeStored()
    {
        QFETCH(int, axis);
        QFETCH(int, sensor);
        QFETCH(QStringList, shown);
        QFETCH(QString, box);
        QList<singleDemarcateInfoUnit_t> pairs{{200, 1}, {100, -32768}};

        emit m_port->demarcateSingleReadInfo(axis, sensor, pairs);

        QCOMPARE(singleRows(), shown);
        QCOMPARE(m_boxes->texts(), optional(box));
    }

    void singleRemoveAnswer_namesPressureMissingFromItsList()
    {
        QList<singleDemarcateInfoUnit_t> pairs{{150, 15}};
        emit m_port->demarcateSingleReadInfo(0, 0, pairs);
        QList<short> removed{150, 200};

        emit m_port->demarcateSingleRemoveResult(0, 0, 0, removed);

        QCOMPARE(singleRows(), QStringList{});
        QCOMPARE(m_boxes->texts(), QStringList{"标定压力值“200”删除失败"});
        QCOMPARE(m_boxes->boxes.first().title, QStringLiteral("错误信息"));
    }

private:
    QStringList headers(const char *table) const
    {
        const QAbstractItemModel *model = widget<QTableView>(table)->model();
        QStringList out;
        for (int c = 0; c < model->columnCount(); ++c)
            out << model->headerData(c, Qt::Horizontal).toString();
        return out;
    }

    std::unique_ptr<MySerialport> m_port;
};

QTEST_MAIN(tst_DemarcateForm)
#include "tst_demarcateform.moc"
