// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PLAINAXISTICKER_H
#define PLAINAXISTICKER_H

#include <qcustomplot.h>

// Ticks labelled as plain decimal numbers, never in powers of ten: a frame number stays whole
// however large it grows (17279999, not 1.728·10^7), and seconds get as many decimals as the tick
// step needs. With whole steps (frame numbers), no tick falls between two frames.
class PlainAxisTicker : public QCPAxisTicker
{
public:
    explicit PlainAxisTicker(bool wholeSteps);

protected:
    double getTickStep(const QCPRange &range) override;
    QString getTickLabel(double tick, const QLocale &locale, QChar formatChar,
                         int precision) override;

private:
    bool m_wholeSteps;
    int m_decimals = 0;
};

#endif // PLAINAXISTICKER_H
