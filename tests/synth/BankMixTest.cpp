// SPDX-License-Identifier: MIT
// The mixer's mute/solo mask and per-bank taps: left-out banks keep running,
// the taps are each bank's own output, and every mix is the saturated sum of
// the taps of its audible banks, on a song whose banks draw random numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "SongFixture.h"
#include "SynthTestUtil.h"
#include "synth/BankMask.h"

namespace tavolin::test {
namespace {

template <typename T>
class BankMix : public ::testing::Test {};
TYPED_TEST_SUITE(BankMix, EngineTypes);

// Level noise (A, E), the noise wave (B, E), frequency noise (C) and a plain
// bank (D), loud enough together to saturate: every random draw and the
// clamp take part.
const std::string kCommon = "T150";
const std::array<std::string, kBankCount> kBanks = {
    "@W1:0N40:50 @1 V160 O4 L8 [CDEG]6",
    "@W2:4:0 @2 V140 O5 L16 [C R C C]6",
    "@W3:1R30:50 @3 V150 O3 L4 [C G]3",
    "V200 O2 L2 C D C",
    "@W5:4N20:40 @5 V120 O6 L8 [C D R]4",
};
constexpr size_t kFrames = 48000 * 4;  // past the song's end, so the silent tail is checked too

template <EngineNumType T>
std::unique_ptr<BankSet<T>> freshSong() {
    auto set = compileSong<T>(kCommon, kBanks);
    set->SetExportMode();
    return set;
}

// Renders in uneven blocks (a frame, a few, a long stretch), so that block
// edges fall inside note runs and inside frame-by-frame stretches alike.
template <EngineNumType T>
std::vector<int16_t> renderBlocks(BankSet<T>& set, const BankTaps* taps, std::array<std::vector<int16_t>, 5>* tapped,
                                  BankMask mask) {
    std::vector<int16_t> mix(2 * kFrames);
    const size_t pattern[] = {1, 7, 300, 1024, 2, 4096};
    size_t f = 0;
    for (size_t i = 0; f < kFrames; ++i) {
        const size_t n = std::min(pattern[i % std::size(pattern)], kFrames - f);
        set.setAudible(mask);
        BankTaps part;
        if (taps)
            for (size_t b = 0; b < 5; ++b)
                if (!taps->banks[b].empty()) part.banks[b] = std::span<int16_t>((*tapped)[b]).subspan(2 * f, 2 * n);
        set.Render(std::span<int16_t>(mix).subspan(2 * f, 2 * n), taps ? &part : nullptr);
        f += n;
    }
    return mix;
}

std::vector<int16_t> saturatedSum(const std::array<std::vector<int16_t>, 5>& stems, BankMask mask) {
    std::vector<int16_t> out(2 * kFrames);
    for (size_t k = 0; k < out.size(); ++k) {
        int32_t sum = 0;
        for (int b = 0; b < 5; ++b)
            if (mask & bankBit(b)) sum += stems[static_cast<size_t>(b)][k];
        out[k] = static_cast<int16_t>(std::clamp<int32_t>(sum, -32768, 32767));
    }
    return out;
}

// The first differing sample, for a readable failure.
std::string firstDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    if (a.size() != b.size()) return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
    for (size_t k = 0; k < a.size(); ++k)
        if (a[k] != b[k])
            return "frame " + std::to_string(k / 2) + (k % 2 ? " right: " : " left: ") + std::to_string(a[k]) + " vs " +
                   std::to_string(b[k]);
    return "";
}

TYPED_TEST(BankMix, MasksAndTapsAddUpToTheMix) {
    using T = TypeParam;
    // The plain render, untouched by this feature: the reference.
    auto plain = freshSong<T>();
    std::vector<int16_t> reference(2 * kFrames);
    plain->Render(std::span<int16_t>(reference));

    // Every bank tapped in one pass: the taps are the stems.
    std::array<std::vector<int16_t>, 5> stems;
    BankTaps all;
    for (size_t b = 0; b < 5; ++b) {
        stems[b].assign(2 * kFrames, int16_t{-1});
        all.banks[b] = stems[b];
    }
    auto tappedSet = freshSong<T>();
    const std::vector<int16_t> tappedMix = renderBlocks(*tappedSet, &all, &stems, kAllBanks);
    EXPECT_EQ(firstDifference(tappedMix, reference), "") << "tapping changed the mix";
    EXPECT_EQ(firstDifference(saturatedSum(stems, kAllBanks), reference), "") << "the stems do not add up";
    for (size_t b = 0; b < 5; ++b)
        EXPECT_TRUE(std::any_of(stems[b].begin(), stems[b].end(), [](int16_t s) { return s != 0; })) << "bank " << b;
    bool saturates = false;
    for (size_t k = 0; k < reference.size() && !saturates; ++k) {
        int32_t sum = 0;
        for (const auto& s : stems) sum += s[k];
        saturates = sum > 32767 || sum < -32768;
    }
    EXPECT_TRUE(saturates) << "the song should reach the clamp";

    struct Row {
        const char* name;
        MuteSolo flags;
        BankMask expected;
    };
    const Row rows[] = {
        {"solo A", {0, bankBit(0)}, bankBit(0)},
        {"mute A,E", {static_cast<BankMask>(bankBit(0) | bankBit(4)), 0}, static_cast<BankMask>(bankBit(1) | bankBit(2) | bankBit(3))},
        {"solo wins over mute", {bankBit(1), static_cast<BankMask>(bankBit(1) | bankBit(3))}, static_cast<BankMask>(bankBit(1) | bankBit(3))},
        {"mute B only", {bankBit(1), 0}, static_cast<BankMask>(kAllBanks & ~bankBit(1))},
        {"all muted", {kAllBanks, 0}, 0},
        {"nothing set", {0, 0}, kAllBanks},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.flags.audible(), row.expected);
        auto set = freshSong<T>();
        const std::vector<int16_t> out = renderBlocks(*set, nullptr, nullptr, row.flags.audible());
        EXPECT_EQ(firstDifference(out, saturatedSum(stems, row.expected)), "");
        // Tapped and masked at once: the taps stay whole.
        std::array<std::vector<int16_t>, 5> again;
        BankTaps taps;
        for (size_t b = 0; b < 5; ++b) {
            again[b].assign(2 * kFrames, int16_t{-1});
            taps.banks[b] = again[b];
        }
        auto both = freshSong<T>();
        EXPECT_EQ(firstDifference(renderBlocks(*both, &taps, &again, row.flags.audible()), out), "");
        for (size_t b = 0; b < 5; ++b) EXPECT_EQ(firstDifference(again[b], stems[b]), "") << "tap " << b;
    }
}

// A mask changed between two blocks applies from the next sample on, and the
// banks left out meanwhile come back where they would have been.
TYPED_TEST(BankMix, MaskChangedBetweenBlocksTakesEffectAtOnce) {
    using T = TypeParam;
    std::array<std::vector<int16_t>, 5> stems;
    BankTaps all;
    for (size_t b = 0; b < 5; ++b) {
        stems[b].assign(2 * kFrames, 0);
        all.banks[b] = stems[b];
    }
    auto tapped = freshSong<T>();
    std::vector<int16_t> scratch(2 * kFrames);
    tapped->Render(std::span<int16_t>(scratch), &all);

    auto set = freshSong<T>();
    const BankMask masks[] = {kAllBanks, bankBit(0), static_cast<BankMask>(bankBit(2) | bankBit(4)), 0, kAllBanks};
    std::vector<int16_t> out(2 * kFrames);
    const size_t block = 1024;
    for (size_t f = 0, i = 0; f < kFrames; f += block, ++i) {
        const size_t n = std::min(block, kFrames - f);
        const BankMask mask = masks[i % std::size(masks)];
        set->setAudible(mask);
        set->Render(std::span<int16_t>(out).subspan(2 * f, 2 * n));
        const std::vector<int16_t> want = saturatedSum(stems, mask);
        ASSERT_TRUE(std::equal(out.begin() + static_cast<ptrdiff_t>(2 * f), out.begin() + static_cast<ptrdiff_t>(2 * (f + n)),
                               want.begin() + static_cast<ptrdiff_t>(2 * f)))
            << "block " << i << " mask " << int{mask};
    }
}

}  // namespace
}  // namespace tavolin::test
