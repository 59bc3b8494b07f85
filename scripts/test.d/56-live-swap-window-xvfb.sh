#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Typing while it plays, in the real window on a virtual X display, built with
# AddressSanitizer: the octave digit in the common tab is retyped in bursts and
# pauses (each edit swaps the playing song; a pause lets the player keep a new
# checkpoint; an out-of-range octave does not compile) for STRESS_SECONDS
# (60 unless set). Any sanitizer report, or a window that died, fails; the last
# edit must reach the saved file.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${STRESS_SECONDS:-60}
source scripts/lib/xvfb.sh
if [ -z "${TAVOLIN_GUI:-}" ]; then
  cmake --preset asan >/dev/null
  cmake --build --preset asan --target tavolin -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
  TAVOLIN_GUI=build/asan/app/tavolin
fi
gui=$(realpath "$TAVOLIN_GUI")
xvfb_start live-swap-window-xvfb
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null
# Qt and fontconfig keep some memory to the end on purpose: no leak check here.
export ASAN_OPTIONS="halt_on_error=1 detect_leaks=0" UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1"

song="$(realpath "$tmp")/song.mml"
printf 'SMML@T140 O4;MML@L16 V200 [[CDEFGAB>C<]64]4,L4 O3 [[CG]64]4,@W1:4:0 @1 L8 O5 [[C R]64]4,,;' >"$song"
xvfb_open "$gui" "$song" 60
# The common tab, the caret after "O4" (the end of its only line), Play.
# No window manager: keys go to the window under the pointer.
xdotool mousemove --window "$main" 32 70 click 1
sleep 0.3
xdotool mousemove --window "$main" 400 110 click 1
xdotool key End F5
sleep 2

RANDOM=$$
digits=(3 4 5 3 4 5 9)  # O9 is out of range
edits=0
end=$((SECONDS + seconds))
while [ "$SECONDS" -lt "$end" ] && kill -0 "$app" 2>/dev/null; do
  for _ in $(seq $((2 + RANDOM % 8))); do
    xdotool key --delay $((40 + RANDOM % 200)) BackSpace "${digits[RANDOM % 7]}"
    edits=$((edits + 1))
  done
  sleep "$((1 + RANDOM % 2)).$((RANDOM % 10))"
done
kill -0 "$app" 2>/dev/null || { grep -m1 -A40 -E 'Sanitizer|runtime error' "$tmp/app.log" || tail -20 "$tmp/app.log"; fail "the window died after $edits edits"; }

# The last edit is a known one, saved: the keys reached the window.
xdotool key BackSpace 5 F6 ctrl+s
wait_for 10 grep -q 'SMML@T140 O5;' "$song" || fail "the typed octave never reached the saved file: $(head -c 40 "$song")"
xdotool key Escape
wait_for 20 sh -c "! kill -0 $app" || fail "the window did not close"
if grep -qE 'Sanitizer|runtime error' "$tmp/app.log"; then
  grep -m1 -A40 -E 'Sanitizer|runtime error' "$tmp/app.log"
  fail "a sanitizer reported the run above"
fi
echo "live-swap-window-xvfb: $edits edits in $seconds s while playing, no sanitizer report"
