// SPDX-License-Identifier: MIT
// What one repaint of the piano roll asks of its model (notes and grid of all five lanes), for a
// 10-second and a 10-minute song: at a fixed zoom in the middle of the song, and fitted whole.
#include <benchmark/benchmark.h>

#include "window/PianoRoll.h"
#include "bench/RollSong.h"

namespace {

using namespace tavolin;

using bench::rollSongOf;

void paintCost(benchmark::State& state, bool fitted) {
    const auto map = rollSongOf(static_cast<int>(state.range(0)));
    window::PianoRoll roll;
    roll.resize(1180, 240);
    roll.setSong(map);
    if (!fitted) {
        roll.zoomAt(window::PianoRoll::kHeaderWidth, 100 / roll.pixelsPerSecond());  // 100 pixels a second
        roll.setScrollPixels(roll.scrollRangePixels() / 2);
    }
    size_t items = 0;
    for (auto _ : state) {
        for (int b = 0; b < kBankCount; ++b) {
            items += roll.visibleNotes(b).size();
            items += roll.gridLines(b).size();
        }
        benchmark::DoNotOptimize(items);
    }
    state.counters["items"] = benchmark::Counter(static_cast<double>(items) / static_cast<double>(state.iterations()));
}

void BM_RollRepaintZoomed(benchmark::State& state) { paintCost(state, false); }
void BM_RollRepaintFitted(benchmark::State& state) { paintCost(state, true); }

BENCHMARK(BM_RollRepaintZoomed)->Arg(10)->Arg(600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RollRepaintFitted)->Arg(10)->Arg(600)->Unit(benchmark::kMicrosecond);

}  // namespace
