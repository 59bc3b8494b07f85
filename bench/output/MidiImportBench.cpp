// SPDX-License-Identifier: MIT
// MIDI import of a 10-minute, 16-track, 30,000-note file: the reader alone and
// the whole import (lines, banks, grid, text).
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <benchmark/benchmark.h>

#include "music/MidiImport.h"
#include "output/MidiRead.h"

namespace {

using namespace tavolin;

void putVarLen(std::string& s, uint32_t v) {
    std::string r(1, static_cast<char>(v & 0x7F));
    while ((v >>= 7) != 0) r.insert(r.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    s += r;
}
void putBe(std::string& s, uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) s.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
}

// Format 1, 480 ticks a quarter, tempo 120 with a change every 32 bars, 4/4:
// 600 s = 1,200 quarters. Tracks 1..16 on channels 0..15 (track 10 drums);
// every track plays eighths and quarters on a random walk, every fourth track
// in two-note chords, with a controller and a pitch bend now and then.
std::string tenMinuteFile() {
    constexpr uint32_t kQuarter = 480;
    constexpr uint32_t kEnd = 1200 * kQuarter;
    std::mt19937 rng(7);
    std::string file = "MThd";
    putBe(file, 6, 4);
    putBe(file, 1, 2);
    putBe(file, 17, 2);
    putBe(file, kQuarter, 2);
    const auto chunk = [&](std::vector<std::tuple<uint32_t, int, std::string>> ev) {
        std::stable_sort(ev.begin(), ev.end(), [](const auto& a, const auto& b) {
            return std::get<0>(a) != std::get<0>(b) ? std::get<0>(a) < std::get<0>(b) : std::get<1>(a) < std::get<1>(b);
        });
        std::string body;
        uint32_t at = 0;
        for (const auto& [tick, order, bytes] : ev) {
            putVarLen(body, tick - at);
            body += bytes;
            at = tick;
        }
        body += std::string("\x00\xFF\x2F\x00", 4);
        file += "MTrk";
        putBe(file, static_cast<uint32_t>(body.size()), 4);
        file += body;
    };
    std::vector<std::tuple<uint32_t, int, std::string>> conductor{{0, 1, std::string("\xFF\x58\x04\x04\x02\x18\x08", 7)}};
    for (uint32_t bar = 0; bar < 300; bar += 32) {
        std::string t("\xFF\x51\x03", 3);
        putBe(t, 500000 - bar * 200, 3);
        conductor.emplace_back(bar * 4 * kQuarter, 1, t);
    }
    chunk(conductor);
    size_t notes = 0;
    for (int track = 0; track < 16; ++track) {
        std::vector<std::tuple<uint32_t, int, std::string>> ev;
        const char ch = static_cast<char>(track);
        ev.emplace_back(0, 1, std::string{static_cast<char>(0xC0 | ch), static_cast<char>(track * 8)});
        int key = 48 + track * 2;
        const bool chords = track % 4 == 3;
        for (uint32_t at = 0; at < kEnd;) {
            const uint32_t length = (rng() % 4 == 0 ? 2 : 1) * kQuarter / 2 * (chords ? 2 : 1);
            key = std::clamp(key + static_cast<int>(rng() % 7) - 3, 30, 100);
            for (int k = 0; k < (chords ? 2 : 1); ++k) {
                const char kk = static_cast<char>(key - 5 * k);
                ev.emplace_back(at, 2, std::string{static_cast<char>(0x90 | ch), kk, 90});
                ev.emplace_back(at + length, 0, std::string{static_cast<char>(0x80 | ch), kk, 0});
                ++notes;
            }
            if (rng() % 16 == 0) ev.emplace_back(at, 1, std::string{static_cast<char>(0xB0 | ch), 11, 100});
            if (rng() % 16 == 0) ev.emplace_back(at, 1, std::string{static_cast<char>(0xE0 | ch), 0, 70});
            at += length;
        }
        chunk(std::move(ev));
    }
    return file;
}

const std::string& file() {
    static const std::string f = tenMinuteFile();
    return f;
}

void BM_MidiRead(benchmark::State& state) {
    size_t notes = 0;
    for (auto _ : state) {
        const auto r = output::readMidiFile(file());
        notes = std::get<output::MidiData>(r).notes.size();
        benchmark::DoNotOptimize(notes);
    }
    state.counters["notes"] = static_cast<double>(notes);
}
BENCHMARK(BM_MidiRead)->Unit(benchmark::kMillisecond);

void BM_MidiImport(benchmark::State& state) {
    size_t bytes = 0;
    for (auto _ : state) {
        const auto r = music::importMidi(file());
        bytes = 0;
        for (const auto& t : std::get<music::MidiImportResult>(r).tabs) bytes += t.size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["mml_bytes"] = static_cast<double>(bytes);
    state.counters["file_bytes"] = static_cast<double>(file().size());
}
BENCHMARK(BM_MidiImport)->Unit(benchmark::kMillisecond);

}  // namespace
