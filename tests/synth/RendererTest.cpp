// SPDX-License-Identifier: MIT
// Bank renderer and mixer: timing, pan, loops, seek, Render, and the guards
// against stalls and overflow.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "SynthTestUtil.h"

namespace tavolin::test {
namespace {

template <typename T>
class Renderer : public ::testing::Test {};
TYPED_TEST_SUITE(Renderer, EngineTypes);

// Frequencies (rounded Hz) of the notes a bank starts, in order.
template <EngineNumType T>
std::vector<int> noteSequence(BankPlayer<T>& p, size_t maxNotes, size_t maxFrames = 1000000) {
    std::vector<int> seq;
    for (size_t f = 0; f < maxFrames && seq.size() < maxNotes && p.hasEventsLeft(); ++f) {
        p.renderFrame(false);
        if (p.elapsedSamples() == 1) seq.push_back(static_cast<int>(std::lround(p.sampleRate() / toD(p.cycleLength()))));
    }
    return seq;
}

TYPED_TEST(Renderer, LedgerAtTempo133NeverDrifts) {
    using T = TypeParam;
    TimingLedger<T> ledger;
    const double exact = 48000.0 * 240 * 64 / (256 * 133);  // 21,654.135...
    uint64_t total = 0;
    for (int n = 1; n <= 20; ++n) {
        const int32_t len = ledger.addNote(133, num<T>(64), 48000);
        const int32_t expected = (n == 8 || n == 15) ? 21655 : 21654;
        EXPECT_EQ(len, expected) << "note " << n;
        total += static_cast<uint64_t>(len);
        EXPECT_EQ(total, static_cast<uint64_t>(std::floor(n * exact))) << "after note " << n;
    }
    // A tempo change opens a new segment: a quarter at 120 is exactly 24,000.
    EXPECT_EQ(ledger.addNote(120, num<T>(64), 48000), 24000);
    EXPECT_EQ(ledger.segmentCount(), 2u);
    // The same notes through a player.
    ListBuilder<T> b;
    b.prologue().tempo(133);
    for (int i = 0; i < 16; ++i) b.note(440, 64);
    auto p = makePlayer<T>(b.list());
    std::vector<int32_t> lengths;
    for (int f = 0; f < 16 * 21655 && p->hasEventsLeft(); ++f) {
        p->renderFrame(false);
        if (p->elapsedSamples() == 1) lengths.push_back(p->noteLengthSamples());
    }
    ASSERT_EQ(lengths.size(), 16u);
    for (size_t i = 0; i < lengths.size(); ++i)
        EXPECT_EQ(lengths[i], (i == 7 || i == 14) ? 21655 : 21654) << "note " << i + 1;
}

TYPED_TEST(Renderer, LinearPanLaw) {
    using T = TypeParam;
    struct Row { int32_t pan; StereoSample expected; };
    const Row rows[] = {{0, {32767, 0}}, {128, {16383, 16383}}, {256, {0, 32767}}, {64, {24575, 8191}}};
    for (const auto& r : rows) {
        ListBuilder<T> b;
        b.prologue().flatLeft().pan(r.pan).note(1, 64);
        auto p = makePlayer<T>(b.list());
        const StereoSample s = p->renderFrame(false);
        EXPECT_EQ(s.left, r.expected.left) << "pan " << r.pan;
        EXPECT_EQ(s.right, r.expected.right) << "pan " << r.pan;
    }
}

// Notes: A 100 Hz, B 200, C 300, D 400; 1,200 samples each at tempo 600.
TYPED_TEST(Renderer, LoopOrders) {
    using T = TypeParam;
    using B = ListBuilder<T>;
    struct Row {
        const char* name;
        void (*build)(B&);
        bool exportMode;
        std::vector<int> order;
    };
    const Row rows[] = {
        {"[A:B]3", [](B& b) { b.loopStart().note(100, 16).loopBreak().note(200, 16).loopEnd(3); }, false,
         {100, 200, 100, 200, 100}},
        {"[A B:C]3", [](B& b) { b.loopStart().note(100, 16).note(200, 16).loopBreak().note(300, 16).loopEnd(3); }, false,
         {100, 200, 300, 100, 200, 300, 100, 200}},
        {"[A]3 D", [](B& b) { b.loopStart().note(100, 16).loopEnd(3).note(400, 16); }, false, {100, 100, 100, 400}},
        {"[[A]2 B]2", [](B& b) { b.loopStart().loopStart().note(100, 16).loopEnd(2).note(200, 16).loopEnd(2); }, false,
         {100, 100, 200, 100, 100, 200}},
        {"[A]-1 D in export plays once", [](B& b) { b.loopStart().note(100, 16).loopEnd(-1).note(400, 16); }, true,
         {100, 400}},
        {"[A]-1 D repeats without export", [](B& b) { b.loopStart().note(100, 16).loopEnd(-1).note(400, 16); }, false,
         std::vector<int>(12, 100)},
        {"[A:B]-1 C leaves at the break in the first pass", [](B& b) { b.loopStart().note(100, 16).loopBreak().note(200, 16).loopEnd(-1).note(300, 16); },
         false, {100, 300}},
    };
    for (const auto& row : rows) {
        B b;
        b.prologue().tempo(600);
        row.build(b);
        auto p = makePlayer<T>(b.list());
        p->setExportMode(row.exportMode);
        EXPECT_EQ(join(noteSequence(*p, 12)), join(row.order)) << row.name;
    }
}

// Stepping and the fast seek stop at the same place: the marked record, or,
// when a break skips it on every pass, the first record after it reached.
TYPED_TEST(Renderer, SeekStopsAtTheMarker) {
    using T = TypeParam;
    using B = ListBuilder<T>;
    struct Row { const char* name; void (*build)(B&); int expectedSteps; int nextNote; int32_t volumeAfter; };
    const Row rows[] = {
        {"marker on the third note", [](B& b) { b.note(100, 16).note(200, 16).volume(200).note(300, 16).marker().note(400, 16); },
         2400, 300, 200},
        {"marker on a volume record before it", [](B& b) { b.note(100, 16).note(200, 16).volume(200).marker().note(300, 16); },
         2400, 300, 100},
        {"marker on a note the break skips", [](B& b) { b.loopStart().note(100, 16).loopBreak().note(200, 16).marker().loopEnd(-1).note(300, 16); },
         1200, 300, 100},
        {"marker on a loop end: its first pass", [](B& b) { b.note(100, 16).loopStart().note(200, 16).loopEnd(2).marker().note(300, 16); },
         2400, 200, 100},
    };
    for (const auto& r : rows) {
        B b;
        b.prologue().tempo(600).volume(100);
        r.build(b);
        auto p = makePlayer<T>(b.list());
        auto fast = makePlayer<T>(b.list());
        int steps = 0;
        while (!p->seekStep() && steps < 100000) ++steps;
        EXPECT_EQ(steps, r.expectedSteps) << r.name;
        bool reached = false;
        EXPECT_EQ(fast->fastSeek(UINT64_MAX, true, reached), static_cast<uint64_t>(r.expectedSteps)) << r.name;
        EXPECT_TRUE(reached) << r.name;
        EXPECT_NEAR(toD(p->volume()), r.volumeAfter / 255.0, 1e-4) << r.name;
        p->renderFrame(false);
        EXPECT_EQ(p->elapsedSamples(), 1) << r.name;
        EXPECT_EQ(std::lround(48000 / toD(p->cycleLength())), r.nextNote) << r.name;
    }
    // A list whose marker is the end marker: the seek runs through the song
    // and reports without rendering past it.
    ListBuilder<T> b;
    b.prologue().tempo(600).note(100, 16).end();
    auto p = makePlayer<T>(b.list());
    int steps = 0;
    while (!p->seekStep() && steps < 100000) ++steps;
    EXPECT_EQ(steps, 1200);
}

// The fast seek skips discarded draws with the generator's jump-ahead: it
// must land where drawing one at a time does, from any state.
TEST(RandomSourceTest, DiscardEqualsDrawing) {
    for (uint32_t start : {1u, 0u, 0xFFFFFFFFu, 12345u}) {
        for (uint64_t count : {0ull, 1ull, 2ull, 3ull, 1000ull, 65537ull, 1ull << 20}) {
            RandomSource drawn, skipped;
            drawn.reset(start);
            skipped.reset(start);
            for (uint64_t i = 0; i < count; ++i) (void)drawn.next();
            skipped.discard(count);
            EXPECT_EQ(skipped.state(), drawn.state()) << start << " + " << count;
        }
    }
}

TYPED_TEST(Renderer, RenderSizes) {
    using T = TypeParam;
    auto set = std::make_unique<BankSet<T>>();
    ListBuilder<T> b;
    b.prologue().tempo(600).note(440, 4);
    auto& p = set->player(0);
    p.events() = b.list();
    p.prepare(48000);
    struct Row { int64_t frames; size_t size; };
    const Row rows[] = {{0, 0}, {-5, 0}, {1, 2}, {1024, 2048}, {1024, 2048}};
    for (const auto& r : rows) EXPECT_EQ(set->Render(r.frames).size(), r.size) << r.frames;
    EXPECT_TRUE(set->IsFinished());
    const auto after = set->Render(1024);
    EXPECT_EQ(after.size(), 2048u);
    EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](int16_t v) { return v == 0; }));
    // The span form fills exactly the caller's buffer; an odd tail is zeroed.
    std::vector<int16_t> odd(7, 123);
    set->Render(std::span<int16_t>(odd));
    EXPECT_EQ(join(odd), "0 0 0 0 0 0 0");
}

// Bank A lasts one second (left), bank B two seconds (right).
TYPED_TEST(Renderer, BanksRestartTogetherWhenLooping) {
    using T = TypeParam;
    for (bool loop : {true, false}) {
        auto set = std::make_unique<BankSet<T>>();
        ListBuilder<T> a, bb;
        a.prologue().flatLeft().note(440, 128);
        bb.prologue().flatLeft().pan(256).note(220, 256);
        set->player(0).events() = a.list();
        set->player(1).events() = bb.list();
        set->player(0).prepare(48000);
        set->player(1).prepare(48000);
        set->SetLoop(loop);
        const auto s = set->Render(96000 + 2000);
        auto left = [&](size_t f) { return s[2 * f]; };
        auto right = [&](size_t f) { return s[2 * f + 1]; };
        size_t leftSecondSecond = 0, rightSecondSecond = 0;
        for (size_t f = 48000; f < 96000; ++f) {
            leftSecondSecond += left(f) != 0;
            rightSecondSecond += right(f) != 0;
        }
        EXPECT_EQ(leftSecondSecond, 0u) << "loop " << loop;
        EXPECT_GT(rightSecondSecond, 40000u) << "loop " << loop;
        bool restartMatches = true, silentAfter = true;
        for (size_t f = 0; f < 2000; ++f) {
            restartMatches = restartMatches && left(96000 + f) == left(f) && right(96000 + f) == right(f);
            silentAfter = silentAfter && left(96000 + f) == 0 && right(96000 + f) == 0;
        }
        EXPECT_EQ(restartMatches, loop);
        EXPECT_EQ(silentAfter, !loop);
        EXPECT_EQ(set->IsFinished(), !loop);
    }
}

// Five full-scale banks clip at the 16-bit limits instead of wrapping.
TYPED_TEST(Renderer, MixSaturates) {
    using T = TypeParam;
    auto set = std::make_unique<BankSet<T>>();
    ListBuilder<T> b;
    b.prologue().flatLeft().note(1000, 64);
    for (int i = 0; i < 5; ++i) {
        set->player(i).events() = b.list();
        set->player(i).prepare(48000);
    }
    const auto s = set->Render(100);
    EXPECT_EQ(s[0], 32767);
    EXPECT_EQ(s[1], 0);
    EXPECT_EQ(s[2 * 30], -32768);  // second half-cycle
}

TYPED_TEST(Renderer, EmptyBanksAreSilentAndFinished) {
    using T = TypeParam;
    auto set = std::make_unique<BankSet<T>>();
    EXPECT_TRUE(set->IsFinished());
    const auto s = set->Render(64);
    EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](int16_t v) { return v == 0; }));
    set->SetLoop(true);
    EXPECT_FALSE(set->IsFinished());  // a looping song never finishes
}

// Songs that could make a bank stall or spin: none may hang renderFrame.
TYPED_TEST(Renderer, NoStallsOrEndlessSpins) {
    using T = TypeParam;
    using B = ListBuilder<T>;
    struct Row {
        const char* name;
        uint32_t rate;
        void (*build)(B&);
        size_t frames;
        int soundingNotes;   // distinct note starts expected within the frames
        bool finished;       // the bank's pass has ended by then
    };
    const Row rows[] = {
        {"100 notes shorter than a sample, then a real one", 8000,
         [](B& b) { for (int i = 0; i < 100; ++i) b.note(440, 0.0001); b.note(300, 64); }, 20, 1, false},
        {"endless loop of zero-length notes", 48000,
         [](B& b) { b.loopStart().note(440, 0).loopEnd(-1); }, 200, 0, true},
        {"endless loop whose break skips its only note", 48000,
         [](B& b) { b.note(100, 16).loopStart().loopStart().loopBreak().note(200, 16).loopEnd(1).loopEnd(-1); }, 3000, 1, true},
        {"a long but finite pass without notes still reaches the next note", 48000,
         [](B& b) { b.loopStart().loopStart().loopBreak().note(200, 16).loopEnd(1).loopEnd(200).note(300, 16); }, 200, 1, false},
        {"sample rate 0 renders silence and ends", 0, [](B& b) { b.note(440, 64).note(220, 64); }, 200, 0, true},
    };
    for (const auto& row : rows) {
        B b;
        b.prologue().tempo(600);
        row.build(b);
        auto p = makePlayer<T>(b.list(), row.rate);
        int starts = 0;
        for (size_t f = 0; f < row.frames; ++f) {
            p->renderFrame(false);
            starts += p->elapsedSamples() == 1 && !p->silent();
        }
        EXPECT_EQ(starts, row.soundingNotes) << row.name;
        EXPECT_EQ(p->isFinished(), row.finished) << row.name;
    }
}

// IsFinished is read by another thread while this one renders (TSan checks
// the publication); it turns true exactly when the song has been consumed.
TYPED_TEST(Renderer, IsFinishedFromAnotherThread) {
    using T = TypeParam;
    auto set = std::make_unique<BankSet<T>>();
    ListBuilder<T> b;
    b.prologue().tempo(600).note(440, 16).note(220, 16);
    for (int i = 0; i < 3; ++i) {
        set->player(i).events() = b.list();
        set->player(i).prepare(48000);
    }
    std::atomic<bool> stop{false};
    std::atomic<int> seenFinishedEarly{0};
    std::atomic<bool> rendering{true};
    std::thread watcher([&] {
        while (!stop.load()) {
            if (set->IsFinished() && rendering.load()) seenFinishedEarly.fetch_add(1);
        }
    });
    std::vector<int16_t> block(2 * 100);
    for (int i = 0; i < 23; ++i) set->Render(std::span<int16_t>(block));  // 2,300 < 2,400 frames
    rendering.store(false);
    EXPECT_FALSE(set->IsFinished());
    for (int i = 0; i < 2; ++i) set->Render(std::span<int16_t>(block));
    EXPECT_TRUE(set->IsFinished());
    stop.store(true);
    watcher.join();
    EXPECT_EQ(seenFinishedEarly.load(), 0);
}

}  // namespace
}  // namespace tavolin::test
