#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# One version everywhere: the one the build wrote (the project's version from CMakeLists.txt and,
# in a checkout, this commit) is the one tavolin-cli --version, tavolin --version (with no display
# at all, and offscreen), the language server's serverInfo, the page's built files, the .deb's
# control field, file name, changelog and manual pages all give. The About boxes show it too:
# the window's is checked by QtWindow.AboutBoxShowsNameAndVersion, the page's by
# 75-web-chromium.sh against tavolin-cli --version.
set -euo pipefail
cd "$(dirname "$0")/../.."
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/tavolin-ccache}" CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

deb=$(scripts/package)
scripts/web >/dev/null
cmake --build --preset release --target tavolin tavolin-cli >/dev/null
want=$(cat build/release/version/version.txt)
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
same() { [ "$2" = "$3" ] || fail "$1: '$2', wanted '$3'"; }

# The version itself: the project's, then the commit when this is a checkout.
base=$(sed -n 's/^project(Tavolin VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
if commit=$(git rev-parse --short=10 HEAD 2>/dev/null); then
  [[ $want == "$base" || $want =~ ^"$base"\+g"$commit"(\.dirty)?$ ]] || fail "version '$want' is not $base at commit $commit"
else
  same "version outside a checkout" "$want" "$base"
fi

cli=build/release/app/tavolin-cli
same "tavolin-cli --version" "$($cli --version)" "tavolin-cli $want"
same "tavolin --version, no display" "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM build/release/app/tavolin --version)" "tavolin $want"
same "tavolin --version, offscreen" "$(QT_QPA_PLATFORM=offscreen build/release/app/tavolin --version)" "tavolin $want"

frame() { printf 'Content-Length: %d\r\n\r\n%s' "${#1}" "$1"; }
reply=$( { frame '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{}}'
           frame '{"jsonrpc":"2.0","id":2,"method":"shutdown"}'
           frame '{"jsonrpc":"2.0","method":"exit"}'; } | timeout 20 "$cli" lsp)
same "language server serverInfo" "$(grep -o '"serverInfo":{[^}]*}' <<<"$reply")" "\"serverInfo\":{\"name\":\"tavolin\",\"version\":\"$want\"}"

grep -qF "\"$want\"" build/web/main.js || fail "build/web/main.js does not hold \"$want\""

same ".deb Version field" "$(dpkg-deb -f "$deb" Version)" "$want"
same ".deb file name" "$(basename "$deb")" "tavolin_${want}_amd64.deb"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg -x "$deb" "$tmp"
same ".deb changelog" "$(zcat "$tmp/usr/share/doc/tavolin/changelog.gz" | head -1)" "tavolin ($want) unstable; urgency=medium"
for page in tavolin tavolin-cli; do
  same "$page(1) footer" "$(zcat "$tmp/usr/share/man/man1/$page.1.gz" | sed -n 's/^\.TH .*"Tavolin \([^"]*\)".*/\1/p')" "$want"
done

if [ "$failures" -ne 0 ]; then echo "versions: $failures failure(s)"; exit 1; fi
echo "versions: $want everywhere"
