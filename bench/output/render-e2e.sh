#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# End-to-end `tavolin-cli render` of a five-bank song with an envelope and
# vibrato on every bank, at 48 kHz: speed against real time and the peak
# memory for 180 s and 360 s of song (memory must not grow with length).
# Usage: bench/output/render-e2e.sh [path/to/tavolin-cli] [fix|float|double]
set -euo pipefail
cd "$(dirname "$0")/../.."
cli=${1:-build/release/app/tavolin-cli}
arith=${2:-float}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for seconds in 180 360; do
  bench/output/e2e-song.sh "$seconds" >"$tmp/song.mml"
  best=""
  for run in 1 2 3; do
    /usr/bin/time -v -o "$tmp/time.txt" "$cli" render --arith "$arith" --rate 48000 -o "$tmp/out.wav" "$tmp/song.mml"
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/{n=split($2,t,":"); s=0; for(i=1;i<=n;i++) s=s*60+t[i]; print s}' "$tmp/time.txt")
    rss=$(awk -F': ' '/Maximum resident set size/{print $2}' "$tmp/time.txt")
    cpu=$(awk -F': ' '/User time/{u=$2} /System time/{s=$2} END{print u+s}' "$tmp/time.txt")
    if [ -z "$best" ] || awk -v a="$wall" -v b="$best" 'BEGIN{exit !(a<b)}'; then best=$wall; bestRss=$rss; bestCpu=$cpu; fi
  done
  bytes=$(stat -c %s "$tmp/out.wav")
  awk -v a="$arith" -v s="$seconds" -v w="$best" -v c="$bestCpu" -v r="$bestRss" -v b="$bytes" 'BEGIN{
    printf "render %3d s song (%s): %.3f s wall (best of 3), %.0fx real time; %.3f s CPU (%.0fx); max RSS %d KiB; file %.1f MiB\n",
      s, a, w, (w > 0 ? s / w : 0), c, (c > 0 ? s / c : 0), r, b / 1048576 }'
done
