#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Render speed of this tree's engine against an older commit's and against
# fluidsynth, in one run: the end-to-end song (bench/output/e2e-song.sh,
# 180 s, five banks) rendered at 48 kHz by this tree's tavolin-cli, by the
# commit's (built from `git archive` in a directory of its own) and by
# fluidsynth from the song's MIDI export (General MIDI soundfont, its default
# reverb and chorus), taking turns run by run so all meet the same load. Prints
# each run's CPU time (user + system), then the medians and whether the two
# engines wrote the same bytes. scripts/bootstrap --bench installs fluidsynth.
# Usage: bench/synth/render-vs.sh <commit> [runs] [seconds]
set -euo pipefail
cd "$(dirname "$0")/../.."
base=$1
runs=${2:-7}
seconds=${3:-180}
scripts/bootstrap --bench
soundfont=/usr/share/sounds/sf2/FluidR3_GM.sf2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
git archive "$base" | tar -x -C "$dir"
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/tavolin-ccache}" CCACHE_NOHASHDIR=1
(cd "$dir" && CCACHE_BASEDIR="$dir" cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVOLIN_BUILD_BENCH=OFF \
    -DTAVOLIN_BUILD_TESTS=OFF -DTAVOLIN_BUILD_GUI=OFF >/dev/null &&
    CCACHE_BASEDIR="$dir" cmake --build build -j2 --target tavolin-cli >/dev/null)
CCACHE_BASEDIR="$PWD" cmake --build --preset release -j2 --target tavolin-cli >/dev/null
this=build/release/app/tavolin-cli
old="$dir/build/app/tavolin-cli"
bench/output/e2e-song.sh "$seconds" >"$dir/song.mml"
"$this" export-midi -o "$dir/song.mid" "$dir/song.mml" >/dev/null

cpu() {  # runs "$@", prints its user + system seconds
    /usr/bin/time -f '%U %S' -o "$dir/time.txt" "$@" >/dev/null 2>&1
    awk '{print $1 + $2}' "$dir/time.txt"
}
for run in $(seq "$runs"); do
    for arith in fix float double; do
        echo "$arith base $(cpu "$old" render --arith "$arith" --rate 48000 -o "$dir/base-$arith.wav" "$dir/song.mml")"
        echo "$arith this $(cpu "$this" render --arith "$arith" --rate 48000 -o "$dir/this-$arith.wav" "$dir/song.mml")"
    done
    echo "midi fluidsynth $(cpu fluidsynth -ni -q -F "$dir/fluid.wav" -r 48000 "$soundfont" "$dir/song.mid")"
done | tee "$dir/runs.txt"
echo "medians of $runs, CPU seconds for the ${seconds} s song ($base vs this tree):"
sort -k1,2 -k3n "$dir/runs.txt" | awk '
    { key = $1 " " $2; v[key, ++n[key]] = $3; if (!(key in seen)) { seen[key] = 1; order[++keys] = key } }
    END {
        for (i = 1; i <= keys; ++i) {
            k = order[i]; c = n[k]
            m = c % 2 ? v[k, (c + 1) / 2] : (v[k, c / 2] + v[k, c / 2 + 1]) / 2
            med[k] = m
        }
        f = med["midi fluidsynth"]
        for (i = 1; i <= keys; ++i) {
            k = order[i]; split(k, p, " ")
            line = sprintf("  %-6s %-10s %.3f s", p[1], p[2], med[k])
            if (p[2] == "this" && med[p[1] " base"] > 0) line = line sprintf("  (%.2fx the base speed)", med[p[1] " base"] / med[k])
            if (p[1] != "midi" && f > 0) line = line sprintf("  fluidsynth takes %.2fx as long", f / med[k])
            print line
        }
    }'
for arith in fix float double; do
    if cmp -s "$dir/base-$arith.wav" "$dir/this-$arith.wav"; then echo "  $arith: the same bytes"
    else echo "  $arith: the renders differ"; fi
done
