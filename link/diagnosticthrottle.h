// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DIAGNOSTICTHROTTLE_H
#define DIAGNOSTICTHROTTLE_H

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QString>

#include <functional>

// Sums up a diagnostic that a card can make repeat by the thousand (a frame dropped, a reply
// nobody asked for): one kind, one throttle. The first occurrence is written at once; after
// that at most one line a second, written at the next occurrence once the second is up, with
// the number of occurrences it stands for. Occurrences after the last line are told with the
// next one. The text is made only for the lines written, and nothing at all is done while the
// category's debug output is off. Lines meant for an operator (a refused client in a server's
// log) go to a sink of their own instead, always.
//
// Not thread-safe: each throttle belongs to one thread.
class DiagnosticThrottle
{
public:
    explicit DiagnosticThrottle(const QLoggingCategory &category, int intervalMs = 1000);
    explicit DiagnosticThrottle(std::function<void(const QString &line)> sink,
                                int intervalMs = 1000);

    // `describe` returns the line's text (a QString) for the occurrence at hand.
    template<typename Describe> void note(Describe describe)
    {
        if (m_category && !m_category->isDebugEnabled())
            return;
        ++m_count;
        if (m_last.isValid() && !m_last.hasExpired(m_intervalMs))
            return;
        write(describe());
    }

private:
    void write(const QString &text);

    const QLoggingCategory *m_category = nullptr;
    std::function<void(const QString &line)> m_sink;
    int m_intervalMs;
    qint64 m_count = 0;
    QElapsedTimer m_last;
};

#endif // DIAGNOSTICTHROTTLE_H
