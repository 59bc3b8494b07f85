#!/usr/bin/env bash
# Renders the PNG sizes of tavolin.svg with ImageMagick's own drawing primitives
# (Debian's ImageMagick has no SVG reader without extra delegates). Same shapes.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 256x256 xc:none \
  -fill '#1f2a4d' -draw "roundrectangle 8,8 247,247 44,44" \
  -fill none -stroke '#4fd1c5' -strokewidth 12 \
  -draw "line 32,196 32,156 line 32,156 76,156 line 76,156 76,196 line 76,196 120,196 line 120,196 120,156 line 120,156 164,156 line 164,156 164,196 line 164,196 208,196 line 208,196 208,156 line 208,156 224,156" \
  -stroke none -fill '#ffd166' \
  -draw "translate 104,118 rotate -20 ellipse 0,0 28,21 0,360" \
  -draw "rectangle 120,36 131,120" \
  -draw "path 'M 132 36 C 160 52, 178 64, 170 100 C 166 80, 152 70, 132 66 Z'" \
  tavolin-256.png
convert tavolin-256.png -resize 48x48 tavolin-48.png
