// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef ENTRYCHECKS_H
#define ENTRYCHECKS_H

#include <QString>

#include <optional>

class QLineEdit;
class QModelIndex;
class QStandardItemModel;
class QWidget;

// The checks of what the operator enters in the calibration dialog, in its table cells and its
// two entry fields. A pressure lies within -327.00 to 327.00, and a positive one typed with more
// than two decimals is rounded to two; a calibration value is an integer within -32767 to 32767.
// A refused entry shows the range warning (parented to the dialog) and becomes "0.00" or "0".
class EntryChecks
{
public:
    explicit EntryChecks(QWidget *dialog);

    // A calibration value; none when the text is not an integer within range.
    static std::optional<int> parseValue(const QString &text);

    // Checks the cell a model change concerns: the row of its first index, the column of its
    // last. The pressure column and the value columns after it are checked; columns before it
    // (the tick) are not.
    void checkCell(QStandardItemModel *model, const QModelIndex &topLeft,
                   const QModelIndex &bottomRight, int pressureColumn);
    // The entry fields, as their editing finishes. False when the entry was refused.
    bool checkValueField(QLineEdit *field);
    void checkPressureField(QLineEdit *field);

    void warnPressureRange();
    void warnValueRange();

private:
    void checkPressureCell(QStandardItemModel *model, const QModelIndex &cell);
    void checkValueCell(QStandardItemModel *model, const QModelIndex &cell);
    bool acceptPressure(QString &text);
    bool acceptValue(const QString &text);

    QWidget *m_dialog;
};

#endif // ENTRYCHECKS_H
