#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A minute of saves in bursts and pauses while `play --watch --loop` plays,
# under ThreadSanitizer (see scripts/stress-live-swap; --seconds 300 for the long run).
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/stress-live-swap --seconds "${STRESS_SECONDS:-60}"
