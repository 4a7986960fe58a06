#include "devicerecords.h"

void registerDeviceRecordTypes()
{
    qRegisterMetaType<QList<Axit_t>>("QList<Axit_t>");
    qRegisterMetaType<QList<AxitSingle_t>>("QList<AxitSingle_t>");
    qRegisterMetaType<QList<singleDemarcateInfoUnit_t>>("QList<singleDemarcateInfoUnit_t>");
    qRegisterMetaType<QList<short>>("QList<short>");
}
