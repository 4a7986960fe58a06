#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes a screenshot of the program under Xvfb, running against the simulated driver card:
#   scripts/screenshot.sh [OUTPUT.png] [SECONDS] [-- PROGRAM OPTIONS...]
# Xvfb keeps its screen in a file (-fbdir); after SECONDS that file is converted to PNG.
# Or a picture of the curve window at fixed readings, with curves, markers and the readout shown:
#   scripts/screenshot.sh --curves [OUTPUT.png]          (default docs/images/curve-window.png)
# Uses the build in $ESKIN_BUILD_DIR (default build/), as scripts/run.sh leaves it.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ESKIN_BUILD_DIR:-$root/build}"

if [ "${1:-}" = "--curves" ]; then
    output="${2:-$root/docs/images/curve-window.png}"
    cmake --build "$build" --target grab_views >/dev/null
    mkdir -p "$(dirname "$output")"
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/grab_views" --screenshot "$output"
fi
output="${1:-$root/main-window.png}"
seconds="${2:-4}"
shift $(( $# >= 2 ? 2 : $# ))
[ "${1:-}" = "--" ] && shift
options=("$@")
[ ${#options[@]} -eq 0 ] && options=(--simulate)

fbdir="$(mktemp -d)"
trap 'rm -rf "$fbdir"' EXIT
xvfb-run -a -s "-screen 0 1280x1024x24 -fbdir $fbdir" bash -c '
    "$1" "${@:4}" & program=$!
    sleep "$2"
    cp "$3/Xvfb_screen0" "$3/screen.xwd"
    kill "$program"; wait "$program" || true' \
    _ "$build/app/electronic-skin" "$seconds" "$fbdir" "${options[@]}"
python3 "$root/scripts/xwd2png.py" "$fbdir/screen.xwd" "$output"
