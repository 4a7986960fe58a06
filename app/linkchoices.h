// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LINKCHOICES_H
#define LINKCHOICES_H

#include "samplerates.h"

#include <array>

// The baud rates the window offers; the sample frequencies are the card's (kSampleRatesHz).
constexpr std::array<int, 3> baudRateTable{115200, 460800, 921600};

#endif // LINKCHOICES_H
