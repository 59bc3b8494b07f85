// SPDX-License-Identifier: MIT
// Synthesizer throughput: each wave alone, a five-bank song, and one
// 1,024-frame block at 192 kHz, per arithmetic type.
#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <span>
#include <vector>

#include "compiler/MmlEvent.h"
#include "synth/BankSet.h"

namespace tavolin {
namespace {

constexpr int64_t kBlockFrames = 1024;

template <EngineNumType T>
T num(double v) { return Num<T>::fromDouble(v); }

// The records every compiled list starts with (tempo 120, tone 0, default
// envelope and LFOs), as the compiler lays them out.
template <EngineNumType T>
void addPrologue(EventList<T>& l) {
    l.push_back(MmlEvent<T>::makeInt(EventKind::Volume, 127));
    l.push_back(MmlEvent<T>::makeInt(EventKind::Tempo, 120));
    l.push_back(MmlEvent<T>::makeInt(EventKind::ToneSelect, 0));
    auto porta = MmlEvent<T>::blank(EventKind::Portamento);
    porta.ratio = num<T>(0.25);
    l.push_back(porta);
    auto env = MmlEvent<T>::blank(EventKind::EnvelopeDef);
    env.envelopeDef = EnvelopeDefPayload<T>{num<T>(15), num<T>(15), num<T>(30), 255, 200, -1};
    l.push_back(env);
    l.push_back(MmlEvent<T>::makeInt(EventKind::EnvelopeSelect, 0));
    l.push_back(MmlEvent<T>::makeInt(EventKind::Pan, 128));
    for (int mode : {0, 1}) {
        auto lfo = MmlEvent<T>::blank(EventKind::LfoDef);
        lfo.lfo.mode = mode;
        lfo.lfo.pointCount = 1;
        lfo.lfo.points[0] = LfoPoint{0, 0, 20, 0};
        l.push_back(lfo);
    }
}

template <EngineNumType T>
void addTone(EventList<T>& l, Wave wave, float duty) {
    auto t = MmlEvent<T>::blank(EventKind::ToneDef);
    t.toneDef.tone = 0;
    t.toneDef.wave = static_cast<int32_t>(wave);
    t.toneDef.dutyCount = 1;
    t.toneDef.duties[0] = duty;
    l.push_back(t);
    l.push_back(MmlEvent<T>::makeInt(EventKind::ToneSelect, 0));
}

// An endless loop around `body` (a list of {Hz, units}), so a benchmark never
// runs out of song.
template <EngineNumType T>
void addEndlessLoop(EventList<T>& l, const std::vector<std::pair<double, double>>& body) {
    const int32_t start = static_cast<int32_t>(l.size());
    l.push_back(MmlEvent<T>::makeLoop(LoopOp::LoopStart, -1, 0, 0));
    for (auto [hz, units] : body) {
        auto n = MmlEvent<T>::makeNote(num<T>(hz), num<T>(units));
        n.note.groupLength = n.note.length;
        l.push_back(n);
    }
    const int32_t end = static_cast<int32_t>(l.size());
    l[static_cast<size_t>(start)].loop.partner = end;
    l.push_back(MmlEvent<T>::makeLoop(LoopOp::LoopEnd, -1, start, 0));
}

template <EngineNumType T>
void load(BankPlayer<T>& p, const EventList<T>& list, uint32_t rate) {
    std::array<ToneDefPayload, kToneSlots> tones{};
    for (auto& t : tones) {
        t.dutyCount = 1;
        t.duties[0] = 50;
    }
    p.loadToneTable(tones);
    p.events() = list;
    p.prepare(rate);
}

template <EngineNumType T>
std::unique_ptr<BankSet<T>> waveSet(Wave wave) {
    auto set = std::make_unique<BankSet<T>>();
    EventList<T> l;
    addPrologue(l);
    addTone(l, wave, wave == Wave::Noise ? 0.0f : 50.0f);
    addEndlessLoop(l, {{440, 256}});
    load(set->player(0), l, 48000);
    return set;
}

// Five banks, each with an envelope and a vibrato faded in over 300 ms, bank
// E playing noise; a four-bar melody in an endless loop.
template <EngineNumType T>
std::unique_ptr<BankSet<T>> songSet(uint32_t rate) {
    auto set = std::make_unique<BankSet<T>>();
    const Wave waves[5] = {Wave::Square, Wave::Triangle, Wave::Sawtooth, Wave::Sine, Wave::Noise};
    const double roots[5] = {523.251, 392.0, 261.626, 130.813, 1000.0};
    for (int b = 0; b < 5; ++b) {
        EventList<T> l;
        addPrologue(l);
        l.push_back(MmlEvent<T>::makeInt(EventKind::Volume, 50));
        auto env = MmlEvent<T>::blank(EventKind::EnvelopeDef);
        env.envelopeDef = EnvelopeDefPayload<T>{num<T>(10), num<T>(80), num<T>(60), 255, 180, 0};
        l.push_back(env);
        auto lfo = MmlEvent<T>::blank(EventKind::LfoDef);
        lfo.lfo.mode = 1;
        lfo.lfo.pointCount = 2;
        lfo.lfo.points[0] = LfoPoint{0, 0, 160, 0};
        lfo.lfo.points[1] = LfoPoint{300, 1, 160, 0.3f};
        l.push_back(lfo);
        addTone(l, waves[b], b == 4 ? 20.0f : 37.5f);
        std::vector<std::pair<double, double>> body;
        for (int i = 0; i < 16; ++i) body.push_back({roots[b] * (1.0 + 0.0625 * (i % 5)), i % 4 == 3 ? 32 : 64 - 16 * (i % 2)});
        addEndlessLoop(l, body);
        load(set->player(b), l, rate);
    }
    return set;
}

void setCounters(benchmark::State& state, int64_t frames, int banks, uint32_t rate) {
    state.SetItemsProcessed(frames);
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(frames) / rate, benchmark::Counter::kIsRate);
    state.counters["s/bank-sample"] = benchmark::Counter(static_cast<double>(frames) * banks,
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The timed loop every benchmark shares: one block per iteration into a
// buffer made once. Returns the frames rendered.
template <typename Set>
int64_t renderBlocks(benchmark::State& state, Set& set) {
    std::vector<int16_t> block(2 * kBlockFrames);
    int64_t frames = 0;
    for (auto _ : state) {
        set.Render(std::span<int16_t>(block));
        benchmark::DoNotOptimize(block.data());
        frames += kBlockFrames;
    }
    return frames;
}

template <EngineNumType T, Wave W>
void BM_Wave(benchmark::State& state) {
    auto set = waveSet<T>(W);
    const int64_t frames = renderBlocks(state, *set);
    setCounters(state, frames, 1, 48000);
}

template <EngineNumType T>
void BM_Song(benchmark::State& state) {
    auto set = songSet<T>(48000);
    const int64_t frames = renderBlocks(state, *set);
    setCounters(state, frames, 5, 48000);
}

// One streaming block at 192 kHz lasts 1024 / 192000 s = 5.33 ms.
template <EngineNumType T>
void BM_Block192k(benchmark::State& state) {
    auto set = songSet<T>(192000);
    const int64_t frames = renderBlocks(state, *set);
    setCounters(state, frames, 5, 192000);
    state.counters["block_share_%"] = benchmark::Counter(
        static_cast<double>(state.iterations()) / (100.0 * 192000.0 / kBlockFrames),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

#define TAVOLIN_WAVES(T, name)                                          \
    BENCHMARK(BM_Wave<T, Wave::Square>)->Name("BM_Wave/" name "/square");     \
    BENCHMARK(BM_Wave<T, Wave::Triangle>)->Name("BM_Wave/" name "/triangle"); \
    BENCHMARK(BM_Wave<T, Wave::Sawtooth>)->Name("BM_Wave/" name "/sawtooth"); \
    BENCHMARK(BM_Wave<T, Wave::Sine>)->Name("BM_Wave/" name "/sine");         \
    BENCHMARK(BM_Wave<T, Wave::Noise>)->Name("BM_Wave/" name "/noise");       \
    BENCHMARK(BM_Song<T>)->Name("BM_Song/" name);                             \
    BENCHMARK(BM_Block192k<T>)->Name("BM_Block192k/" name)->Unit(benchmark::kMicrosecond);

TAVOLIN_WAVES(Fix, "Fix")
TAVOLIN_WAVES(float, "Float")
TAVOLIN_WAVES(double, "Double")

}  // namespace
}  // namespace tavolin
