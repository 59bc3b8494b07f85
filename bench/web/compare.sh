#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# WebAssembly against native, in one run: the web engine's render of the demo
# song (Google Benchmark natively, Node for the .wasm), medians and the ratio.
set -euo pipefail
cd "$(dirname "$0")/../.."
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/tavolin-ccache}" CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake --preset release >/dev/null
cmake --build --preset release --target tavolin_web_bench >/dev/null
scripts/web >/dev/null
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
native=$(build/release/bench/tavolin_web_bench --benchmark_format=json 2>/dev/null)
wasm=$(node bench/web/render-speed.mjs build/web/tavolin-engine.mjs examples/demo.mml 5)
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
NATIVE="$native" WASM="$wasm" node -e '
  const native = JSON.parse(process.env.NATIVE).benchmarks.filter((b) => b.aggregate_name === "median");
  const wasm = process.env.WASM.trim().split("\n").map((l) => JSON.parse(l));
  ["fix", "float", "double"].forEach((arith, i) => {
    const n = native.find((b) => b.name.startsWith(`BM_WebRenderDemo/${i}`)).real_time;
    const w = wasm.find((r) => r.arith === arith).medianMs;
    console.log(`${arith.padEnd(6)} native ${n.toFixed(1)} ms  wasm ${w.toFixed(1)} ms  wasm speed ${(100 * n / w).toFixed(0)}% of native`);
  });'
