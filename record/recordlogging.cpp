// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordlogging.h"

Q_LOGGING_CATEGORY(lcRecord, "eskin.record")
