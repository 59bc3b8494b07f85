#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tavolin-cli import and export-mml: output bytes and exit codes; the stems of the example songs.
set -euo pipefail
cd "$(dirname "$0")/../.."

# TAVOLIN_CLI names an already built tool; otherwise the release build's is used.
cli=${TAVOLIN_CLI:-}
if [ -z "$cli" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target tavolin-cli >/dev/null
  cli=build/release/app/tavolin-cli
fi
data=tests/data/editor
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

# expect_bytes NAME EXPECTED(printf format) COMMAND...: stdout must be exactly these bytes, exit 0.
expect_bytes() {
  local name=$1 want=$2
  shift 2
  local rc=0
  "$@" >"$tmp/got" 2>"$tmp/err" || rc=$?
  printf "$want" >"$tmp/want"
  if [ "$rc" -ne 0 ] || ! cmp -s "$tmp/got" "$tmp/want"; then
    echo "FAIL $name (exit $rc)"; echo "  want: $(od -An -c "$tmp/want" | tr -s ' ')"
    echo "  got:  $(od -An -c "$tmp/got" | tr -s ' ')"; cat "$tmp/err"
    failures=$((failures + 1))
  fi
}

# expect_exit NAME CODE COMMAND...
expect_exit() {
  local name=$1 want=$2
  shift 2
  local rc=0
  "$@" >/dev/null 2>&1 || rc=$?
  if [ "$rc" -ne "$want" ]; then echo "FAIL $name: exit $rc, want $want"; failures=$((failures + 1)); fi
}

expect_bytes "import, start values" 'SMML@T120;MML@V127CDE,V84EFG,,,;' \
  "$cli" import -o - "$data/clipboard-example.txt"
expect_bytes "import --no-divide" 'SMML@T120;MML@V255CDE,V170EFG,,,;' \
  "$cli" import --no-divide -o - "$data/clipboard-example.txt"
expect_bytes "import --source-max 0 leaves volumes" 'SMML@T120;MML@V15CDE,V10EFG,,,;' \
  "$cli" import --source-max 0 -o - "$data/clipboard-example.txt"
printf 'MML@t120v8cT90de;' >"$tmp/tempo.txt"
expect_bytes "import --keep-bank-tempo --source-max 8" 'SMML@T120;MML@V255CT90DE,,,,;' \
  "$cli" import --keep-bank-tempo --source-max 8 -o - "$tmp/tempo.txt"
# CP932 comments (0x83 0x54 = trail "T", 0x83 0x56 = trail "V") survive; CR LF is stored as CR CR LF.
expect_bytes "import japanese comments" \
  'SMML@T150;MML@*\x83\x54\x83\x72*V127C8\r\r\nD8,V101*\x83\x56*E,,,;' \
  "$cli" import -o - "$data/clipboard-japanese.txt"
expect_bytes "import stdin stops at NUL" 'SMML@;MML@C,,,,;' \
  sh -c "printf 'MML@c\\0,d;' | '$cli' import -o - -"

# UTF-8 from another editor is read as the window opens it; the output is CP932.
printf 'MML@t120 /* \xe3\x83\x89 */c;' >"$tmp/utf8.txt"
expect_bytes "import UTF-8 text" 'SMML@T120;MML@ /* \x83\x68 */C,,,,;' "$cli" import -o - "$tmp/utf8.txt"
printf 'SMML@;MML@C /* \xe3\x83\x89 */,,,,;' >"$tmp/utf8.mml"
expect_bytes "export-mml of a UTF-8 document" 'MML@C /* \x83\x68 */,,,,;\n' "$cli" export-mml "$tmp/utf8.mml"
printf 'MML@c\n\xf0\x9f\x8e\xb5;' >"$tmp/emoji.txt"
expect_exit "import UTF-8 that CP932 cannot hold" 2 "$cli" import -o - "$tmp/emoji.txt"

"$cli" import -o "$tmp/song.mml" "$data/clipboard-example.txt"
expect_bytes "import writes the file as Save does" 'SMML@T120;MML@V127CDE,V84EFG,,,;' cat "$tmp/song.mml"
expect_bytes "export-mml" 'MML@T120V127CDE,T120V84EFG,,,;\n' "$cli" export-mml "$tmp/song.mml"
"$cli" export-mml "$tmp/song.mml" >"$tmp/record.txt"
expect_bytes "export then import gives the document back" 'SMML@T120;MML@V127CDE,V84EFG,,,;' \
  "$cli" import --source-max 255 --no-divide -o - "$tmp/record.txt"

expect_exit "import without -o" 2 "$cli" import "$data/clipboard-example.txt"
expect_exit "import bad --source-max" 2 "$cli" import --source-max 1x -o - "$data/clipboard-example.txt"
expect_exit "import missing input" 2 "$cli" import -o "$tmp/x.mml" "$tmp/none.txt"
expect_exit "import into a missing folder" 2 "$cli" import -o "$tmp/no/dir/x.mml" "$data/clipboard-example.txt"
expect_exit "export-mml missing file" 2 "$cli" export-mml "$tmp/none.mml"
printf 'SMML@@E0,1;MML@C,,,,;' >"$tmp/comma.mml"
expect_exit "export-mml common with a comma" 2 "$cli" export-mml "$tmp/comma.mml"
expect_exit "export-mml without a file" 2 "$cli" export-mml

# The example songs render their stems in one pass: one WAV per sounding bank,
# each exactly as long as the mix, and a bank's stem is what --solo of it writes.
for song in examples/*.mml; do
  name=$(basename "$song" .mml)
  "$cli" render -o "$tmp/$name.wav" "$song"
  "$cli" render --stems "$tmp/stems-$name" "$song" >"$tmp/$name.list"
  if [ ! -s "$tmp/$name.list" ]; then echo "FAIL stems of $name: none written"; failures=$((failures + 1)); continue; fi
  while read -r stem; do
    if [ "$(stat -c %s "$stem")" -ne "$(stat -c %s "$tmp/$name.wav")" ]; then
      echo "FAIL stem $stem: not as long as the mix"; failures=$((failures + 1))
    fi
    bank=$(basename "$stem" .wav)
    "$cli" render --solo "$bank" -o "$tmp/solo.wav" "$song"
    if ! cmp -s "$stem" "$tmp/solo.wav"; then echo "FAIL stem $stem differs from --solo $bank"; failures=$((failures + 1)); fi
  done <"$tmp/$name.list"
done
expect_exit "render --mute with a bad letter" 2 "$cli" render --mute A,X -o "$tmp/x.wav" examples/demo.mml

if [ "$failures" -ne 0 ]; then echo "cli documents: $failures failure(s)"; exit 1; fi
echo "cli documents: all passed"
