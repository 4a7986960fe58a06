// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PICTUREDIFFERENCE_H
#define PICTUREDIFFERENCE_H

#include <QImage>

#include <algorithm>
#include <cstdlib>

// How far two pictures of the same size are apart: the largest difference of any colour channel,
// and how many pixels differ by more than two levels, the noise of computing an edge pixel's
// coverage at another precision.
struct PictureDifference
{
    int largest = 0;
    int beyondNoise = 0;

    PictureDifference(const QImage &a, const QImage &b)
    {
        const QImage first = a.convertToFormat(QImage::Format_ARGB32);
        const QImage second = b.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < first.height(); ++y) {
            for (int x = 0; x < first.width(); ++x) {
                const QRgb p = first.pixel(x, y);
                const QRgb q = second.pixel(x, y);
                const int d =
                    std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
                largest = std::max(largest, d);
                beyondNoise += d > 2 ? 1 : 0;
            }
        }
    }
};

#endif // PICTUREDIFFERENCE_H
