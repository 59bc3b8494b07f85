#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The WebAssembly engine in Node against tavolin-cli: every example and a few
# hundred random songs, byte for byte and JSON for JSON; damaged documents.
set -euo pipefail
cd "$(dirname "$0")/../.."

export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/tavolin-ccache}" CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake --preset release >/dev/null
cmake --build --preset release --target tavolin-cli tavolin-random-songs tavolin-decode-audio >/dev/null
scripts/web >/dev/null

songs=$(mktemp -d)
trap 'rm -rf "$songs"' EXIT
# TAVOLIN_WEB_SONGS: how many random songs (the seed is fixed, so a failure repeats).
build/release/tests/tavolin-random-songs "$songs" "${TAVOLIN_WEB_SONGS:-200}" 2600
node tests/web/engine-vs-cli.mjs build/web/tavolin-engine.mjs build/release/app/tavolin-cli examples/*.mml "$songs"/*.mml
