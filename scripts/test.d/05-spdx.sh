#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# scripts/spdx on a made-up checkout, one row per file: which files it asks the line of (and in
# which comment), which it leaves alone (test data, JSON, Markdown, what git ignores), where
# --apply puts the line (after a #! or <!doctype>), that it keeps a script executable, and that
# a second --apply changes nothing. scripts/test runs scripts/spdx itself on this checkout.
set -euo pipefail
cd "$(dirname "$0")/../.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

t='SPDX-License-Identifier: MIT'
# path | content (printf format) | the first lines after --apply ("-": not checked, left as it is)
rows=(
  "a/File.cpp|// purpose\nint x;\n|// $t\n// purpose\nint x;"
  "a/File.h|// $t\n#pragma once\n|// $t\n#pragma once"
  "a/Old.h|// SPDX-License-Identifier: GPL-2.0-only\n|// $t\n// SPDX-License-Identifier: GPL-2.0-only"
  "a/Second.cpp|// purpose\n// $t\n|// $t\n// purpose\n// $t"
  "a/Empty.h||// $t"
  "web/main.js|import x from 'y';\n|// $t\nimport x from 'y';"
  "web/serve.mjs|#!/usr/bin/env node\nimport x;\n|#!/usr/bin/env node\n// $t\nimport x;"
  "web/style.css|body {}\n|/* $t */\nbody {}"
  "web/index.html|<!DOCTYPE html>\n<html>\n|<!DOCTYPE html>\n<!-- $t -->\n<html>"
  "scripts/tool|#!/usr/bin/env bash\necho hi\n|#!/usr/bin/env bash\n# $t\necho hi"
  "scripts/lib/helpers.sh|# purpose\n|# $t\n# purpose"
  "scripts/run.sh|// $t\n|# $t\n// $t"
  "data/completion/tool|# completion\n|# $t\n# completion"
  "CMakeLists.txt|project(X)\n|# $t\nproject(X)"
  "cmake/Flags.cmake|set(X 1)\n|# $t\nset(X 1)"
  "tests/data/area/input.cpp|int x;\n|-"
  "web/package.json|{}\n|-"
  "docs/page.md|# Page\n|-"
  "scripts/notes.txt|notes\n|-"
  "web/node_modules/p/index.js|x\n|-"
  "build/release/gen.cpp|x\n|-"
)
repo=$tmp/repo
mkdir -p "$repo/scripts"
cp scripts/spdx "$repo/scripts/spdx"
printf '/build/\n/web/node_modules/\n' >"$repo/.gitignore"
for row in "${rows[@]}"; do
  IFS='|' read -r path content _ <<<"$row"
  mkdir -p "$repo/$(dirname "$path")"
  printf "$content" >"$repo/$path"
done
chmod +x "$repo/scripts/tool"
git -C "$repo" init -q
git -C "$repo" add .gitignore scripts/spdx a  # the rest is new to git, and still checked

# The check names exactly the files that want a line.
out=$("$repo/scripts/spdx") && fail "the check passed with files lacking the line"
listed=$(sed -n 's/^no SPDX line: \([^ ]*\) .*/\1/p' <<<"$out" | sort)
wanted=$(for row in "${rows[@]}"; do
  IFS='|' read -r path content after <<<"$row"
  [ "$after" = - ] || [ "$(printf "$after")" = "$(printf "$content")" ] || echo "$path"
done | sort)
[ "$listed" = "$wanted" ] || fail "the check listed [$(echo $listed)], wanted [$(echo $wanted)]"
grep -q '^no SPDX line: web/style.css (wants "/\* SPDX-License-Identifier: MIT \*/")$' <<<"$out" ||
  fail "the check does not say which line a CSS file wants: $out"

"$repo/scripts/spdx" --apply >/dev/null
for row in "${rows[@]}"; do
  IFS='|' read -r path content after <<<"$row"
  if [ "$after" = - ]; then want=$(printf "$content"); else want=$(printf "$after"); fi
  got=$(head -n "$(printf "$want" | wc -l | awk '{ print $1 + 1 }')" "$repo/$path")
  [ "$got" = "$want" ] || fail "$path after --apply:
$got
--- wanted:
$want"
done
[ -x "$repo/scripts/tool" ] || fail "--apply left scripts/tool not executable"
"$repo/scripts/spdx" >/dev/null || fail "the check fails after --apply: $("$repo/scripts/spdx")"
before=$(cd "$repo" && find . -path ./.git -prune -o -type f -print0 | sort -z | xargs -0 sha256sum)
"$repo/scripts/spdx" --apply >/dev/null
after=$(cd "$repo" && find . -path ./.git -prune -o -type f -print0 | sort -z | xargs -0 sha256sum)
[ "$before" = "$after" ] || fail "a second --apply changed files"

if [ "$failures" -ne 0 ]; then echo "spdx: $failures failure(s)"; exit 1; fi
echo "spdx: ${#rows[@]} cases ok"
