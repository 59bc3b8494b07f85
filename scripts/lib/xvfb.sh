# SPDX-License-Identifier: MIT
# Shared set-up for scripts that drive the real window on a virtual X display.
# Source it after `cd` to the repository root; it defines:
#   xvfb_gui            the program to drive: $TAVOLIN_GUI, or the release build's (built here)
#   xvfb_start NAME     a private Xvfb, state/config folders and a scratch folder $tmp,
#                       all removed on exit with every pid in ${pids[@]}; its screen
#                       is $XVFB_SCREEN (WIDTHxHEIGHT, 1600x1000 unless set)
#   wait_for SECONDS COMMAND...   until COMMAND succeeds
#   window_id TITLE     the id of the visible window whose title matches
#   xvfb_open GUI FILE [SECONDS]   starts the window on FILE (its output in $tmp/app.log),
#                       waits for it (30 s unless given), moves it to the top left;
#                       sets $app (its pid, also in ${pids[@]}) and $main (its window)
#   fail MESSAGE        prints "NAME: MESSAGE" and exits 1
# The window runs with LANG=C.UTF-8 and QT_QPA_PLATFORM=xcb; callers set SDL_AUDIODRIVER.

export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/tavolin-ccache}"
xvfb_name=xvfb

xvfb_gui() {
  if [ -n "${TAVOLIN_GUI:-}" ]; then echo "$TAVOLIN_GUI"; return; fi
  cmake --preset release >/dev/null
  cmake --build --preset release --target tavolin -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
  echo build/release/app/tavolin
}

fail() { echo "$xvfb_name: $*"; exit 1; }

wait_for() {
  local limit=$1
  shift
  for _ in $(seq $((limit * 10))); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

window_id() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }

xvfb_open() {
  "$1" "$2" >"$tmp/app.log" 2>&1 &
  app=$!
  pids+=($app)
  wait_for "${3:-30}" window_id "tavolin Ostra" || { cat "$tmp/app.log"; fail "the window did not show"; }
  main=$(window_id "tavolin Ostra")
  xdotool windowmove "$main" 0 0 2>/dev/null || true
  sleep 1
}

xvfb_cleanup() {
  for p in "${pids[@]}"; do { kill "$p" && wait "$p"; } 2>/dev/null || true; done
  rm -rf "$tmp"
}

xvfb_start() {
  xvfb_name=$1
  shift
  for tool in Xvfb xdotool "$@"; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/bootstrap installs it)"
  done
  tmp=$(mktemp -d)
  pids=()
  trap xvfb_cleanup EXIT
  # -noreset: by default the server resets when its last client leaves (the
  # killed window in the recovery check), and a program starting meanwhile
  # cannot connect.
  Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1600x1000}x24" -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$tmp/display")"
  # State and settings folders that are not the user's.
  export XDG_STATE_HOME="$tmp/state" XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run"
  export QT_QPA_PLATFORM=xcb LANG=C.UTF-8
  mkdir -m 700 "$tmp/run"
  # The server announces its number a moment before it takes connections.
  wait_for 10 xdotool getdisplaygeometry || fail "Xvfb on $DISPLAY takes no connections: $(cat "$tmp/xvfb.log")"
}
