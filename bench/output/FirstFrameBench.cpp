// SPDX-License-Identifier: MIT
// Through SDL's disk driver: how often the first frame SDL writes after Play
// is the song's, and how soon a mute is heard. BM_FirstFrameHeard plays
// examples/canon.mml 100 times with a device opened for every Play (as
// `tavolin-cli play` does) and with the one device the window keeps open.
// Counters: plays, song_first (the Plays whose first frame heard was the
// song's), late_periods (periods of silence in front of the song, summed over
// the Plays). The disk driver writes a period every 80 ms here.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <benchmark/benchmark.h>

#include "document/DocumentFormat.h"
#include "output/Playback.h"
#include "output/sdl/SdlAudioDevice.h"
#include "bench/output/TenMinuteSong.h"

namespace {

using namespace tavolin;

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Frames of the file the system has seen. The disk driver writes periods of
// 4,096 bytes through stdio, which holds every second one back and passes it
// on with the next: just after the size grows, it holds nothing.
uint64_t framesWritten(const std::filesystem::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) / output::kBytesPerFrame : 0;
}

// The disk driver writing to `name` in the temporary folder, a period every
// kPeriodMs, and canon.mml built once as the reference the file is compared with.
constexpr int kPeriodMs = 80;  // leaves a Play all the time it needs between two periods

struct DiskCanon {
    std::filesystem::path file;
    output::BuildInputs in;
    bench::QuietHost host;
    output::WaveFormat format;
    std::shared_ptr<output::GeneratorWrapper> reference;
};

bool openDiskCanon(benchmark::State& state, const char* name, DiskCanon& d) {
    d.file = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove(d.file);
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", d.file.c_str(), 1);
    ::setenv("SDL_DISKAUDIODELAY", std::to_string(kPeriodMs).c_str(), 1);
    const document::TabTexts tabs = document::readDocumentBytes(readAll(TAVOLIN_SOURCE_DIR "/examples/canon.mml"));
    for (size_t i = 0; i < 6; ++i) d.in.tabTexts[i] = tabs[i];
    d.reference = output::MakeGenerator(d.in, false, d.host, d.format);
    if (!d.reference) state.SkipWithError(("build failed: " + d.host.last).c_str());
    return d.reference != nullptr;
}

void BM_FirstFrameHeard(benchmark::State& state) {
    const bool keep = state.range(0) != 0;
    DiskCanon d;
    if (!openDiskCanon(state, "tavolin-first-frame.raw", d)) return;
    const std::filesystem::path& file = d.file;
    output::BuildInputs& in = d.in;
    bench::QuietHost& host = d.host;
    const output::WaveFormat& format = d.format;
    const auto& reference = d.reference;
    const std::vector<int16_t> firstBlock = reference->Render(int64_t{output::kBlockFrames});
    const std::string firstBytes(reinterpret_cast<const char*>(firstBlock.data()), firstBlock.size() * 2);

    output::PlayerOptions options;
    if (keep) options.keepDevice = format;
    auto player = std::make_unique<output::Player>(output::sdlAudioDeviceFactory(), options);
    int plays = 0;
    int songFirst = 0;
    uint64_t latePeriods = 0;
    int slowPlays = 0;               // kept device: a period may have been written during the Play
    std::vector<uint64_t> playedAt;  // kept device: frames written when each Play began
    for (auto _ : state) {
        uint64_t at = 0;
        auto began = std::chrono::steady_clock::now();
        if (keep) {
            // Play right after a period has reached the file: SDL's next
            // period is the first one written after the Play.
            const uint64_t before = framesWritten(file);
            while ((at = framesWritten(file)) == before) std::this_thread::sleep_for(std::chrono::microseconds(200));
            began = std::chrono::steady_clock::now();
        }
        if (!player->StartPlayback(in, false, false, host)) {
            state.SkipWithError(("play failed: " + host.last).c_str());
            return;
        }
        if (keep) {
            if (std::chrono::steady_clock::now() - began < std::chrono::milliseconds(kPeriodMs / 2)) playedAt.push_back(at);
            else ++slowPlays;
        }
        while (player->blocksHeard() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        player->StopPlayback();
        ++plays;
        if (!keep) {
            // The device was opened for this Play: the file holds only what followed it.
            const std::string bytes = readAll(file);
            const size_t at = bytes.find(firstBytes);
            if (at == 0) ++songFirst;
            if (at != std::string::npos) latePeriods += at / output::kBlockBytes;
        }
        // Varies where in the device's period the next Play falls.
        if (!keep) std::this_thread::sleep_for(std::chrono::microseconds(1000 + 3700 * (plays % 7)));
    }
    if (keep) {
        player.reset();
        const std::string bytes = readAll(file);
        for (uint64_t at : playedAt) {
            const size_t found = bytes.find(firstBytes, static_cast<size_t>(at) * output::kBytesPerFrame);
            if (found == std::string::npos) continue;
            const uint64_t frame = found / output::kBytesPerFrame;
            if (frame == at) ++songFirst;
            latePeriods += (frame - at) / output::kBlockFrames;
        }
    }
    std::filesystem::remove(file);
    state.counters["plays"] = plays;
    state.counters["song_first"] = songFirst;
    state.counters["late_periods"] = static_cast<double>(latePeriods);
    if (keep) state.counters["slow_plays"] = slowPlays;  // not counted: took half a period or more
    state.SetLabel(keep ? "one device kept open (the window)" : "a device opened per Play (the CLI)");
}
BENCHMARK(BM_FirstFrameHeard)->Arg(0)->Arg(1)->Iterations(100)->Unit(benchmark::kMillisecond);


// Mute through the window's kept device: bank A of canon.mml is muted right
// after a period has reached the file, and the bench finds the first period
// without it. Counters: changes, next_period (changes heard from the first
// period SDL wrote after the request, that is within one period: 21.3 ms at
// 48 kHz, plus what the sound system holds), late_periods (beyond that, summed).
void BM_MuteHeard(benchmark::State& state) {
    DiskCanon d;
    if (!openDiskCanon(state, "tavolin-mute-heard.raw", d)) return;
    const std::filesystem::path& file = d.file;
    output::BuildInputs& in = d.in;
    bench::QuietHost& host = d.host;
    const output::WaveFormat& format = d.format;
    const auto& reference = d.reference;
    // Every bank's own output over the first 16 blocks.
    constexpr size_t kBlocks = 16;
    std::array<std::vector<int16_t>, 5> banks;
    BankTaps taps;
    for (size_t b = 0; b < 5; ++b) {
        banks[b].assign(kBlocks * output::kBlockSamples, 0);
        taps.banks[b] = banks[b];
    }
    std::vector<int16_t> mix(kBlocks * output::kBlockSamples);
    reference->Render(std::span<int16_t>(mix), &taps);
    const BankMask withoutA = static_cast<BankMask>(kAllBanks & ~bankBit(0));
    const auto mixOf = [&](BankMask mask, size_t from, size_t samples) {
        std::string out(samples * 2, '\0');
        for (size_t k = 0; k < samples; ++k) {
            int32_t sum = 0;
            for (size_t b = 0; b < 5; ++b)
                if (mask & bankBit(static_cast<int>(b))) sum += banks[b][from + k];
            const auto v = static_cast<int16_t>(std::clamp(sum, -32768, 32767));
            std::memcpy(out.data() + 2 * k, &v, 2);
        }
        return out;
    };
    const std::string firstBytes = mixOf(kAllBanks, 0, output::kBlockSamples);

    output::PlayerOptions options;
    options.keepDevice = format;
    auto player = std::make_unique<output::Player>(output::sdlAudioDeviceFactory(), options);
    std::vector<uint64_t> mutedAt;
    int slow = 0;
    for (auto _ : state) {
        player->setAudibleBanks(kAllBanks);
        if (!player->StartPlayback(in, false, false, host)) {
            state.SkipWithError(("play failed: " + host.last).c_str());
            return;
        }
        while (player->blocksHeard() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const uint64_t before = framesWritten(file);
        uint64_t at = 0;
        while ((at = framesWritten(file)) == before) std::this_thread::sleep_for(std::chrono::microseconds(200));
        const auto began = std::chrono::steady_clock::now();
        player->setAudibleBanks(withoutA);
        if (std::chrono::steady_clock::now() - began < std::chrono::milliseconds(kPeriodMs / 2)) mutedAt.push_back(at);
        else ++slow;
        while (player->blocksHeard() < 7) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        player->StopPlayback();
    }
    player.reset();
    const std::string bytes = readAll(file);
    int nextPeriod = 0;
    uint64_t latePeriods = 0;
    size_t searchFrom = 0;
    for (uint64_t at : mutedAt) {
        // The song's start in the file, then the first whole period without bank A.
        const size_t start = bytes.find(firstBytes, searchFrom);
        if (start == std::string::npos) break;
        searchFrom = start + 1;
        const uint64_t songStart = start / output::kBytesPerFrame;
        for (uint64_t frame = at; frame + output::kBlockFrames <= songStart + kBlocks * output::kBlockFrames; frame += output::kBlockFrames) {
            const size_t from = static_cast<size_t>(frame - songStart) * 2;
            if (bytes.compare(static_cast<size_t>(frame) * output::kBytesPerFrame, output::kBlockBytes,
                              mixOf(withoutA, from, output::kBlockSamples)) != 0)
                continue;
            if (frame == at) ++nextPeriod;
            latePeriods += (frame - at) / output::kBlockFrames;
            break;
        }
    }
    std::filesystem::remove(file);
    state.counters["changes"] = static_cast<double>(mutedAt.size());
    state.counters["next_period"] = nextPeriod;
    state.counters["late_periods"] = static_cast<double>(latePeriods);
    state.counters["slow"] = slow;
    state.SetLabel("bank A muted during canon.mml, one device kept open");
}
BENCHMARK(BM_MuteHeard)->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace
