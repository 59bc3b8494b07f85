// Swapping the song of a running stream: every sample heard, on the virtual
// device, against renders of the old song and of the new one seeked to
// where it must go on, with the crossfade between them.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "editor/LiveSwap.h"
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
    editor::LiveSwap swap{player};
    uint64_t startFrame = 0;

    explicit Stage(uint32_t delayMicros = 10000)
        : player(output::VirtualAudioDevice::factory({.playDelayMicros = delayMicros}, log)) {}

    // Plays `in` from its timeline frame `from`, as Play from the caret does.
    bool play(const output::BuildInputs& in, uint64_t from) {
        output::WaveFormat format;
        auto song = buildOrFail(in, false, &format);
        if (!song) return false;
        song->Skip(from);
        if (!player.StartPlayback(song, format, host)) return false;
        startFrame = from;
        swap.playStarted(in, output::buildSongMap(in, false), {from, false, std::nullopt});
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
            const editor::LiveSwapReport report = stage.swap.report();
            ASSERT_TRUE(waitUntil([&] { return stage.player.lastSwitch().count == 1; }));
            const output::SwitchReport done = stage.player.lastSwitch();
            EXPECT_GE(report.oldFrame, 48000u + 4 * kBlockFrames) << "the four blocks at the device play out";
            ASSERT_LT(report.oldFrame, 72000u) << "the swap came after E: the machine is too slow for this table";
            EXPECT_EQ(static_cast<int64_t>(report.anchor.frame) - static_cast<int64_t>(report.oldFrame), row.shift);
            // The new song stands at the anchor at the stream frame the swap
            // named, and as much further as the switch came later.
            const uint64_t named = report.oldFrame - 48000;
            const uint64_t newFrame = report.anchor.frame + (done.streamFrame - named);
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

}  // namespace
}  // namespace tavolin::testing
