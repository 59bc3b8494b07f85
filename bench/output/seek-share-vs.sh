#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Seek as a share of a whole render (BM_SeekShare) for two builds in one run,
# taking turns song by song so both meet the same load: this tree's and an
# older commit's, built from `git archive` in a directory of its own with
# this benchmark copied in (it uses only public entry points).
# Usage: bench/output/seek-share-vs.sh <commit> [filter]
set -euo pipefail
cd "$(dirname "$0")/../.."
base=$1
filter=${2:-BM_SeekShare}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
git archive "$base" | tar -x -C "$dir"
cp bench/output/SeekShareBench.cpp bench/output/TenMinuteSong.h "$dir/bench/output/"
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/tavolin-ccache}" CCACHE_NOHASHDIR=1
(cd "$dir" && CCACHE_BASEDIR="$dir" cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVOLIN_BUILD_BENCH=ON \
    -DTAVOLIN_BUILD_TESTS=OFF -DTAVOLIN_BUILD_GUI=OFF >/dev/null &&
    CCACHE_BASEDIR="$dir" cmake --build build -j2 --target tavolin_output_bench >/dev/null)
CCACHE_BASEDIR="$PWD" cmake --build --preset release -j2 --target tavolin_output_bench >/dev/null
for test in $(build/release/bench/tavolin_output_bench --benchmark_list_tests | grep -E "$filter"); do
    name=${test%%/iterations*}
    for side in base this; do
        bin=build/release/bench/tavolin_output_bench
        [ "$side" = base ] && bin="$dir/build/bench/tavolin_output_bench"
        "$bin" --benchmark_filter="^${name}/" 2>/dev/null | awk -v s="$side" '/^BM_/{print s, $0}'
    done
done
