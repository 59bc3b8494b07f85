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
    "@W1:2:30:70V80O4[C4E4G4>C4<]2@LV0:120:20 G2.",
    "@W2:1R20:50V90O3L8[CCGG AAG4]2 F2",
    "@W3:0C100:12.5:25:50V70O2[C2G2]2 C2",
    "@W4:4:60V60L16[CCCC R4]3 C8",
};

TYPED_TEST(CompiledSong, NoteEnergiesAgreeWithDouble) {
    using T = TypeParam;
    // Windows from the notes of bank A in Double.
    auto ref = compileSong<double>("T140", kSong);
    std::vector<std::pair<size_t, size_t>> windows;
    {
        auto probe = compileSong<double>("T140", kSong);
        auto& p = probe->player(0);
        std::array<int16_t, 2> frame{};
        for (size_t f = 0; f < 2000000 && !probe->IsFinished(); ++f) {
            probe->Render(std::span<int16_t>(frame));
            if (p.elapsedSamples() == 1) windows.push_back({f, f + static_cast<size_t>(p.noteLengthSamples())});
        }
    }
    ASSERT_GT(windows.size(), 10u);
    const int64_t frames = static_cast<int64_t>(windows.back().second) + 100;
    const auto a = ref->Render(frames);
    const auto b = compileSong<T>("T140", kSong)->Render(frames);
    for (size_t i = 0; i < windows.size(); ++i) {
        double ea = 0, eb = 0;
        for (size_t k = 2 * windows[i].first; k < 2 * windows[i].second; ++k) {
            ea += double(a[k]) * a[k];
            eb += double(b[k]) * b[k];
        }
        ASSERT_GT(ea, 0) << "note " << i;
        EXPECT_NEAR(eb / ea, 1.0, 0.02) << "note " << i << " frames " << windows[i].first << ".." << windows[i].second;
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
