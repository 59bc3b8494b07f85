// SPDX-License-Identifier: MIT
// Passages: a stretch of the song rendered after an exact skip is the same
// stretch of the whole render, once or looped; and the points that name it.
#include <gtest/gtest.h>

#include "output/Passage.h"
#include "tests/output/OutputTestSupport.h"

namespace tavolin::testing {
namespace {

template <typename T>
class Passage : public ::testing::Test {};
TYPED_TEST_SUITE(Passage, ArithTypes);

template <EngineNumType T>
std::shared_ptr<output::GeneratorWrapper> build(const std::array<std::string, 6>& tabs) {
    output::BuildInputs in;
    in.tabTexts = tabs;
    in.sampleRateHz = 22050;
    in.arith = arithOf<T>();
    in.forExport = true;
    return buildOrFail(in);
}

// Block by block, as playback renders; the song's passage decides where it ends.
std::vector<int16_t> renderBlocksToEnd(output::GeneratorWrapper& song) {
    std::vector<int16_t> out, block(2 * 1000);
    while (!song.IsFinished()) {
        const size_t n = song.RenderUntilFinished(block);
        out.insert(out.end(), block.begin(), block.begin() + static_cast<ptrdiff_t>(2 * n));
    }
    return out;
}

std::vector<int16_t> slice(const std::vector<int16_t>& v, uint64_t from, uint64_t to) {
    return {v.begin() + static_cast<ptrdiff_t>(2 * from), v.begin() + static_cast<ptrdiff_t>(2 * to)};
}

// Tone 1 is the noise wave and tone 2 a square with level and frequency
// noise: two banks drawing random numbers at once, so the skip must keep
// their draws interleaved as the mix does.
const std::string kNoisy = "T150L8@W1:4:50@W2:0R20N30:50";
// An envelope and vibrato on every note.
const std::string kVibrato = "T240@ED1:10:40:60:255:170@E1@LT0:160:25L8";

TYPED_TEST(Passage, IsTheSameStretchOfTheWholeRender) {
    using T = TypeParam;
    struct Row {
        const char* name;
        std::array<std::string, 6> tabs;
        uint64_t from;
        int64_t to;  // -1: the song's end
    };
    const Row rows[] = {
        {"plain, mid-note to mid-note", {"T120L4", "O4CDEFG", "O3C2G2"}, 7000, 30001},
        {"from the start", {"T120L4", "O4CDEFG"}, 0, 11025},
        {"to the end", {"T120L4", "O4CDEFG", "O3C2G2"}, 20000, -1},
        {"two noisy banks", {kNoisy, "@1O4CDEFGAB", "@2O5[CEG]3", "@2O3C4C4"}, 12345, 35000},
        {"one noisy bank among tones with noise", {kNoisy, "@1O4CDEFGAB", "O5[CEG]3"}, 9999, -1},
        {"one bank on the noise slot", {"T120L8", "O4CDEFGAB", "@4O5CCRC", "O3C2"}, 7777, 30000},
        {"tempo changes", {"T120L8", "O4CD T200 EF T70 GA", "O5 T90 C4 T240 DE"}, 15000, 33000},
        {"counted loop with a break", {"T180L8", "O4[CD:EF]3 G", "O2[C:R]4"}, 8000, 40000},
        {"endless loop, played once", {"T160L8", "O4C[DE:F]G", "O5C4"}, 3000, -1},
        {"macro and slurs", {"T140L8@!AC&D E!", "O4!A R !A", "O3G&A4"}, 5000, 30000},
        {"vibrato written out, a noise bank", {kVibrato, "O5" + times("CDEFGAB", 8), "O3@2" + times("CEG", 16), "", "", "@4O4" + times("C16R16", 40)},
         70001, 90000},
    };
    for (const Row& row : rows) {
        auto whole = build<T>(row.tabs);
        ASSERT_TRUE(whole) << row.name;
        const std::vector<int16_t> all = renderBlocksToEnd(*whole);
        const uint64_t to = row.to < 0 ? all.size() / 2 : static_cast<uint64_t>(row.to);
        ASSERT_LT(row.from, to) << row.name;
        ASSERT_LE(to, all.size() / 2) << row.name;
        const std::vector<int16_t> want = slice(all, row.from, to);

        auto once = build<T>(row.tabs);
        once->Skip(row.from);
        once->setPassage(to - row.from, false);
        const std::vector<int16_t> got = renderBlocksToEnd(*once);
        EXPECT_TRUE(got == want) << row.name << " once\n" << firstDifference(got, want);

        // Looped, in blocks that do not divide the passage: every pass the same.
        auto looped = build<T>(row.tabs);
        looped->Skip(row.from);
        looped->setPassage(to - row.from, true);
        std::vector<int16_t> passes;
        std::vector<int16_t> block(2 * 1024);
        while (passes.size() < 3 * want.size() + 500) {
            looped->Render(std::span<int16_t>(block));
            EXPECT_FALSE(looped->IsFinished()) << row.name;
            passes.insert(passes.end(), block.begin(), block.end());
        }
        for (size_t pass = 0; pass < 3; ++pass) {
            const std::vector<int16_t> p(passes.begin() + static_cast<ptrdiff_t>(pass * want.size()),
                                         passes.begin() + static_cast<ptrdiff_t>((pass + 1) * want.size()));
            EXPECT_TRUE(p == want) << row.name << " pass " << pass + 1 << "\n" << firstDifference(p, want);
        }
    }
}

// The skip to many places of vibrato songs written out note by note, with
// one bank drawing random numbers (every bank skips on its own) or two and
// three (their draws interleaved as the mixer takes them), the song played once or
// looping (the skip crossing its end or not): from each place, the next
// frames are the whole render's.
TYPED_TEST(Passage, SkipLandsOnTheWholeRenderEverywhere) {
    using T = TypeParam;
    const std::array<std::string, 6> songs[] = {
        {kVibrato, "O5" + times("CDEFGAB>C<", 6), "O4@1" + times("CEGC", 12), "O6" + times("C&D", 12), "", "@4O4" + times("C16R16C32C32R16", 20)},
        {kVibrato + "@W2:0R20N30:50", "@2O5" + times("CDEF", 12), "@4O3" + times("CRC", 16), "O4" + times("GA", 24)},
        // frequency noise (draws at boundaries) beside a noise drum and a
        // level-noise bank (draw every sample), a slurred vibrato chain aside
        {kVibrato + "@W3:0R25:50@W5:1N40:50", "O5" + times("C&D&E&F&", 12) + "G", "@3O4" + times("CDEF", 12),
         "@5O3" + times("CR", 24), "", "@4O4" + times("C16R16C32C32R16", 20)},
        // two drawing banks only, frequency noise mixed before the noise
        // drum and after it (with level noise); bank A's slurred chain never
        // selects the noisy tone the common text defines
        {kVibrato + "@W3:0R25:50", "O5" + times("C&D&E&F&", 12) + "G", "@3O4" + times("CDEF", 12), "", "",
         "@4O4" + times("C16R16C32C32R16", 20)},
        {kVibrato + "@W3:1R25:50@W6:4N20:0", "@6O4" + times("C16R16C32C32R16", 20), "O5" + times("C&D&E&F&", 12) + "G", "",
         "@3O3" + times("CEG", 16), ""},
        // noise banks side by side, one with level noise, low notes with
        // silent tails, and then three of them
        {kVibrato + "@W7:4N30:0", "O5" + times("CDEF", 12), "", "", "@4O2" + times("C8D8R8", 16),
         "@7O5" + times("C16R16C32C32R16", 20)},
        {kVibrato + "@W7:4N30:0", "", "@4O6" + times("C16R16", 40), "@7O1" + times("CR", 24), "",
         "@4O4" + times("C16R16C32C32R16", 20)},
        // noise banks before and after frequency noise, and two frequency
        // noise banks around one with silent tails
        {kVibrato + "@W3:0R25:50@W7:4N30:0", "", "@4O6" + times("C16R16", 40), "@3O4" + times("CDEF", 12), "",
         "@7O4" + times("C16R16C32C32R16", 20)},
        {kVibrato + "@W3:0R25:50", "@3O5" + times("C&D&E&F&", 12) + "G", "@4O2" + times("C8D8R8", 16), "", "@3O3" + times("EG", 24),
         "@4O4" + times("C16R16C32C32R16", 20)},
    };
    constexpr uint64_t kLook = 700;
    for (size_t s = 0; s < std::size(songs); ++s) {
        auto once = build<T>(songs[s]);
        ASSERT_TRUE(once);
        const std::vector<int16_t> all = renderBlocksToEnd(*once);
        ASSERT_GT(all.size() / 2, 22050u * 4) << "song " << s;
        for (const bool loop : {false, true}) {
            std::vector<int16_t> whole = all;
            if (loop) {
                auto looped = build<T>(songs[s]);
                looped->SetLoop(true);
                whole = looped->Render(static_cast<int64_t>(all.size() / 2 * 5 / 2));
            }
            const uint64_t frames = whole.size() / 2;
            int checked = 0;
            for (uint64_t at = 1; at + kLook <= frames; at += frames / 17 + 311, ++checked) {
                auto song = build<T>(songs[s]);
                song->SetLoop(loop);
                song->Skip(at);
                const std::vector<int16_t> got = song->Render(static_cast<int64_t>(kLook));
                const std::vector<int16_t> want = slice(whole, at, at + kLook);
                EXPECT_TRUE(got == want) << "song " << s << (loop ? " looping" : "") << " at frame " << at << "\n"
                                         << firstDifference(got, want);
            }
            EXPECT_GE(checked, 15) << "song " << s;
        }
    }
}

std::string describe(const std::optional<output::PassagePoint>& p) {
    if (!p) return "refused";
    if (p->caret) return "caret " + std::to_string(p->tab) + ":" + std::to_string(p->offset);
    return "time " + std::to_string(p->seconds);
}

// At 22050 Hz and T120 a quarter is 11025 frames: bank A's C, D, E start at
// 0, 11025 and 22050, and the song ends at 33075.
TEST(PassagePoint, NamesAFrameByTimeOrCaret) {
    struct Row {
        const char* text;
        const char* parsed;
        int64_t frame;  // -1: refused
    };
    const Row rows[] = {
        {"0.5", "time 0.500000", 11025},
        {"1:00.25", "time 60.250000", 1328513},
        {"0:01", "time 1.000000", 22050},
        {"2", "time 2.000000", 44100},
        {"a:2", "caret 0:2", 11025},
        {"A:3", "caret 0:3", 22050},        // the blank before E: the note after it
        {"A:100", "caret 0:100", 33075},    // no note follows: the song's end
        {"common:0", "caret -1:0", 0},
        {"B:0", "caret 1:0", 33075},        // a bank without notes
        {"", "refused", -1},
        {"1:60", "refused", -1},
        {"1.5:00", "refused", -1},
        {"-1", "refused", -1},
        {"1:2:3", "refused", -1},
        {"F:1", "refused", -1},
        {"A:", "refused", -1},
        {"A:x", "refused", -1},
        {"3s", "refused", -1},
        {".", "refused", -1},
    };
    output::BuildInputs in;
    in.tabTexts = {"T120L4", "C D E"};
    in.sampleRateHz = 22050;
    const auto map = output::buildSongMap(in, false);
    ASSERT_TRUE(map->ok());
    for (const Row& row : rows) {
        const std::optional<output::PassagePoint> p = output::parsePassagePoint(row.text);
        EXPECT_EQ(describe(p), row.parsed) << row.text;
        if (p) {
            EXPECT_EQ(static_cast<int64_t>(output::passageFrame(*map, *p)), row.frame) << row.text;
        }
    }
}

}  // namespace
}  // namespace tavolin::testing
