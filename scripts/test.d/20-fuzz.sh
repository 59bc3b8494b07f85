#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets (fuzz preset, clang) and runs every one of them
# for a fixed number of inputs with a fixed seed, starting from the examples
# and a few MML phrases, with the MML dictionary. Any crash, sanitizer report
# or broken invariant fails the step. Each target also stops after
# TAVOLIN_FUZZ_SECONDS (50 s) so that the step stays short on a busy machine.
set -euo pipefail
cd "$(dirname "$0")/../.."
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/tavolin-ccache}"
jobs=$(nproc 2>/dev/null || echo 2)
runs="${TAVOLIN_FUZZ_RUNS:-200000}"
seconds="${TAVOLIN_FUZZ_SECONDS:-50}"

shopt -s nullglob
targets=()
for src in fuzz/*.cpp; do targets+=("$(basename "$src" .cpp)"); done
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" --target "${targets[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for src in fuzz/*.cpp; do
  name=$(basename "$src" .cpp)
  exe="build/fuzz/fuzz/$name"
  if [ ! -x "$exe" ]; then
    echo "20-fuzz: $exe was not built" >&2
    exit 1
  fi
  corpus="$work/$name"
  mkdir -p "$corpus"
  for f in examples/*.mml; do cp "$f" "$corpus/"; done
  # Three control bytes (start mode, offset) then a phrase, for the MML target.
  printf '\x05\x10\x00C&D&E [C:D]2 {CDE} @!AO5C!!A' >"$corpus/phrase1"
  printf '\x02\x03\x00T150;@W1:2R10N20C100:25:50@LT0S:50:20:500L:50:100 L8C4.;V100[[R]2];;;' >"$corpus/phrase2"
  # A recovery file and a UTF-8 document, for the recovery/encoding target.
  printf 'TAVOLIN-RECOVERY 1\npid 7\nsaved 9\ntab 1\npath 6\n/a.mml\ntext 0\n\ntext 3\nCDE\ntext 0\n\ntext 0\n\ntext 0\n\ntext 0\n\n' >"$corpus/recovery1"
  printf 'MML@C /* \xe3\x83\x89\xe3\x83\xac\xe2\x99\xaa */\r\nD;' >"$corpus/utf8"
  # Two small MIDI files behind a flags byte, for the MIDI import target: a
  # format 1 file with a tempo change, a metre and a chord; a format 0 file
  # with drums, running status and a pitch bend.
  printf '\x00MThd\x00\x00\x00\x06\x00\x01\x00\x02\x00\x60MTrk\x00\x00\x00\x13\x00\xff\x51\x03\x07\xa1\x20\x00\xff\x58\x04\x03\x02\x18\x08\x00\xff\x2f\x00MTrk\x00\x00\x00\x1a\x00\xc0\x21\x00\x90\x3c\x64\x00\x40\x64\x00\x43\x64\x60\x3c\x00\x00\x40\x00\x00\x43\x00\x00\xff\x2f\x00' >"$corpus/midi1"
  printf '\x08MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60MTrk\x00\x00\x00\x1d\x00\x99\x24\x64\x20\x24\x00\x00\x90\x3c\x64\x20\x3c\x00\x00\x3e\x64\x20\xe0\x00\x40\x00\x80\x3e\x00\x00\xff\x2f\x00' >"$corpus/midi2"
  # A framed session for the language server: initialize, open with an error, a
  # change, a few requests, shutdown and exit.
  lsp_frame() { printf 'Content-Length: %d\r\n\r\n%s' "${#1}" "$1"; }
  {
    lsp_frame '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"initializationOptions":{"arithmetic":"Fix"}}}'
    lsp_frame '{"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":"file:///a.mml","languageId":"mml","version":1,"text":"SMML@@!A C!;MML@!A ]D,E;"}}}'
    lsp_frame '{"jsonrpc":"2.0","method":"textDocument/didChange","params":{"textDocument":{"uri":"file:///a.mml","version":2},"contentChanges":[{"range":{"start":{"line":0,"character":3},"end":{"line":0,"character":5}},"text":"x"}]}}'
    lsp_frame '{"jsonrpc":"2.0","id":2,"method":"textDocument/rename","params":{"textDocument":{"uri":"file:///a.mml"},"position":{"line":0,"character":8},"newName":"B"}}'
    lsp_frame '{"jsonrpc":"2.0","id":3,"method":"textDocument/semanticTokens/full","params":{"textDocument":{"uri":"file:///a.mml"}}}'
    lsp_frame '{"jsonrpc":"2.0","id":4,"method":"textDocument/hover","params":{"textDocument":{"uri":"file:///a.mml"},"position":{"line":0,"character":21}}}'
    lsp_frame '{"jsonrpc":"2.0","id":6,"method":"textDocument/codeAction","params":{"textDocument":{"uri":"file:///a.mml"},"range":{"start":{"line":0,"character":0},"end":{"line":0,"character":30}}}}'
    lsp_frame '{"jsonrpc":"2.0","id":7,"method":"textDocument/completion","params":{"textDocument":{"uri":"file:///a.mml"},"position":{"line":0,"character":17}}}'
    lsp_frame '{"jsonrpc":"2.0","id":8,"method":"textDocument/inlayHint","params":{"textDocument":{"uri":"file:///a.mml"},"range":{"start":{"line":0,"character":0},"end":{"line":5,"character":0}}}}'
    lsp_frame '{"jsonrpc":"2.0","id":5,"method":"shutdown"}'
    lsp_frame '{"jsonrpc":"2.0","method":"exit"}'
  } >"$corpus/lsp-session"
  # The server's target is quick per input and its run short; the others run longer.
  limit="$seconds"
  if [ "$name" = fuzz_lsp ]; then limit="${TAVOLIN_FUZZ_LSP_SECONDS:-5}"; fi
  # The MIDI import compiles every document it makes: a shorter run keeps the step short.
  if [ "$name" = fuzz_midi_import ] && [ "$limit" -gt 30 ]; then limit=30; fi
  echo "== fuzz: $name ($runs inputs, seed 1)"
  if ! "$exe" -runs="$runs" -seed=1 -max_len=4096 -max_total_time="$limit" -timeout=10 -rss_limit_mb=3072 \
      -dict=fuzz/mml.dict -print_final_stats=1 -artifact_prefix="$work/" "$corpus" >"$work/$name.log" 2>&1; then
    tail -n 40 "$work/$name.log" >&2
    for a in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
      echo "20-fuzz: failing input kept as build/fuzz/$(basename "$a")" >&2
      cp "$a" build/fuzz/
    done
    status=1
    continue
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$name.log" || true
done
exit "$status"
