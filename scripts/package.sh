#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the release and the Debian package in build-package/ and prints the package's path:
#   scripts/package.sh            then   sudo apt install ./build-package/electronic-skin_*.deb
# Installs whatever Debian packages are missing first (dpkg-dev computes the dependencies).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ESKIN_PACKAGE_BUILD_DIR:-$root/build-package}"

"$root/scripts/install-deps.sh" >&2

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DESKIN_SANITIZE=OFF -DESKIN_BUILD_TESTS=OFF -DESKIN_BUILD_BENCHMARKS=OFF >&2
cmake --build "$build" --parallel "$(nproc)" >&2

rm -f "$build"/electronic-skin_*.deb
(cd "$build" && cpack -G DEB --config CPackConfig.cmake) >&2
package="$(ls "$build"/electronic-skin_*.deb)"
echo "$package"
