// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef WIRELOG_H
#define WIRELOG_H

#include "slavecodec.h"

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <vector>

// When each sensor-data frame left the card, in sending order. Written only by the card's
// thread; read once the card has stopped.
struct WireLog
{
    explicit WireLog(int capacity)
        : sent(std::size_t(capacity))
    {}

    std::vector<std::chrono::steady_clock::time_point> sent;
    std::atomic<int> count{0};

    void record(const QByteArray &bytes)
    {
        if (bytes.size() > 2 && quint8(bytes.at(0)) == kFrameSync && bytes.at(2) == CmdSensorData) {
            const int at = count.load(std::memory_order_relaxed);
            if (at < int(sent.size())) {
                sent[std::size_t(at)] = std::chrono::steady_clock::now();
                count.store(at + 1, std::memory_order_release);
            }
        }
    }
};

#endif // WIRELOG_H
