// SPDX-License-Identifier: MIT
// The streaming worker's cost: one block of 1,024 frames rendered per call,
// per arithmetic type and rate, against the block's duration; and the
// exporter's whole-song throughput.
#include <filesystem>
#include <fstream>
#include <iterator>

#include <benchmark/benchmark.h>

#include "document/DocumentFormat.h"
#include "output/Playback.h"
#include "output/WavExport.h"

namespace {

using namespace tavolin;

class QuietHost final : public output::ExportHost {
public:
    void messageBox(const std::string& text) override { last = text; }
    void selectTab(int) override {}
    void selectText(uint64_t, uint64_t) override {}
    std::optional<std::string> askSavePath(const output::SaveDialogRequest&) override { return path; }
    bool exportProgress(uint64_t, double) override { return true; }
    void exportFileFailed(const output::ExportFileFailure& f) override { last = f.path; }
    std::string last;
    std::string path;
};

// The demo song when it exists, else the test song with all its banks.
output::BuildInputs demoInputs(int arith, uint32_t rate) {
    std::filesystem::path file = TAVOLIN_SOURCE_DIR "/examples/demo.mml";
    if (!std::filesystem::exists(file)) file = TAVOLIN_SOURCE_DIR "/tests/data/output/banks.mml";
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    document::TabTexts tabs = document::readDocumentBytes(bytes);
    output::BuildInputs inputs;
    for (int i = 0; i < 6; ++i) inputs.tabTexts[static_cast<size_t>(i)] = tabs[static_cast<size_t>(i)];
    inputs.arith = static_cast<Arith>(arith);
    inputs.sampleRateHz = static_cast<uint32_t>(rate);
    return inputs;
}

// A five-bank song of `seconds` at tempo 120 with an envelope and vibrato on every bank.
output::BuildInputs longSong(int seconds, int arith) {
    output::BuildInputs in;
    in.tabTexts[0] = "@ED1:10:40:60:255:170@E1@LT0:160:25V45L4";
    const char* octaves[] = {"O5", "O4", "O3", "O6", "O2"};
    for (int b = 0; b < 5; ++b)
        in.tabTexts[static_cast<size_t>(b + 1)] =
            std::string(octaves[b]) + "@" + std::to_string(b % 4) + "[CDEFGAB>C<]" + std::to_string(seconds / 4);
    in.arith = static_cast<Arith>(arith);
    return in;
}

void BM_WorkerBlock(benchmark::State& state) {
    const int arith = static_cast<int>(state.range(0));
    const uint32_t rate = static_cast<uint32_t>(state.range(1));
    QuietHost host;
    output::WaveFormat format;
    auto song = output::MakeGenerator(demoInputs(arith, rate), false, host, format);
    if (!song) {
        state.SkipWithError(("build failed: " + host.last).c_str());
        return;
    }
    song->SetLoop(true);  // the worker renders a looping song for as long as it plays
    output::StreamPcmBufferOne block;
    for (auto _ : state) {
        song->Render(std::span<int16_t>(block.samples));
        benchmark::DoNotOptimize(block.samples.data());
        benchmark::ClobberMemory();
    }
    const double blockSeconds = double{output::kBlockFrames} / rate;
    state.counters["block_ms"] = blockSeconds * 1000.0;
    state.counters["pct_of_block"] = benchmark::Counter(blockSeconds / 100.0, benchmark::Counter::kIsIterationInvariantRate |
                                                                                  benchmark::Counter::kInvert);
    state.SetItemsProcessed(state.iterations() * output::kBlockFrames);
    state.SetLabel(std::string(arithName(static_cast<Arith>(arith))) + " " + std::to_string(rate) + " Hz");
}
BENCHMARK(BM_WorkerBlock)
    ->ArgsProduct({{0, 1, 2}, {48000, 192000}})
    ->Unit(benchmark::kMicrosecond);

void BM_ExportLongSong(benchmark::State& state) {
    const int arith = static_cast<int>(state.range(0));
    const int seconds = 180;
    QuietHost host;
    host.path = (std::filesystem::temp_directory_path() / "tavolin-bench-export.wav").string();
    for (auto _ : state) {
        output::WaveFormat format;
        auto song = output::MakeGenerator(longSong(seconds, arith), false, host, format);
        if (!song) {
            state.SkipWithError(("build failed: " + host.last).c_str());
            return;
        }
        if (output::writeSongToWav(*song, format, host.path, host) != output::ExportOutcome::Written) {
            state.SkipWithError("export failed");
            return;
        }
    }
    std::filesystem::remove(host.path);
    state.counters["x_realtime"] =
        benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
    state.SetItemsProcessed(state.iterations() * int64_t{seconds} * 48000);
    state.SetLabel(std::string(arithName(static_cast<Arith>(arith))) + " 180 s five banks");
}
BENCHMARK(BM_ExportLongSong)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(2);

// What every export now spends before its first frame: the length walk of the
// same song (the plan, with and without a fade), to compare with the export.
void BM_PlanExportLongSong(benchmark::State& state) {
    const int arith = static_cast<int>(state.range(0));
    QuietHost host;
    output::WaveFormat format;
    auto song = output::MakeGenerator(longSong(180, arith), false, host, format);
    if (!song) {
        state.SkipWithError(("build failed: " + host.last).c_str());
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(output::planExport(*song, 2, state.range(1) ? 10.0 : 0.0));
    state.SetLabel(std::string(arithName(static_cast<Arith>(arith))) + (state.range(1) ? " 180 s, fade" : " 180 s"));
}
BENCHMARK(BM_PlanExportLongSong)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMicrosecond);

}  // namespace

namespace {

// The same song rendered in whole blocks, for comparison with the exporter's
// frame-exact loop: the difference is the cost of finding the exact end.
void BM_RenderLongSongInBlocks(benchmark::State& state) {
    const int arith = static_cast<int>(state.range(0));
    const int seconds = 180;
    QuietHost host;
    std::vector<int16_t> block(4096 * 2);
    for (auto _ : state) {
        output::WaveFormat format;
        auto song = output::MakeGenerator(longSong(seconds, arith), false, host, format);
        if (!song) {
            state.SkipWithError(("build failed: " + host.last).c_str());
            return;
        }
        song->SetExportMode();
        while (!song->IsFinished()) song->Render(std::span<int16_t>(block));
        benchmark::DoNotOptimize(block.data());
    }
    state.counters["x_realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
    state.SetLabel(std::string(arithName(static_cast<Arith>(arith))) + " 180 s five banks, blocks");
}
BENCHMARK(BM_RenderLongSongInBlocks)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

namespace {

// The worker's block with the window watching: every bank's own samples
// tapped by the mixer and written into its ring (mode 1), or one bank muted
// without taps (mode 2); mode 0 is the plain block, for comparison. Mode 3
// is what playback does now: every bank tapped into the block, and the
// device's mix of the banks heard (bank C muted) taken out of it.
void BM_WorkerBlockTaps(benchmark::State& state) {
    const int arith = static_cast<int>(state.range(0));
    const int mode = static_cast<int>(state.range(1));
    QuietHost host;
    output::WaveFormat format;
    auto song = output::MakeGenerator(demoInputs(arith, 48000), false, host, format);
    if (!song) {
        state.SkipWithError(("build failed: " + host.last).c_str());
        return;
    }
    song->SetLoop(true);
    output::StreamPcmBufferOne block;
    auto taps = std::make_unique<output::StreamTaps>();
    BankTaps bankTaps;
    for (size_t b = 0; b < 5; ++b) bankTaps.banks[b] = block.banks[b];
    if (mode == 2) song->setAudible(static_cast<BankMask>(kAllBanks & ~bankBit(2)));
    const std::atomic<BankMask> heard{static_cast<BankMask>(kAllBanks & ~bankBit(2))};
    block.audible = &heard;
    std::array<int16_t, output::kBlockSamples> device{};
    for (auto _ : state) {
        if (mode == 1) {
            song->Render(std::span<int16_t>(block.samples), &bankTaps);
            for (size_t b = 0; b < 5; ++b) taps->rings.banks[b].writeStereo(bankTaps.banks[b]);
        } else if (mode == 3) {
            song->Render(std::span<int16_t>(block.samples), &bankTaps);
            block.read(0, device);
            benchmark::DoNotOptimize(device.data());
        } else {
            song->Render(std::span<int16_t>(block.samples));
        }
        benchmark::DoNotOptimize(block.samples.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * output::kBlockFrames);
    static const char* kModes[] = {"plain", "taps + rings", "bank C muted", "taps, device mix without C"};
    state.SetLabel(std::string(arithName(static_cast<Arith>(arith))) + " 48000 Hz, " + kModes[mode]);
}
BENCHMARK(BM_WorkerBlockTaps)->ArgsProduct({{0, 1, 2}, {0, 1, 2, 3}})->Unit(benchmark::kMicrosecond);

// The five stems of the 180-second song in one pass, against the export of
// the mix (BM_ExportLongSong).
void BM_ExportStemsLongSong(benchmark::State& state) {
    const int arith = static_cast<int>(state.range(0));
    QuietHost host;
    std::array<std::string, kBankCount> paths;
    for (int b = 0; b < kBankCount; ++b)
        paths[static_cast<size_t>(b)] =
            (std::filesystem::temp_directory_path() / ("tavolin-bench-stem-" + std::to_string(b) + ".wav")).string();
    for (auto _ : state) {
        output::WaveFormat format;
        auto song = output::MakeGenerator(longSong(180, arith), false, host, format);
        if (!song || output::writeStems(*song, format, paths, host) != output::ExportOutcome::Written) {
            state.SkipWithError("stems failed");
            return;
        }
    }
    for (const std::string& p : paths) std::filesystem::remove(p);
    state.counters["x_realtime"] = benchmark::Counter(180, benchmark::Counter::kIsIterationInvariantRate);
    state.SetLabel(std::string(arithName(static_cast<Arith>(arith))) + " 180 s, five stems");
}
BENCHMARK(BM_ExportStemsLongSong)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
