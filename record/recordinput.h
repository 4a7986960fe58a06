// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDINPUT_H
#define RECORDINPUT_H

#include <QString>
#include <QtGlobal>

// The bytes of a recording named by a path: a regular file, read at any offset, or a pipe, a
// FIFO or a terminal (`<(zcat run.csv.gz)`, /dev/stdin), read once as it comes. Reading a pipe
// waits at most kQuietTimeoutMs for each piece, so that a FIFO without a writer is refused
// instead of hanging its reader.
class RecordInput
{
public:
    static constexpr int kQuietTimeoutMs = 5000;

    RecordInput() = default;
    ~RecordInput();
    RecordInput(const RecordInput &) = delete;
    RecordInput &operator=(const RecordInput &) = delete;

    // False with errorString() when the path cannot be opened for reading.
    bool open(const QString &path);
    // Takes over `fd`, a regular file open for reading.
    void adopt(int fd);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    bool isRegularFile() const { return m_regular; }
    // The next bytes, up to `max`: 0 at the end, -1 on failure (errorString()).
    qint64 read(char *data, qint64 max);
    // Regular files only: bytes from `offset`, as read() counts them.
    qint64 readAt(qint64 offset, char *data, qint64 max);
    // Regular files only: the size now, -1 on failure.
    qint64 currentSize();
    QString errorString() const { return m_error; }

private:
    qint64 readPipe(char *data, qint64 max);
    qint64 failed(const QString &what);

    int m_fd = -1;
    bool m_regular = false;
    QString m_error;
};

#endif // RECORDINPUT_H
