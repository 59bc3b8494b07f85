#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Wake-ups of an idle window: the real window on a virtual X display with SDL's
# disk driver (which, like a sound card, asks for a period about 47 times a
# second while open), nothing played. Counts the context switches of all its
# threads over ten seconds while the kept sound device is open (5-15 s after
# start) and again once it has been closed for idleness (65-75 s).
#   bench/idle-wakeups.sh        (TAVOLIN_GUI picks the program; the release build's by default)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh
gui=$(realpath "$(xvfb_gui)")
xvfb_start idle-wakeups
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$tmp/device.raw"
printf 'SMML@;MML@,,,,;' >"$tmp/idle.mml"
xvfb_open "$gui" "$tmp/idle.mml"

# Context switches per thread name, summed: "name count" lines.
switches() {
  for t in /proc/"$app"/task/*; do
    awk -v name="$(cat "$t/comm" 2>/dev/null | tr ' ' _)" \
      '/^(non)?voluntary_ctxt_switches/ {n += $2} END {print name, n}' "$t/status" 2>/dev/null || true
  done | awk '{s[$1] += $2} END {for (k in s) print k, s[k]}' | sort
}
measure() {  # FROM TO: wake-ups per second over [FROM, TO) seconds after the window showed
  local from=$1 to=$2 a b
  sleep $((from - SECONDS > 0 ? from - SECONDS : 0))
  a=$(switches); sleep $((to - from)); b=$(switches)
  join -a2 -e0 -o 0,1.2,2.2 <(echo "$a") <(echo "$b") |
    awk -v d=$((to - from)) '{r = ($3 - $2) / d; all += r; if (r >= 0.5) printf "  %-16s %6.1f/s\n", $1, r} END {printf "  %-16s %6.1f/s\n", "all threads", all}'
}
SECONDS=0
echo "device open (5-15 s after start):"
measure 5 15
bytes=$(stat -c %s "$SDL_DISKAUDIOFILE" 2>/dev/null || echo 0)
echo "device closed for idleness (65-75 s):"
measure 65 75
after=$(stat -c %s "$SDL_DISKAUDIOFILE" 2>/dev/null || echo 0)
sleep 2
[ "$(stat -c %s "$SDL_DISKAUDIOFILE" 2>/dev/null || echo 0)" = "$after" ] &&
  echo "the device wrote nothing after 65 s (${bytes} bytes by 15 s)" || echo "the device is still writing"
