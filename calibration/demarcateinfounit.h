// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DEMARCATEINFOUNIT_H
#define DEMARCATEINFOUNIT_H

#include "devicerecords.h"

#include <QtGlobal>

// One array calibration point of one axis: the pressure it was taken at and one value per
// sensor, entry k belonging to sensor k. Only the first `num` entries are meaningful.
struct demarcateInfoUnit_t
{
    qint16 num;
    qint16 pressure; // hundredths of the displayed pressure
    qint16 info[kMaxSensors];
};

#endif // DEMARCATEINFOUNIT_H
