// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef WIRELOG_H
#define WIRELOG_H

#include "cardmodel.h"
#include "samplerates.h"
#include "simulatedcard.h"
#include "slavecodec.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdio>
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

// Starts `card` on `link` (empty: a terminal of its own) at 200 Hz, not yet streaming, with
// `wire` logging each frame once the terminal has taken it; false after saying why not.
inline bool startLoggedCard(SimulatedCard &card, const QString &link, WireLog &wire)
{
    const bool started = card.start(link, [&wire](CardModel &model) {
        model.setSeed(1);
        model.setFrequencyIndex(sampleRateIndex(200));
        model.setStreaming(false);
        QObject::connect(&model, &CardModel::bytesToHost, &model,
                         [&wire](const QByteArray &bytes) { wire.record(bytes); });
    });
    if (!started)
        std::fprintf(stderr, "cannot start the simulated card: %s\n",
                     qPrintable(card.errorString()));
    return started;
}

#endif // WIRELOG_H
