// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicerecords.h"

#include "framestamp.h"

namespace {

// Signals take the lists by non-const reference; a queued connection looks the argument type up
// by the name written in the signature, so the reference spelling is registered as an alias too.
template<typename List> void registerList(const char *name, const char *referenceName)
{
    qRegisterMetaType<List>(name);
    qRegisterMetaType<List>(referenceName);
}

} // namespace

void registerDeviceRecordTypes()
{
    registerList<QList<Axit_t>>("QList<Axit_t>", "QList<Axit_t>&");
    registerList<QList<AxitSingle_t>>("QList<AxitSingle_t>", "QList<AxitSingle_t>&");
    registerList<QList<singleDemarcateInfoUnit_t>>("QList<singleDemarcateInfoUnit_t>",
                                                   "QList<singleDemarcateInfoUnit_t>&");
    registerList<QList<short>>("QList<short>", "QList<short>&");
    qRegisterMetaType<FrameStamp>("FrameStamp");
}
