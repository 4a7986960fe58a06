// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DIAGNOSTICS_H
#define DIAGNOSTICS_H

// The programs' diagnostics are debug lines in logging categories named eskin.* (eskin.link,
// eskin.app, eskin.views, eskin.calibration, eskin.record, eskin.sim). A debug build prints
// them; a release build prints them only when asked, with `verbose` (the --verbose option) or
// QT_LOGGING_RULES, whose rules win over the default set here. Warnings always print.
void applyDiagnosticsDefault(bool verbose);

#endif // DIAGNOSTICS_H
