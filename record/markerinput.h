// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MARKERINPUT_H
#define MARKERINPUT_H

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

// The lines that arrive on a file descriptor (eskin-record's standard input), one marker label
// each, so that a script or an operator can mark "load on" and "load off" while it records. A
// line is cut at kMaxLineBytes (the rest of it is skipped) and a carriage return before its end
// is dropped; a last line without its end counts once the input ends. Reading stops at the end
// of the input or on an error, such as a terminal that belongs to the foreground job (with
// SIGTTIN ignored, its read fails instead of stopping the program). The descriptor is not
// closed.
class MarkerInput : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxLineBytes = 4096;

    explicit MarkerInput(int fd, QObject *parent = nullptr);

signals:
    void lineRead(const QString &line);

private:
    void readAvailable();
    void takeLines();
    void finish();

    int m_fd;
    QSocketNotifier *m_notifier;
    QByteArray m_partial;
    bool m_skipping = false;
};

#endif // MARKERINPUT_H
