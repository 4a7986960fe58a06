#ifndef DIALOGPROBE_H
#define DIALOGPROBE_H

// Reads the calibration dialog as the operator sees it: widgets by object name, table rows as
// text.

#include <QAbstractItemModel>
#include <QStringList>
#include <QTableView>

template<typename T> T *widgetOf(const QWidget *dialog, const char *name)
{
    T *widget = dialog->findChild<T *>(QLatin1String(name));
    Q_ASSERT(widget);
    return widget;
}

// Each row as "cell|cell|..." from column `first` on, empty cells at the end left out.
inline QStringList tableRows(const QWidget *dialog, const char *table, int first = 1)
{
    const QAbstractItemModel *model = widgetOf<QTableView>(dialog, table)->model();
    QStringList rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = first; c < model->columnCount(); ++c)
            cells << model->index(r, c).data().toString();
        while (!cells.isEmpty() && cells.last().isEmpty())
            cells.removeLast();
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

// The one box a case expects, or none when its text is empty.
inline QStringList optional(const QString &text)
{
    return text.isEmpty() ? QStringList{} : QStringList{text};
}

#endif // DIALOGPROBE_H
