// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDCHECKPROGRESS_H
#define RECORDCHECKPROGRESS_H

#include <QCoreApplication>
#include <QString>

class QWidget;
class RecordIndex;

// Opens a recording with a progress dialog over its checking pass, which the operator can cancel:
// a day's file takes the better part of a minute. The dialog shows only when the pass is not over
// at once.
class RecordCheckProgress
{
    Q_DECLARE_TR_FUNCTIONS(RecordCheckProgress)
public:
    // As RecordIndex::open. The dialog is modal to `window`, or to the whole program before it
    // has a window (nullptr).
    static bool open(RecordIndex &index, const QString &path, QWidget *window);
};

#endif // RECORDCHECKPROGRESS_H
