// SPDX-License-Identifier: GPL-3.0-or-later
#include "pressuretext.h"

#include <QRegularExpression>

#include <cstdlib>

namespace {

constexpr int kHundredths = 100;
constexpr int kKeptDecimals = 2;
// More whole digits than this is out of range whatever they are.
constexpr int kMaxWholeDigits = 3;

QString withoutLeadingZeros(const QString &digits)
{
    qsizetype first = 0;
    while (first < digits.size() && digits.at(first) == QLatin1Char('0'))
        ++first;
    return digits.mid(first);
}

QString withoutTrailingZeros(const QString &digits)
{
    qsizetype end = digits.size();
    while (end > 0 && digits.at(end - 1) == QLatin1Char('0'))
        --end;
    return digits.left(end);
}

} // namespace

std::optional<PressureText> PressureText::parse(const QString &text)
{
    // The exponent is bounded so that shifting the point never builds a huge string.
    static const QRegularExpression number(
        QStringLiteral(R"(^([+-]?)(\d*)(?:\.(\d*))?(?:[eE]([+-]?\d{1,3}))?$)"));
    const QRegularExpressionMatch m = number.match(text.trimmed());
    if (!m.hasMatch() || (m.capturedLength(2) == 0 && m.capturedLength(3) == 0))
        return std::nullopt;

    const QString digits = m.captured(2) + m.captured(3);
    const int exponent = m.capturedLength(4) > 0 ? m.captured(4).toInt() : 0;
    const qsizetype point = m.capturedLength(2) + exponent;

    PressureText pressure;
    pressure.m_negative = m.captured(1) == QLatin1String("-");
    if (point <= 0) {
        pressure.m_fraction = QString(-point, QLatin1Char('0')) + digits;
    } else if (point >= digits.size()) {
        pressure.m_whole = digits + QString(point - digits.size(), QLatin1Char('0'));
    } else {
        pressure.m_whole = digits.left(point);
        pressure.m_fraction = digits.mid(point);
    }
    pressure.m_whole = withoutLeadingZeros(pressure.m_whole);
    pressure.m_fraction = withoutTrailingZeros(pressure.m_fraction);
    return pressure;
}

QString PressureText::formatHundredths(int hundredths)
{
    const int magnitude = std::abs(hundredths);
    return QStringLiteral("%1%2.%3")
        .arg(hundredths < 0 ? QStringLiteral("-") : QString())
        .arg(magnitude / kHundredths)
        .arg(magnitude % kHundredths, kKeptDecimals, 10, QLatin1Char('0'));
}

bool PressureText::inRange() const
{
    if (m_whole.size() > kMaxWholeDigits)
        return false;
    const int whole = wholeUnits();
    return whole < kLimit || (whole == kLimit && m_fraction.isEmpty());
}

bool PressureText::isPositive() const
{
    return !m_negative && (!m_whole.isEmpty() || !m_fraction.isEmpty());
}

int PressureText::truncatedHundredths() const
{
    return hundredthsOf(false);
}

QString PressureText::roundedText() const
{
    return formatHundredths(hundredthsOf(true));
}

int PressureText::wholeUnits() const
{
    return m_whole.isEmpty() ? 0 : m_whole.toInt();
}

int PressureText::hundredthsOf(bool roundHalfUp) const
{
    const QString kept = m_fraction.left(kKeptDecimals).leftJustified(kKeptDecimals, '0');
    int magnitude = wholeUnits() * kHundredths + kept.toInt();
    if (roundHalfUp && m_fraction.size() > kKeptDecimals &&
        m_fraction.at(kKeptDecimals) >= QLatin1Char('5'))
        ++magnitude;
    return m_negative ? -magnitude : magnitude;
}
