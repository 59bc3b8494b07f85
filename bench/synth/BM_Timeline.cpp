// SPDX-License-Identifier: MIT
// The song's map for the window: building the timeline of a long song, and the two lookups made on
// every caret move and every display frame.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "compiler/ParseMml.h"
#include "synth/Timeline.h"

namespace tavolin {
namespace {

// Ten minutes at tempo 150 in five banks: eighths and sixteenths in loops,
// a macro, rests, slurs, a tuplet, and a few thousand notes written out, so
// that the timeline holds about 25,000 notes.
struct LongSong {
    std::string common = "T150 @ED1:5:60:40:255:170 @!R O2 C8 >C8< G16 G16 R8 !";
    std::array<std::string, kBankCount> banks;
    LongSong() {
        const char* octaves[] = {"O5", "O4", "O3", "O6", "O2"};
        for (size_t b = 0; b < kBankCount; ++b) {
            std::string& t = banks[b];
            t = std::string(octaves[b]) + " @" + std::to_string(b % 4) + " L16\r\n";
            // 600 s at a sixteenth of 0.1 s: 375 bars of 16 sixteenths. A third
            // written out, the rest in loops.
            for (int bar = 0; bar < 125; ++bar) t += "CDEF GAB>C <BAG8 F8&F16 R16 {EDC}\r\n";
            t += "[CDEFGABR8 !R C4 :E8F8]125\r\n[L8 CEGE CEGE L16]125\r\n";
        }
    }
    std::array<std::string_view, kBankCount> views() const { return {banks[0], banks[1], banks[2], banks[3], banks[4]}; }
};

template <EngineNumType T>
struct CompiledSong {
    LongSong song;
    std::array<EventList<T>, kBankCount> lists;
    std::array<SourceSpans, kBankCount> spans;
    CompiledSong() { CompileBanks<T>(song.common, song.views(), -1, 0, lists, &spans); }
};

template <EngineNumType T>
void BM_Timeline(benchmark::State& state) {
    const CompiledSong<T> c;
    size_t notes = 0;
    uint64_t frames = 0;
    for (auto _ : state) {
        const SongTimeline t = buildTimeline<T>(c.lists, &c.spans, c.song.common.size());
        notes = 0;
        for (const auto& b : t.banks) notes += b.notes.size();
        frames = t.frames;
        benchmark::DoNotOptimize(t.frames);
    }
    state.counters["notes"] = static_cast<double>(notes);
    state.counters["song_s"] = static_cast<double>(frames) / 48000.0;
}
BENCHMARK_TEMPLATE(BM_Timeline, Fix)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Timeline, float)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Timeline, double)->Unit(benchmark::kMillisecond);

void BM_TimelineIndex(benchmark::State& state) {
    const CompiledSong<float> c;
    const SongTimeline t = buildTimeline<float>(c.lists, &c.spans, c.song.common.size());
    for (auto _ : state) {
        const TimelineIndex index(t);
        benchmark::DoNotOptimize(&index);
    }
}
BENCHMARK(BM_TimelineIndex)->Unit(benchmark::kMillisecond);

// A caret anywhere in a bank's text or the common text: the note under or after it.
void BM_NoteAtCaret(benchmark::State& state) {
    const CompiledSong<float> c;
    const SongTimeline t = buildTimeline<float>(c.lists, &c.spans, c.song.common.size());
    const TimelineIndex index(t);
    std::mt19937 rng(1);
    std::vector<std::pair<int, uint64_t>> carets(4096);
    for (auto& caret : carets) {
        const int tab = static_cast<int>(rng() % 6) - 1;
        const size_t size = tab < 0 ? c.song.common.size() : c.song.banks[static_cast<size_t>(tab)].size();
        caret = {tab, rng() % (size + 1)};
    }
    size_t i = 0;
    for (auto _ : state) {
        const auto& [tab, offset] = carets[i++ % carets.size()];
        benchmark::DoNotOptimize(index.noteAtOrAfter(tab, offset));
    }
}
BENCHMARK(BM_NoteAtCaret);

// The notes sounding at a display frame's song position, in every bank.
void BM_NotesSoundingAt(benchmark::State& state) {
    const CompiledSong<float> c;
    const SongTimeline t = buildTimeline<float>(c.lists, &c.spans, c.song.common.size());
    std::mt19937_64 rng(2);
    std::vector<uint64_t> frames(4096);
    for (auto& f : frames) f = rng() % (t.frames + 1);
    size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(notesSoundingAt(t, frames[i++ % frames.size()]));
}
BENCHMARK(BM_NotesSoundingAt);

}  // namespace
}  // namespace tavolin
