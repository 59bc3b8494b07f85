#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Redraws the two PNG sizes the window embeds (app/qt/tavolin.qrc) from tavolin.svg with
# rsvg-convert (librsvg2-bin), as the build draws the installed icon sizes.
set -euo pipefail
cd "$(dirname "$0")"
for size in 48 256; do
  rsvg-convert -w "$size" -h "$size" -o "tavolin-$size.png" tavolin.svg
done
