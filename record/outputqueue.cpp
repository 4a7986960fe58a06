// SPDX-License-Identifier: GPL-3.0-or-later
#include "outputqueue.h"

#include "recordformat.h"
#include "workerthread.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QObject>

#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How often a writer that waits for its reader looks whether it is being ended.
constexpr int kPollMs = 50;

bool isRegularFile(int fd)
{
    struct stat status = {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

} // namespace

OutputQueue::OutputQueue(int fd, std::function<void()> failed)
    : m_fd(fd)
    , m_pieceWise(!isRegularFile(fd))
    , m_failed(std::move(failed))
    , m_thread(std::make_unique<WorkerThread>())
    , m_context(std::make_unique<QObject>())
{
    m_thread->setObjectName(QStringLiteral("recording output"));
    m_context->moveToThread(m_thread.get());
    m_thread->start();
}

OutputQueue::~OutputQueue()
{
    stop();
}

void OutputQueue::stop()
{
    m_thread->end();
    // The writes that never ran go with their object.
    m_context.reset();
}

void OutputQueue::push(const QByteArray &lines, qint64 rows)
{
    if (!m_context)
        return;
    m_pending.fetch_add(lines.size());
    QMetaObject::invokeMethod(
        m_context.get(), [this, lines, rows] { write(lines, rows); }, Qt::QueuedConnection);
}

bool OutputQueue::drain(int ms)
{
    const QDeadlineTimer deadline(ms);
    QMutexLocker lock(&m_lock);
    while (m_pending.load() > 0 && !m_broken.load()) {
        if (!m_progress.wait(&m_lock, deadline))
            break;
    }
    return m_pending.load() == 0 && !m_broken.load();
}

QString OutputQueue::error() const
{
    const QMutexLocker lock(&m_lock);
    return m_error;
}

// In the output's thread.
void OutputQueue::write(const QByteArray &lines, qint64 rows)
{
    qint64 done = 0;
    while (done < lines.size() && !m_broken.load()) {
        if (m_pieceWise && !waitUntilWritable())
            return; // ended while the reader stands still
        const qint64 left = lines.size() - done;
        const ssize_t n = ::write(m_fd, lines.constData() + done,
                                  size_t(m_pieceWise ? qMin<qint64>(left, PIPE_BUF) : left));
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0) {
            fail(n < 0 ? errno : EIO, lines, done);
            return;
        }
        done += n;
        // The rows are counted before the last bytes, so that a drained output has them.
        if (done == lines.size())
            m_rowsWritten.fetch_add(rows);
        m_pending.fetch_sub(n);
        tellProgress();
    }
    if (done < lines.size()) { // thrown away after a failure
        m_pending.fetch_sub(lines.size() - done);
        tellProgress();
    }
}

// True once the output takes more (or has an error, which the write then tells); false when the
// thread is being ended.
bool OutputQueue::waitUntilWritable() const
{
    while (!QThread::currentThread()->isInterruptionRequested()) {
        pollfd output{m_fd, POLLOUT, 0};
        const int ready = ::poll(&output, 1, kPollMs);
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return true;
    }
    return false;
}

// The rows of the lines that reached the output whole count; a file is cut back to its last
// whole line (a pipe or a device cannot be, and its readers leave a partial last line out).
void OutputQueue::fail(int error, const QByteArray &lines, qint64 written)
{
    const QByteArrayView out(lines.constData(), written);
    const qsizetype complete = out.lastIndexOf('\n') + 1;
    qint64 rows = 0;
    for (qsizetype at = 0; at < complete;) {
        const qsizetype end = out.indexOf('\n', at);
        rows += RecordFormat::isRow(out.sliced(at, end - at)) ? 1 : 0;
        at = end + 1;
    }
    m_rowsWritten.fetch_add(rows);
    if (!m_pieceWise && complete < written) {
        // Where the file ends now, whatever it held before this recording (an output appended to).
        const off_t end = ::lseek(m_fd, 0, SEEK_CUR);
        if (end >= 0) {
            [[maybe_unused]] const int cut = ::ftruncate(m_fd, end - (written - complete));
        }
    }
    {
        const QMutexLocker lock(&m_lock);
        m_error = QString::fromLocal8Bit(std::strerror(error));
    }
    m_broken.store(true);
    m_pending.fetch_sub(lines.size() - written);
    tellProgress();
    m_failed();
}

void OutputQueue::tellProgress()
{
    // Taken, so that a drain() between its look at the count and its wait is woken too.
    {
        const QMutexLocker lock(&m_lock);
    }
    m_progress.wakeAll();
}
