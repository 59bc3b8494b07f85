// SPDX-License-Identifier: MIT
// The heard position: block starts and device returns to song frames, and the player's
// position on the real-time virtual device (never ahead of what the device has played).
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "output/Playback.h"
#include "output/PlayPosition.h"
#include "output/VirtualAudioDevice.h"
#include "tests/output/OutputTestSupport.h"

namespace tavolin::testing {
namespace {

using namespace std::chrono_literals;
using output::PlayPosition;

TEST(PlayPosition, MapsDeviceTimeToSongFrames) {
    const auto t0 = PlayPosition::Clock::time_point{} + 1000s;
    PlayPosition p;
    EXPECT_EQ(p.heardFrame(t0, 48000), std::nullopt);  // nothing rendered, nothing started
    // Blocks in playing order: two played, one paused, one played (the song goes on where it stopped).
    p.blockRendered(1024, false);
    p.blockRendered(1024, false);
    p.blockRendered(1024, true);
    p.blockRendered(1024, false);
    EXPECT_EQ(p.heardFrame(t0, 48000), std::nullopt);  // the device has not started
    p.deviceStarted(t0);
    struct Step {
        const char* name;
        int returnsBefore;  // blocks returned at `at` before asking
        std::chrono::microseconds at;
        std::optional<uint64_t> frame;
    };
    const Step steps[] = {
        {"start", 0, 0us, 0},
        {"10 ms into the first block", 0, 10000us, 480},
        {"clamped to the first block's end", 0, 500000us, 1024},
        {"second block starts at its return", 1, 30000us, 1024},
        {"5 ms into the second", 0, 35000us, 1024 + 240},
        {"the paused block is silence", 1, 60000us, std::nullopt},
        {"after the pause the song goes on", 1, 80000us, 2048},
        {"nothing left at the device", 1, 100000us, std::nullopt},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        for (int i = 0; i < s.returnsBefore; ++i) p.blockReturned(t0 + s.at);
        EXPECT_EQ(p.heardFrame(t0 + s.at, 48000), s.frame);
    }
    // A return before the start call keeps its place.
    PlayPosition early;
    early.blockRendered(512, false);
    early.blockRendered(512, false);
    early.blockReturned(t0);
    early.deviceStarted(t0 + 1s);
    EXPECT_EQ(early.heardFrame(t0 + 1000us, 48000), 512u + 48u);
}

TEST(PlayPosition, WrapsItsCountersOverALongStream) {
    const auto t0 = PlayPosition::Clock::time_point{} + 50s;
    PlayPosition p;
    p.deviceStarted(t0);
    uint64_t expected = 0;
    for (int i = 0; i < 70000; ++i) {  // past the 16-bit return count and the 16-block history
        p.blockRendered(100, i % 7 == 3);
        if (i >= 2) {
            p.blockReturned(t0);
            if (i % 7 != 5) expected += 100;  // block i-2 returned; block i-1 plays next
        }
        if (i >= 2) {
            const auto heard = p.heardFrame(t0, 48000);
            if ((i - 1) % 7 == 3) ASSERT_EQ(heard, std::nullopt) << i;
            else ASSERT_EQ(heard, expected) << i;
        }
    }
}

// Samples the player's position while a real-time virtual device plays.
TEST(PlayPosition, PlayerFollowsTheDeviceNotTheRender) {
    auto log = std::make_shared<output::VirtualDeviceLog>();
    output::VirtualDeviceOptions options;
    options.realTime = true;
    output::Player player(output::VirtualAudioDevice::factory(options, log));
    RecordingHost host;
    ASSERT_TRUE(player.StartPlayback(songInputs("T240L4", {"CDEFGAB>C"}), false, false, host));
    std::optional<uint64_t> last;
    int samples = 0;
    for (auto end = std::chrono::steady_clock::now() + 300ms; std::chrono::steady_clock::now() < end;) {
        uint64_t played;
        {
            std::lock_guard lock(log->mutex);
            played = log->blocksPlayed;
        }
        const auto heard = player.heardFrame(PlayPosition::Clock::now());
        ASSERT_TRUE(heard.has_value());
        // Never ahead of the block the device is playing.
        EXPECT_LE(*heard, (played + 2) * output::kBlockFrames);
        if (last) {
            EXPECT_GE(*heard + output::kBlockFrames, *last);
        }
        last = heard;
        ++samples;
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_GT(*last, 4u * output::kBlockFrames);  // it moved on with the device
    EXPECT_GT(samples, 10);
    // Paused: once the blocks rendered before the pause have played, nothing is heard.
    player.setPaused(true);
    const auto pausedBy = std::chrono::steady_clock::now() + 2s;
    while (player.heardFrame(PlayPosition::Clock::now()) && std::chrono::steady_clock::now() < pausedBy)
        std::this_thread::sleep_for(2ms);
    EXPECT_EQ(player.heardFrame(PlayPosition::Clock::now()), std::nullopt);
    player.setPaused(false);
    std::optional<uint64_t> resumed;
    for (auto until = std::chrono::steady_clock::now() + 2s; !resumed && std::chrono::steady_clock::now() < until;) {
        resumed = player.heardFrame(PlayPosition::Clock::now());
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_TRUE(resumed.has_value());
    EXPECT_GE(*resumed + output::kBlockFrames, *last);  // on from where the pause began
    player.StopPlayback();
    EXPECT_EQ(player.heardFrame(PlayPosition::Clock::now()), std::nullopt);
}

}  // namespace
}  // namespace tavolin::testing
