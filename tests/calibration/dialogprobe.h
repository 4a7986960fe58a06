// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DIALOGPROBE_H
#define DIALOGPROBE_H

// Works the calibration dialog as the operator sees it: widgets by object name, table rows as
// text, and the message boxes it shows, answered and recorded.

#include "demarcate.h"
#include "messageboxrecorder.h"

#include <QComboBox>
#include <QPushButton>
#include <QTableView>

#include <memory>

class DialogProbe
{
protected:
    template<typename T> T *widget(const char *name) const
    {
        T *found = m_dialog->findChild<T *>(QLatin1String(name));
        Q_ASSERT(found);
        return found;
    }
    void click(const char *button) { widget<QPushButton>(button)->click(); }
    void select(const char *combo, int index) { widget<QComboBox>(combo)->setCurrentIndex(index); }

    // Each row as "cell|cell|..." from column `first` on, empty cells at the end left out.
    QStringList rows(const char *table, int first = 1) const
    {
        const QAbstractItemModel *model = widget<QTableView>(table)->model();
        QStringList out;
        for (int r = 0; r < model->rowCount(); ++r) {
            QStringList cells;
            for (int c = first; c < model->columnCount(); ++c)
                cells << model->index(r, c).data().toString();
            while (!cells.isEmpty() && cells.last().isEmpty())
                cells.removeLast();
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    }
    QStringList singleRows() const { return rows("singleReadTable"); }

    std::unique_ptr<Demarcate> m_dialog;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
};

// The one box a case expects, or none when its text is empty.
inline QStringList optional(const QString &text)
{
    return text.isEmpty() ? QStringList{} : QStringList{text};
}

#endif // DIALOGPROBE_H
