// SPDX-License-Identifier: MIT
// Play from the cursor: the seek to the last note of a 10-minute five-bank song
// with a noise bank (fast and stepping; looped bars or every note written
// out), the whole render from that caret against the whole song, and Play-to-first-sound on the virtual device with
// the caret at the start and at the end.
#include <atomic>
#include <chrono>
#include <thread>

#include <benchmark/benchmark.h>

#include "output/Playback.h"
#include "output/VirtualAudioDevice.h"
#include "output/WavExport.h"
#include "synth/NoiseSteps.h"
#include "bench/output/TenMinuteSong.h"

namespace {

using namespace tavolin;
using bench::QuietHost;
using bench::tenMinuteSong;
using bench::typeName;


// The whole song, or the song from the caret on its last note, rendered to
// its end as the exporter renders it (build and seek included).
void BM_RenderTenMinutes(benchmark::State& state) {
    const int arith = static_cast<int>(state.range(0));
    const bool fromLastNote = state.range(1) != 0;
    const bool plain = state.range(2) != 0;
    const bool noisePlaysOn = state.range(3) != 0;
    const bool written = state.range(4) != 0;
    QuietHost host;
    std::vector<int16_t> block(4096 * 2);
    uint64_t frames = 0;
    for (auto _ : state) {
        forgetNoiseSteps();  // a first build: no noise steps remembered from another
        output::BuildInputs in = tenMinuteSong(arith, fromLastNote, plain, noisePlaysOn, written);
        in.forExport = true;
        output::WaveFormat format;
        auto song = output::MakeGenerator(in, false, host, format);
        if (!song) {
            state.SkipWithError(("build failed: " + host.last).c_str());
            return;
        }
        song->SetLoop(false);
        song->SetExportMode();
        frames = 0;
        while (!song->IsFinished()) frames += song->RenderUntilFinished(std::span<int16_t>(block));
        benchmark::DoNotOptimize(block.data());
    }
    state.counters["frames"] = static_cast<double>(frames);
    state.SetLabel(std::string(typeName(arith)) + (fromLastNote ? " from the last note" : " whole song") +
                   (plain ? ", no vibrato" : "") + (noisePlaysOn ? ", noise bank plays on" : "") +
                   (written ? ", written out" : ""));
}
BENCHMARK(BM_RenderTenMinutes)->ArgsProduct({{0, 1, 2}, {0, 1}, {0, 1}, {0}, {0, 1}})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_RenderTenMinutes)->ArgsProduct({{0, 1, 2}, {1}, {0}, {1}, {0}})->Unit(benchmark::kMillisecond)->Iterations(1);

// The seek alone: the compiled song moved to the caret on the last note.
void BM_SeekTenMinutes(benchmark::State& state) {
    const int arith = static_cast<int>(state.range(0));
    const auto method = state.range(1) != 0 ? output::SeekMethod::Stepping : output::SeekMethod::Fast;
    const bool noisePlaysOn = state.range(2) != 0;
    const bool written = state.range(3) != 0;
    const output::BuildInputs in = tenMinuteSong(arith, true, false, noisePlaysOn, written);
    std::array<std::string_view, kBankCount> banks;
    for (int b = 0; b < kBankCount; ++b) banks[static_cast<size_t>(b)] = in.tabTexts[static_cast<size_t>(b + 1)];
    const auto run = [&](auto tag) {
        using T = decltype(tag);
        for (auto _ : state) {
            state.PauseTiming();
            forgetNoiseSteps();
            auto set = std::make_unique<BankSet<T>>();
            (void)output::CompileSong<T>(*set, in.tabTexts[0], banks, 48000, 0, in.caret);
            state.ResumeTiming();
            benchmark::DoNotOptimize(output::seekToCursor(*set, UINT64_MAX, method));
        }
    };
    if (arith == 0) run(Fix{});
    else if (arith == 1) run(float{});
    else run(double{});
    state.SetLabel(std::string(typeName(arith)) + (method == output::SeekMethod::Fast ? " fast" : " stepping") +
                   (noisePlaysOn ? ", noise bank plays on" : "") + (written ? ", written out" : ""));
}
BENCHMARK(BM_SeekTenMinutes)->ArgsProduct({{0, 1, 2}, {0}, {0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SeekTenMinutes)->ArgsProduct({{0, 1, 2}, {1}, {0}, {0}})->Unit(benchmark::kMillisecond)->Iterations(1);

// The start of a passage nine minutes into the ten-minute song: the exact
// skip (in closed form while only the noise drum draws random numbers; with
// the song's loop flag on as well) or the whole render up to there,
// discarded. `after`: the same song was skipped to a second earlier just
// before, as a live swap finds it after Play's seek or the swap before.
void BM_SkipNineMinutes(benchmark::State& state) {
    const int arith = static_cast<int>(state.range(0));
    const bool rendered = state.range(1) != 0;
    const bool written = state.range(2) != 0;
    const bool looping = state.range(3) != 0;
    const bool after = state.range(4) != 0;
    const output::BuildInputs in = tenMinuteSong(arith, false, false, false, written);
    constexpr uint64_t kFrames = uint64_t{48000} * 540;
    std::vector<int16_t> block(4096 * 2);
    for (auto _ : state) {
        state.PauseTiming();
        QuietHost host;
        output::WaveFormat format;
        forgetNoiseSteps();
        if (after) {
            auto earlier = output::MakeGenerator(in, false, host, format);
            earlier->SetLoop(looping);
            earlier->Skip(kFrames - 48000);
        }
        auto song = output::MakeGenerator(in, false, host, format);
        song->SetLoop(looping);
        state.ResumeTiming();
        if (rendered) {
            for (uint64_t done = 0; done < kFrames; done += 4096) song->Render(std::span<int16_t>(block));
        } else {
            song->Skip(kFrames);
        }
        benchmark::DoNotOptimize(song->IsFinished());
    }
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(kFrames), benchmark::Counter::kIsIterationInvariantRate);
    state.SetLabel(std::string(typeName(arith)) + (rendered ? " rendered" : " skipped") + (written ? ", written out" : "") +
                   (looping ? ", song looping" : "") + (after ? ", after a skip to 8:59" : ""));
}
BENCHMARK(BM_SkipNineMinutes)->ArgsProduct({{0, 1, 2}, {0, 1}, {0, 1}, {0}, {0}})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SkipNineMinutes)->ArgsProduct({{0, 1, 2}, {0}, {1}, {1}, {0}})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SkipNineMinutes)->ArgsProduct({{0, 1, 2}, {0}, {0, 1}, {0}, {1}})->Unit(benchmark::kMillisecond)->Iterations(3);

// A live swap nine minutes into the ten-minute song when two banks draw
// random numbers side by side (bank B's tone gets frequency noise beside the
// noise drum), so the skip goes through the mixer: from the start, or from
// the checkpoint the builder keeps of the playing song (taken at 8:59,
// before the edit, a note added at bank A's end).
void BM_SwapSeekTwoDrawingBanks(benchmark::State& state) {
    const int arith = static_cast<int>(state.range(0));
    const bool fromCheckpoint = state.range(1) != 0;
    output::BuildInputs before = tenMinuteSong(arith, false);
    before.tabTexts[0] = "@W11:1R1.5:50" + before.tabTexts[0];
    before.tabTexts[2].replace(before.tabTexts[2].find("@1"), 2, "@11");
    output::BuildInputs after = before;
    after.tabTexts[1] += " E";
    constexpr uint64_t kFrames = uint64_t{48000} * 540;
    QuietHost host;
    output::WaveFormat format;
    auto checkpoint = output::MakeGenerator(before, false, host, format);
    checkpoint->Skip(kFrames - 48000);
    checkpoint->settleForCheckpoint();
    for (auto _ : state) {
        state.PauseTiming();
        auto song = output::MakeGenerator(after, false, host, format);
        state.ResumeTiming();
        if (fromCheckpoint) {
            if (!song->adoptStateOf(*checkpoint)) state.SkipWithError("the checkpoint was refused");
            song->Skip(48000);
        } else {
            song->Skip(kFrames);
        }
        benchmark::DoNotOptimize(song->IsFinished());
    }
    state.SetLabel(std::string(typeName(arith)) + (fromCheckpoint ? ", from the checkpoint at 8:59" : ", from the start"));
}
BENCHMARK(BM_SwapSeekTwoDrawingBanks)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond)->Iterations(3);

// A virtual device that notes when the first block with a sound is handed to it.
class FirstSoundDevice final : public output::AudioDevice {
public:
    explicit FirstSoundDevice(std::atomic<int64_t>* firstSoundNs)
        : m_inner({}, std::make_shared<output::VirtualDeviceLog>()), m_firstSoundNs(firstSoundNs) {}
    bool open(const output::WaveFormat& f, output::DeviceCallback cb) override { return m_inner.open(f, std::move(cb)); }
    bool prepareHeader(output::WaveHeader& h) override { return m_inner.prepareHeader(h); }
    bool write(output::WaveHeader& h) override {
        if (m_firstSoundNs->load() == 0) {
            for (uint32_t i = 0; i < h.bufferLength / 2; ++i)
                if (h.data[i] != 0) {
                    m_firstSoundNs->store(std::chrono::steady_clock::now().time_since_epoch().count());
                    break;
                }
        }
        return m_inner.write(h);
    }
    bool unprepareHeader(output::WaveHeader& h) override { return m_inner.unprepareHeader(h); }
    bool pause() override { return m_inner.pause(); }
    bool restart() override { return m_inner.restart(); }
    bool close() override { return m_inner.close(); }

private:
    output::VirtualAudioDevice m_inner;
    std::atomic<int64_t>* m_firstSoundNs;
};

// F5 to first sound: from Play to the first block with a sound handed to the
// device (build, seek, the worker's first blocks and the priming included).
void BM_PlayToFirstSound(benchmark::State& state) {
    const int arith = static_cast<int>(state.range(0));
    const bool atEnd = state.range(1) != 0;
    const bool noisePlaysOn = state.range(2) != 0;
    std::atomic<int64_t> firstSoundNs{0};
    output::Player player([&] { return std::make_unique<FirstSoundDevice>(&firstSoundNs); });
    QuietHost host;
    const output::BuildInputs in = tenMinuteSong(arith, atEnd, false, noisePlaysOn);
    for (auto _ : state) {
        forgetNoiseSteps();
        firstSoundNs.store(0);
        const auto start = std::chrono::steady_clock::now();
        if (!player.StartPlayback(in, false, false, host)) {
            state.SkipWithError(("play failed: " + host.last).c_str());
            return;
        }
        while (firstSoundNs.load() == 0) std::this_thread::yield();
        const auto first = std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(firstSoundNs.load()));
        state.SetIterationTime(std::chrono::duration<double>(first - start).count());
        player.StopPlayback();
    }
    state.SetLabel(std::string(typeName(arith)) + (atEnd ? " caret on the last note" : " caret at the start") +
                   (noisePlaysOn ? ", noise bank plays on" : ""));
}
BENCHMARK(BM_PlayToFirstSound)->ArgsProduct({{0, 1, 2}, {0, 1}, {0}})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PlayToFirstSound)->ArgsProduct({{0, 1, 2}, {1}, {1}})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
