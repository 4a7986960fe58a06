// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PRESSURETEXT_H
#define PRESSURETEXT_H

#include <QString>

#include <optional>

// A calibration pressure as the operator typed it. The text is read as an exact decimal, so
// that the decimals counted and the hundredths taken are those typed and not those of the
// nearest binary float: 1.15 keeps its text, 0.53 gives 53 hundredths, 1.005 rounds up.
class PressureText
{
public:
    // Whole units allowed either side of zero; 327.00 still fits the card's signed 16-bit
    // hundredths.
    static constexpr int kLimit = 327;

    // A decimal number, optionally signed and with an exponent, surrounding blanks ignored.
    // Anything else (empty text, "nan", "inf", hexadecimal) is not a pressure.
    static std::optional<PressureText> parse(const QString &text);

    // Hundredths shown with two decimals: 1250 is "12.50", -5 is "-0.05".
    static QString formatHundredths(int hundredths);

    bool inRange() const;
    bool isPositive() const;
    // Decimals of the value typed, trailing zeros not counted.
    int decimals() const { return int(m_fraction.size()); }
    // Only meaningful within range.
    int truncatedHundredths() const;
    QString roundedText() const;

private:
    int wholeUnits() const;
    int hundredthsOf(bool roundHalfUp) const;

    bool m_negative = false;
    QString m_whole;    // digits before the point, no leading zeros
    QString m_fraction; // digits after the point, no trailing zeros
};

#endif // PRESSURETEXT_H
