// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TESTFILE_H
#define TESTFILE_H

// Writes a test's input file, replacing whatever was there; false unless every byte reached the
// file, so that a test checks it with QVERIFY and never goes on with a short file.

#include <QByteArray>
#include <QFile>
#include <QString>

inline bool writeTestFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size() && file.flush();
}

#endif // TESTFILE_H
