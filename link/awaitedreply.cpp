// SPDX-License-Identifier: GPL-3.0-or-later
#include "awaitedreply.h"

AwaitedReply::AwaitedReply(int windowMs)
    : m_windowMs(windowMs)
{}

void AwaitedReply::expect()
{
    ++m_outstanding;
    m_deadline.setRemainingTime(m_windowMs);
}

bool AwaitedReply::take()
{
    if (!isOpen())
        return false;
    --m_outstanding;
    return true;
}

bool AwaitedReply::takePart()
{
    if (!isOpen())
        return false;
    m_deadline.setRemainingTime(m_windowMs);
    return true;
}

bool AwaitedReply::isOpen()
{
    if (m_outstanding > 0 && m_deadline.hasExpired())
        m_outstanding = 0;
    return m_outstanding > 0;
}
