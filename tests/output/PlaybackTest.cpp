// SPDX-License-Identifier: MIT
// The streaming player on the virtual device: order of blocks, start, stop,
// pause, loop, end of song, device failures and a start/stop stress run.
#include <algorithm>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "output/DebugLog.h"
#include "output/Playback.h"
#include "output/VirtualAudioDevice.h"
#include "tests/output/OutputTestSupport.h"

namespace tavolin::testing {
namespace {

using namespace std::chrono_literals;
using output::kBlockFrames;
using output::kBlockSamples;

// Captures the debug log for one test.
class LogCapture {
public:
    LogCapture() {
        output::setDebugLogSink([this](std::string_view m) {
            std::lock_guard lock(m_mutex);
            m_lines.emplace_back(m);
        });
    }
    ~LogCapture() { output::setDebugLogSink({}); }
    size_t lines() {
        std::lock_guard lock(m_mutex);
        return m_lines.size();
    }
    std::string all() {
        std::lock_guard lock(m_mutex);
        std::string out;
        for (const auto& l : m_lines) out += l + "\n";
        return out;
    }
    bool contains(std::string_view text) {
        std::lock_guard lock(m_mutex);
        for (const auto& l : m_lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

template <typename Pred>
bool waitUntil(Pred pred, std::chrono::milliseconds limit = 20s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A short two-bank song: 4 + 2 sixteenth notes, 24,000 frames at 48 kHz.
output::BuildInputs shortSong(int arith = 1) {
    return songInputs("L16", {"CDEF", "O5GA"}, arith);
}

struct Rig {
    std::shared_ptr<output::VirtualDeviceLog> log = std::make_shared<output::VirtualDeviceLog>();
    RecordingHost host;
    output::VirtualDeviceOptions options;
    output::PlayerOptions playerOptions;
    std::unique_ptr<output::Player> player;

    output::Player& make() {
        player = std::make_unique<output::Player>(output::VirtualAudioDevice::factory(options, log), playerOptions);
        return *player;
    }
};

// The song's own samples followed by silence up to whole blocks: what the
// listener must hear for a song that ends.
std::vector<int16_t> expectedHearing(const output::BuildInputs& in, size_t minBlocks = 4) {
    auto song = buildOrFail(in);
    std::vector<int16_t> ref = renderToEnd(*song);
    size_t blocks = std::max(minBlocks, (ref.size() + kBlockSamples - 1) / kBlockSamples);
    ref.resize(blocks * kBlockSamples, 0);
    return ref;
}

TEST(Playback, SongIsHeardWholeInRenderOrderAndThenFallsIdle) {
    for (int arith : {0, 1, 2}) {
        Rig rig;
        auto& player = rig.make();
        auto in = shortSong(arith);
        ASSERT_TRUE(player.StartPlayback(in, false, false, rig.host));
        ASSERT_TRUE(waitUntil([&] { return player.songHeard(); })) << "arith " << arith;
        std::this_thread::sleep_for(30ms);  // nothing more may come
        std::vector<int16_t> heard = rig.log->heardCopy();
        std::vector<int16_t> expected = expectedHearing(in);
        EXPECT_EQ(heard, expected) << "arith " << arith << ": " << firstDifference(heard, expected);
        EXPECT_TRUE(player.isPlaying()) << "a drained stream stays until Stop";
        player.StopPlayback();
        EXPECT_FALSE(player.isPlaying());
        EXPECT_EQ(rig.log->closes, 1);
        EXPECT_EQ(rig.log->maxQueued, output::kDeviceRing) << "four blocks at the device";
        EXPECT_TRUE(rig.host.messages.empty());
    }
}

// A passage [3000, 13000) of a song whose noise bank draws random numbers,
// played once and looped: the device hears it from its first frame, once
// and then silence, or pass after pass with no gap, each the same stretch
// of the whole render.
TEST(Playback, PassageIsHeardOnceOrPassAfterPass) {
    const output::BuildInputs in = songInputs("L16", {"CDEF", "@4O5GAGA", "@4C8"}, 0);
    const std::vector<int16_t> all = renderToEnd(*buildOrFail(in));
    constexpr size_t kFrom = 3000, kTo = 13000;
    ASSERT_GE(all.size(), 2 * kTo);
    const std::vector<int16_t> passage(all.begin() + 2 * kFrom, all.begin() + 2 * kTo);
    for (bool loop : {false, true}) {
        Rig rig;
        auto& player = rig.make();
        output::WaveFormat format;
        auto song = buildOrFail(in, false, &format);
        song->SetExportMode();
        song->Skip(kFrom);
        song->setPassage(kTo - kFrom, loop);
        ASSERT_TRUE(player.StartPlayback(song, format, rig.host));
        const size_t passes = loop ? 4 : 1;
        if (loop) {
            ASSERT_TRUE(waitUntil([&] { return rig.log->heardCopy().size() >= passes * passage.size(); }));
        } else {
            ASSERT_TRUE(waitUntil([&] { return player.songHeard(); }));
        }
        player.StopPlayback();
        const std::vector<int16_t> heard = rig.log->heardCopy();
        ASSERT_GE(heard.size(), passes * passage.size()) << "loop " << loop;
        for (size_t pass = 0; pass < passes; ++pass) {
            const std::vector<int16_t> got(heard.begin() + static_cast<ptrdiff_t>(pass * passage.size()),
                                           heard.begin() + static_cast<ptrdiff_t>((pass + 1) * passage.size()));
            EXPECT_EQ(got, passage) << "loop " << loop << " pass " << pass + 1 << ": " << firstDifference(got, passage);
        }
        if (!loop) {
            EXPECT_TRUE(std::all_of(heard.begin() + static_cast<ptrdiff_t>(passage.size()), heard.end(),
                                    [](int16_t v) { return v == 0; }))
                << "silence after the passage";
        }
    }
}

TEST(Playback, EndOfSongIsHeardOnARealTimeDevice) {
    // On a paced device the worker runs up to eight blocks ahead; the blocks
    // rendered before the song ended must still reach the device.
    Rig rig;
    rig.options.realTime = true;
    auto& player = rig.make();
    auto in = songInputs("L16", {"CDEF"});
    ASSERT_TRUE(player.StartPlayback(in, false, false, rig.host));
    ASSERT_TRUE(waitUntil([&] { return player.songHeard(); }));
    std::vector<int16_t> heard = rig.log->heardCopy();
    std::vector<int16_t> expected = expectedHearing(in);
    EXPECT_EQ(heard, expected) << firstDifference(heard, expected);
}

// A device that plays silence whenever nothing is queued (as a sound card
// does) must still begin with the song's first frame, with no leading silence
// trimmed, on every path into the first block: each type, from the start or
// the cursor, Test, loop, the window's taps, a mix with a bank muted, and a
// second Play after a Stop. A device opened per Play starts halted and is
// started once the four priming blocks are queued: the song is its frame 0.
// The window's kept device runs on between songs: the song follows at once
// (at most a silent block that was already playing), the device is opened
// once, and after Stop only silence is heard.
TEST(Playback, FirstFramesHeardAreTheSongs) {
    struct Row {
        const char* name;
        int arith;
        uint64_t caret;
        bool testMode;
        bool loop;
        bool taps;
        BankMask audible;
        bool replay;
        bool keep;
        bool idleClosed = false;  // the kept device closed for idleness before Play
    };
    const BankMask notA = static_cast<BankMask>(kAllBanks & ~bankBit(0));
    const Row rows[] = {
        {"Fix from the start", 0, 0, false, false, false, kAllBanks, false, false},
        {"Float from the start", 1, 0, false, false, false, kAllBanks, false, false},
        {"Double from the cursor", 2, 2, false, false, false, kAllBanks, false, false},
        {"Fix, Test", 0, 0, true, false, false, kAllBanks, false, false},
        {"Float, loop, taps", 1, 0, false, true, true, kAllBanks, false, false},
        {"Fix from the cursor, bank A muted", 0, 2, false, false, false, notA, false, false},
        {"Float, second Play after a Stop", 1, 0, false, false, false, kAllBanks, true, false},
        {"kept device, Float from the start", 1, 0, false, false, false, kAllBanks, false, true},
        {"kept device, Fix from the cursor, bank A muted, taps", 0, 2, false, true, true, notA, false, true},
        {"kept device, Double, second Play after a Stop", 2, 0, false, false, false, kAllBanks, true, true},
        {"kept device closed when idle, Float from the cursor", 1, 2, false, false, false, kAllBanks, false, true, true},
        {"kept device closed when idle, Fix, Test", 0, 0, true, false, true, kAllBanks, false, true, true},
    };
    constexpr uint32_t kBlocks = 6;  // every song here lasts longer
    for (const auto& r : rows) {
        Rig rig;
        rig.options.realTime = true;
        rig.options.silenceWhenEmpty = true;
        if (r.keep) rig.playerOptions.keepDevice = output::makeWaveFormat(48000);
        auto& player = rig.make();
        player.setBankTaps(r.taps);
        player.setAudibleBanks(r.audible);
        auto in = songInputs("L16", {"CDEF", "GABC"}, r.arith);
        in.bankIndex = 1;
        in.caret = r.caret;
        in.startFromCursor = r.caret > 0;
        if (r.testMode) {
            in.testPhrase = "EGEGEG";
            in.toneCommand = "@2";
        }
        const auto heardSize = [&] {
            std::lock_guard lock(rig.log->mutex);
            return rig.log->heard.size();
        };
        if (r.replay) {
            ASSERT_TRUE(player.StartPlayback(in, r.testMode, r.loop, rig.host)) << r.name;
            ASSERT_TRUE(waitUntil([&] { return player.blocksHeard() >= 2; })) << r.name;
            player.StopPlayback();
            std::lock_guard lock(rig.log->mutex);
            rig.log->heard.clear();
        }
        if (r.idleClosed) {
            const auto now = std::chrono::steady_clock::now();
            ASSERT_TRUE(player.idleCloseDue(now)) << r.name;
            ASSERT_TRUE(player.closeIdleDevice(now + rig.playerOptions.idleClose)) << r.name;
        }
        const size_t beforePlay = r.keep ? heardSize() : 0;
        ASSERT_TRUE(player.StartPlayback(in, r.testMode, r.loop, rig.host)) << r.name;
        const size_t afterPlay = r.keep ? heardSize() : 0;
        ASSERT_TRUE(waitUntil([&] { return player.blocksHeard() >= kBlocks; })) << r.name;
        player.StopPlayback();
        const size_t stoppedAt = heardSize();
        auto reference = buildOrFail(in, r.testMode);
        reference->SetLoop(r.loop);
        reference->setAudible(r.audible);
        const std::vector<int16_t> expected = reference->Render(int64_t{kBlocks} * kBlockFrames);
        if (r.keep) {
            ASSERT_TRUE(waitUntil([&] { return heardSize() >= stoppedAt + 2 * kBlockSamples; })) << r.name;
        }
        std::vector<int16_t> heard = rig.log->heardCopy();
        // Kept device: the song follows the idle silence at a block boundary,
        // no later than the block that was playing when Play returned.
        size_t start = beforePlay;
        while (r.keep && start + kBlockSamples <= heard.size() &&
               std::all_of(heard.begin() + static_cast<ptrdiff_t>(start), heard.begin() + static_cast<ptrdiff_t>(start + kBlockSamples),
                           [](int16_t v) { return v == 0; }))
            start += kBlockSamples;
        EXPECT_LE(start, afterPlay + kBlockSamples) << r.name << ": silence came between Play and the song";
        // A device opened again for the song waits halted: its very first frame is the song's.
        if (r.idleClosed) EXPECT_EQ(start, beforePlay) << r.name << ": the reopened device played silence first";
        ASSERT_GE(heard.size(), start + expected.size()) << r.name;
        std::vector<int16_t> song(heard.begin() + static_cast<ptrdiff_t>(start),
                                  heard.begin() + static_cast<ptrdiff_t>(start + expected.size()));
        EXPECT_EQ(song, expected) << r.name << ": " << firstDifference(song, expected);
        std::lock_guard lock(rig.log->mutex);
        EXPECT_EQ(rig.log->opens, r.idleClosed || (r.replay && !r.keep) ? 2 : 1) << r.name;
        EXPECT_EQ(rig.log->blocksDropped, 0u) << r.name;
        if (r.keep) {
            EXPECT_TRUE(std::all_of(heard.begin() + static_cast<ptrdiff_t>(stoppedAt), heard.end(), [](int16_t v) { return v == 0; }))
                << r.name << ": the song went on after Stop";
        }
    }
}

// The kept device closes after a minute without a song heard, and only then:
// never under a song that plays or waits paused, never a device opened per Play.
TEST(Playback, KeptDeviceClosesOnlyAfterAMinuteIdle) {
    enum class Before { Nothing, Playing, Paused, HeardToItsEnd, Stopped };
    struct Row {
        const char* name;
        bool keep;
        Before before;
        bool closes;  // at idleClose after the first question, not a moment before
    };
    const Row rows[] = {
        {"kept, nothing played since it opened", true, Before::Nothing, true},
        {"kept, a song playing", true, Before::Playing, false},
        {"kept, a song paused", true, Before::Paused, false},
        {"kept, the song heard to its end", true, Before::HeardToItsEnd, true},
        {"kept, the song stopped", true, Before::Stopped, true},
        {"opened per Play, the song heard to its end", false, Before::HeardToItsEnd, false},
    };
    for (const Row& r : rows) {
        Rig rig;
        rig.options.silenceWhenEmpty = r.keep;
        if (r.keep) rig.playerOptions.keepDevice = output::makeWaveFormat(48000);
        auto& player = rig.make();
        const auto song = r.before == Before::HeardToItsEnd ? shortSong() : songInputs("", {"C1C1C1C1"});
        if (r.before != Before::Nothing) {
            player.setPaused(r.before == Before::Paused);
            ASSERT_TRUE(player.StartPlayback(song, false, false, rig.host)) << r.name;
            if (r.before == Before::HeardToItsEnd) ASSERT_TRUE(waitUntil([&] { return player.songHeard(); })) << r.name;
            if (r.before == Before::Stopped) player.StopPlayback();
        }
        const auto t0 = std::chrono::steady_clock::now();
        const auto due = player.idleCloseDue(t0);
        EXPECT_EQ(due.has_value(), r.closes) << r.name;
        EXPECT_FALSE(player.closeIdleDevice(t0 + rig.playerOptions.idleClose - 1ms)) << r.name << ": closed too early";
        EXPECT_EQ(player.closeIdleDevice(t0 + rig.playerOptions.idleClose), r.closes) << r.name;
        EXPECT_EQ(player.deviceOpen(), !r.closes && (r.keep || player.isPlaying())) << r.name;
        if (r.closes) EXPECT_FALSE(player.isPlaying()) << r.name;
        player.StopPlayback();
    }
}

TEST(Playback, StartsFromTheCursor) {
    Rig rig;
    auto& player = rig.make();
    auto in = songInputs("L16", {"CDEF", "GABC"});
    in.bankIndex = 1;
    in.caret = 2;  // on the A of bank B
    in.startFromCursor = true;
    ASSERT_TRUE(player.StartPlayback(in, false, false, rig.host));
    ASSERT_TRUE(waitUntil([&] { return player.songHeard(); }));
    auto whole = buildOrFail(songInputs("L16", {"CDEF", "GABC"}));
    std::vector<int16_t> all = renderToEnd(*whole);
    std::vector<int16_t> heard = rig.log->heardCopy();
    const size_t skip = 2 * 6000 * 2;  // two sixteenth notes of two samples per frame
    ASSERT_GT(heard.size(), all.size() - skip);
    std::vector<int16_t> tail(all.begin() + static_cast<long>(skip), all.end());
    heard.resize(tail.size());
    EXPECT_EQ(heard, tail) << firstDifference(heard, tail);
}

TEST(Playback, PlayWhilePlayingStopsTheOldStreamFirst) {
    Rig rig;
    rig.options.realTime = true;
    auto& player = rig.make();
    auto in = songInputs("", {"CDEFGAB"});
    ASSERT_TRUE(player.StartPlayback(in, false, true, rig.host));
    std::weak_ptr<output::WaveOutParam> first = player.stream();
    ASSERT_TRUE(waitUntil([&] { return player.blocksHeard() >= 2; }));
    ASSERT_TRUE(player.StartPlayback(songInputs("", {"C"}), false, false, rig.host));
    auto old = first.lock();
    if (old) {
        EXPECT_EQ(old->completed.load(), old->submitted.load()) << "the old blocks played out";
        EXPECT_EQ(old->hWaveOut.load(), nullptr);
    }
    EXPECT_NE(player.stream(), old);
    std::lock_guard lock(rig.log->mutex);
    EXPECT_EQ(rig.log->opens, 2);
    EXPECT_EQ(rig.log->closes, 1);
    EXPECT_EQ(rig.log->blocksDropped, 0u);
}

TEST(Playback, CompileErrorStopsTheOldStreamAndStaysIdle) {
    Rig rig;
    auto& player = rig.make();
    ASSERT_TRUE(player.StartPlayback(shortSong(), false, true, rig.host));
    EXPECT_FALSE(player.StartPlayback(songInputs("", {"C", "Q"}), false, false, rig.host));
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(rig.log->closes, 1);
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].rfind("error:バンクB\nMMLコード 1 文字目 (1行 1列)\n", 0), 0u) << rig.host.messages[0];
}

TEST(Playback, StopWhenIdleAndStopTwiceAreHarmless) {
    Rig rig;
    auto& player = rig.make();
    player.StopPlayback();
    player.StopPlayback();
    ASSERT_TRUE(player.StartPlayback(shortSong(), false, true, rig.host));
    player.StopPlayback();
    player.StopPlayback();
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(rig.log->opens, 1);
    EXPECT_EQ(rig.log->closes, 1);
}

TEST(Playback, LoopRepeatsTheSongWithAllBanksTogether) {
    Rig rig;
    auto& player = rig.make();
    auto in = shortSong();
    ASSERT_TRUE(player.StartPlayback(in, false, true, rig.host));
    const size_t blocks = 3 * 24000 / kBlockFrames + 4;
    ASSERT_TRUE(waitUntil([&] { return player.blocksHeard() >= blocks; }));
    player.StopPlayback();
    EXPECT_FALSE(player.songHeard());
    auto reference = buildOrFail(in);
    reference->SetLoop(true);
    std::vector<int16_t> heard = rig.log->heardCopy();
    std::vector<int16_t> expected = reference->Render(static_cast<int64_t>(heard.size() / 2));
    EXPECT_EQ(heard, expected) << firstDifference(heard, expected);
    // The second pass begins like the first: bank B, which ends first, waited for A.
    const size_t firstPass = renderToEnd(*buildOrFail(in)).size();
    ASSERT_GT(heard.size(), 2 * firstPass + 8);
    bool restarted = false;
    for (size_t at = firstPass; at < firstPass + 16 && !restarted; at += 2)
        restarted = std::equal(heard.begin(), heard.begin() + 4000, heard.begin() + static_cast<long>(at));
    EXPECT_TRUE(restarted) << "the song starts over right after its end";
}

TEST(Playback, PauseAtStartGivesSilenceUntilUnpaused) {
    Rig rig;
    auto& player = rig.make();
    player.setPaused(true);
    auto in = shortSong();
    ASSERT_TRUE(player.StartPlayback(in, false, false, rig.host));
    ASSERT_TRUE(waitUntil([&] { return player.blocksHeard() >= 12; }));
    player.setPaused(false);
    ASSERT_TRUE(waitUntil([&] { return player.songHeard(); }));
    std::vector<int16_t> heard = rig.log->heardCopy();
    std::vector<int16_t> song = renderToEnd(*buildOrFail(in));
    // Whole blocks of silence, then the song from its beginning.
    size_t lead = 0;
    while (lead < heard.size() && heard[lead] == 0) ++lead;
    ASSERT_GE(lead, 12u * kBlockSamples);
    size_t start = lead / kBlockSamples * kBlockSamples;
    ASSERT_GE(heard.size(), start + song.size());
    std::vector<int16_t> part(heard.begin() + static_cast<long>(start), heard.begin() + static_cast<long>(start + song.size()));
    EXPECT_EQ(part, song) << firstDifference(part, song);
}

TEST(Playback, SongWithoutNotesGivesFourSilentBlocks) {
    Rig rig;
    auto& player = rig.make();
    ASSERT_TRUE(player.StartPlayback(songInputs("T90V50", {"@1", "", "P10"}), false, false, rig.host));
    ASSERT_TRUE(waitUntil([&] { return player.songHeard(); }));
    std::this_thread::sleep_for(50ms);
    std::vector<int16_t> heard = rig.log->heardCopy();
    EXPECT_EQ(heard, std::vector<int16_t>(4 * kBlockSamples, 0));
}

TEST(Playback, TestModePlaysThePhraseWithTheToneCommand) {
    Rig rig;
    auto& player = rig.make();
    auto in = songInputs("L16", {"CDEFGAB"});
    in.testPhrase = "EG";
    in.toneCommand = "@2";
    in.currentBankMode = true;  // ignored in Test
    in.bankIndex = -1;
    ASSERT_TRUE(player.StartPlayback(in, true, false, rig.host));
    ASSERT_TRUE(waitUntil([&] { return player.songHeard(); }));
    std::vector<int16_t> heard = rig.log->heardCopy();
    std::vector<int16_t> expected = expectedHearing(songInputs("L16", {"@2EG"}));
    EXPECT_EQ(heard, expected) << firstDifference(heard, expected);
}

TEST(Playback, DeviceThatCannotOpenIsReported) {
    Rig rig;
    rig.options.failOpen = true;
    auto& player = rig.make();
    EXPECT_FALSE(player.StartPlayback(shortSong(), false, false, rig.host));
    EXPECT_EQ(rig.host.messages, std::vector<std::string>{"Wav出力デバイスのオープンに失敗しました"});
    EXPECT_TRUE(player.isPlaying()) << "the unopened stream stays until the next Stop";
    player.StopPlayback();
    EXPECT_FALSE(player.isPlaying());
}

TEST(Playback, WorkerThatCannotStartIsReportedAndTheDeviceClosed) {
    Rig rig;
    rig.playerOptions.startThread = [](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    };
    LogCapture log;
    auto& player = rig.make();
    EXPECT_FALSE(player.StartPlayback(shortSong(), false, false, rig.host));
    EXPECT_EQ(rig.host.messages, std::vector<std::string>{std::string(output::kWorkerStartFailed)});
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(rig.log->opens, 1);
    EXPECT_EQ(rig.log->closes, 1);
    EXPECT_TRUE(log.contains("cannot start the stream worker"));
}

TEST(Playback, DeviceThatNeverReportsItsCloseDoesNotHangStop) {
    Rig rig;
    rig.options.neverReportClose = true;
    rig.playerOptions.closeTimeout = 200ms;
    LogCapture log;
    auto& player = rig.make();
    ASSERT_TRUE(player.StartPlayback(shortSong(), false, true, rig.host));
    auto started = std::chrono::steady_clock::now();
    player.StopPlayback();
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_FALSE(player.isPlaying());
    EXPECT_LT(took, 3s);
    EXPECT_TRUE(log.contains("did not report its close"));
    // The player works again afterwards.
    rig.options.neverReportClose = false;
}

TEST(Playback, FailedPrepareIsLoggedAndTheBlockStillPlays) {
    Rig rig;
    rig.options.failPrepare = true;
    LogCapture log;
    auto& player = rig.make();
    auto in = shortSong();
    ASSERT_TRUE(player.StartPlayback(in, false, false, rig.host));
    ASSERT_TRUE(waitUntil([&] { return player.songHeard(); }));
    EXPECT_TRUE(log.contains("failed waveOutPrepareHeader."));
    std::vector<int16_t> heard = rig.log->heardCopy();
    EXPECT_EQ(heard, expectedHearing(in));
}

TEST(Playback, DestroyingThePlayerStopsTheStreamCleanly) {
    auto log = std::make_shared<output::VirtualDeviceLog>();
    RecordingHost host;
    {
        output::Player player(output::VirtualAudioDevice::factory({.realTime = true}, log));
        ASSERT_TRUE(player.StartPlayback(shortSong(), false, true, host));
        ASSERT_TRUE(waitUntil([&] { return player.blocksHeard() >= 1; }));
    }
    std::lock_guard lock(log->mutex);
    EXPECT_EQ(log->closes, 1);
    EXPECT_EQ(log->blocksDropped, 0u);
    EXPECT_FALSE(log->writeWhileClosed);
}

TEST(Playback, LoopFlagIsReadOnlyAtStart) {
    // The player takes the flag as an argument at Play; the running song keeps it.
    Rig rig;
    auto& player = rig.make();
    ASSERT_TRUE(player.StartPlayback(shortSong(), false, false, rig.host));
    ASSERT_TRUE(waitUntil([&] { return player.songHeard(); }));
    EXPECT_TRUE(player.stream()->generator->IsFinished());
}

TEST(PlaybackStress, FiveHundredPlayStopPausePlayCycles) {
    LogCapture log;
    Rig rig;
    auto& player = rig.make();
    auto looping = shortSong();
    auto ending = songInputs("L32", {"C"});
    for (int cycle = 0; cycle < 500; ++cycle) {
        ASSERT_TRUE(player.StartPlayback(cycle % 3 == 0 ? ending : looping, false, cycle % 2 == 0, rig.host));
        player.StopPlayback();
        player.setPaused(cycle % 4 == 1);
        ASSERT_TRUE(player.StartPlayback(looping, cycle % 5 == 0, true, rig.host)) << "cycle " << cycle;
        player.setPaused(false);
    }
    player.StopPlayback();
    EXPECT_FALSE(player.isPlaying());
    std::lock_guard lock(rig.log->mutex);
    EXPECT_EQ(rig.log->opens, 1000);
    EXPECT_EQ(rig.log->closes, 1000);
    EXPECT_EQ(rig.log->blocksDropped, 0u) << "every block submitted before Stop was played";
    EXPECT_FALSE(rig.log->writeWhileClosed) << "no refill reached a closing device";
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_EQ(log.lines(), 0u) << "no drain or device complaint:\n" << log.all();
}

}  // namespace
}  // namespace tavolin::testing

namespace tavolin::testing {
namespace {

// Mute and solo while the song plays on a paced device: each change is heard
// from the first block the device takes after it (at the latest the one after
// the block playing at the request), every block before it keeps the old mix,
// and the banks left out meanwhile come back where they would have been. The
// taps reach the rings block by block, numbered by song frame.
TEST(Playback, MuteAndSoloAreHeardWithinOneBlock) {
    // A and E hold notes throughout, E with level noise, so every block of
    // each mix differs from the others.
    auto in = songInputs("T240L2", {"O4 V120 [C]6", "", "", "", "@W9:0N50:50 @9 O5 V90 [E]6"});
    const size_t blocks = 48;  // the song lasts 140 blocks; the changes come at 12 and 24
    // The stems of the same song, one pass with every bank tapped.
    std::array<std::vector<int16_t>, 5> stems;
    {
        auto song = buildOrFail(in);
        BankTaps taps;
        for (size_t b = 0; b < 5; ++b) {
            stems[b].assign(blocks * kBlockSamples, 0);
            taps.banks[b] = stems[b];
        }
        std::vector<int16_t> mix(blocks * kBlockSamples);
        song->Render(std::span<int16_t>(mix), &taps);
    }
    const auto mixOf = [&](BankMask mask, size_t block) {
        std::vector<int16_t> out(kBlockSamples);
        for (size_t k = 0; k < kBlockSamples; ++k) {
            int32_t sum = 0;
            for (int b = 0; b < 5; ++b)
                if (mask & bankBit(b)) sum += stems[static_cast<size_t>(b)][block * kBlockSamples + k];
            out[k] = static_cast<int16_t>(std::clamp(sum, -32768, 32767));
        }
        return out;
    };

    Rig rig;
    rig.options.realTime = true;
    auto& player = rig.make();
    player.setBankTaps(true);
    const BankMask masks[] = {kAllBanks, MuteSolo{bankBit(0), 0}.audible(), MuteSolo{bankBit(0), bankBit(0)}.audible()};
    ASSERT_TRUE(player.StartPlayback(in, false, false, rig.host));
    auto rings = player.bankRings();
    ASSERT_TRUE(rings);
    struct Change {
        uint64_t heardBefore;
        uint64_t heardAfter;
    };
    std::vector<Change> changes;
    const auto played = [&] {
        std::lock_guard lock(rig.log->mutex);
        return rig.log->blocksPlayed;
    };
    for (size_t t = 1; t < std::size(masks); ++t) {
        const uint32_t at = static_cast<uint32_t>(12 * t);
        ASSERT_TRUE(waitUntil([&] { return player.blocksHeard() >= at; }));
        const uint64_t before = played();
        player.setAudibleBanks(masks[t]);
        changes.push_back({before, played()});
    }
    ASSERT_TRUE(waitUntil([&] { return player.blocksHeard() >= blocks; }));
    player.StopPlayback();
    const std::vector<int16_t> heard = rig.log->heardCopy();
    ASSERT_GE(heard.size(), blocks * kBlockSamples);

    size_t current = 0;
    for (size_t block = 0; block < blocks; ++block) {
        const std::vector<int16_t> got(heard.begin() + static_cast<ptrdiff_t>(block * kBlockSamples),
                                       heard.begin() + static_cast<ptrdiff_t>((block + 1) * kBlockSamples));
        if (current + 1 < std::size(masks) && got == mixOf(masks[current + 1], block)) {
            ++current;
            const Change& c = changes[current - 1];
            EXPECT_GE(block, c.heardBefore) << "change " << current << " heard before it was made";
            EXPECT_LE(block, c.heardAfter + 1) << "change " << current << " heard more than a block late";
        }
        ASSERT_EQ(got, mixOf(masks[current], block)) << "block " << block << " mask " << int{masks[current]};
    }
    EXPECT_EQ(current, std::size(masks) - 1);

    // Every bank's ring holds its own output, whatever was heard: the last
    // frames written are the stems' (mono: left + right).
    const uint64_t written = rings->banks[0].written();
    EXPECT_GE(written, blocks * kBlockFrames);
    for (size_t b : {size_t{0}, size_t{4}}) {
        std::vector<int16_t> tail(2048);
        const uint64_t end = blocks * kBlockFrames;
        ASSERT_TRUE(rings->banks[b].read(end, tail)) << "bank " << b;
        for (size_t i = 0; i < tail.size(); ++i) {
            const size_t frame = end - tail.size() + i;
            ASSERT_EQ(tail[i], std::clamp(stems[b][2 * frame] + stems[b][2 * frame + 1], -32768, 32767)) << "bank " << b;
        }
    }
}

}  // namespace
}  // namespace tavolin::testing
