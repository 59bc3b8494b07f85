#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The notices of the page: web/notices.mjs refuses what it must (a licence off the allow-list,
# none named, no licence text, a version the lock does not name) on made-up package trees, and
# the built page's notices list every npm package the bundle holds, each with its licence text.
set -euo pipefail
cd "$(dirname "$0")/../.."
node tests/web/notices.mjs
scripts/web >/dev/null
echo "72-web-notices: $(awk '/^-----/ { exit } /^  / { n++ } END { print n }' build/web/THIRD-PARTY-NOTICES.txt) components in build/web/THIRD-PARTY-NOTICES.txt"
