#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the release with Debian's hardening flags and the Debian package in build-package/ (or
# $ESKIN_PACKAGE_BUILD_DIR) and prints the package's path:
#   scripts/package.sh            then   sudo apt install ./build-package/electronic-skin_*.deb
# Installs whatever Debian packages are missing first (dpkg-dev computes the dependencies).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ESKIN_PACKAGE_BUILD_DIR:-$root/build-package}"

"$root/scripts/install-deps.sh" >&2

# Debian's hardening flags, as dpkg-buildflags gives them to a package that asks for all of
# them: fortified functions, strong stack protector, format checks, and full RELRO with
# immediate binding (position-independent code is the compiler's default). The release type's
# -O3 follows and wins over -O2; -g is dropped, as the package is stripped and has no
# debug-symbol companion. Given on the command line, so that they replace the flags of an
# earlier configuration. Run in the source folder, whose path they map to ".".
export DEB_BUILD_MAINT_OPTIONS="hardening=+all" DEB_CXXFLAGS_MAINT_STRIP="-g"
cd "$root"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" \
    -DESKIN_SANITIZE=OFF -DESKIN_BUILD_TESTS=OFF -DESKIN_BUILD_BENCHMARKS=OFF >&2
cmake --build "$build" --parallel "$(nproc)" >&2

rm -f "$build"/electronic-skin_*.deb
(cd "$build" && cpack -G DEB --config CPackConfig.cmake) >&2
package="$(ls "$build"/electronic-skin_*.deb)"
echo "$package"
