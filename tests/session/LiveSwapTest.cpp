// SPDX-License-Identifier: MIT
// Swapping the song of a running stream: every sample heard, on the virtual
// device, against renders of the old song and of the new one seeked to
// where it must go on, with the crossfade between them.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "session/LiveSwap.h"
#include "output/VirtualAudioDevice.h"
#include "tests/output/OutputTestSupport.h"
#include "tests/output/SongGenerator.h"

namespace tavolin::testing {
namespace {

using namespace std::chrono_literals;
using output::kBlockFrames;

template <typename Pred>
bool waitUntil(Pred pred, std::chrono::milliseconds limit = 20s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// `frames` frames of the song of `in`, from its frame `from` on, with only
// the banks of `mask` in the mix.
std::vector<int16_t> songFrom(const output::BuildInputs& in, uint64_t from, uint64_t frames, BankMask mask = kAllBanks) {
    auto song = buildOrFail(in);
    if (!song) return {};
    song->setAudible(mask);
    song->Skip(from);
    return song->Render(static_cast<int64_t>(frames));
}

// What the stream must play when a song switches in at stream frame `at`:
// `before` up to there, then `after` (the new song's samples from `at` on),
// the first crossfadeFrames crossfading linearly from `before`.
std::vector<int16_t> switched(const std::vector<int16_t>& before, uint64_t at, const std::vector<int16_t>& after,
                              uint32_t rate) {
    const size_t fade = 2 * size_t{output::crossfadeFrames(rate)};
    std::vector<int16_t> out(before.begin(), before.begin() + static_cast<ptrdiff_t>(std::min(before.size(), 2 * at)));
    for (size_t i = 0; i < after.size(); ++i) {
        if (i >= fade || 2 * at + i >= before.size()) {
            out.push_back(after[i]);
            continue;
        }
        const int32_t o = before[2 * at + i], n = after[i];
        out.push_back(static_cast<int16_t>(o + (n - o) * static_cast<int32_t>(i / 2) / static_cast<int32_t>(fade / 2)));
    }
    return out;
}

// The player on a virtual device that takes about half a block's time per
// block, and the chain of songs on top of it.
struct Stage {
    std::shared_ptr<output::VirtualDeviceLog> log = std::make_shared<output::VirtualDeviceLog>();
    RecordingHost host;
    output::Player player;
    session::LiveSwap swap{player};
    uint64_t startFrame = 0;

    explicit Stage(uint32_t delayMicros = 10000)
        : player(output::VirtualAudioDevice::factory({.playDelayMicros = delayMicros}, log)) {}

    // Plays `in` from its timeline frame `from`, as Play from the caret does,
    // or the passage as `play --from --to` plays it.
    bool play(const output::BuildInputs& in, uint64_t from, std::optional<session::LivePassage> passage = std::nullopt) {
        output::WaveFormat format;
        auto song = buildOrFail(in, false, &format);
        if (!song) return false;
        if (passage) {
            song->SetExportMode();
            song->Skip(passage->from);
            song->setPassage(passage->to - passage->from, passage->loop);
            from = passage->from;
        } else {
            song->Skip(from);
        }
        if (!player.StartPlayback(song, format, host)) return false;
        startFrame = from;
        swap.playStarted(in, output::buildSongMap(in, false), {from, false, passage});
        return true;
    }
    // Offers the texts of `next` as a live result would; false when nothing is swapped in.
    bool offer(const output::BuildInputs& before, const output::BuildInputs& next) {
        swap.editedTexts(before.tabTexts, next.tabTexts);
        const uint64_t swaps = swap.report().swaps;
        if (!swap.offer(next, output::buildSongMap(next, false))) return false;
        swap.waitIdle();
        return swap.report().swaps > swaps;
    }
    // Lets the stream play `blocks` blocks past stream frame `frame`, stops, and gives what was heard.
    std::vector<int16_t> heardUntil(uint64_t frame, uint64_t blocks = 3) {
        EXPECT_TRUE(waitUntil([&] { return player.blocksHeard() >= frame / kBlockFrames + blocks; }));
        player.StopPlayback();
        return log->heardCopy();
    }
};

// From the end of the switch's crossfade on, the stream plays `after` from
// where the swap anchored it, as a build of it skipped there from its start.
void expectNewSongAfterFade(Stage& stage, const output::BuildInputs& after, const output::SwitchReport& done,
                            const session::LiveSwapReport& report) {
    const std::vector<int16_t> heard = stage.heardUntil(done.streamFrame);
    const size_t fadeEnd = 2 * (done.streamFrame + output::crossfadeFrames(48000));
    const std::vector<int16_t> expected =
        songFrom(after, report.anchor.frame + done.streamFrame - report.streamFrame + output::crossfadeFrames(48000),
                 2 * kBlockFrames);
    ASSERT_GE(heard.size(), fadeEnd + expected.size());
    EXPECT_EQ(firstDifference(expected, std::vector<int16_t>(heard.begin() + static_cast<ptrdiff_t>(fadeEnd),
                                                             heard.begin() + static_cast<ptrdiff_t>(fadeEnd + expected.size()))),
              "equal");
}

// 48 kHz, T120 L4 in the common text: a quarter note is 24,000 frames. Bank A
// plays C D E F G; Play starts on E (48,000), so the swap comes some blocks
// into E, and the new song must go on where the row says: the same frame
// plus `shift`.
TEST(LiveSwap, EveryRowHeardSampleForSample) {
    struct Row {
        const char* name;
        std::string bankA;  // the new text of bank A
        int64_t shift;      // new frame minus old frame at the swap
        BankMask audible = kAllBanks;
        bool swaps = true;  // false: a compile error, the old song plays on
    };
    const Row rows[] = {
        {"identical (a space added)", "C D E F G ", 0},
        {"note changed after the playhead", "C D E F A", 0},
        {"insert before the playhead keeps the note", "C C D E F G", 24000},
        {"deleted note under the playhead: same time", "C D F G", 0},
        {"tempo change before the playhead", "C T60 D E F G", 24000},
        {"mute and solo held", "C C D E F G", 24000, bankBit(0)},
        {"compile error", "C D E F G V999", 0, kAllBanks, false},
    };
    constexpr uint32_t kRate = 48000;
    for (int arith = 0; arith < 3; ++arith) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + ", type " + std::to_string(arith));
            const output::BuildInputs before = songInputs("T120L4", {"C D E F G", "O3G1G1"}, arith);
            const output::BuildInputs after = songInputs("T120L4", {row.bankA, "O3G1G1"}, arith);
            Stage stage;
            stage.player.setAudibleBanks(row.audible);
            ASSERT_TRUE(stage.play(before, 48000));
            ASSERT_EQ(stage.offer(before, after), row.swaps);
            const std::vector<int16_t> oldSong = songFrom(before, 48000, 48000, row.audible);
            if (!row.swaps) {
                const std::vector<int16_t> heard = stage.heardUntil(8 * kBlockFrames);
                ASSERT_GE(heard.size(), 16 * kBlockFrames);
                EXPECT_EQ(firstDifference(std::vector<int16_t>(oldSong.begin(), oldSong.begin() + 16 * kBlockFrames),
                                          std::vector<int16_t>(heard.begin(), heard.begin() + 16 * kBlockFrames)),
                          "equal");
                continue;
            }
            const session::LiveSwapReport report = stage.swap.report();
            ASSERT_TRUE(waitUntil([&] { return stage.player.lastSwitch().count == 1; }));
            const output::SwitchReport done = stage.player.lastSwitch();
            EXPECT_GE(report.oldFrame, 48000u + 4 * kBlockFrames) << "the four blocks at the device play out";
            ASSERT_LT(report.oldFrame, 72000u) << "the swap came after E: the machine is too slow for this table";
            EXPECT_EQ(static_cast<int64_t>(report.anchor.frame) - static_cast<int64_t>(report.oldFrame), row.shift);
            // The new song stands at the anchor at the stream frame the swap
            // named, and as much further as the switch came later.
            EXPECT_EQ(report.oldFrame, 48000 + report.streamFrame);
            const uint64_t newFrame = report.anchor.frame + (done.streamFrame - report.streamFrame);
            // The playhead is in the new song's frames once its blocks are heard.
            ASSERT_TRUE(waitUntil([&] { return stage.player.blocksHeard() > done.streamFrame / kBlockFrames + 1; }));
            const std::optional<uint64_t> playhead = stage.swap.heardFrame(std::chrono::steady_clock::now());
            ASSERT_TRUE(playhead.has_value());
            EXPECT_GE(*playhead, newFrame);
            EXPECT_LE(*playhead, newFrame + 8 * kBlockFrames);
            const std::vector<int16_t> heard = stage.heardUntil(done.streamFrame);
            const std::vector<int16_t> expected =
                switched(oldSong, done.streamFrame, songFrom(after, newFrame, 4 * kBlockFrames, row.audible), kRate);
            ASSERT_GE(heard.size(), expected.size());
            EXPECT_EQ(firstDifference(expected, std::vector<int16_t>(heard.begin(), heard.begin() + static_cast<ptrdiff_t>(expected.size()))), "equal")
                << "switch at stream frame " << done.streamFrame << ", new song frame " << newFrame;
            if (row.shift == 0 && std::string(row.name).starts_with("identical")) {
                EXPECT_EQ(firstDifference(std::vector<int16_t>(oldSong.begin(), oldSong.begin() + static_cast<ptrdiff_t>(expected.size())), expected), "equal")
                    << "a song that sounds the same changes no sample";
            }
        }
    }
}

// A second swap that comes while the first one's crossfade still waits to be
// heard fades from that crossfade, not from the song before it: before the
// worker has rendered the crossfade, and once it waits in the queue.
TEST(LiveSwap, SwapDuringTheCrossfadeFadesFromWhatIsHeard) {
    constexpr uint32_t kRate = 48000;
    for (int run = 0; run < 6; ++run) {
        const int arith = run % 3;
        const bool queued = run >= 3;
        SCOPED_TRACE("type " + std::to_string(arith) + (queued ? ", crossfade queued" : ", crossfade not rendered yet"));
        const output::BuildInputs a = songInputs("T120L4", {"C D E F G"}, arith);
        const output::BuildInputs b = songInputs("T120L4", {"G F E D C"}, arith);
        const output::BuildInputs c = songInputs("T120L4", {"O6E E E E E"}, arith);
        Stage stage(20000);
        ASSERT_TRUE(stage.play(a, 0));
        // Ahead of the blocks rendered: the worker switches right there, and
        // the crossfaded block waits at the back of the queue.
        const uint64_t at = *stage.player.swapFrame() + 6 * kBlockFrames;
        const auto seeked = [&](const output::BuildInputs& in) {
            auto song = buildOrFail(in);
            song->Skip(at);
            return output::SongSwap{song, at, static_cast<int64_t>(at)};
        };
        ASSERT_TRUE(stage.player.swapSong(seeked(b)));
        ASSERT_TRUE(waitUntil([&] { return stage.player.lastSwitch().count == 1; }));
        ASSERT_EQ(stage.player.lastSwitch().streamFrame, at);
        // Three blocks before it at the device: four ready, the crossfade the last.
        if (queued) {
            ASSERT_TRUE(waitUntil([&] { return stage.player.swapFrame().value_or(at) + 3 * kBlockFrames >= at; }));
        }
        ASSERT_TRUE(stage.player.swapSong(seeked(c)));
        ASSERT_TRUE(waitUntil([&] { return stage.player.lastSwitch().count == 2; }));
        ASSERT_EQ(stage.player.lastSwitch().streamFrame, at) << "the crossfaded block had already gone to the device";
        const std::vector<int16_t> heard = stage.heardUntil(at);
        const std::vector<int16_t> first = switched(songFrom(a, 0, at + kBlockFrames), at, songFrom(b, at, kBlockFrames), kRate);
        const std::vector<int16_t> expected = switched(first, at, songFrom(c, at, 3 * kBlockFrames), kRate);
        ASSERT_GE(heard.size(), expected.size());
        EXPECT_EQ(firstDifference(expected, std::vector<int16_t>(heard.begin(), heard.begin() + static_cast<ptrdiff_t>(expected.size()))), "equal");
    }
}

TEST(LiveSwap, NothingToSwapWithoutARunningStream) {
    Stage stage(0);
    const output::BuildInputs song = songInputs("T240L16", {"CDEF"});
    EXPECT_FALSE(stage.player.swapFrame().has_value()) << "no stream";
    EXPECT_FALSE(stage.player.swapSong({buildOrFail(song), 0, 0}));
    EXPECT_FALSE(stage.swap.offer(song, output::buildSongMap(song, false))) << "not playing";
    ASSERT_TRUE(stage.play(song, 0));
    ASSERT_TRUE(waitUntil([&] { return stage.player.songHeard(); }));
    EXPECT_FALSE(stage.player.swapFrame().has_value()) << "the song has been heard to its end";
    EXPECT_FALSE(stage.player.swapSong({buildOrFail(song), 0, 0}));
    EXPECT_FALSE(stage.swap.offer(song, output::buildSongMap(song, false)));
    stage.player.StopPlayback();
    EXPECT_EQ(stage.player.lastSwitch().count, 0u);
}

// A looping passage goes on looping after a swap; its ends follow their
// notes. Bank A C D E F G, the passage D E (24,000 to 72,000); a C inserted
// in front moves it to 48,000 to 96,000.
TEST(LiveSwap, PassageFollowsItsNotes) {
    constexpr uint32_t kRate = 48000;
    const output::BuildInputs before = songInputs("T120L4", {"C D E F G"});
    const output::BuildInputs after = songInputs("T120L4", {"C C D E F G"});
    Stage stage(2000);
    ASSERT_TRUE(stage.play(before, 0, session::LivePassage{24000, 72000, true}));
    ASSERT_TRUE(stage.offer(before, after));
    ASSERT_EQ(stage.swap.passage(), (session::LivePassage{48000, 96000, true}));
    ASSERT_TRUE(waitUntil([&] { return stage.player.lastSwitch().count == 1; }));
    const output::SwitchReport done = stage.player.lastSwitch();
    const session::LiveSwapReport report = stage.swap.report();
    const uint64_t named = report.streamFrame;
    EXPECT_EQ(report.oldFrame, 24000 + named) << "the first pass has not ended yet";
    ASSERT_LT(report.oldFrame, 72000u);
    EXPECT_EQ(report.anchor.frame, report.oldFrame + 24000);
    // Past the passage's end, into its second pass.
    const std::vector<int16_t> heard = stage.heardUntil(done.streamFrame + 48000, 2);
    auto old = buildOrFail(before);
    old->SetExportMode();
    old->Skip(24000);
    old->setPassage(48000, true);
    auto next = buildOrFail(after);
    next->SetExportMode();
    next->Skip(48000);
    next->setPassage(48000, true);
    next->advance(report.anchor.frame - 48000 + done.streamFrame - named);
    const std::vector<int16_t> expected = switched(old->Render(static_cast<int64_t>(done.streamFrame + kBlockFrames)),
                                                   done.streamFrame, next->Render(48000 + kBlockFrames), kRate);
    ASSERT_GE(heard.size(), expected.size());
    EXPECT_EQ(firstDifference(expected, std::vector<int16_t>(heard.begin(), heard.begin() + static_cast<ptrdiff_t>(expected.size()))), "equal");
}

// Random songs, random edits: once the crossfade is over the stream is the
// new song seeked to the anchored frame.
TEST(LiveSwap, RandomSongsAndEditsGoOnAtTheAnchor) {
    int swapped = 0;
    for (uint32_t seed = 1; seed <= 40 && swapped < 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        SongGenerator gen(seed, false);
        output::BuildInputs before = songInputs(gen.common(), {gen.bank(), gen.bank(), gen.bank()}, static_cast<int>(seed % 3));
        const auto oldMap = output::buildSongMap(before, false);
        if (!oldMap->ok() || oldMap->timeline.frames < 40 * kBlockFrames) continue;
        output::BuildInputs after = before;
        std::string& text = after.tabTexts[static_cast<size_t>(gen.pick(1, 3))];
        const size_t at = static_cast<size_t>(gen.pick(0, static_cast<int>(text.size())));
        if (gen.pick(0, 1) && at < text.size()) text.erase(at, static_cast<size_t>(gen.pick(1, 3)));
        else text.insert(at, std::vector<std::string>{"C", "D8 ", " ", "R4", "T90"}[static_cast<size_t>(gen.pick(0, 4))]);
        const auto newMap = output::buildSongMap(after, false);
        if (!newMap->ok()) continue;

        Stage stage(2000);
        ASSERT_TRUE(stage.play(before, 0));
        ASSERT_TRUE(stage.offer(before, after));
        ASSERT_TRUE(waitUntil([&] { return stage.player.lastSwitch().count == 1; }));
        const output::SwitchReport done = stage.player.lastSwitch();
        const session::LiveSwapReport report = stage.swap.report();
        session::TabEdits edits;
        for (size_t t = 0; t < edits.size(); ++t)
            if (before.tabTexts[t] != after.tabTexts[t])
                edits[t].push_back(session::changeBetween(before.tabTexts[t], after.tabTexts[t]));
        EXPECT_EQ(report.anchor, session::chooseSwapFrame(oldMap->timeline, report.oldFrame, edits, newMap->timeline));
        expectNewSongAfterFade(stage, after, done, report);
        ++swapped;
    }
    EXPECT_GE(swapped, 8) << "too few random songs compiled to test anything";
}

// While a song plays on, the builder keeps a checkpoint of it about once a
// second; a later edit after the playhead leaves every record the banks have
// read alone, so the new song starts from that checkpoint instead of from its
// beginning, and is still heard exactly. Two banks draw random numbers side
// by side, so a skip from the start would have to go through the mixer.
TEST(LiveSwap, EditAfterThePlayheadStartsFromTheCheckpoint) {
    const output::BuildInputs before = songInputs(
        "T150@W11:1R1.5:50@W12:4N25:0L8", {"O5" + times("CDEFGAB>C<", 30), "@11O3" + times("C C >C <C ", 60), "", "",
                                          "@12" + times("O1C8O7C16R16", 120)});
    output::BuildInputs after = before;
    after.tabTexts[1] += " G2";
    Stage stage;
    ASSERT_TRUE(stage.play(before, 0));
    std::this_thread::sleep_for(1500ms);  // the builder warms once a second of play
    ASSERT_TRUE(stage.offer(before, after));
    ASSERT_TRUE(waitUntil([&] { return stage.player.lastSwitch().count == 1; }));
    const output::SwitchReport done = stage.player.lastSwitch();
    const session::LiveSwapReport report = stage.swap.report();
    EXPECT_GT(report.checkpointFrame, 0u);
    EXPECT_LE(report.checkpointFrame, report.anchor.frame);
    expectNewSongAfterFade(stage, after, done, report);
}

}  // namespace
}  // namespace tavolin::testing
