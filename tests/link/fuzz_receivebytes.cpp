// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target of the receive path: the same replay as tst_receivecorpus, against the same
// model, on whatever streams the fuzzer makes up. Any difference aborts with a description;
// AddressSanitizer and UndefinedBehaviorSanitizer catch the rest.
//
// The first input byte chooses how the stream is cut into pieces, the second how many frames
// the calibration run takes; the remaining bytes are the stream.

#include "receivereference.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void dropDebugLines(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

QList<int> piecesFor(quint8 choice)
{
    static const int fixed[] = {0xFFFF, 1, 2, 3, 4, 5, 7, 16, 64, 255, 256, 257};
    constexpr int fixedCount = int(sizeof fixed / sizeof fixed[0]);
    if (choice < 128)
        return {fixed[choice % fixedCount]};
    // Alternating small and larger pieces, so that chunk borders fall everywhere in a frame.
    return {1 + (choice & 0x07), 1 + ((choice >> 3) & 0x0F) * 17};
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler(dropDebugLines);
    registerDeviceRecordTypes();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    // A fresh codec each time: the reads asked of it must not outlive their time-out unseen.
    receiveref::ObservedCodec codec;
    const QByteArray stream(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    const QString fault = receiveref::replay(codec, stream, piecesFor(data[0]), data[1] % 32);
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "receive path differs from the model: %s\n", qPrintable(fault));
        std::abort();
    }
    return 0;
}
