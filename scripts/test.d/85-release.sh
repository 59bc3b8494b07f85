#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# scripts/release: refuses a version without its CHANGELOG.md entry before building anything;
# otherwise writes the .deb and the page's zip, both named with the version, the zip holding the
# page in a folder of that name with its licence and notices.
set -euo pipefail
cd "$(dirname "$0")/../.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

base=$(sed -n 's/^project(Tavolin VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
# A changelog that lacks the entry, or has it without a date (a heading for work still going on).
sed "/^## \[${base//./\\.}\]/d" CHANGELOG.md >"$tmp/no-entry.md"
sed "s/^## \[${base//./\\.}\].*/## [$base]/" CHANGELOG.md >"$tmp/no-date.md"
for changelog in no-entry.md no-date.md; do
  if TAVOLIN_CHANGELOG="$tmp/$changelog" scripts/release --out "$tmp/refused" --allow-dirty >/dev/null 2>"$tmp/err"; then
    fail "release with $changelog went ahead"
  fi
  grep -q "has no entry \"## \[$base\] - YYYY-MM-DD\"" "$tmp/err" || fail "release with $changelog said: $(cat "$tmp/err")"
  [ ! -e "$tmp/refused" ] || fail "release with $changelog wrote $(ls "$tmp/refused")"
done

mapfile -t files < <(scripts/release --out "$tmp/out" --allow-dirty 2>/dev/null)
version=$(cat build/release/version/version.txt)
[ "${files[*]}" = "$tmp/out/tavolin_${version}_amd64.deb $tmp/out/tavolin-web-$version.zip" ] ||
  fail "release wrote [${files[*]}] for version $version"
[ "$(dpkg-deb -f "${files[0]}" Version 2>/dev/null)" = "$version" ] || fail "the .deb is not version $version"
listing=$(unzip -Z1 "${files[1]}" 2>/dev/null || true)
for f in index.html main.js tavolin-engine.wasm LICENSE.txt THIRD-PARTY-NOTICES.txt; do
  grep -qx "tavolin-web-$version/$f" <<<"$listing" || fail "the zip has no tavolin-web-$version/$f"
done

if [ "$failures" -ne 0 ]; then echo "release: $failures failure(s)"; exit 1; fi
echo "release: $(basename "${files[0]}") and $(basename "${files[1]}") ($(du -k "${files[1]}" | cut -f1) kB)"
