// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordinput.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

RecordInput::~RecordInput()
{
    close();
}

bool RecordInput::open(const QString &path)
{
    close();
    m_error.clear();
    // Not blocking: opening a FIFO must not wait for its writer.
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = systemError();
        return false;
    }
    struct stat status = {};
    if (::fstat(m_fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        const QString reason =
            S_ISDIR(status.st_mode) ? QStringLiteral("it is a folder") : systemError();
        close();
        m_error = reason;
        return false;
    }
    m_regular = S_ISREG(status.st_mode);
    return true;
}

void RecordInput::adopt(int fd)
{
    close();
    m_fd = fd;
    m_regular = true;
}

void RecordInput::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_regular = false;
}

qint64 RecordInput::read(char *data, qint64 max)
{
    if (m_fd < 0)
        return failed(QStringLiteral("not open"));
    if (!m_regular)
        return readPipe(data, max);
    for (;;) {
        const ssize_t n = ::read(m_fd, data, size_t(max));
        if (n >= 0)
            return n;
        if (errno != EINTR)
            return failed(systemError());
    }
}

qint64 RecordInput::readAt(qint64 offset, char *data, qint64 max)
{
    if (m_fd < 0 || !m_regular)
        return failed(QStringLiteral("not a file that can be read again"));
    qint64 done = 0;
    while (done < max) {
        const ssize_t n = ::pread(m_fd, data + done, size_t(max - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failed(systemError());
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

qint64 RecordInput::currentSize()
{
    struct stat status = {};
    if (m_fd < 0 || ::fstat(m_fd, &status) != 0)
        return failed(systemError());
    return qint64(status.st_size);
}

// A FIFO without a writer reads as empty without being at its end: only a poll that reports
// data or a hang-up tells. Nothing for kQuietTimeoutMs is a failure.
qint64 RecordInput::readPipe(char *data, qint64 max)
{
    for (;;) {
        pollfd watch{m_fd, POLLIN, 0};
        const int ready = ::poll(&watch, 1, kQuietTimeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return failed(systemError());
        if (ready == 0)
            return failed(QStringLiteral("nothing arrived for %1 s (a pipe without a writer?)")
                              .arg(kQuietTimeoutMs / 1000));
        const ssize_t n = ::read(m_fd, data, size_t(max));
        if (n >= 0)
            return n;
        if (errno != EINTR && errno != EAGAIN)
            return failed(systemError());
    }
}

qint64 RecordInput::failed(const QString &what)
{
    m_error = what;
    return -1;
}
