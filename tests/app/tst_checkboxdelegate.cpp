// Tick-box delegate: toggling by mouse in a real table view, and where and what it paints.

#include "checkboxdelegate.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

namespace {

// The cell of the layout example: 70 x 30 at x 50, y 0, with its 13 x 13 indicator at 79, 9.
const QRect kCell(50, 0, 70, 30);
const QRect kIndicator(79, 9, 13, 13);
const QColor kBackground(40, 40, 40);

QImage paintCell(QStyledItemDelegate &delegate, const QModelIndex &index,
                 QStyle::State extraState = {})
{
    QImage image(160, 40, QImage::Format_ARGB32);
    image.fill(kBackground);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = kCell;
    option.state = QStyle::State_Enabled | extraState;
    delegate.paint(&painter, option, index);
    return image;
}

bool isFrameGreen(const QColor &c)
{
    return c.green() > 100 && c.green() > c.red() + 60 && c.green() > c.blue() + 60;
}

// Smallest rectangle holding every pixel that differs from the background (or, with
// `greenOnly`, every green pixel).
QRect drawnArea(const QImage &image, bool greenOnly = false)
{
    QRect area;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (greenOnly ? isFrameGreen(c) : c != kBackground)
                area |= QRect(x, y, 1, 1);
        }
    }
    return area;
}

// Counts the double-click events a widget receives.
class DoubleClickCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick)
            ++count;
        return false;
    }
};

} // namespace

class tst_CheckBoxDelegate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setStyle(QStringLiteral("Fusion")); }

    void init()
    {
        m_model = std::make_unique<QStandardItemModel>(2, 2);
        m_view = std::make_unique<QTableView>();
        m_view->setModel(m_model.get());
        m_view->setColumnWidth(1, 70);
        m_view->setItemDelegateForColumn(1, new CheckBoxDelegate(0, m_view.get()));
        m_view->resize(300, 200);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }
    void cleanup()
    {
        m_view.reset();
        m_model.reset();
    }

    void press_anywhereInCell_anyButton_togglesTick_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("atMargin");
        QTest::newRow("left, centre") << Qt::LeftButton << false;
        QTest::newRow("left, margin") << Qt::LeftButton << true;
        QTest::newRow("right, centre") << Qt::RightButton << false;
        QTest::newRow("middle, margin") << Qt::MiddleButton << true;
    }
    void press_anywhereInCell_anyButton_togglesTick()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, atMargin);
        const QModelIndex cell = m_model->index(1, 1);
        const QRect rect = m_view->visualRect(cell);
        const QPoint at = atMargin ? rect.topLeft() + QPoint(2, 2) : rect.center();
        QVERIFY(!cell.data(Qt::UserRole).isValid());

        QTest::mouseClick(m_view->viewport(), button, {}, at);
        QCOMPARE(cell.data(Qt::UserRole), QVariant(true));
        QTest::mouseClick(m_view->viewport(), button, {}, at);
        QCOMPARE(cell.data(Qt::UserRole), QVariant(false));
        // The neighbouring cells are left alone.
        QVERIFY(!m_model->index(0, 1).data(Qt::UserRole).isValid());
    }

    void doubleClick_leavesTickAsItWas()
    {
        const QModelIndex cell = m_model->index(0, 1);
        m_model->setData(cell, true, Qt::UserRole);
        DoubleClickCounter counter;
        m_view->viewport()->installEventFilter(&counter);
        // Through the window system's path, which turns the second press into a double-click.
        const QPoint at =
            m_view->viewport()->mapTo(m_view.get(), m_view->visualRect(cell).center());
        QTest::mouseDClick(m_view->windowHandle(), Qt::LeftButton, {}, at);

        QCOMPARE(counter.count, 1);
        QCOMPARE(cell.data(Qt::UserRole), QVariant(true));
    }

    void paintedIndicator_isCentredInCell_andShowsTheTick_data()
    {
        QTest::addColumn<bool>("ticked");
        QTest::newRow("unticked") << false;
        QTest::newRow("ticked") << true;
    }
    void paintedIndicator_isCentredInCell_andShowsTheTick()
    {
        QFETCH(bool, ticked);
        m_model->setData(m_model->index(0, 1), ticked, Qt::UserRole);
        CheckBoxDelegate painted(1);

        const QImage image = paintCell(painted, m_model->index(0, 1));

        QCOMPARE(drawnArea(image), kIndicator);
        QCOMPARE(drawnArea(image, true), kIndicator); // the green frame
        // The tick's lowest point, (4, 9) in the indicator, on the white inside.
        const QColor tickPoint = image.pixelColor(kIndicator.topLeft() + QPoint(4, 9));
        QVERIFY(ticked ? isFrameGreen(tickPoint) : tickPoint == QColor(Qt::white));
    }

    void styleIndicator_isVisible_andShowsTheTick_data()
    {
        QTest::addColumn<QString>("styleName");
        QTest::newRow("Fusion") << QStringLiteral("Fusion");
        QTest::newRow("Windows") << QStringLiteral("Windows");
    }
    void styleIndicator_isVisible_andShowsTheTick()
    {
        QFETCH(QString, styleName);
        QApplication::setStyle(styleName);
        CheckBoxDelegate styled(0);
        QApplication::setStyle(QStringLiteral("Fusion"));
        const QModelIndex cell = m_model->index(0, 1);

        m_model->setData(cell, false, Qt::UserRole);
        const QImage unticked = paintCell(styled, cell);
        m_model->setData(cell, true, Qt::UserRole);
        const QImage ticked = paintCell(styled, cell);

        QVERIFY(!drawnArea(unticked).isEmpty());
        QVERIFY(kIndicator.contains(drawnArea(unticked)));
        QVERIFY(kIndicator.contains(drawnArea(ticked)));
        QVERIFY(ticked != unticked);
    }

    void modeWithoutIndicator_drawsNothing_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("images not built in") << 2;
        QTest::newRow("unknown 3") << 3;
        QTest::newRow("negative") << -1;
    }
    void modeWithoutIndicator_drawsNothing()
    {
        QFETCH(int, mode);
        CheckBoxDelegate none(mode);
        const QModelIndex cell = m_model->index(0, 1);
        for (bool ticked : {false, true}) {
            m_model->setData(cell, ticked, Qt::UserRole);
            QVERIFY(drawnArea(paintCell(none, cell)).isEmpty());
        }
    }

    void focusedCell_hasNoFocusFrame()
    {
        // Fusion draws focus frames only in item views of its own; the common style always does.
        QApplication::setStyle(QStringLiteral("Windows"));
        const QModelIndex cell = m_model->index(0, 1);
        const QStyle::State focus = QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange;
        // The plain delegate draws a frame here, so the comparison below can tell.
        QStyledItemDelegate plain;
        QVERIFY(paintCell(plain, cell, focus) != paintCell(plain, cell));

        CheckBoxDelegate painted(1);
        const bool same = paintCell(painted, cell, focus) == paintCell(painted, cell);
        QApplication::setStyle(QStringLiteral("Fusion"));
        QVERIFY(same);
    }

private:
    std::unique_ptr<QStandardItemModel> m_model;
    std::unique_ptr<QTableView> m_view;
};

QTEST_MAIN(tst_CheckBoxDelegate)
#include "tst_checkboxdelegate.moc"
