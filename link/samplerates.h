// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SAMPLERATES_H
#define SAMPLERATES_H

#include <array>
#include <cstddef>

// The driver card's sample frequencies in Hz, by the index that its frequency commands carry
// (and that the window's frequency box uses).
constexpr std::array<int, 5> kSampleRatesHz{10, 20, 50, 100, 200};

// The frequency in Hz of the card's index; 0 for an index the card does not have (-1: unknown).
constexpr int sampleRateHz(int index)
{
    return index >= 0 && index < int(kSampleRatesHz.size()) ? kSampleRatesHz[std::size_t(index)]
                                                            : 0;
}

// The card's index of `hz`; -1 for a frequency the card does not have.
constexpr int sampleRateIndex(int hz)
{
    for (std::size_t i = 0; i < kSampleRatesHz.size(); ++i) {
        if (kSampleRatesHz[i] == hz)
            return int(i);
    }
    return -1;
}

#endif // SAMPLERATES_H
