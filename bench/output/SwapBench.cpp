// SPDX-License-Identifier: MIT
// The live swap at the end of the ten-minute song, on a virtual device that
// plays in real time: from the live result to the first block of the new
// song handed to the device (build, anchor, seek to 9:55, hand-over, the
// wait for the device's next free slot), and from the keystroke (the live
// check's debounce and compile first).
#include <algorithm>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/output/TenMinuteSong.h"
#include "session/LiveCheck.h"
#include "session/LiveSwap.h"
#include "output/VirtualAudioDevice.h"
#include "synth/NoiseSteps.h"

namespace {

using namespace tavolin;
using Clock = std::chrono::steady_clock;

using bench::QuietHost;
using bench::typeName;

constexpr uint64_t kPlayFrom = uint64_t{48000} * 595;  // five seconds before the end

// The song playing from 9:55, its last note (D of bank A) about to change to E.
struct SwapStage {
    output::Player player{output::VirtualAudioDevice::factory({.realTime = true},
                                                              std::make_shared<output::VirtualDeviceLog>())};
    session::LiveSwap swap{player};
    output::BuildInputs before, after;

    SwapStage(int arith, bool plain, bool written = false) {
        before = bench::tenMinuteSong(arith, false, plain, false, written);
        after = before;
        after.tabTexts[1].back() = 'E';
    }
    // Play's own seek to 9:55 is the first: nothing remembered before it.
    // `played`: as though Play had started at the beginning and played up
    // to 9:55, its seek remembering nothing.
    bool start(bool played = false) {
        forgetNoiseSteps();
        QuietHost host;
        output::WaveFormat format;
        auto song = output::MakeGenerator(before, false, host, format);
        if (!song) return false;
        song->Skip(kPlayFrom);
        if (!player.StartPlayback(song, format, host)) return false;
        if (played) forgetNoiseSteps();
        swap.playStarted(before, output::buildSongMap(before, false), {kPlayFrom, false, std::nullopt});
        return true;
    }
    // Offers `map` and waits until the new song's first block is at the
    // device: the seconds from `t0` to then (nullopt, and the error told).
    std::optional<double> handOver(std::shared_ptr<const output::SongMap> map, Clock::time_point t0,
                                   benchmark::State& state) {
        if (!swap.offer(after, std::move(map))) {
            state.SkipWithError("offer refused");
            return std::nullopt;
        }
        const auto limit = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < limit) {
            const output::SwitchReport r = player.lastSwitch();
            if (r.count >= 1 && r.firstBlockSubmitted) return std::chrono::duration<double>(*r.firstBlockSubmitted - t0).count();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        state.SkipWithError("the swap never reached the device");
        return std::nullopt;
    }
    void stop() {
        swap.playStopped();
        player.StopPlayback();
    }
};

void BM_LiveResultToDevice(benchmark::State& state) {
    const int arith = static_cast<int>(state.range(0));
    const bool plain = state.range(1) != 0;
    const bool written = state.range(2) != 0;
    const bool played = state.range(3) != 0;
    SwapStage stage(arith, plain, written);
    const auto map = output::buildSongMap(stage.after, false);
    double seekSeconds = 0, buildSeconds = 0;
    for (auto _ : state) {
        if (!stage.start(played)) {
            state.SkipWithError("cannot play");
            return;
        }
        // As when typing: the stream has been running a while (its start
        // keeps the worker busy filling the queue); when it was played up
        // to here, long enough for the idle builder to have warmed the seek.
        std::this_thread::sleep_for(std::chrono::milliseconds(played ? 1500 : 200));
        stage.swap.edited(1, stage.before.tabTexts[1].size() - 1, 1, 1);
        const std::optional<double> seconds = stage.handOver(map, Clock::now(), state);
        if (!seconds) return;
        state.SetIterationTime(*seconds);
        seekSeconds += std::chrono::duration<double>(stage.swap.report().seek).count();
        buildSeconds += std::chrono::duration<double>(stage.swap.report().build).count();
        stage.stop();
    }
    state.counters["seek_ms"] = benchmark::Counter(seekSeconds * 1000, benchmark::Counter::kAvgIterations);
    state.counters["build_ms"] = benchmark::Counter(buildSeconds * 1000, benchmark::Counter::kAvgIterations);
    state.SetLabel(std::string(typeName(arith)) + (plain ? ", no vibrato" : ", vibrato") + (written ? ", written out" : "") +
                   (played ? ", played from the start" : ""));
}
BENCHMARK(BM_LiveResultToDevice)->ArgsProduct({{1}, {0}, {0, 1}, {1}})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_LiveResultToDevice)->ArgsProduct({{0, 1, 2}, {1, 0}, {0, 1}, {0}})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7)->ReportAggregatesOnly(true);

// The keystroke: the live check's wait (twice the recent compile time, see
// session::CheckPace) and compile, then the same path.
void BM_KeystrokeToDevice(benchmark::State& state) {
    const int arith = static_cast<int>(state.range(0));
    const bool plain = state.range(1) != 0;
    SwapStage stage(arith, plain);
    session::LiveCheck check([](const output::BuildInputs& in) { return output::buildSongMap(in, false); });
    for (auto _ : state) {
        if (!stage.start()) {
            state.SkipWithError("cannot play");
            return;
        }
        const auto t0 = Clock::now();
        stage.swap.edited(1, stage.before.tabTexts[1].size() - 1, 1, 1);
        check.edited(stage.after, t0);
        std::shared_ptr<const output::SongMap> result;
        while (!result) {
            check.poll(Clock::now());
            result = check.takeResult(Clock::now());
            if (!result) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const std::optional<double> seconds = stage.handOver(result, t0, state);
        if (!seconds) return;
        state.SetIterationTime(*seconds);
        stage.stop();
    }
    state.counters["wait_ms"] = std::chrono::duration<double, std::milli>(check.compileWait()).count();
    state.SetLabel(std::string(typeName(arith)) + (plain ? ", no vibrato" : ", vibrato"));
}
BENCHMARK(BM_KeystrokeToDevice)->ArgsProduct({{1}, {1, 0}})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7)->ReportAggregatesOnly(true);

// A scripted typing session on the ten-minute song playing at 9:55: single
// changes of its last note and runs of three to five keys typed 40-120 ms
// apart, each followed by a pause. From the last key of each to its version's
// first block at the device (the next block the device plays: add at most one
// block, 21 ms, for the ear); every version in between is offered as the
// window offers it.
void BM_TypingSession(benchmark::State& state) {
    SwapStage stage(1, false);
    session::LiveCheck check([](const output::BuildInputs& in) { return output::buildSongMap(in, false); });
    std::mt19937 rng(7);
    std::vector<double> ms;
    for (auto _ : state) {
        for (int round = 0; round < 24; ++round) {
            if (!stage.start()) {
                state.SkipWithError("cannot play");
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const int keys = round % 2 ? 1 : 3 + round % 3;
            output::BuildInputs typed = stage.before;
            Clock::time_point lastKey;
            // Keeps the window's loop going (poll, take, offer) until `until`,
            // or until the latest version is taken when `until` is unset.
            const auto run = [&](std::optional<Clock::time_point> until) {
                for (;;) {
                    const auto now = Clock::now();
                    if (until && now >= *until) return true;
                    check.poll(now);
                    if (auto map = check.takeResult(now)) {
                        stage.swap.offer(typed, map);
                        if (!until) return true;
                    }
                    if (!until && now - lastKey > std::chrono::seconds(3)) return false;
                    std::this_thread::sleep_for(std::chrono::microseconds(500));
                }
            };
            for (int k = 0; k < keys; ++k) {
                typed.tabTexts[1].back() = "CDEFGAB"[(round + k) % 7];
                lastKey = Clock::now();
                stage.swap.edited(1, typed.tabTexts[1].size() - 1, 1, 1);
                check.edited(typed, lastKey);
                if (k + 1 < keys) run(lastKey + std::chrono::milliseconds(std::uniform_int_distribution<int>(40, 120)(rng)));
            }
            if (!run(std::nullopt)) {
                state.SkipWithError("the last key's version never came");
                return;
            }
            // The last version offered is the last switch: wait until the
            // switches have been still for 300 ms (one in flight may land first).
            const uint64_t before = stage.player.lastSwitch().count;
            uint64_t seen = before;
            auto changed = Clock::now();
            while (Clock::now() - changed < std::chrono::milliseconds(300) && Clock::now() - lastKey < std::chrono::seconds(3)) {
                if (const uint64_t c = stage.player.lastSwitch().count; c != seen) {
                    seen = c;
                    changed = Clock::now();
                }
                if (seen == before) changed = Clock::now();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            const output::SwitchReport r = stage.player.lastSwitch();
            if (r.count == before || !r.firstBlockSubmitted) {
                state.SkipWithError("the last key's version never reached the device");
                return;
            }
            ms.push_back(std::chrono::duration<double, std::milli>(*r.firstBlockSubmitted - lastKey).count());
            stage.before = typed;  // the next round plays what was typed
            stage.stop();
        }
    }
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p95_ms"] = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
    state.counters["max_ms"] = ms.back();
    state.counters["edits"] = static_cast<double>(ms.size());
}
BENCHMARK(BM_TypingSession)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
