// SPDX-License-Identifier: MIT
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

// A swap on the caller's thread, at any frame: the old song up to there, the
// new one from where the note heard next went, the first frames crossfading
// over what the old one would have played (the player's formula), the
// stream's calls cutting the crossfade anywhere. The edits change what is
// heard after the swap, or at least where the song stands (songFrame), so a
// swap that did not happen shows. 8 kHz, T60: a quarter is 8,000 frames and
// the crossfade 40.
TEST(SongStream, SwapGoesOnAtTheSamePlaceWithTheCrossfade) {
    struct Row {
        const char* name;
        const char* before;
        const char* after;
        std::optional<LivePassage> passage;
        uint64_t at;                  // the stream's frames before the swap
        std::optional<uint64_t> goesOn;  // the new song's frame there; none: refused, the old song plays on
        std::optional<LivePassage> moved = std::nullopt;  // the passage after the swap
    };
    const Row rows[] = {
        {"an edit after the note heard", "L4 V255 C D E F", "L4 V255 C D E G", std::nullopt, 10000, 10000},
        {"a note inserted before the one heard, quieter from there", "L4 V255 C D E F", "L4 V255 C C V99 D E F", std::nullopt,
         10000, 18000},
        {"the note heard lengthened", "L4 V255 C D E F", "L4 V255 C D2 E F", std::nullopt, 13000, 13000},
        {"a passage's later note quieter", "L4 V255 C D E F", "L4 V255 C D V99 E F", LivePassage{8000, 24000, true}, 17000,
         9000, LivePassage{8000, 24000, true}},
        {"in a later pass of the passage", "L4 V255 C D E F", "L4 V255 C D V99 E F", LivePassage{8000, 24000, true}, 33000,
         9000, LivePassage{8000, 24000, true}},
        {"a passage follows its notes", "L4 V255 C D E F", "L4 V255 R4 C D E F", LivePassage{8000, 24000, true}, 17000,
         17000, LivePassage{16000, 32000, true}},
        {"an error: the old song plays on", "L4 V255 C D E F", "L4 V255 C D E F Q", std::nullopt, 10000, std::nullopt},
    };
    for (const Row& row : rows) {
        const output::BuildInputs before = songInputs("T60", {row.before}, 1, 8000);
        const output::BuildInputs after = songInputs("T60", {row.after}, 1, 8000);
        output::QuietHost host;
        SongStream stream(before, false, row.passage, host);
        ASSERT_TRUE(stream.ok()) << row.name;
        std::vector<int16_t> heard;
        const auto play = [&](uint64_t frames) {
            while (frames > 0) {
                const auto n = static_cast<uint32_t>(std::min<uint64_t>(frames, 128));  // the page's render quantum
                const std::span<const int16_t> part = stream.next(n);
                heard.insert(heard.end(), part.begin(), part.end());
                frames -= n;
            }
        };
        play(row.at);
        EXPECT_EQ(stream.swap(after, host), row.goesOn.has_value()) << row.name;
        play(16000);

        // What must be heard: the old stream on to the end, or the new song
        // from where it goes on, fading in over the old stream's next frames.
        SongStream old(before, false, row.passage, host), fresh(after, false, row.moved, host);
        const std::span<const int16_t> oldPart = old.next(static_cast<uint32_t>(row.at + 16000));
        std::vector<int16_t> want(oldPart.begin(), oldPart.end());
        if (row.goesOn) {
            fresh.seek(*row.goesOn - (row.moved ? row.moved->from : 0));
            const std::span<const int16_t> next = fresh.next(16000);
            const size_t start = 2 * row.at, fade = 2 * 40;
            for (size_t i = 0; i < next.size(); ++i) {
                const int32_t o = want[start + i], n = next[i];
                want[start + i] = static_cast<int16_t>(i < fade ? o + (n - o) * static_cast<int32_t>(i / 2) / 40 : n);
            }
        }
        EXPECT_EQ(testing::firstDifference(want, heard), "equal") << row.name;
        if (row.goesOn) {
            EXPECT_EQ(stream.songFrame(), (row.moved ? row.moved->from + (*row.goesOn + 16000 - row.moved->from) % (row.moved->to - row.moved->from)
                                                     : *row.goesOn + 16000)) << row.name;
        }
    }
}

// The banks' taps for the page's scopes: each ring holds its bank's own
// output (left + right), whatever the mix lets through, and nothing of the
// others; a bank without notes reads silence. The muted row mutes every bank
// but E, so a tap that copied the mix would show.
TEST(SongStream, BankTapsHoldEachBanksOwnOutput) {
    const output::BuildInputs in = songInputs("T120", {"L8 V200 O4 C D E", "", "L4 O6 P0 G", "", "L16 O3 @1 C C C C"}, 1, 8000);
    const uint32_t frames = 6000;
    for (const BankMask mix : {kAllBanks, bankBit(4)}) {
        output::QuietHost host;
        SongStream tapped(in, false, std::nullopt, host);
        ASSERT_TRUE(tapped.ok());
        tapped.tapBanks();
        tapped.setAudible(mix);
        for (uint32_t done = 0; done < frames; done += 128) (void)tapped.next(128);
        for (int b = 0; b < 5; ++b) {
            SongStream alone(in, false, std::nullopt, host);
            alone.setAudible(bankBit(b));
            const std::span<const int16_t> own = alone.next(frames);
            std::vector<int16_t> want(frames);
            for (size_t i = 0; i < frames; ++i)
                want[i] = static_cast<int16_t>(std::clamp(int32_t{own[2 * i]} + own[2 * i + 1], -32768, 32767));
            std::vector<int16_t> seen(frames);
            ASSERT_TRUE(tapped.bankRings()->banks[static_cast<size_t>(b)].read(frames, seen)) << "bank " << b;
            EXPECT_EQ(testing::firstDifference(want, seen), "equal") << "bank " << b << ", mix " << int{mix};
            EXPECT_EQ(std::any_of(seen.begin(), seen.end(), [](int16_t s) { return s != 0; }), b % 2 == 0) << "bank " << b;
        }
    }
}

}  // namespace
}  // namespace tavolin::session
