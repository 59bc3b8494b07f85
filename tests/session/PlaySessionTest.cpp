// SPDX-License-Identifier: MIT
// The play session as every desktop front end drives it: what its poll says
// while a song plays on the virtual device, for the whole song, a picked
// passage and texts edited since the song was compiled.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "output/VirtualAudioDevice.h"
#include "session/PlaySession.h"
#include "tests/output/OutputTestSupport.h"

namespace tavolin::testing {
namespace {

using namespace std::chrono_literals;
using Clock = output::PlayPosition::Clock;

// Polls until `done` holds for a poll (the one returned), or gives up.
template <typename Done>
std::optional<session::PlayPoll> pollUntil(session::PlaySession& s, const document::TabTexts& texts, Done done,
                                           std::chrono::milliseconds limit = 20s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        session::PlayPoll p = s.poll(Clock::now(), &texts);
        if (done(p)) return p;
        std::this_thread::sleep_for(1ms);
    }
    return std::nullopt;
}

// The text of bank A each lit note of it stands on, in `texts`.
std::vector<std::string> litInA(const session::PlayPoll& p, const document::TabTexts& texts) {
    std::vector<std::string> out;
    for (const music::SoundingSource& s : p.lit)
        if (s.range.tab == 1) out.push_back(texts[1].substr(s.range.begin, s.range.end - s.range.begin));
    return out;
}

session::PlaySession onVirtualDevice() {
    return session::PlaySession(output::VirtualAudioDevice::factory({.playDelayMicros = 5000},
                                                                    std::make_shared<output::VirtualDeviceLog>()));
}

// T120 L4: a quarter note is 24,000 frames; bank A plays C D E F G.
TEST(PlaySession, PollSaysWhereTheMusicStandsAndWhatIsLit) {
    struct Row {
        const char* name;
        std::optional<std::pair<uint64_t, uint64_t>> pick;  // bytes of bank A to loop; none: Play
        const char* shownA;                                 // bank A as the editor holds it while it plays
        uint64_t from, to;                                  // poll until a frame in [from, to) is heard
        std::vector<std::string> lit;
    };
    const Row rows[] = {
        {"the note heard", std::nullopt, "C D E F G", 24000, 48000, {"D"}},
        {"an edit before it moves it", std::nullopt, "R2 C D E F G", 24000, 48000, {"D"}},
        {"an edit over it lights nothing", std::nullopt, "C X E F G", 24000, 48000, {}},
        {"a picked note loops its pass", std::pair<uint64_t, uint64_t>{4, 5}, "C D E F G", 48000, 72000, {"E"}},
    };
    const output::BuildInputs in = songInputs("T120L4", {"C D E F G", "R1R1"});
    for (const Row& row : rows) {
        session::PlaySession s = onVirtualDevice();
        RecordingHost host;
        if (row.pick) {
            const session::PickedPassage picked = s.loopPick(in, {1, row.pick->first, row.pick->second}, host);
            ASSERT_EQ(picked.result, session::PickedPassage::Result::Playing) << row.name;
            EXPECT_EQ(picked.span, (session::LoopSpan{48000, 72000})) << row.name;
        } else {
            ASSERT_TRUE(s.play(in, false, host, {}).has_value()) << row.name;
        }
        document::TabTexts shown = in.tabTexts;
        shown[1] = row.shownA;
        const auto p = pollUntil(s, shown, [&](const session::PlayPoll& p) { return p.frame && *p.frame >= row.from; });
        ASSERT_TRUE(p && p->banks && p->map) << row.name;
        ASSERT_LT(*p->frame, row.to) << row.name << ": heard past the stretch before a poll saw it";
        EXPECT_EQ(litInA(*p, shown), row.lit) << row.name;
        EXPECT_EQ((*p->banks)[0], p->frame) << row.name;
    }
}

// Pause holds the place, a swap is told once, and the end of a song that
// does not loop is told.
TEST(PlaySession, PollTellsPauseSwapAndEnd) {
    session::PlaySession s = onVirtualDevice();
    RecordingHost host;
    output::BuildInputs in = songInputs("T120L4", {"C D E F"});
    ASSERT_TRUE(s.play(in, false, host, {}).has_value());
    auto p = pollUntil(s, in.tabTexts, [](const session::PlayPoll& p) { return p.frame && *p.frame > 0; });
    ASSERT_TRUE(p);
    s.player().setPaused(true);
    const session::PlayPoll held = s.poll(Clock::now(), &in.tabTexts);
    std::this_thread::sleep_for(100ms);
    const session::PlayPoll later = s.poll(Clock::now(), &in.tabTexts);
    ASSERT_TRUE(held.frame && later.frame) << "paused, the place stays shown";
    EXPECT_EQ(*later.frame, *held.frame) << "paused, the music waits where it stood";
    s.player().setPaused(false);

    const output::BuildInputs before = in;
    in.tabTexts[1] = "C D E F G";
    s.editedTexts(before.tabTexts, in.tabTexts);
    ASSERT_TRUE(s.offer(in, output::buildSongMap(in, false)));
    const auto swapped = pollUntil(s, in.tabTexts, [](const session::PlayPoll& p) { return p.swapped.has_value(); });
    ASSERT_TRUE(swapped);
    EXPECT_EQ(swapped->map->timeline.frames, 120000u) << "the new song is followed";
    EXPECT_FALSE(s.poll(Clock::now(), &in.tabTexts).swapped) << "a swap is told once";
    const auto ended = pollUntil(s, in.tabTexts, [](const session::PlayPoll& p) { return p.ended; });
    ASSERT_TRUE(ended);
    EXPECT_TRUE(ended->playing);
}

}  // namespace
}  // namespace tavolin::testing

namespace tavolin::testing {
namespace {

// A compile while nothing plays gets checkpoints for the next passage; the
// passage picked far into the song then starts from one and is heard as the
// song skipped there from its start (two banks drawing random numbers, where
// the cold skip is slowest).
TEST(PlaySession, APassageFarIntoTheSongStartsFromACheckpoint) {
    auto log = std::make_shared<output::VirtualDeviceLog>();
    session::PlaySession s(output::VirtualAudioDevice::factory({.playDelayMicros = 5000}, log));
    const output::BuildInputs in = songInputs("T150@W11:1R1.5:50@W12:4N25:0L8",
                                              {"@11O4" + times("C E G ", 60), "@12" + times("O1C O7C16R16 ", 90)}, 1, 8000);
    EXPECT_FALSE(s.offer(in, output::buildSongMap(in, false)));  // nothing plays: nothing swapped
    s.checkpoints().waitIdle();
    EXPECT_EQ(s.checkpoints().shelf().mode(), (session::CheckpointMode{false, true}));
    ASSERT_GT(s.checkpoints().shelf().count(), 5u);
    const uint64_t from = 8000 * 15 + 123, to = from + 8000;
    RecordingHost host;
    output::WaveFormat format;
    ASSERT_TRUE(s.play(output::MakeGenerator(in, false, host, format), format, host, in,
                       {false, session::LivePassage{from, to, false}}, false));
    EXPECT_EQ(s.startedFrom(), from / s.checkpoints().shelf().spacing() * s.checkpoints().shelf().spacing());
    ASSERT_TRUE(pollUntil(s, in.tabTexts, [&](const session::PlayPoll&) { return log->heardCopy().size() >= 2 * 4000; }));
    s.stop();
    auto cold = buildOrFail(in);
    session::setPlayMode(*cold, false, true);
    cold->Skip(from);
    const std::vector<int16_t> want = cold->Render(4000), heard = log->heardCopy();
    const std::vector<int16_t> got(heard.begin(), heard.begin() + 2 * 4000);
    EXPECT_TRUE(got == want) << firstDifference(got, want);
}

}  // namespace
}  // namespace tavolin::testing
