#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the ThreadSanitizer configuration and runs the playback, live swap and
# concurrent seek tests under it.
set -euo pipefail
cd "$(dirname "$0")/../.."
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/tavolin-ccache}"
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target tavolin_output_tests tavolin_session_tests -j "$jobs"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  build/tsan/tests/tavolin_output_tests --gtest_filter='Playback*:VirtualDevice*:LiveSwap*:Seek/*.SeeksOnSeveralThreadsAtOnceAgree' --gtest_brief=1
# The checkpoint keeper's thread beside the session that reads its shelf.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  build/tsan/tests/tavolin_session_tests --gtest_filter='Checkpoints*:PlaySession*' --gtest_brief=1
