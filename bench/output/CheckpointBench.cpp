// SPDX-License-Identifier: MIT
// The checkpoints a session keeps: a passage started at 9:00 of the
// ten-minute songs where a cold seek is slowest (two banks drawing random
// numbers side by side; bank A one slurred vibrato chain), from the nearest
// checkpoint, as a share of a whole render; what taking the shelf costs in
// idle time; and the memory it holds (its own count, and the growth of the
// process's resident set while it was taken). Processor time of this thread.
#include <algorithm>
#include <fstream>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/output/TenMinuteSong.h"
#include "session/Checkpoints.h"
#include "session/Passage.h"

namespace {

using namespace tavolin;
using bench::QuietHost;
using bench::typeName;
using bench::cpuSeconds;
using bench::median;
using bench::SeekSong;
using bench::seekSong;

double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * 4096.0 / 1048576.0;
}

// The song as a passage plays it: no caret.
output::BuildInputs song(int arith, int kind) {
    output::BuildInputs in = seekSong(arith, kind == 0 ? SeekSong::TwoDrawingBanks : SeekSong::SlurredChain);
    in.startFromCursor = false;
    in.caret = 0;
    return in;
}

void BM_CheckpointPassage(benchmark::State& state) {
    const int arith = static_cast<int>(state.range(0));
    const int kind = static_cast<int>(state.range(1));
    const output::BuildInputs in = song(arith, kind);
    const session::CheckpointMode passage{false, true};
    QuietHost host;
    std::vector<int16_t> block(4096 * 2);
    std::vector<double> renders, seeks, shelves, resident;
    size_t count = 0, bytes = 0;
    uint64_t startedAt = 0;
    constexpr uint64_t kFrom = uint64_t{48000} * 540;  // 9:00
    for (auto _ : state) {
        output::WaveFormat format;
        double t0 = cpuSeconds();
        auto whole = output::MakeGenerator(in, false, host, format);
        if (!whole) {
            state.SkipWithError(("build failed: " + host.last).c_str());
            return;
        }
        session::setPlayMode(*whole, false, true);
        while (!whole->IsFinished()) (void)whole->RenderUntilFinished(std::span<int16_t>(block));
        const double render = cpuSeconds() - t0;
        whole.reset();

        // the shelf, as the keeper takes it after a compile
        const double before = residentMiB();
        t0 = cpuSeconds();
        const std::shared_ptr<const output::SongMap> map = output::buildSongMap(in, false);
        session::CheckpointShelf shelf;
        shelf.begin(in, passage, map->timeline.frames);
        while (shelf.step(48000)) {
        }
        shelves.push_back(cpuSeconds() - t0);
        resident.push_back(residentMiB() - before);
        count = shelf.count();
        bytes = shelf.bytes();

        // Ctrl+L at 9:00: the build alone is taken out of the build with the seek
        t0 = cpuSeconds();
        auto plain = output::MakeGenerator(in, false, host, format);
        const double buildOnly = cpuSeconds() - t0;
        plain.reset();
        t0 = cpuSeconds();
        auto started = output::MakeGenerator(in, false, host, format);
        session::setPlayMode(*started, false, true);
        const uint64_t at = shelf.adoptNearest(*started, kFrom).value_or(0);
        startedAt = at;
        started->Skip(kFrom - at);
        const double seek = cpuSeconds() - t0 - buildOnly;
        benchmark::DoNotOptimize(started->IsFinished());
        renders.push_back(render);
        seeks.push_back(seek);
        state.SetIterationTime(seek);
    }
    const double r = median(renders), s = median(seeks);
    state.counters["render_ms"] = r * 1e3;
    state.counters["seek_ms"] = s * 1e3;
    state.counters["share_pct"] = r > 0.0 ? 100.0 * s / r : 0.0;
    state.counters["shelf_ms"] = median(shelves) * 1e3;
    state.counters["checkpoints"] = static_cast<double>(count);
    state.counters["from_s"] = static_cast<double>(startedAt) / 48000.0;
    state.counters["shelf_MiB"] = static_cast<double>(bytes) / 1048576.0;
    state.counters["rss_growth_MiB"] = median(resident);
    static const char* const kNames[] = {"two banks drawing", "bank A one slurred vibrato chain"};
    state.SetLabel(std::string(typeName(arith)) + ", " + kNames[kind] + ", passage at 9:00");
}
BENCHMARK(BM_CheckpointPassage)->ArgsProduct({{0, 1, 2}, {0, 1}})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
