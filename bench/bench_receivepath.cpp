// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of the receive path of the driver-card link: a stream of 16-sensor sensor-data
// frames is cut into serial-sized chunks and pushed through the codec and the protocol layer,
// and every decoded reading set crosses to a receiver in another thread through a queued
// connection with its stamp, the way it reaches the curve window. The time of an iteration ends
// only when the receiver has taken the last frame of the batch, so delivery is part of what is
// measured.

#include "devicerecords.h"
#include "slavecodec.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <random>
#include <vector>

namespace {

constexpr int kSensorsPerFrame = kMaxSensors;
constexpr int kPayloadBytes = kSensorsPerFrame * kAxitWireBytes;
constexpr int kFrameBytes = kPayloadBytes + 4; // sync, length, command, payload, checksum
constexpr int kFramesPerBatch = 10000;
// Noise gaps hold 0 to 10 bytes, 5 on average: 5 % of the frame bytes.
constexpr int kMaxNoiseGap = 10;

// Set whenever a case is abandoned, so that the process (and the ctest smoke run) fails.
bool g_deliveryFailed = false;

// A batch of wire bytes and what the receiver must see once all of it has been delivered.
struct FrameStream
{
    std::vector<char> bytes;
    qint64 xSum = 0;
};

void appendBigEndian(std::vector<char> &out, qint16 value)
{
    out.push_back(char(quint16(value) >> 8));
    out.push_back(char(quint16(value) & 0xFF));
}

void appendSensorFrame(FrameStream &stream, std::mt19937 &rng)
{
    std::uniform_int_distribution<int> reading(-32768, 32767);
    std::vector<char> frame;
    frame.reserve(kFrameBytes);
    frame.push_back(char(kFrameSync));
    frame.push_back(char(kPayloadBytes + 2));
    frame.push_back(char(CmdSensorData));
    for (int sensor = 0; sensor < kSensorsPerFrame; ++sensor) {
        const auto x = qint16(reading(rng));
        stream.xSum += x;
        appendBigEndian(frame, x);
        appendBigEndian(frame, qint16(reading(rng)));
        appendBigEndian(frame, qint16(reading(rng)));
    }
    quint8 checksum = 0;
    for (char byte : frame)
        checksum = quint8(checksum + quint8(byte));
    frame.push_back(char(checksum));
    stream.bytes.insert(stream.bytes.end(), frame.begin(), frame.end());
}

// Noise never contains a sync byte, so it cannot start a false frame and every real frame
// must still arrive.
void appendNoise(FrameStream &stream, std::mt19937 &rng)
{
    std::uniform_int_distribution<int> gap(0, kMaxNoiseGap);
    std::uniform_int_distribution<int> value(0, 254);
    for (int i = gap(rng); i > 0; --i) {
        const int byte = value(rng);
        stream.bytes.push_back(char(byte >= kFrameSync ? byte + 1 : byte));
    }
}

FrameStream makeStream(bool withNoise)
{
    std::mt19937 rng(20240611);
    FrameStream stream;
    stream.bytes.reserve(std::size_t(kFramesPerBatch) * (kFrameBytes + kMaxNoiseGap));
    for (int i = 0; i < kFramesPerBatch; ++i) {
        if (withNoise)
            appendNoise(stream, rng);
        appendSensorFrame(stream, rng);
    }
    return stream;
}

// Stands in for the curve window: takes each reading set in its own thread and reads every
// entry, so the delivered copy is really used, and checks that the stamps number the frames
// one by one at increasing times.
class FrameCounter : public QObject
{
    Q_OBJECT
public:
    qint64 frames() const { return m_frames.load(std::memory_order_acquire); }
    qint64 xSum() const { return m_xSum.load(std::memory_order_acquire); }
    qint64 badCounts() const { return m_badCounts.load(std::memory_order_acquire); }

public slots:
    void takeReadings(const FrameStamp &stamp, const QList<Axit_t> &readings, uint num)
    {
        if (stamp.sequence != m_lastStamp.sequence + 1 || stamp.timeUs <= m_lastStamp.timeUs)
            m_badCounts.fetch_add(1, std::memory_order_relaxed);
        m_lastStamp = stamp;
        qint64 sum = 0;
        for (const Axit_t &reading : readings)
            sum += reading.x;
        if (num != uint(readings.size()) || num != uint(kSensorsPerFrame))
            m_badCounts.fetch_add(1, std::memory_order_relaxed);
        m_xSum.fetch_add(sum, std::memory_order_relaxed);
        m_frames.fetch_add(1, std::memory_order_release);
    }

private:
    std::atomic<qint64> m_frames{0};
    std::atomic<qint64> m_xSum{0};
    std::atomic<qint64> m_badCounts{0};
    FrameStamp m_lastStamp;
};

// The codec without a serial port. The receive path must never write to the card, so writes
// are counted rather than ignored.
class PortlessCodec : public SlaveCodec
{
public:
    qint64 writeRaw(const char *, qint64 len) override
    {
        ++writes;
        return len;
    }
    qint64 writeRaw(const QByteArray &bytes) override
    {
        ++writes;
        return bytes.size();
    }

    int writes = 0;
};

// Hands the bytes to the codec as the serial port would, a chunk at a time; chunk boundaries
// fall anywhere, also inside frames.
void feedInChunks(SlaveCodec &codec, const std::vector<char> &bytes, int chunkSize)
{
    const char *next = bytes.data();
    for (std::size_t left = bytes.size(); left > 0;) {
        const auto n = quint16(std::min<std::size_t>(left, std::size_t(chunkSize)));
        codec.receiveBytes(next, n);
        next += n;
        left -= n;
    }
}

// Codec in the calling thread, receiver in a thread of its own with its own event loop.
class ReceivePath
{
public:
    ReceivePath()
        : m_counter(new FrameCounter)
    {
        m_counter->moveToThread(&m_receiverThread);
        QObject::connect(&m_receiverThread, &QThread::finished, m_counter, &QObject::deleteLater);
        QObject::connect(&m_codec, &SlaveProtocol::stampedFrame, m_counter,
                         &FrameCounter::takeReadings, Qt::QueuedConnection);
        m_receiverThread.start();
    }

    ~ReceivePath()
    {
        m_receiverThread.quit();
        m_receiverThread.wait();
    }

    ReceivePath(const ReceivePath &) = delete;
    ReceivePath &operator=(const ReceivePath &) = delete;

    void feed(const std::vector<char> &bytes, int chunkSize)
    {
        feedInChunks(m_codec, bytes, chunkSize);
    }

    // Events posted from one thread to one receiver are handled in posting order, so once this
    // blocking call has run in the receiver thread, every frame emitted before it has arrived.
    void waitForDelivery()
    {
        QMetaObject::invokeMethod(
            m_counter, [] {}, Qt::BlockingQueuedConnection);
    }

    const FrameCounter &counter() const { return *m_counter; }
    int writes() const { return m_codec.writes; }

private:
    PortlessCodec m_codec;
    QThread m_receiverThread;
    FrameCounter *m_counter; // deleted in its own thread when that thread finishes
};

bool skipIfNotDelivered(benchmark::State &state, const ReceivePath &path, const FrameStream &stream,
                        qint64 batches)
{
    const char *fault = nullptr;
    if (path.counter().frames() != batches * kFramesPerBatch)
        fault = "receiver did not count exactly the frames sent";
    else if (path.counter().xSum() != batches * stream.xSum)
        fault = "delivered readings differ from the readings sent";
    else if (path.counter().badCounts() != 0)
        fault = "a delivered reading set does not hold 16 sensors, or its stamp is out of order";
    else if (path.writes() != 0)
        fault = "the receive path wrote to the card";
    if (fault == nullptr)
        return false;
    g_deliveryFailed = true;
    state.SkipWithError(fault);
    return true;
}

void runReceivePath(benchmark::State &state, bool withNoise)
{
    const FrameStream stream = makeStream(withNoise);
    const int chunkSize = int(state.range(0));
    ReceivePath path;
    qint64 batchesSent = 0;

    for (auto _ : state) {
        path.feed(stream.bytes, chunkSize);
        ++batchesSent;
        path.waitForDelivery();
        if (skipIfNotDelivered(state, path, stream, batchesSent))
            break;
    }

    state.SetItemsProcessed(state.iterations() * kFramesPerBatch);
    state.SetBytesProcessed(state.iterations() * qint64(stream.bytes.size()));
}

void BM_ReceiveSensorFrames(benchmark::State &state)
{
    runReceivePath(state, false);
}

void BM_ReceiveSensorFramesWithNoise(benchmark::State &state)
{
    runReceivePath(state, true);
}

// The codec and the decoder alone, with the readings taken by a receiver in the same thread:
// the share of the worker thread's time that decoding costs, without the hand-over.
void BM_DecodeSensorFramesInPlace(benchmark::State &state)
{
    const FrameStream stream = makeStream(false);
    const int chunkSize = int(state.range(0));
    PortlessCodec codec;
    FrameCounter counter;
    QObject::connect(&codec, &SlaveProtocol::stampedFrame, &counter, &FrameCounter::takeReadings,
                     Qt::DirectConnection);

    for (auto _ : state) {
        feedInChunks(codec, stream.bytes, chunkSize);
    }
    if (counter.frames() != state.iterations() * kFramesPerBatch) {
        g_deliveryFailed = true;
        state.SkipWithError("decoder did not count exactly the frames sent");
    }
    state.SetItemsProcessed(state.iterations() * kFramesPerBatch);
    state.SetBytesProcessed(state.iterations() * qint64(stream.bytes.size()));
}

// Chunks as a serial read delivers them, from a few bytes to a burst after a stall.
void serialChunkSizes(benchmark::internal::Benchmark *b)
{
    b->ArgName("chunk")->Arg(64)->Arg(512)->Arg(4096)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_DecodeSensorFramesInPlace)->Apply(serialChunkSizes);
// Real time: the work is shared between two threads and ends with a wait for the receiver.
BENCHMARK(BM_ReceiveSensorFrames)->Apply(serialChunkSizes)->UseRealTime();
BENCHMARK(BM_ReceiveSensorFramesWithNoise)->Apply(serialChunkSizes)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    registerDeviceRecordTypes();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return g_deliveryFailed ? 1 : 0;
}

#include "bench_receivepath.moc"
