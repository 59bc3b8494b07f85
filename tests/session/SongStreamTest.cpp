// A song rendered on the caller's thread (the page's stream): whole, or a
// passage placed by the one recipe, its passes and seeks equal to the same
// stretch of the render the export writes.
#include <algorithm>

#include <gtest/gtest.h>

#include "session/SongStream.h"
#include "tests/output/OutputTestSupport.h"

namespace tavolin::session {
namespace {

using testing::songInputs;

// The export's samples of the whole song (endless loops once), frames [from, to).
std::vector<int16_t> exported(output::BuildInputs in, uint64_t from, uint64_t to) {
    in.forExport = true;
    output::QuietHost host;
    output::WaveFormat format;
    const auto song = output::MakeGenerator(in, false, host, format);
    EXPECT_TRUE(song);
    if (!song) return {};
    const std::vector<int16_t> all = song->Render(static_cast<int64_t>(to));
    return std::vector<int16_t>(all.begin() + static_cast<ptrdiff_t>(2 * from), all.end());
}

TEST(SongStream, PassagesPlayTheExportsOwnStretch) {
    struct Row {
        const char* name;
        const char* bankA;
        std::optional<LivePassage> passage;  // 8 kHz, T60: a quarter is 8,000 frames
        uint64_t seekTo;                     // then this many frames after the start, 0: none
    };
    const Row rows[] = {
        {"the whole song", "L4 V255 C D E", std::nullopt, 0},
        {"a passage across an endless loop plays it once", "L4 V255 C[D]E", LivePassage{8000, 24000, false}, 0},
        {"a looping passage, pass after pass", "L4 V255 C[D]E", LivePassage{8000, 24000, true}, 0},
        {"a seek back into a looping passage", "L4 V255 C[D E]3 F", LivePassage{4000, 30000, true}, 31000},
    };
    for (const Row& row : rows) {
        const output::BuildInputs in = songInputs("T60", {row.bankA}, 1, 8000);
        output::QuietHost host;
        SongStream stream(in, row.passage && row.passage->loop, row.passage, host);
        ASSERT_TRUE(stream.ok()) << row.name;
        const uint64_t from = row.passage ? row.passage->from : 0;
        const uint64_t to = row.passage ? row.passage->to : 24000;
        const std::vector<int16_t> want = exported(in, from, to);
        const uint64_t length = to - from;
        const int passes = row.passage && row.passage->loop ? 3 : 1;
        std::vector<int16_t> heard;
        if (row.seekTo > 0) {
            (void)stream.next(7);
            stream.seek(row.seekTo);  // 31,000 = one pass of 26,000 and 5,000 into the next
            const std::span<const int16_t> after = stream.next(static_cast<uint32_t>(length - row.seekTo % length));
            EXPECT_TRUE(std::equal(after.begin(), after.end(), want.begin() + static_cast<ptrdiff_t>(2 * (row.seekTo % length))))
                << row.name;
            EXPECT_EQ(stream.frame(), row.seekTo + length - row.seekTo % length) << row.name;
        }
        for (int pass = 0; pass < passes; ++pass) {
            const std::span<const int16_t> part = stream.next(static_cast<uint32_t>(length));
            EXPECT_TRUE(std::equal(part.begin(), part.end(), want.begin(), want.end()))
                << row.name << ", pass " << pass + 1 << "\n" << testing::firstDifference(want, std::vector<int16_t>(part.begin(), part.end()));
        }
        if (!row.passage || !row.passage->loop) {
            const std::span<const int16_t> after = stream.next(100);
            EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](int16_t s) { return s == 0; })) << row.name << ": silence after";
            EXPECT_TRUE(stream.finished()) << row.name;
        }
    }
}

}  // namespace
}  // namespace tavolin::session
