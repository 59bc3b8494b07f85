#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The live editor in the real window on a virtual X display: the demo plays (F5) while an
# error is typed into bank A; the picture must show the lit playing note and the wavy
# underline, the status bar the error; then an idle window must use no CPU.
#   scripts/test.d/55-live-editor-xvfb.sh [--screenshot PNG]
set -euo pipefail
cd "$(dirname "$0")/../.."
shot=""
if [ "${1:-}" = "--screenshot" ]; then shot=$(realpath -m "$2"); fi

source scripts/lib/xvfb.sh
gui=$(xvfb_gui)
xvfb_start live-editor-xvfb import convert
# The disk driver plays in real time into a file: no sound hardware needed.
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$tmp/audio.raw"

if [ -n "$shot" ] && command -v openbox >/dev/null; then
  openbox >"$tmp/openbox.log" 2>&1 &
  pids+=($!)
  sleep 0.5
fi

cp examples/demo.mml "$tmp/demo.mml"
xvfb_open "$gui" "$tmp/demo.mml"

# Bank A, caret on its third line, Play.
xdotool mousemove --window "$main" 72 70 click 1
sleep 0.3
xdotool mousemove --window "$main" 250 160 click 1
xdotool key F5
sleep 6
# An error typed while the song plays: its line gets the wavy underline.
xdotool key End
xdotool type --delay 30 ' v300'
sleep 1
pic="$tmp/live.png"
import -window "$main" "$pic"
[ -n "$shot" ] && cp "$pic" "$shot"

# count_colour PNG COLOUR: pixels of about that colour (the underline is antialiased).
count_colour() { convert "$1" -fuzz 12% -fill black +opaque "$2" -fill white -opaque "$2" -format '%[fx:round(mean*w*h)]' info:; }
lit='#ffe08a'
wavy='#d0201a'
lit_px=$(count_colour "$pic" "$lit")
wavy_px=$(count_colour "$pic" "$wavy")
echo "live-editor-xvfb: lit note $lit_px px, underline $wavy_px px"
[ "$lit_px" -gt 50 ] || fail "no playing note is lit"
[ "$wavy_px" -gt 5 ] || fail "no wavy underline"

# Stop, then an idle window. CPU ticks alone flake on a loaded machine (a caret
# blink can cost a tick), so count wake-ups too: a timer left running after Stop
# (the playhead, the scopes, both at the screen's rate) wakes its thread hundreds
# of times in five seconds, while an idle window wakes for the caret twice a
# second (a loaded machine can still charge it 20 ticks; a timer left running
# costs about 300). The kept sound device's own thread writes silence each period and is
# left out of the count.
xdotool key F6
sleep 2
ticks() { awk '{print $14 + $15}' "/proc/$app/stat"; }
wakes() {
  local n=0 t
  for t in /proc/"$app"/task/*; do
    case $(cat "$t/comm") in SDLAudio*) continue ;; esac
    n=$((n + $(awk '/^voluntary_ctxt_switches/ {print $2}' "$t/status")))
  done
  echo "$n"
}
before=$(ticks) woke=$(wakes)
sleep 5
after=$(ticks) woke=$(($(wakes) - woke))
echo "live-editor-xvfb: idle CPU $((after - before)) ticks ($(getconf CLK_TCK)/s), $woke wake-ups in 5 s"
[ "$woke" -le 100 ] || fail "the idle window keeps waking up"
[ $((after - before)) -le 100 ] || fail "the idle window used CPU"

# Leave without saving: Escape, then No in the save prompt.
xdotool key Escape
sleep 0.5
xdotool key n
wait_for 10 sh -c "! kill -0 $app" || fail "the window did not close"
echo "live-editor-xvfb: ok"
