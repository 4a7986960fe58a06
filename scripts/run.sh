#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs whatever Debian packages are missing, builds the program (Release, in build/) and
# starts it against a simulated driver card served inside the program. Extra arguments go to
# the program (for example --port /tmp/ttyV0); without a display, run it under xvfb-run.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ESKIN_BUILD_DIR:-$root/build}"

"$root/scripts/install-deps.sh"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --parallel "$(nproc)" --target electronic-skin

exec "$build/app/electronic-skin" --simulate "$@"
