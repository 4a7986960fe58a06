// SPDX-License-Identifier: GPL-3.0-or-later
#include "diagnosticthrottle.h"

#include <QDebug>

DiagnosticThrottle::DiagnosticThrottle(const QLoggingCategory &category, int intervalMs)
    : m_category(category)
    , m_intervalMs(intervalMs)
{}

void DiagnosticThrottle::write(const QString &text)
{
    if (m_count == 1 || !m_last.isValid())
        qCDebug(m_category).noquote() << text;
    else
        qCDebug(m_category).noquote()
            << text << QStringLiteral("(%1 times in %2 ms)").arg(m_count).arg(m_last.elapsed());
    m_count = 0;
    m_last.start();
}
