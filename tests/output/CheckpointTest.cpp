// SPDX-License-Identifier: MIT
// A song built after an edit starts from a checkpoint of the song before it:
// accepted only when every bank would stand exactly there, and then the rest
// of the skip and the render equal a skip from the start, in all three types.
#include <random>

#include <gtest/gtest.h>

#include "output/SongBuilder.h"
#include "tests/output/OutputTestSupport.h"
#include "tests/output/SongGenerator.h"

namespace tavolin::testing {
namespace {

template <typename T>
class Checkpoint : public ::testing::Test {};
TYPED_TEST_SUITE(Checkpoint, ArithTypes);

// The song's state at `frame`, settled, as the live swap keeps it.
std::shared_ptr<output::GeneratorWrapper> checkpointAt(const output::BuildInputs& in, bool loop, uint64_t frame) {
    auto song = buildOrFail(in);
    if (!song) return song;
    song->SetLoop(loop);
    song->Skip(frame);
    song->settleForCheckpoint();
    return song;
}

// Adopts `checkpoint` (taken at `from`) into a fresh build of `in` and skips on
// to `to`; when adopted, the next `frames` frames must equal a build skipped
// from the start. Returns whether it was adopted.
bool resumesExactly(const output::BuildInputs& in, bool loop, const output::GeneratorWrapper& checkpoint, uint64_t from,
                    uint64_t to, int64_t frames, const std::string& name) {
    auto resumed = buildOrFail(in);
    auto reference = buildOrFail(in);
    if (!resumed || !reference) return false;
    resumed->SetLoop(loop);
    reference->SetLoop(loop);
    if (!resumed->adoptStateOf(checkpoint)) return false;
    resumed->Skip(to - from);
    reference->Skip(to);
    const std::vector<int16_t> a = resumed->Render(frames);
    const std::vector<int16_t> b = reference->Render(frames);
    EXPECT_TRUE(a == b) << name << "\n" << firstDifference(a, b);
    return true;
}

// Two banks draw random numbers side by side (frequency noise and the noise
// wave), so a skip goes through the mixer and the shared sequence matters;
// the tones and the tempo live in the common text.
TYPED_TEST(Checkpoint, AcceptedOnlyWhereTheBanksReadTheSame) {
    const int arith = std::is_same_v<TypeParam, Fix> ? 0 : std::is_same_v<TypeParam, float> ? 1 : 2;
    const std::string common = "T150@W11:1R1.5:50@W12:4N25:0@W13:2N5:50@ED1:4:90:60:255:170@S3L8";
    const std::array<std::string, 5> banks = {"@E1@LT0:120:20O5" + times("CDEFGAB>C<", 8) + " G2 C1&D1",
                                              "@11O3" + times("C C >C <C ", 16), "@13O4" + times("E G ", 30), "",
                                              "@12V120" + times("O1C8O7C16R16O4C8O7C16R16", 16)};
    struct Row {
        const char* name;
        int tab;          // 0 common, 1..5 banks
        bool atEnd;       // the edit appends to the tab; else it replaces the tab's first `find`
        const char* find;
        const char* replace;
        bool loop;
        uint32_t atSeconds;  // the checkpoint; the song lasts about 17.6 s, C1 starts at 14.4 s
        bool accepted;
    };
    const Row rows[] = {
        {"the same song", 1, true, "", "", false, 10, true},
        {"a note added at bank A's end", 1, true, "", " A4", false, 10, true},
        {"notes added at the noise bank's end", 5, true, "", "O1C8O7C16R16", false, 10, true},
        {"a note near bank A's end changed", 1, false, " G2", " F2", false, 10, true},
        {"the note a slur glides into changed", 1, false, "&D1", "&E1", false, 15, false},
        {"a note after the slur's target changed", 1, true, "", " E4", false, 15, true},
        {"the checkpoint at the very start", 1, false, "O5", "O4", false, 0, true},
        {"bank A's first note changed", 1, false, "O5C", "O5D", false, 10, false},
        {"the noise tone changed in the common text", 0, false, "N25", "N30", false, 10, false},
        {"the tempo changed", 0, false, "T150", "T151", false, 10, false},
        {"an edit after the song looped round", 1, false, " G2", " F2", true, 40, false},
        {"looping, an edit not yet reached", 1, false, " G2", " F2", true, 10, true},
    };
    for (const Row& row : rows) {
        const uint32_t rate = 8000;
        std::vector<std::string> before(banks.begin(), banks.end());
        output::BuildInputs oldIn = songInputs(common, before, arith, 8000);
        output::BuildInputs newIn = oldIn;
        std::string& text = newIn.tabTexts[static_cast<size_t>(row.tab)];
        if (row.atEnd) text += row.replace;
        else {
            const size_t at = text.find(row.find);
            ASSERT_NE(at, std::string::npos) << row.name;
            text.replace(at, std::string(row.find).size(), row.replace);
        }
        const uint64_t from = uint64_t{rate} * row.atSeconds;
        auto checkpoint = checkpointAt(oldIn, row.loop, from);
        ASSERT_TRUE(checkpoint) << row.name;
        EXPECT_EQ(resumesExactly(newIn, row.loop, *checkpoint, from, from + rate / 3, rate * 4, row.name), row.accepted)
            << row.name;
    }
    // Another rate is another song.
    std::vector<std::string> same(banks.begin(), banks.end());
    auto checkpoint = checkpointAt(songInputs(common, same, arith, 8000), false, 8000);
    EXPECT_FALSE(resumesExactly(songInputs(common, same, arith, 16000), false, *checkpoint, 8000, 8000, 100, "rate"));
}

// Random songs and random edits (appended commands, a digit changed
// anywhere): whenever a checkpoint is adopted, the song goes on exactly as
// one skipped from the start. Both outcomes must occur.
TYPED_TEST(Checkpoint, RandomEditsResumeExactlyWhenAdopted) {
    const int arith = std::is_same_v<TypeParam, Fix> ? 0 : std::is_same_v<TypeParam, float> ? 1 : 2;
    std::mt19937 rng(23);
    int adopted = 0, refused = 0;
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        SongGenerator gen(seed * 7919);
        std::vector<std::string> banks;
        for (int b = 0; b < 5; ++b) banks.push_back(gen.pick(0, 3) == 0 ? "" : gen.bank());
        const std::string common = gen.common();
        output::BuildInputs oldIn = songInputs(common, banks, arith, 8000);
        RecordingHost host;
        output::WaveFormat format;
        if (!output::MakeGenerator(oldIn, false, host, format)) continue;  // the generator's rare misses
        output::BuildInputs newIn = oldIn;
        const size_t tab = static_cast<size_t>(gen.pick(1, 5));
        std::string& text = newIn.tabTexts[tab];
        const size_t digit = text.find_first_of("0123456789", text.empty() ? 0 : rng() % text.size());
        if (gen.pick(0, 1) == 0 || digit == std::string::npos) text += " " + gen.bank();
        else text[digit] = text[digit] == '9' ? '8' : static_cast<char>(text[digit] + 1);
        if (!output::MakeGenerator(newIn, false, host, format)) continue;
        const bool loop = gen.pick(0, 3) == 0;
        const uint64_t from = rng() % (8000 * 12);
        auto checkpoint = checkpointAt(oldIn, loop, from);
        ASSERT_TRUE(checkpoint);
        const std::string name = "seed " + std::to_string(seed);
        (resumesExactly(newIn, loop, *checkpoint, from, from + rng() % 8000, 8000 * 2, name) ? adopted : refused)++;
        if (::testing::Test::HasFailure()) return;
    }
    EXPECT_GT(adopted, 5);
    EXPECT_GT(refused, 5);
}

// A song that took a checkpoint's state must owe the checkpoint nothing: the
// checkpoint is replaced (and freed) by the next warm-up while the song plays
// on. Its lists are wiped and freed here before the song renders on; both
// LFOs read their breakpoints from the records mid-note, so a state still
// pointing into the checkpoint's lists sounds different (and, under ASan, is
// reported as a read of freed memory).
TYPED_TEST(Checkpoint, AdoptedStateOutlivesTheCheckpoint) {
    const int arith = std::is_same_v<TypeParam, Fix> ? 0 : std::is_same_v<TypeParam, float> ? 1 : 2;
    const std::vector<std::string> banks = {"@LT0S:50:20:500L:50:100O5" + times("C2D2", 8),
                                            "@LVP0:200:0:70L:160:25O3" + times("E1", 8), "", "", ""};
    const output::BuildInputs in = songInputs("T120", banks, arith, 8000);
    for (const bool loop : {false, true}) {
        auto checkpoint = checkpointAt(in, loop, 8000 * 3 + 1234);
        auto resumed = buildOrFail(in);
        auto reference = buildOrFail(in);
        ASSERT_TRUE(checkpoint && resumed && reference);
        resumed->SetLoop(loop);
        reference->SetLoop(loop);
        ASSERT_TRUE(resumed->adoptStateOf(*checkpoint));
        for (int b = 0; b < 5; ++b) {
            auto& events = checkpoint->slot<TypeParam>()->player(b).events();
            std::fill(events.begin(), events.end(), MmlEvent<TypeParam>{});
        }
        checkpoint.reset();
        reference->Skip(8000 * 3 + 1234);
        const std::vector<int16_t> a = resumed->Render(8000 * 6);
        const std::vector<int16_t> b = reference->Render(8000 * 6);
        EXPECT_TRUE(a == b) << (loop ? "looping" : "once") << "\n" << firstDifference(a, b);
    }
}

}  // namespace
}  // namespace tavolin::testing
