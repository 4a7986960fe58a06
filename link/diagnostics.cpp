// SPDX-License-Identifier: GPL-3.0-or-later
#include "diagnostics.h"

#include <QLoggingCategory>

void applyDiagnosticsDefault(bool verbose)
{
#ifdef NDEBUG
    if (!verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("eskin.*.debug=false"));
#else
    Q_UNUSED(verbose)
#endif
}
