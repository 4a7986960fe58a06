#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Refreshes translations/electronic-skin_en.ts from the program's sources:
#   scripts/update-translations.sh [BUILD_DIR]
# lupdate gathers every text passed through tr() or set in a form. Texts new in the code arrive
# unfinished (translate them, for example with linguist, and drop type="unfinished"); texts no
# longer in the code are removed. The test tst_translations fails while any text is missing or
# unfinished. Uses the build in BUILD_DIR (default build/), configuring it when needed.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" --target update_translations
