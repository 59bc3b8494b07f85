// SPDX-License-Identifier: MIT
// The fast seek against the stepping seek: over random songs and carets the
// two leave every bank in the same state, field by field, and the song goes
// on with the same bytes, in all three types.
#include <cstdio>
#include <random>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "output/SongBuilder.h"
#include "tests/output/OutputTestSupport.h"
#include "tests/output/SongGenerator.h"

namespace tavolin::testing {
namespace {

template <typename T>
class Seek : public ::testing::Test {};
TYPED_TEST_SUITE(Seek, ArithTypes);

template <EngineNumType T>
std::string numText(T v) {
    char buf[48];
    if constexpr (std::is_same_v<T, Fix>) std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v.raw()));
    else std::snprintf(buf, sizeof buf, "%a", static_cast<double>(v));
    return buf;
}

// Every field the seek must carry, one line per bank. Caches that are only
// ever derived from these (noise coefficients, LFO segment data) are left out.
template <EngineNumType T>
std::string describeState(BankSet<T>& set) {
    std::ostringstream s;
    s << "random " << set.random().state() << "\n";
    const auto lfo = [](std::ostringstream& o, const LfoState<T>& l) {
        o << l.pointIndex << "/" << numText(l.period) << "/" << numText(l.phase) << "/" << numText(l.depth);
    };
    for (int b = 0; b < kBankCount; ++b) {
        const BankPlayer<T>& p = set.player(b);
        const auto& f = p.noiseFilter();
        s << static_cast<char>('A' + b) << ": ev " << p.eventIndex() << " len " << p.noteLengthSamples() << " el "
          << p.elapsedSamples() << " grp " << p.groupLengthSamples() << " t " << p.tempo() << " pan " << p.pan() << " vol "
          << numText(p.volume()) << " tone " << p.currentTone() << " env " << p.currentEnvelope() << " cyc "
          << numText(p.cycleLength()) << " ph " << numText(p.oscillatorPhase()) << " half " << p.halfCycle() << ":"
          << numText(p.halfCycleLength()) << " duty " << p.dutyIndex() << ":" << numText(p.currentDuty())
          << (p.dutySwitchPending() ? "!" : "") << (p.silent() ? " silent" : "") << " lfoT " << p.lfoTimeCounter()
          << " pitch ";
        lfo(s, p.pitchLfo());
        s << " amp ";
        lfo(s, p.ampLfo());
        s << " ledger " << p.ledger().totalSamples() << "+" << numText(p.ledger().lastSegment().accumulatedLength)
          << " filter " << numText(f.x1) << "," << numText(f.x2) << "," << numText(f.y1) << "," << numText(f.y2) << " loops";
        for (int l = 0; l < 4; ++l) s << " " << p.loopCounter(l);
        s << "\n";
    }
    return s.str();
}

TYPED_TEST(Seek, FastSeekEqualsSteppingSeek) {
    using T = TypeParam;
    constexpr int kSongs = 300;
    int compiled = 0, sought = 0;
    for (int i = 0; i < kSongs; ++i) {
        SongGenerator gen(static_cast<uint32_t>(1000 + i));
        const std::string common = gen.common();
        std::array<std::string, kBankCount> texts;
        std::array<std::string_view, kBankCount> banks;
        for (int b = 0; b < kBankCount; ++b) {
            texts[static_cast<size_t>(b)] = gen.pick(0, 5) ? gen.bank() : "";
            banks[static_cast<size_t>(b)] = texts[static_cast<size_t>(b)];
        }
        const int cursorBank = gen.pick(0, 4);
        const uint64_t caret = static_cast<uint64_t>(gen.pick(1, static_cast<int>(texts[static_cast<size_t>(cursorBank)].size()) + 1));
        const uint32_t rate = std::array<uint32_t, 3>{8000, 22050, 48000}[static_cast<size_t>(gen.pick(0, 2))];
        const bool exportMode = gen.pick(0, 3) == 0;
        BankSet<T> stepped, fast;
        if (output::CompileSong<T>(stepped, common, banks, rate, cursorBank, caret).code != 0) continue;
        ASSERT_EQ(output::CompileSong<T>(fast, common, banks, rate, cursorBank, caret).code, 0);
        ++compiled;
        if (exportMode) {
            stepped.SetExportMode();
            fast.SetExportMode();
        }
        const uint64_t bound = uint64_t{rate} * 30;  // keeps the stepping reference quick
        const uint64_t n = output::seekToCursor(stepped, bound, output::SeekMethod::Stepping);
        const uint64_t m = output::seekToCursor(fast, bound, output::SeekMethod::Fast);
        sought += n > 0;
        std::ostringstream place;
        place << "song " << i << " rate " << rate << " cursor " << cursorBank << ":" << caret << "\n"
              << common << ";" << texts[0] << "," << texts[1] << "," << texts[2] << "," << texts[3] << "," << texts[4];
        const std::string where = place.str();
        ASSERT_EQ(m, n) << where;
        ASSERT_EQ(describeState(fast), describeState(stepped)) << where;
        const std::vector<int16_t> a = stepped.Render(int64_t{4096});
        const std::vector<int16_t> b = fast.Render(int64_t{4096});
        ASSERT_TRUE(a == b) << where << "\n" << firstDifference(b, a);
    }
    // the generator must keep producing songs that compile and actually seek
    EXPECT_GT(compiled, kSongs / 2);
    EXPECT_GT(sought, kSongs / 3);
}

// Songs that repeat one bar many times, in a loop or written out, so the
// fast seek puts notes back from its memo and owes the noise filter's steps,
// with the caret on the last note: the noise bank finished, playing on, or
// the song looping back over it; equal notes at other records under other
// settings; and tones the memo must leave alone. Each row is held to the
// stepping seek, state and output, as above.
TYPED_TEST(Seek, RepeatedBarsEqualSteppingSeek) {
    using T = TypeParam;
    struct Row {
        const char* name;
        const char* common;
        std::array<std::string, kBankCount> banks;
        int cursorBank;
        int caretFromEnd;  // caret = bank text length - this
        bool loop;
    };
    const Row rows[] = {
        {"vibrato, noise bank finished", "T240@ED1:10:40:60:255:170@E1@LT0:160:25L8",
         {"O5@0[CDEFGAB>C<]12 D", "O4@1[CDEFGAB>C<]12", "", "", "@4O4[C16R16C32C32R16]24"}, 0, 1, false},
        {"vibrato, noise bank plays on", "T240@LT0:160:25L8",
         {"O5@0[CDEFGAB>C<]12 D", "", "", "", "@4O4[C16R16C32C32R16]30"}, 0, 1, false},
        {"the song loops back over the noise", "T240L8",
         {"O5[CDEF]8 G", "", "", "", "@4O2[C16R16]16"}, 0, 1, true},
        {"slurs, percent-time vibrato, noise bank mid-way", "T200@LTP0S:30:0:60L:80:40L16",
         {"O4@2[CDE&F]9 G", "", "@4O3[C R]40", "", ""}, 0, 1, false},
        {"level noise, tremolo, duty switching", "T180@W5:0N40C30:12:50:75@W6:4N20:30@LV0:90:50L16",
         {"@5O5[C&DE]10 F", "@6O3[CC R]10", "@5O6[G]30", "", ""}, 0, 1, false},
        {"noise with a duty list (not memoised)", "T180@W7:4:10:60L16",
         {"@7O4[CD]20", "@7O5[C]40 D", "", "", ""}, 1, 1, false},
        {"40 s of noise owed, paid in stretches side by side", "T240L8",
         {"O5[CDEF]80 G", "", "", "", "@4O4[C1]45"}, 0, 1, false},
        {"frequency noise (not memoised)", "T180@W8:0R30:50L16",
         {"@8O4[CD]20 E", "O5[C]40", "", "", ""}, 0, 1, false},
        {"written out: vibrato, noise bank plays on", "T240@ED1:10:40:60:255:170@E1@LT0:160:25L8",
         {"O5@0" + times("CDEFGAB>C<", 12) + " D", "O4@1" + times("CEGC", 20), "", "", "@4O4" + times("C16R16C32C32R16", 30)},
         0, 1, false},
        {"written out: equal notes under other volume, envelope, pan, tone, tempo, slur",
         "T240@ED1:10:40:60:255:170@ED2:0:20:80:200:100@LT0:160:25@W9:0:25:75L8",
         {times("@E1CDV30CD@E2P40CD@1CD@9CD@0C&CT200CDT240CD&D", 8) + " E", "", "@4O2" + times("C16R16", 60), "", ""},
         0, 1, false},
        {"written out: level noise and tremolo beside a noise bank", "T200@W5:0N40C30:12:50:75@LV0:90:50L16",
         {"@5O5" + times("CDCD>C<", 12) + " F", "", "", "@4O3" + times("CR", 40), ""}, 0, 1, false},
    };
    for (const Row& row : rows) {
        for (uint32_t rate : {8000u, 22050u}) {
            std::array<std::string_view, kBankCount> banks;
            for (int b = 0; b < kBankCount; ++b) banks[static_cast<size_t>(b)] = row.banks[static_cast<size_t>(b)];
            const uint64_t caret = banks[static_cast<size_t>(row.cursorBank)].size() - static_cast<uint64_t>(row.caretFromEnd);
            BankSet<T> stepped, fast;
            ASSERT_EQ(output::CompileSong<T>(stepped, row.common, banks, rate, row.cursorBank, caret).code, 0) << row.name;
            ASSERT_EQ(output::CompileSong<T>(fast, row.common, banks, rate, row.cursorBank, caret).code, 0) << row.name;
            const uint64_t n = output::seekToCursor(stepped, UINT64_MAX, output::SeekMethod::Stepping);
            ASSERT_EQ(output::seekToCursor(fast, UINT64_MAX, output::SeekMethod::Fast), n) << row.name;
            ASSERT_GT(n, uint64_t{rate}) << row.name;  // the seek skipped a real stretch
            // the loop flag first: it pays an owed filter, and describeState would too
            stepped.SetLoop(row.loop);
            fast.SetLoop(row.loop);
            const std::vector<int16_t> a = stepped.Render(int64_t{rate} * 3);
            const std::vector<int16_t> b = fast.Render(int64_t{rate} * 3);
            ASSERT_TRUE(a == b) << row.name << " at " << rate << "\n" << firstDifference(b, a);
            ASSERT_EQ(describeState(fast), describeState(stepped)) << row.name << " at " << rate;
        }
    }
}

// A song sought past a long noise debt on several threads at once (the
// checkpoint keeper beside a swap's build): the payments share their
// product tables, and every thread goes on with the bytes of a seek made
// alone.
TYPED_TEST(Seek, SeeksOnSeveralThreadsAtOnceAgree) {
    using T = TypeParam;
    const std::string common = "T240L8";
    const std::string a = "O5" + times("CDEF", 40) + " G", e = "@4O4" + times("CDEFGAB", 30);
    const std::array<std::string_view, kBankCount> banks{a, "", "", "", e};
    constexpr uint32_t kRate = 22050;
    const auto seekAndRender = [&] {
        BankSet<T> set;
        if (output::CompileSong<T>(set, common, banks, kRate, 0, a.size() - 1).code != 0) return std::vector<int16_t>{};
        (void)output::seekToCursor(set, UINT64_MAX, output::SeekMethod::Fast);
        return set.Render(kRate);
    };
    BankSet<T> stepped;
    ASSERT_EQ(output::CompileSong<T>(stepped, common, banks, kRate, 0, a.size() - 1).code, 0);
    ASSERT_GT(output::seekToCursor(stepped, UINT64_MAX, output::SeekMethod::Stepping), uint64_t{kRate} * 15);
    const std::vector<int16_t> alone = stepped.Render(kRate);
    std::array<std::vector<int16_t>, 3> got;
    std::vector<std::thread> threads;
    for (auto& g : got) threads.emplace_back([&g, &seekAndRender] { g = seekAndRender(); });
    for (std::thread& t : threads) t.join();
    for (const auto& g : got) ASSERT_TRUE(g == alone) << firstDifference(g, alone);
}

// Slurred chains of vibrato notes, each one long note whose half-cycle
// boundaries the fast seek takes in one loop: seeked in uneven chunks (ending
// anywhere in a half-cycle, on a boundary, at an LFO wrap, in a silent tail),
// every chunk must leave the banks as stepping leaves them. Duty lists
// (every cycle and switched), portamento over the whole note, a settled
// tremolo, an LFO period of no whole number of samples, and unslurred notes
// whose tails fall silent.
TYPED_TEST(Seek, SlurredChainsEqualSteppingInChunks) {
    using T = TypeParam;
    struct Row {
        const char* name;
        std::string common, bank;
        uint32_t rate;
    };
    const std::string chain = times("C&D&E&F&G&A&B&>C&<", 3);
    const Row rows[] = {
        {"duty list every cycle, 10 ms vibrato", "T240@LT0:10:80@W9:0:12.5:50:87.5L8", "@9O5" + chain + "D", 8000},
        {"duties switched every 30 ms, glide over the whole note, tremolo", "T240@S1@LT0:7:150@LV0:20:40@W9:0C30:25:75L8",
         "@9O4" + chain + "D", 8000},
        {"sine, 13 ms vibrato (no whole number of samples), silent tails", "T200@LT0:13:60@W9:3:50L8",
         "@9O6" + times("C&D E F&G&A B ", 4) + "C", 22050},
    };
    for (const Row& row : rows) {
        const std::array<std::string_view, kBankCount> banks{row.bank, "", "", "", ""};
        const uint64_t caret = row.bank.size() - 1;
        BankSet<T> stepped, fast;
        ASSERT_EQ(output::CompileSong<T>(stepped, row.common, banks, row.rate, 0, caret).code, 0) << row.name;
        ASSERT_EQ(output::CompileSong<T>(fast, row.common, banks, row.rate, 0, caret).code, 0) << row.name;
        std::minstd_rand pick(7);
        uint64_t at = 0;
        int chunks = 0;
        for (bool cutShort = true; cutShort; ++chunks) {
            const uint64_t chunk = pick() % 4 == 0 ? 1 + pick() % 3 : 1 + pick() % 250;
            const uint64_t n = output::seekToCursor(stepped, chunk, output::SeekMethod::Stepping, &cutShort);
            ASSERT_EQ(output::seekToCursor(fast, chunk, output::SeekMethod::Fast), n) << row.name << " at " << at;
            at += n;
            ASSERT_EQ(describeState(fast), describeState(stepped)) << row.name << " after " << at << " samples";
        }
        EXPECT_GT(chunks, 150) << row.name;
    }
}

}  // namespace
}  // namespace tavolin::testing
