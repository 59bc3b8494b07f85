#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real playback path end to end: `tavolin-cli play` through SDL2's disk
# driver must write the same samples as `tavolin-cli render`, from the very
# first frame (the device must not start with silence of its own); only the
# silence after the song's end is left out.
set -euo pipefail
cd "$(dirname "$0")/../.."
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/tavolin-ccache}"
jobs=$(nproc 2>/dev/null || echo 2)
# TAVOLIN_CLI names an already built tool (skips the release build).
if [ -z "${TAVOLIN_CLI:-}" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target tavolin-cli -j "$jobs"
fi
cli=${TAVOLIN_CLI:-build/release/app/tavolin-cli}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Frames as "left right" lines without the silent frames at the end.
frames() {
  od -An -v -t d2 -w4 "$@" | awk '
    { line=$1" "$2; if (line=="0 0") { held[++n]=line; next }
      for (i=1;i<=n;i++) print held[i]; n=0; print line }'
}

# SDL2 opens every device paused, and a paused device hands its driver a
# period of silence each time round. SDL starts the device's thread inside
# SDL_OpenAudioDevice and returns the id that unpausing needs only afterwards,
# so when the opening thread is held up right there (the new thread runs on
# the other core while the opener waits) SDL's thread can run one paused
# period first, on an idle machine too: the file then starts
# with exactly one period (1,024 frames) of silence and the song follows whole.
# Nothing outside SDL can rule that out, so that one outcome alone is played
# again, at most six times in all: a silent block of the player's own would
# show every time and fail. Any other difference fails at once.
period=1024
for song in tests/data/output/short.mml tests/data/output/banks.mml; do
  for arith in fix float; do
    "$cli" render --arith "$arith" -o "$tmp/r.wav" "$song"
    frames -j 44 "$tmp/r.wav" >"$tmp/r.txt"
    { for i in $(seq "$period"); do echo "0 0"; done; cat "$tmp/r.txt"; } >"$tmp/late.txt"
    heard=no
    for attempt in 1 2 3 4 5 6; do
      # The disk driver paces itself (ms per device buffer); a short delay keeps
      # the run quick while the player still has to keep up with the device.
      SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$tmp/p.raw" SDL_DISKAUDIODELAY=8 \
        timeout 60 "$cli" play --arith "$arith" "$song" </dev/null 2>"$tmp/play.err" \
        || { cat "$tmp/play.err"; echo "play failed for $song"; exit 1; }
      frames "$tmp/p.raw" >"$tmp/p.txt"
      if cmp -s "$tmp/r.txt" "$tmp/p.txt"; then heard=yes; break; fi
      if ! cmp -s "$tmp/late.txt" "$tmp/p.txt"; then
        echo "sdl-disk: $song ($arith): played samples differ from the render"
        diff "$tmp/r.txt" "$tmp/p.txt" | head -5
        exit 1
      fi
      echo "sdl-disk: $song ($arith): attempt $attempt began with one period of SDL's paused silence; again"
    done
    [ "$heard" = yes ] || { echo "sdl-disk: $song ($arith): began with SDL's paused period in six attempts"; exit 1; }
    echo "sdl-disk: $song ($arith): $(wc -l <"$tmp/r.txt") frames identical from frame 0"
  done
done

# No device at all: the message and exit status 1.
if SDL_AUDIODRIVER=no-such-driver "$cli" play tests/data/output/short.mml 2>"$tmp/err.txt"; then
  echo "sdl-disk: play without a device succeeded"; exit 1
fi
status=0
SDL_AUDIODRIVER=no-such-driver "$cli" play tests/data/output/short.mml 2>"$tmp/err.txt" || status=$?
grep -q "Wav出力デバイスのオープンに失敗しました" "$tmp/err.txt" || { cat "$tmp/err.txt"; exit 1; }
[ "$status" -eq 1 ] || { echo "sdl-disk: exit status $status, expected 1"; exit 1; }
echo "sdl-disk: missing device reported, exit 1"

# A signal ends play cleanly and at once: timeout's SIGTERM, Ctrl+C's SIGINT
# and a closed terminal's SIGHUP stop the device, and the program then dies of
# that signal (status 128 + its number). A program that ignored it would run
# on until timeout's SIGKILL ten seconds later (137). Signals the caller may
# have ignored are reset first, so the program sees each one as a terminal would send it.
for pair in TERM:143 INT:130 HUP:129; do
  sig=${pair%%:*}
  want=${pair##*:}
  start=$(date +%s%N)
  status=0
  SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$tmp/sig.raw" SDL_DISKAUDIODELAY=8 \
    env --default-signal=INT,HUP,TERM timeout --preserve-status -s "$sig" -k 10 1 \
    "$cli" play --loop tests/data/output/short.mml </dev/null 2>"$tmp/sig.err" || status=$?
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  [ "$status" -eq "$want" ] || { cat "$tmp/sig.err"; echo "sdl-disk: SIG$sig: exit status $status, expected $want"; exit 1; }
  [ "$ms" -lt 5000 ] || { echo "sdl-disk: SIG$sig: play took $ms ms to end"; exit 1; }
  [ -s "$tmp/sig.raw" ] || { echo "sdl-disk: SIG$sig: nothing was played"; exit 1; }
  rm -f "$tmp/sig.raw"
  echo "sdl-disk: SIG$sig ends play in $ms ms with status $status"
done

# play --watch: the file is saved again (by rename, as editors save) while it
# plays; the output is the old song up to the frame the player reports for
# the swap and the new song from there on, seeked to where the note went (an
# eighth note inserted in front: 12,000 frames on), the 5 ms crossfade aside.
old='SMML@T120L8;MML@CDEFGAB>CDEFGAB>C<<CDEFGAB>CDEFGAB>C,O3C1C1C1,,,;'
new='SMML@T120L8;MML@C CDEFGAB>CDEFGAB>C<<CDEFGAB>CDEFGAB>C,O3C1C1C1,,,;'
printf '%s' "$old" >"$tmp/w1.mml"
printf '%s' "$new" >"$tmp/w2.mml"
"$cli" render -o "$tmp/w1.wav" "$tmp/w1.mml"
"$cli" render -o "$tmp/w2.wav" "$tmp/w2.mml"
frames -j 44 "$tmp/w1.wav" >"$tmp/w1.txt"
frames -j 44 "$tmp/w2.wav" >"$tmp/w2.txt"
cp "$tmp/w1.mml" "$tmp/watch.mml"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$tmp/w.raw" SDL_DISKAUDIODELAY=8 \
  env --default-signal=INT timeout -s INT -k 10 6 "$cli" play --watch "$tmp/watch.mml" </dev/null 2>"$tmp/w.err" &
watcher=$!
sleep 0.7
cp "$tmp/w2.mml" "$tmp/watch.new" && mv "$tmp/watch.new" "$tmp/watch.mml"
wait "$watcher" || true
line=$(grep -m1 'swapped in at stream frame' "$tmp/w.err") || { cat "$tmp/w.err"; echo "sdl-disk: play --watch never swapped"; exit 1; }
at=$(sed -E 's/.*stream frame ([0-9]+), song frame ([0-9]+).*/\1/' <<<"$line")
to=$(sed -E 's/.*stream frame ([0-9]+), song frame ([0-9]+).*/\2/' <<<"$line")
[ "$to" -eq $((at + 12000)) ] || { echo "sdl-disk: play --watch went on at $to, not $((at + 12000))"; exit 1; }
frames "$tmp/w.raw" >"$tmp/w.txt"
# SDL's one paused period, when it came (see above), goes before frame 0.
if [ "$(head -n "$period" "$tmp/w.txt" | sort -u)" = "0 0" ]; then sed -i "1,${period}d" "$tmp/w.txt"; fi
fade=240
cmp -s <(head -n "$at" "$tmp/w.txt") <(head -n "$at" "$tmp/w1.txt") \
  || { echo "sdl-disk: play --watch: the old song differs before the swap"; exit 1; }
cmp -s <(tail -n +$((at + fade + 1)) "$tmp/w.txt") <(tail -n +$((to + fade + 1)) "$tmp/w2.txt") \
  || { echo "sdl-disk: play --watch: the new song differs after the swap"; exit 1; }
echo "sdl-disk: play --watch swapped at frame $at to the new song's $to; both sides identical"
