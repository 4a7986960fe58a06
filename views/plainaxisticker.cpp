// SPDX-License-Identifier: GPL-3.0-or-later
#include "plainaxisticker.h"

#include <cmath>

namespace {

// Enough for any step the plot library chooses on a range of microseconds.
constexpr int kMostDecimals = 9;

// The fewest decimals that write every multiple of `step` exactly.
int decimalsOf(double step)
{
    double scaled = step;
    for (int decimals = 0; decimals < kMostDecimals; ++decimals, scaled *= 10) {
        if (std::abs(scaled - std::round(scaled)) < 1e-6 * scaled)
            return decimals;
    }
    return kMostDecimals;
}

} // namespace

PlainAxisTicker::PlainAxisTicker(bool wholeSteps)
    : m_wholeSteps(wholeSteps)
{}

// The plot library's readable steps are 1, 2, 2.5 and 5 times a power of ten; between frame
// numbers 2.5 becomes 2, and nothing finer than 1 is taken.
double PlainAxisTicker::getTickStep(const QCPRange &range)
{
    double step = QCPAxisTicker::getTickStep(range);
    if (m_wholeSteps)
        step = std::max(1.0, std::floor(step));
    m_decimals = decimalsOf(step);
    return step;
}

QString PlainAxisTicker::getTickLabel(double tick, const QLocale &locale, QChar, int)
{
    // -0.000 is written 0.
    const double shown = std::abs(tick) < 0.5 * std::pow(10.0, -m_decimals) ? 0.0 : tick;
    return locale.toString(shown, 'f', m_decimals);
}
