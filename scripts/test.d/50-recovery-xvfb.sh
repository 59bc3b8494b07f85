#!/usr/bin/env bash
# The real window on a virtual X display: type into a tab, wait for the autosave,
# kill -9 the program, start it again, see "ドキュメントの復元", restore, and find
# the text again (saved with Ctrl+S into the file it came from).
#   scripts/test.d/50-recovery-xvfb.sh [--screenshot PNG]   (a picture of the dialog)
set -euo pipefail
cd "$(dirname "$0")/../.."
shot=""
if [ "${1:-}" = "--screenshot" ]; then shot=$(realpath -m "$2"); fi

source scripts/lib/xvfb.sh
gui=$(xvfb_gui)
xvfb_start recovery-xvfb
export SDL_AUDIODRIVER=dummy
recovery="$XDG_STATE_HOME/tavolin"

printf 'SMML@;MML@,,,,;' >"$tmp/song.mml"

# 1. Type into a tab and wait for the autosave.
"$gui" "$tmp/song.mml" >"$tmp/run1.log" 2>&1 &
app=$!
pids+=($app)
wait_for 30 window_id "tavolin Ostra" || { cat "$tmp/run1.log"; fail "the window did not show"; }
main=$(window_id "tavolin Ostra")
sleep 0.5
# No window manager: keyboard input goes to the window under the pointer.
xdotool mousemove --window "$main" 300 300 click 1
sleep 0.3
xdotool type --delay 40 'o4cdefgab'
wait_for 5 sh -c "xdotool getwindowname $main | grep -qF '*'" || fail "typing did not modify the document"
wait_for 20 sh -c "grep -lq O4CDEFGAB '$recovery'/window-*.recovery" || fail "no autosave within 20 s"
echo "recovery-xvfb: autosaved to $(ls "$recovery")"

# 2. The process dies without a word.
kill -9 "$app"
wait "$app" 2>/dev/null || true
[ "$(cat "$tmp/song.mml")" = 'SMML@;MML@,,,,;' ] || fail "the document file changed before any save"

# 3. A new start offers the document. For the picture a window manager draws the
# title bars (the test itself runs without one).
if [ -n "$shot" ] && command -v openbox >/dev/null; then
  openbox >"$tmp/openbox.log" 2>&1 &
  pids+=($!)
  sleep 1
fi
"$gui" >"$tmp/run2.log" 2>&1 &
app=$!
pids+=($app)
wait_for 30 window_id "ドキュメントの復元" || { cat "$tmp/run2.log"; fail "no recovery dialog"; }
dialog=$(window_id "ドキュメントの復元")
echo "recovery-xvfb: \"ドキュメントの復元\" shown"
if [ -n "$shot" ]; then
  sleep 0.5
  mkdir -p "$(dirname "$shot")"
  # The main window with the dialog over it, the empty screen around them cut away.
  import -window root "$tmp/screen.png"
  convert "$tmp/screen.png" -trim +repage "$shot"
  echo "recovery-xvfb: wrote $shot"
fi

# 4. Restore (the default button), find the text, save it where it belongs.
xdotool windowfocus --sync "$dialog" key Return
wait_for 10 sh -c "xdotool getwindowname \$(xdotool search --onlyvisible --name 'tavolin Ostra' | head -1) | grep -qF 'song.mml *'" \
  || fail "the restored document is not titled with its file and modified"
main=$(window_id "tavolin Ostra")
xdotool mousemove --window "$main" 300 300 click 1
xdotool windowfocus --sync "$main" key ctrl+s
wait_for 10 grep -q 'O4CDEFGAB' "$tmp/song.mml" || fail "the restored text did not reach the file: $(cat "$tmp/song.mml")"
wait_for 5 sh -c "! ls '$recovery'/window-*.recovery" || fail "the recovery file outlived the save"
echo "recovery-xvfb: restored and saved: $(cat "$tmp/song.mml")"

# 5. Escape closes the clean window; the program ends on its own, without errors.
xdotool windowfocus --sync "$main" key Escape
wait_for 10 sh -c "! kill -0 $app" || fail "the window did not close"
status=0
wait "$app" || status=$?
[ "$status" -eq 0 ] || { cat "$tmp/run2.log"; fail "exit status $status"; }
echo "recovery-xvfb: passed"
