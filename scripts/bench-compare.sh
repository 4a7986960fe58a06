#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures the display's cost of two builds side by side in one go: a base revision (default
# main) and the working tree. Both are release builds in build-compare/, and both use the
# working tree's benchmark programs, so that they report the same figures. The live-display
# benchmark runs in turn, base then working tree, ROUNDS times; the averages and their ratio
# are printed, then the plot refresh time of each, then a comparison of their pictures at the
# same readings.
#
#   scripts/bench-compare.sh [BASE_REV] [SECONDS] [ROUNDS]      (defaults: main 60 2)
#
# Figures from a shared or GPU-less machine are noisy: prefer the ratio to the absolute values,
# and repeat. Without a display the script runs itself under xvfb-run.
set -euo pipefail

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

root=$(cd "$(dirname "$0")/.." && pwd)
base_rev=${1:-main}
seconds=${2:-60}
rounds=${3:-2}
work="$root/build-compare"
mkdir -p "$work"

# The base sources with today's benchmark programs.
rm -rf "$work/base-src"
mkdir -p "$work/base-src"
git -C "$root" archive "$base_rev" | tar -x -C "$work/base-src"
rm -rf "$work/base-src/bench"
cp -r "$root/bench" "$work/base-src/bench"

build() { # source dir, build dir
    cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$2" --target bench_liveview bench_views grab_views >/dev/null
}
build "$work/base-src" "$work/base"
build "$root" "$work/head"

for ((round = 1; round <= rounds; ++round)); do
    for side in base head; do
        echo "round $round, $side:" >&2
        "$work/$side/bench/bench_liveview" --seconds "$seconds" 2>/dev/null |
            tee /dev/stderr | grep '^figures:' >>"$work/$side.figures" || true
    done
done

# Averages of every key=value figure, base and working tree, and their ratio.
awk '
    FNR == 1 { side = (FILENAME ~ /base/) ? "base" : "head" }
    {
        for (i = 2; i <= NF; ++i) {
            split($i, kv, "=")
            sum[side, kv[1]] += kv[2]; count[side, kv[1]]++; keys[kv[1]] = 1
        }
    }
    END {
        printf "%-26s %10s %10s %8s\n", "figure", "base", "head", "ratio"
        for (k in keys) {
            b = sum["base", k] / count["base", k]; h = sum["head", k] / count["head", k]
            printf "%-26s %10.1f %10.1f %8s\n", k, b, h, (b != 0 ? sprintf("%.2f", h / b) : "-")
        }
    }' "$work/base.figures" "$work/head.figures"
rm -f "$work/base.figures" "$work/head.figures"

for side in base head; do
    echo "plot refresh, $side:"
    "$work/$side/bench/bench_views" --benchmark_filter=BM_PlotRefresh 2>/dev/null |
        grep BM_PlotRefresh || true
done

"$work/base/bench/grab_views" "$work/pictures-base" 2>/dev/null
# The curve lines' edge pixels may differ by a few levels of antialiasing between the plot
# library's drawing and the program's own; more than that is a different picture.
"$work/head/bench/grab_views" "$work/pictures-head" --compare "$work/pictures-base" \
    --tolerance 6 2>/dev/null
