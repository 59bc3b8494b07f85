// SPDX-License-Identifier: MIT
// Seek as a share of a whole render, for the songs where seeking is hardest:
// the ten-minute five-bank song written out note by note with vibrato on
// every note and a noise bank playing past the caret; the same song with
// bank A one slurred chain of vibrato notes; and the song with a second bank
// drawing random numbers (frequency noise beside the noise drum), skipped
// nine minutes as Play far into the song or a passage does; and the written
// song with bank B on a frequency-noise tone, without the noise drum and
// with it, sought to the caret; and bank D a second noise wave beside the
// drum, skipped nine minutes, with bank B on frequency noise too, or with
// banks A to C on frequency noise beside the drum. Each iteration
// renders the whole song once and seeks once; the counters give the medians
// and the share, in processor time. Only public entry points, so the same file measures an
// older engine too.
#include <time.h>

#include <algorithm>
#include <vector>

#include <benchmark/benchmark.h>

#include "output/SongBuilder.h"
#include "synth/NoiseSteps.h"
#include "bench/output/TenMinuteSong.h"

namespace {

using namespace tavolin;
using bench::QuietHost;
using bench::tenMinuteSong;
using bench::typeName;
using bench::cpuSeconds;
using bench::median;
using bench::SeekSong;
using bench::seekSong;

void BM_SeekShare(benchmark::State& state) {
    const int arith = static_cast<int>(state.range(0));
    const auto kind = static_cast<SeekSong>(state.range(1));
    const output::BuildInputs in = seekSong(arith, kind);
    QuietHost host;
    std::vector<int16_t> block(4096 * 2);
    std::vector<double> renders, seeks;
    constexpr uint64_t kSkipFrames = uint64_t{48000} * 540;
    for (auto _ : state) {
        // the whole song, built and rendered to its end as the exporter does
        forgetNoiseSteps();
        output::BuildInputs whole = in;
        whole.startFromCursor = false;
        whole.caret = 0;
        whole.forExport = true;
        output::WaveFormat format;
        double t0 = cpuSeconds();
        auto song = output::MakeGenerator(whole, false, host, format);
        if (!song) {
            state.SkipWithError(("build failed: " + host.last).c_str());
            return;
        }
        song->SetLoop(false);
        song->SetExportMode();
        while (!song->IsFinished()) (void)song->RenderUntilFinished(std::span<int16_t>(block));
        renders.push_back((cpuSeconds() - t0));
        song.reset();

        // the seek: the build with the caret (a cold `render --cursor`), or a skip
        forgetNoiseSteps();
        double seconds = 0.0;
        if (kind == SeekSong::TwoDrawingBanks || kind == SeekSong::TwoNoiseBanks ||
            kind == SeekSong::FrequencyNoiseAndTwoNoiseBanks || kind == SeekSong::ThreeFrequencyNoiseBanks) {
            auto skipped = output::MakeGenerator(in, false, host, format);
            t0 = cpuSeconds();
            skipped->Skip(kSkipFrames);
            seconds = (cpuSeconds() - t0);
            benchmark::DoNotOptimize(skipped->IsFinished());
        } else {
            output::BuildInputs fromCaret = in;
            fromCaret.forExport = true;
            output::BuildInputs build = in;
            build.startFromCursor = false;
            build.caret = 0;
            // the build alone, to take out of the build with the seek
            t0 = cpuSeconds();
            auto plain = output::MakeGenerator(build, false, host, format);
            const double buildOnly = (cpuSeconds() - t0);
            plain.reset();
            t0 = cpuSeconds();
            auto sought = output::MakeGenerator(fromCaret, false, host, format);
            seconds = (cpuSeconds() - t0) - buildOnly;
            benchmark::DoNotOptimize(sought->IsFinished());
        }
        seeks.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    const double r = median(renders), s = median(seeks);
    state.counters["render_ms"] = r * 1e3;
    state.counters["seek_ms"] = s * 1e3;
    state.counters["share_pct"] = r > 0.0 ? 100.0 * s / r : 0.0;
    static const char* const kNames[] = {"written out, vibrato, noise bank plays on", "bank A one slurred vibrato chain",
                                         "two banks drawing, skip 9:00", "bank B frequency noise",
                                         "bank B frequency noise, noise bank plays on", "two noise banks, skip 9:00",
                                         "frequency noise beside two noise banks, skip 9:00",
                                         "three frequency-noise banks beside the drum, skip 9:00"};
    state.SetLabel(std::string(typeName(arith)) + ", " + kNames[static_cast<int>(kind)]);
}
BENCHMARK(BM_SeekShare)->ArgsProduct({{0, 1, 2}, {0, 1, 2, 3, 4, 5, 6, 7}})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
