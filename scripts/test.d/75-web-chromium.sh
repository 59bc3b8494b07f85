#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The browser page in headless Chromium (Debian package chromium, driven by puppeteer-core from npm):
# live check, colours, share links, damaged input, the exported WAV and the AudioWorklet's samples
# against tavolin-cli render. scripts/web builds the engine and the page and installs the npm
# packages (puppeteer-core among them); the test then serves the page with scripts/web --serve.
set -euo pipefail
cd "$(dirname "$0")/../.."
cli="${TAVOLIN_CLI:-build/release/app/tavolin-cli}"
if [ ! -x "$cli" ]; then
  echo "75-web-chromium: $cli not built" >&2
  exit 1
fi
scripts/web
timeout 300 node tests/web/page.mjs "$cli"
