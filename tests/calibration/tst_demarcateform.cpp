// Calibration dialog without a card: the form, the sensor columns, the checks of table cells and
// entry fields, and the lists built from answers of a driver-card object that is never opened
// (the tests emit its signals).

#include "demarcate.h"
#include "dialogprobe.h"
#include "messageboxrecorder.h"
#include "myserialport.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include <memory>

namespace {

const QString kPressureRange = QStringLiteral("允许输入范围：-327.00~327.00");
const QString kValueRange = QStringLiteral("允许输入范围：-32767~32767");

struct Entry
{
    QString widget; // a table, or a line edit
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

class tst_DemarcateForm : public QObject
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

    void freshDialog_showsSinglePointPageFirst_inFormTabOrder()
    {
        QCOMPARE(m_dialog->windowTitle(), QStringLiteral("标定"));
        QCOMPARE(m_dialog->size(), QSize(688, 432));
        auto *tabs = widget<QTabWidget>("tabWidget");
        QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("singleTab"));
        QCOMPARE(tabs->tabText(0) + tabs->tabText(1), QStringLiteral("阵列型标定单点型标定"));
        for (const char *name : {"label", "label_3", "label_4"}) {
            const QFont font = widget<QLabel>(name)->font();
            QCOMPARE(font.family() + QString::number(font.pointSize()),
                     QStringLiteral("华文宋体10"));
            QCOMPARE(font.weight(), QFont::Bold);
        }
        const QList<QPair<const char *, const char *>> titles{
            {"writtenGroupBox", "X轴已写入数据"},
            {"writeGroupBox", "待写入数据"},
            {"groupBox_2", "传感器选择"},
            {"singleReadGroupBox", "传感器1-X轴已写入标定信息"},
            {"singleWriteGroupBox", "待写入标定信息"}};
        for (const auto &[name, title] : titles)
            QCOMPARE(widget<QGroupBox>(name)->title(), QString::fromUtf8(title));

        QStringList chain;
        for (QWidget *w = tabs; chain.isEmpty() || w != tabs; w = w->nextInFocusChain())
            chain << w->objectName();
        qsizetype last = -1;
        for (const char *name :
             {"tabWidget", "sensorIdSelect", "comSingleAxitSelect", "singleReadTable",
              "btnSingleRead", "btnSingleRemove", "btnSingleRemoveAll", "ltxtSingleDemarcate",
              "btnSingleDemarcate", "readTable", "btnRead", "btnRemove", "btnRemoveAll",
              "writeTable", "btnDemarcate", "comAxitSelect", "btnWrite"}) {
            const qsizetype at = chain.indexOf(QLatin1String(name));
            QVERIFY2(at > last, name);
            last = at;
        }
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

    void editedCell_isCheckedAsTyped_data()
    {
        QTest::addColumn<Entry>("entry");
        const auto pending = [](const char *typed, const char *shown, const QString &warning) {
            QTest::addRow("pending %s", typed) << Entry{"writeTable", 0, typed, shown, warning};
        };
        pending("1.234", "1.23", {});
        pending("1.239", "1.24", {});
        pending("1.005", "1.01", {});
        for (const char *kept : {"1.2", "0.15", "1.05", "-1.234", "327"})
            pending(kept, kept, {});
        for (const char *refused : {"400", "-327.01", "nan"})
            pending(refused, "0.00", kPressureRange);
        QTest::newRow("written 1.234") << Entry{"readTable", 1, "1.234", "1.23", {}};
        QTest::newRow("written tick") << Entry{"readTable", 0, "abc", "abc", {}};
        QTest::newRow("pending -32767") << Entry{"writeTable", 1, "-32767", "-32767", {}};
        QTest::newRow("pending -32768") << Entry{"writeTable", 1, "-32768", "0", kValueRange};
        QTest::newRow("written 12.5") << Entry{"readTable", 2, "12.5", "0", kValueRange};
        QTest::newRow("written x") << Entry{"readTable", 2, "x", "0", kValueRange};
    }

    void editedCell_isCheckedAsTyped()
    {
        QFETCH(Entry, entry);
        QAbstractItemModel *cells = widget<QTableView>(qPrintable(entry.widget))->model();
        if (cells->rowCount() == 0)
            cells->insertRow(0);
        const QModelIndex cell = cells->index(0, entry.column);

        QVERIFY(cells->setData(cell, entry.typed));

        QCOMPARE(cell.data().toString(), entry.shown);
        QCOMPARE(m_boxes->texts(), optional(entry.warning));
        if (!entry.warning.isEmpty())
            QCOMPARE(m_boxes->boxes.first().icon, QMessageBox::Warning);
        if (entry.column == (entry.widget == "readTable" ? 1 : 0))
            QCOMPARE(cell.data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    }

    void finishedEntry_isCheckedAsTyped_data()
    {
        QTest::addColumn<Entry>("entry");
        const QString value = QStringLiteral("ltxtSingleDemarcate");
        const QString pressure = QStringLiteral("ltxtSinglePressure");
        QTest::newRow("value 40000") << Entry{value, 0, "40000", "0", kValueRange};
        QTest::newRow("value 12a") << Entry{value, 0, "12a", "0", kValueRange};
        QTest::newRow("value -32767") << Entry{value, 0, "-32767", "-32767", {}};
        QTest::newRow("pressure 327.5") << Entry{pressure, 0, "327.5", "0.00", kPressureRange};
        QTest::newRow("pressure inf") << Entry{pressure, 0, "inf", "0.00", kPressureRange};
        QTest::newRow("pressure 1.239") << Entry{pressure, 0, "1.239", "1.24", {}};
        QTest::newRow("pressure 0.001") << Entry{pressure, 0, "0.001", "0.00", {}};
        QTest::newRow("pressure 1.2e-1") << Entry{pressure, 0, "1.2e-1", "1.2e-1", {}};
        QTest::newRow("pressure -1.234") << Entry{pressure, 0, "-1.234", "-1.234", {}};
    }

    // Edited as the operator does, with the focus in the field: the warning box that takes the
    // focus away must not start a second check.
    void finishedEntry_isCheckedAsTyped()
    {
        QFETCH(Entry, entry);
        m_dialog->show();
        m_dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_dialog.get()));
        auto *edit = widget<QLineEdit>(qPrintable(entry.widget));
        edit->setFocus();
        edit->setText(entry.typed);

        QTest::keyClick(edit, Qt::Key_Return);

        QTRY_COMPARE(edit->text(), entry.shown);
        QTest::qWait(100);
        QCOMPARE(m_boxes->texts(), optional(entry.warning));
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

        QCOMPARE(tableRows(m_dialog.get(), "readTable"), report.shown);
        QCOMPARE(headers("readTable").size(), 2 + report.sensors);
        QCOMPARE(m_boxes->texts(), optional(report.warning));
    }

    // Emptied at once: a card without points for the axis sends nothing that would refill it.
    void read_emptiesTheTableBeforeAnyAnswer()
    {
        QList<short> values{1};
        emit m_port->demarcateInfo(0, 999, values);
        QCOMPARE(tableRows(m_dialog.get(), "readTable"), QStringList{"9.99|1"});
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QSerialPort): device not open");

        widget<QPushButton>("btnRead")->click();

        QCOMPARE(tableRows(m_dialog.get(), "readTable"), QStringList{});
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

        widget<QComboBox>("sensorIdSelect")->setCurrentIndex(1);
        QCOMPARE(group->title(), QStringLiteral("传感器2-X轴已写入标定信息"));
        QCOMPARE(singleRows(), QStringList{"1.50|7"});

        widget<QComboBox>("comSingleAxitSelect")->setCurrentIndex(1);
        widget<QComboBox>("sensorIdSelect")->setCurrentIndex(2);
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
        QTest::newRow("card order kept")
            << 0 << 0 << QStringList{"2.00|1", "1.00|-32768"} << kValueRange;
        QTest::newRow("unknown axis") << 3 << 0 << QStringList{} << "单点数据读取有误";
        QTest::newRow("sensor 16") << 0 << 16 << QStringList{} << QString();
    }

    void singleReadAnswer_checkedBeforeStored()
    {
        QFETCH(int, axis);
        QFETCH(int, sensor);
        QFETCH(QStringList, shown);
        QFETCH(QString, box);
        if (sensor >= kMaxSensors)
            QTest::ignoreMessage(QtDebugMsg,
                                 "single read answer for sensor 16 ignored: no such sensor");
        QList<singleDemarcateInfoUnit_t> pairs{{200, 1}, {100, -32768}};

        emit m_port->demarcateSingleReadInfo(axis, sensor, pairs);

        shown.replaceInStrings("-32768", "0"); // shown after the warning
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
    template<typename T> T *widget(const char *name) const
    {
        return widgetOf<T>(m_dialog.get(), name);
    }
    QStringList singleRows() const { return tableRows(m_dialog.get(), "singleReadTable"); }
    QStringList headers(const char *table) const
    {
        const QAbstractItemModel *model = widget<QTableView>(table)->model();
        QStringList out;
        for (int c = 0; c < model->columnCount(); ++c)
            out << model->headerData(c, Qt::Horizontal).toString();
        return out;
    }

    std::unique_ptr<MySerialport> m_port;
    std::unique_ptr<Demarcate> m_dialog;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
};

QTEST_MAIN(tst_DemarcateForm)
#include "tst_demarcateform.moc"
