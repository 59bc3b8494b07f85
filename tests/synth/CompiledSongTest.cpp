// SPDX-License-Identifier: MIT
// Songs compiled from MML text: timing, loops, pitch and type agreement end to end.
#include <gtest/gtest.h>

#include <cmath>

#include "SongFixture.h"
#include "SynthTestUtil.h"

namespace tavolin::test {
namespace {

template <typename T>
class CompiledSong : public ::testing::Test {};
TYPED_TEST_SUITE(CompiledSong, EngineTypes);

// Note lengths (samples) of the notes bank A starts, in order.
template <EngineNumType T>
std::vector<int32_t> noteLengths(BankSet<T>& set, size_t maxFrames) {
    std::vector<int32_t> out;
    auto& p = set.player(0);
    for (size_t f = 0; f < maxFrames && p.hasEventsLeft(); ++f) {
        set.Render(std::span<int16_t>());  // no frames: must not advance
        std::array<int16_t, 2> frame{};
        set.Render(std::span<int16_t>(frame));
        if (p.elapsedSamples() == 1) out.push_back(p.noteLengthSamples());
    }
    return out;
}

TYPED_TEST(CompiledSong, Tempo133QuarterNotes) {
    using T = TypeParam;
    auto set = compileSong<T>("T133", {"CCCCCCCCCCCCCCCC", "", "", "", ""});
    const auto lengths = noteLengths(*set, 16 * 21655 + 10);
    ASSERT_EQ(lengths.size(), 16u);
    for (size_t i = 0; i < lengths.size(); ++i)
        EXPECT_EQ(lengths[i], (i == 7 || i == 14) ? 21655 : 21654) << "note " << i + 1;
    EXPECT_TRUE(set->IsFinished());
}

TYPED_TEST(CompiledSong, LoopAndBreakOrder) {
    using T = TypeParam;
    struct Row { const char* mml; std::vector<int> cycleOrder; };
    // Cycle lengths in samples identify the notes: C4 183, D4 163, E4 145, F4 137.
    const Row rows[] = {
        {"L16[C:D]3", {183, 163, 183, 163, 183}},
        {"L16[CD:E]2F", {183, 163, 145, 183, 163, 137}},
        {"L16[[C]2D]2", {183, 183, 163, 183, 183, 163}},
    };
    for (const auto& row : rows) {
        auto set = compileSong<T>("", {row.mml, "", "", "", ""});
        std::vector<int> order;
        auto& p = set->player(0);
        std::array<int16_t, 2> frame{};
        for (int f = 0; f < 200000 && p.hasEventsLeft(); ++f) {
            set->Render(std::span<int16_t>(frame));
            if (p.elapsedSamples() == 1) order.push_back(static_cast<int>(toD(p.cycleLength())));
        }
        EXPECT_EQ(join(order), join(row.cycleOrder)) << row.mml;
    }
}

// The table's A4 through the default tones 0..3 (square, triangle, sawtooth,
// sine) sounds at 440 Hz within 0.2 %.
TYPED_TEST(CompiledSong, TableA4IsAt440Hz) {
    using T = TypeParam;
    for (const char* mml : {"@0P0A1", "@1P0A1", "@2P0A1", "@3P0A1", "@5P0N57:1", "@7P0X440:1"}) {
        auto set = compileSong<T>("", {mml, "", "", "", ""});
        const auto s = set->Render(96000);
        std::vector<size_t> ups;
        for (size_t i = 1; i < 96000; ++i)
            if (s[2 * (i - 1)] < 0 && s[2 * i] >= 0) ups.push_back(i);
        ASSERT_GT(ups.size(), 100u) << mml;
        const double hz = 48000.0 * static_cast<double>(ups.size() - 1) / static_cast<double>(ups.back() - ups.front());
        EXPECT_NEAR(hz, 440.0, 0.88) << mml;
    }
}

// A five-bank song with envelopes, a faded-in vibrato, tremolo, slurs, noise
// and loops: Fix and Float carry the same per-note energy as Double (2 %).
const std::array<std::string, kBankCount> kSong = {
    "@ED1:5:60:80:255:170@E1V90[O5C8D8E8F8G4&A4R8]2@LT0S:150:0:300L:150:40 B2",
    "@W1:2N10:30:70@1V80O4[C4E4G4>C4<]2@LV0:120:20 G2.",
    "@W2:1R20:50@2V90O3L8[CCGG AAG4]2 F2",
    "@W3:0C100:12.5:25:50@3V70O2[C2G2]2 C2",
    "@W4:4:60@4V60L16[CCCC R4]3 C8",
};

// Each bank alone, so that its random draws line up across the types.
TYPED_TEST(CompiledSong, NoteEnergiesAgreeWithDouble) {
    using T = TypeParam;
    for (int bank = 0; bank < kBankCount; ++bank) {
        std::array<std::string, kBankCount> solo{};
        solo[static_cast<size_t>(bank)] = kSong[static_cast<size_t>(bank)];
        std::vector<std::pair<size_t, size_t>> windows;
        {
            auto probe = compileSong<double>("T140", solo);
            auto& p = probe->player(bank);
            std::array<int16_t, 2> frame{};
            for (size_t f = 0; f < 2000000 && !probe->IsFinished(); ++f) {
                probe->Render(std::span<int16_t>(frame));
                if (p.elapsedSamples() == 1) windows.push_back({f, f + static_cast<size_t>(p.noteLengthSamples())});
            }
        }
        ASSERT_GT(windows.size(), 4u) << "bank " << bank;
        const int64_t frames = static_cast<int64_t>(windows.back().second) + 100;
        const auto a = compileSong<double>("T140", solo)->Render(frames);
        const auto b = compileSong<T>("T140", solo)->Render(frames);
        for (size_t i = 0; i < windows.size(); ++i) {
            double ea = 0, eb = 0;
            for (size_t k = 2 * windows[i].first; k < 2 * windows[i].second; ++k) {
                ea += double(a[k]) * a[k];
                eb += double(b[k]) * b[k];
            }
            if (ea == 0) {
                EXPECT_EQ(eb, 0) << "bank " << bank << " note " << i << " (a rest)";
                continue;
            }
            EXPECT_NEAR(eb / ea, 1.0, 0.02) << "bank " << bank << " note " << i << " frames " << windows[i].first << ".." << windows[i].second;
        }
    }
}

TYPED_TEST(CompiledSong, RenderIsByteIdenticalWhenRepeated) {
    using T = TypeParam;
    const auto first = compileSong<T>("T140", kSong)->Render(300000);
    const auto second = compileSong<T>("T140", kSong)->Render(300000);
    EXPECT_TRUE(first == second);
    EXPECT_GT(std::count_if(first.begin(), first.end(), [](int16_t v) { return v != 0; }), 100000);
}

}  // namespace
}  // namespace tavolin::test

namespace tavolin::test {
namespace {

// The mixer renders stretches bank by bank when that cannot change the
// random draws; it must give exactly the frame-by-frame mix of renderFrame.
TYPED_TEST(CompiledSong, MixerMatchesFrameByFrameRendering) {
    using T = TypeParam;
    for (bool loop : {false, true}) {
        auto mixed = compileSong<T>("T140", kSong);
        auto stepped = compileSong<T>("T140", kSong);
        mixed->SetLoop(loop);
        stepped->SetLoop(loop);
        const size_t frames = 700000;
        std::vector<int16_t> a;
        for (int64_t n : {1000, 1, 4096, 77, 300000, 394826}) {
            const auto part = mixed->Render(n);
            a.insert(a.end(), part.begin(), part.end());
        }
        ASSERT_EQ(a.size(), 2 * frames);
        size_t firstDiff = frames;
        for (size_t f = 0; f < frames; ++f) {
            bool anyPlaying = false;
            for (int b = 0; b < kBankCount; ++b) anyPlaying = anyPlaying || stepped->player(b).hasEventsLeft();
            int32_t l = 0, r = 0;
            for (int b = 0; b < kBankCount; ++b) {
                const StereoSample s = stepped->player(b).renderFrame(anyPlaying);
                l += s.left;
                r += s.right;
            }
            if (firstDiff == frames && (a[2 * f] != clampToInt16(l) || a[2 * f + 1] != clampToInt16(r))) firstDiff = f;
        }
        EXPECT_EQ(firstDiff, frames) << "loop " << loop;
        EXPECT_EQ(mixed->IsFinished(), stepped->IsFinished());
    }
}

}  // namespace
}  // namespace tavolin::test
