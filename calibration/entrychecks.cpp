// SPDX-License-Identifier: GPL-3.0-or-later
#include "entrychecks.h"

#include "pressuretext.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPersistentModelIndex>
#include <QStandardItemModel>

namespace {

// Calibration values are signed 16-bit; -32768 is kept out so that every value negates.
constexpr int kValueLimit = 32767;

} // namespace

EntryChecks::EntryChecks(QWidget *dialog)
    : m_dialog(dialog)
{}

std::optional<int> EntryChecks::parseValue(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < -kValueLimit || value > kValueLimit)
        return std::nullopt;
    return value;
}

// A replaced cell makes the model report a change again, which then passes unchanged.
void EntryChecks::checkCell(QStandardItemModel *model, const QModelIndex &topLeft,
                            const QModelIndex &bottomRight, int pressureColumn)
{
    const QModelIndex cell = model->index(topLeft.row(), bottomRight.column());
    if (!cell.isValid() || cell.column() < pressureColumn)
        return;
    if (cell.column() == pressureColumn)
        checkPressureCell(model, cell);
    else
        checkValueCell(model, cell);
}

bool EntryChecks::checkValueField(QLineEdit *field)
{
    if (acceptValue(field->text()))
        return true;
    field->setText(QStringLiteral("0"));
    return false;
}

void EntryChecks::checkPressureField(QLineEdit *field)
{
    QString text = field->text();
    acceptPressure(text);
    if (text != field->text())
        field->setText(text);
}

void EntryChecks::checkPressureCell(QStandardItemModel *model, const QModelIndex &cell)
{
    const QPersistentModelIndex kept(cell);
    QString text = cell.data().toString();
    acceptPressure(text);
    // A refill while the warning was open has replaced the cell.
    if (!kept.isValid())
        return;
    QStandardItem *item = model->itemFromIndex(kept);
    if (item->text() != text)
        item->setText(text);
    item->setTextAlignment(Qt::AlignCenter);
}

void EntryChecks::checkValueCell(QStandardItemModel *model, const QModelIndex &cell)
{
    const QPersistentModelIndex kept(cell);
    if (acceptValue(cell.data().toString()) || !kept.isValid())
        return;
    model->itemFromIndex(kept)->setText(QStringLiteral("0"));
}

// Warns and gives "0.00" for a text that is no pressure or out of range; shortens a positive
// pressure with more than two decimals. A negative one keeps its text as typed.
bool EntryChecks::acceptPressure(QString &text)
{
    const std::optional<PressureText> pressure = PressureText::parse(text);
    if (!pressure || !pressure->inRange()) {
        warnPressureRange();
        text = PressureText::formatHundredths(0);
        return false;
    }
    if (pressure->isPositive() && pressure->decimals() > 2)
        text = pressure->roundedText();
    return true;
}

bool EntryChecks::acceptValue(const QString &text)
{
    if (parseValue(text))
        return true;
    warnValueRange();
    return false;
}

// The texts belong to the calibration dialog.
void EntryChecks::warnPressureRange()
{
    QMessageBox::warning(m_dialog, QCoreApplication::translate("Demarcate", "提示"),
                         QCoreApplication::translate("Demarcate", "允许输入范围：-327.00~327.00"));
}

void EntryChecks::warnValueRange()
{
    QMessageBox::warning(m_dialog, QCoreApplication::translate("Demarcate", "提示"),
                         QCoreApplication::translate("Demarcate", "允许输入范围：-32767~32767"));
}
