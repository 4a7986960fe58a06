#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# check-install.sh SOURCE_DIR PACKAGE_BUILD_DIR VERSION EXPECTED_FILE...
# Builds the Debian package with scripts/package.sh in PACKAGE_BUILD_DIR, unpacks it and checks
# the result: the exact list of files (relative to the prefix /usr), the dependencies, the
# programs' hardening, lintian, the desktop entry and the AppStream metainfo with Debian's
# validators, the icons' sizes, the man pages, and the installed programs.
set -euo pipefail

source="$1" build="$2" version="$3"
shift 3

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
root="$stage/usr"
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# At a lower priority than the tests that run beside this one, whose waits are timed.
mkdir -p "$build"
log="$build/package.log"
if ! package="$(ESKIN_PACKAGE_BUILD_DIR="$build" nice -n 10 "$source/scripts/package.sh" 2>"$log")"; then
    tail -n 40 "$log" >&2
    echo "FAIL: scripts/package.sh failed (whole output in $log)" >&2
    exit 1
fi
dpkg-deb -x "$package" "$stage"

# Every expected file and nothing else; a file outside the prefix shows up with its full path.
expected="$(printf '%s\n' "$@" | LC_ALL=C sort)"
installed="$(cd "$stage" && find . ! -type d | sed 's|^\./usr/||; s|^\./|/|' | LC_ALL=C sort)"
if ! diff -u <(echo "$expected") <(echo "$installed") >&2; then
    fail "the installed files differ from the expected list (- expected, + installed)"
fi

desktop="$root/share/applications/electronic-skin.desktop"
if ! report="$(desktop-file-validate "$desktop" 2>&1)" || [ -n "$report" ]; then
    fail "desktop-file-validate: $report"
fi
for metainfo in "$root"/share/metainfo/*.metainfo.xml; do
    appstreamcli validate --no-net --no-color "$metainfo" >&2 || fail "appstreamcli validate: $metainfo"
    latest="$(grep -o -m1 '<release version="[^"]*"' "$metainfo" | cut -d'"' -f2 || true)"
    [ "$latest" = "$version" ] || fail "$metainfo: the latest release is '$latest', the project is $version"
done
# The tree as a whole: the metainfo's launchable names the installed desktop entry.
appstreamcli validate-tree --no-net --no-color "$stage" >&2 || fail "appstreamcli validate-tree"

for size in 16 32 48 64 128 256; do
    png="$root/share/icons/hicolor/${size}x${size}/apps/electronic-skin.png"
    [ -f "$png" ] || continue
    # The PNG header's width and height, big-endian, at bytes 16 to 23.
    read -r w0 w1 w2 w3 h0 h1 h2 h3 < <(od -An -tu1 -j16 -N8 "$png")
    width=$(((w0 << 24) | (w1 << 16) | (w2 << 8) | w3))
    height=$(((h0 << 24) | (h1 << 16) | (h2 << 8) | h3))
    [ "$width x $height" = "$size x $size" ] || fail "$png is $width x $height"
done

for page in "$root"/share/man/man1/*.1.gz; do
    if ! warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)" ||
        [ -n "$warnings" ]; then
        fail "man $page: $warnings"
    fi
    text="$(LC_ALL=C.UTF-8 MANWIDTH=80 MANPAGER=cat man -E UTF-8 -l "$page" 2>/dev/null || true)"
    grep -q "^NAME" <<<"$text" && grep -q "$version" <<<"$text" || fail "$page shows no NAME or no version"
done

# The package's own dependencies beside those of its libraries: Qt's platform plugins; and the
# MQTT client library, found by dpkg-shlibdeps.
depends="$(dpkg-deb -f "$package" Depends)"
grep -Eq '(^|, )qt6-qpa-plugins( |,|$)' <<<"$depends" || fail "Depends lacks qt6-qpa-plugins: $depends"
grep -Eq '(^|, )libmosquitto1( |,|$)' <<<"$depends" || fail "Depends lacks libmosquitto1: $depends"

# Debian's hardening, read from every program: full RELRO with immediate binding, position
# independence, stack protector. Fortification shows only where the compiler could not prove a
# call safe, so a program may rightly call no fortified function: the package's compile flags
# must ask for it, and at least one program must show it took effect.
grep -q -- '-D_FORTIFY_SOURCE=[23]' "$build/CMakeCache.txt" || fail "the package is not built with _FORTIFY_SOURCE"
fortified=0
for program in "$root"/bin/*; do
    name="$(basename "$program")"
    readelf -lW "$program" | grep -q 'GNU_RELRO' || fail "$name has no RELRO segment"
    dynamic="$(readelf -dW "$program")"
    grep -Eq '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).* NOW' <<<"$dynamic" || fail "$name is not bound at start (BIND_NOW)"
    grep -Eq '\(FLAGS_1\).* PIE' <<<"$dynamic" || fail "$name is not position-independent"
    symbols="$(readelf --dyn-syms -W "$program")"
    grep -q ' __stack_chk_fail' <<<"$symbols" || fail "$name has no stack protector"
    grep -Eq ' __[a-z0-9_]+_chk@' <<<"$symbols" && fortified=$((fortified + 1))
done
[ "$fortified" -gt 0 ] || fail "no program calls a fortified C library function"

# No errors or warnings; the informational and pedantic tags that remain are shown in the log.
if ! report="$(lintian --fail-on error,warning --display-info --pedantic "$package")"; then
    fail "lintian: $report"
elif [ -n "$report" ]; then
    echo "lintian: $report" >&2
fi

# The installed programs, with no display at all.
run() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 30 "$@"
}
if out="$(run "$root/bin/electronic-skin" --version 2>&1)"; then
    [ "$out" = "electronic-skin $version" ] || fail "electronic-skin --version printed '$out'"
else
    fail "electronic-skin --version failed: $out"
fi
for program in "$root"/bin/*; do
    name="$(basename "$program")"
    out="$(run "$program" --help 2>&1)" || fail "$name --help failed: $out"
    grep -q -- "--version" <<<"$out" || fail "$name --help lists no options: $out"
    out="$(run "$program" --version 2>&1)" || fail "$name --version failed: $out"
    grep -q -- "$version" <<<"$out" || fail "$name --version printed '$out'"
done

[ "$failures" -eq 0 ] || exit 1
echo "package checked: $package, $# files"
