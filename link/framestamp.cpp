// SPDX-License-Identifier: GPL-3.0-or-later
#include "framestamp.h"

#include <chrono>

qint64 FrameStamp::clockMicros()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

QDateTime FrameStamp::wallClockAt(qint64 clockUs)
{
    return QDateTime::currentDateTime().addMSecs(-(clockMicros() - clockUs) / 1000);
}
