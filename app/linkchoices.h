// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LINKCHOICES_H
#define LINKCHOICES_H

#include <array>
#include <cstddef>

// The baud rates the window offers, and the card's sample frequencies in Hz by the index that
// the card and the frequency box use.
constexpr std::array<int, 3> baudRateTable{115200, 460800, 921600};
constexpr std::array<int, 5> sampleFreTable{10, 20, 50, 100, 200};

// The frequency in Hz of the card's index; 0 for an index the card does not have (-1: unknown).
constexpr int sampleRateHz(int index)
{
    return index >= 0 && index < int(sampleFreTable.size()) ? sampleFreTable[std::size_t(index)]
                                                            : 0;
}

#endif // LINKCHOICES_H
