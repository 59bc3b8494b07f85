// Passages: a stretch of the song rendered after an exact skip is the same
// stretch of the whole render, once or looped; and the points that name it.
#include <gtest/gtest.h>

#include "output/Passage.h"
#include "tests/output/OutputTestSupport.h"

namespace tavolin::testing {
namespace {

template <typename T>
class Passage : public ::testing::Test {};
using ArithTypes = ::testing::Types<Fix, float, double>;
TYPED_TEST_SUITE(Passage, ArithTypes);

template <EngineNumType T>
std::shared_ptr<output::GeneratorWrapper> build(const std::array<std::string, 6>& tabs) {
    output::BuildInputs in;
    in.tabTexts = tabs;
    in.rateText = "22050";
    in.arithIndex = std::is_same_v<T, Fix> ? 0 : std::is_same_v<T, float> ? 1 : 2;
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
    in.rateText = "22050";
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
