// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef KEEPLOADEDLIBRARIES_H
#define KEEPLOADEDLIBRARIES_H

// The OpenGL driver is unloaded when the display connection closes, before the leak check of a
// sanitizer build runs at exit; the check then no longer sees the driver's globals and reports
// the blocks they hold as leaks. Called once a context has loaded the driver, this keeps every
// library loaded by then until exit.

#include <dlfcn.h>
#include <link.h>

#include <string>
#include <vector>

inline void keepLoadedLibrariesUntilExit()
{
    std::vector<std::string> names;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *out) {
            if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0')
                static_cast<std::vector<std::string> *>(out)->emplace_back(info->dlpi_name);
            return 0;
        },
        &names);
    for (const std::string &name : names)
        dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

#endif // KEEPLOADEDLIBRARIES_H
