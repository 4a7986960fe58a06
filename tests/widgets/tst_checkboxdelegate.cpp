// SPDX-License-Identifier: GPL-3.0-or-later
// Tick-box delegate: toggling by mouse in a real table view, and where and what it paints.

#include "checkboxdelegate.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

namespace {

// The cell of the layout example: 70 x 30 at x 50, y 0, with its 13 x 13 indicator at 79, 9.
const QRect kCell(50, 0, 70, 30);
const QRect kIndicator(79, 9, 13, 13);
const QColor kBackground(40, 40, 40);
constexpr QStyle::State kFocus = QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange;

enum class Drawn { AtIndicator, InsideIndicator, Nothing };

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

// Smallest rectangle holding every pixel that differs from the background.
QRect drawnArea(const QImage &image)
{
    QRect area;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) != kBackground)
                area |= QRect(x, y, 1, 1);
        }
    }
    return area;
}

} // namespace

Q_DECLARE_METATYPE(Drawn)

class tst_CheckBoxDelegate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The common style draws a focus frame in any item view (Fusion only in its own), so
        // that a frame left in shows in the paintings below.
        QApplication::setStyle(QStringLiteral("Windows"));
        QStandardItemModel model(1, 1);
        QStyledItemDelegate plain;
        QVERIFY(paintCell(plain, model.index(0, 0), kFocus) != paintCell(plain, model.index(0, 0)));
    }

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
        QSignalSpy doubleClicks(m_view.get(), &QAbstractItemView::doubleClicked);
        // Through the window system's path, which turns the second press into a double-click.
        const QPoint at =
            m_view->viewport()->mapTo(m_view.get(), m_view->visualRect(cell).center());
        QTest::mouseDClick(m_view->windowHandle(), Qt::LeftButton, {}, at);

        QCOMPARE(doubleClicks.count(), 1);
        QCOMPARE(cell.data(Qt::UserRole), QVariant(true));
    }

    void indicator_centredInCell_showsTheTick_withoutFocusFrame_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("style");
        QTest::addColumn<Drawn>("drawn");
        QTest::newRow("painted") << 1 << "Windows" << Drawn::AtIndicator;
        // Fusion draws a check-box indicator only for a button's option.
        QTest::newRow("style Fusion") << 0 << "Fusion" << Drawn::InsideIndicator;
        QTest::newRow("style Windows") << 0 << "Windows" << Drawn::InsideIndicator;
        QTest::newRow("images not built in") << 2 << "Windows" << Drawn::Nothing;
        QTest::newRow("unknown 3") << 3 << "Windows" << Drawn::Nothing;
        QTest::newRow("negative") << -1 << "Windows" << Drawn::Nothing;
    }
    void indicator_centredInCell_showsTheTick_withoutFocusFrame()
    {
        QFETCH(int, mode);
        QFETCH(QString, style);
        QFETCH(Drawn, drawn);
        // The indicators are made with the style current when the delegate is.
        QApplication::setStyle(style);
        CheckBoxDelegate delegate(mode);
        QApplication::setStyle(QStringLiteral("Windows"));
        const QModelIndex cell = m_model->index(0, 1);

        m_model->setData(cell, false, Qt::UserRole);
        const QImage unticked = paintCell(delegate, cell);
        m_model->setData(cell, true, Qt::UserRole);
        const QImage ticked = paintCell(delegate, cell);

        QVERIFY(paintCell(delegate, cell, kFocus) == ticked);
        const QRect area = drawnArea(unticked) | drawnArea(ticked);
        if (drawn == Drawn::Nothing) {
            QVERIFY(area.isEmpty());
            return;
        }
        QVERIFY(!drawnArea(unticked).isEmpty());
        QVERIFY(ticked != unticked);
        if (drawn == Drawn::AtIndicator)
            QCOMPARE(area, kIndicator);
        else
            QVERIFY(kIndicator.contains(area));
    }

private:
    std::unique_ptr<QStandardItemModel> m_model;
    std::unique_ptr<QTableView> m_view;
};

QTEST_MAIN(tst_CheckBoxDelegate)
#include "tst_checkboxdelegate.moc"
