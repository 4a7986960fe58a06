// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDLOGGING_H
#define RECORDLOGGING_H

#include <QLoggingCategory>

// The diagnostics of the recording, the stream and the broker's connections.
Q_DECLARE_LOGGING_CATEGORY(lcRecord)

#endif // RECORDLOGGING_H
