// SPDX-License-Identifier: GPL-3.0-or-later
#include "diagnosticthrottle.h"

#include <QDebug>

DiagnosticThrottle::DiagnosticThrottle(const QLoggingCategory &category, int intervalMs)
    : m_category(&category)
    , m_intervalMs(intervalMs)
{}

DiagnosticThrottle::DiagnosticThrottle(std::function<void(const QString &)> sink, int intervalMs)
    : m_sink(std::move(sink))
    , m_intervalMs(intervalMs)
{}

void DiagnosticThrottle::write(const QString &text)
{
    QString line = text;
    if (m_count > 1 && m_last.isValid())
        line += QStringLiteral(" (%1 times in %2 ms)").arg(m_count).arg(m_last.elapsed());
    if (m_sink)
        m_sink(line);
    else
        qCDebug(*m_category).noquote() << line;
    m_count = 0;
    m_last.start();
}
