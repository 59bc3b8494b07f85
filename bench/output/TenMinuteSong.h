// SPDX-License-Identifier: MIT
// The ten-minute song of the seek and swap benchmarks, and the host their builds report to.
#pragma once

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "output/SongBuilder.h"

namespace tavolin::bench {

// Keeps the last message for a benchmark's error.
class QuietHost final : public output::BuildHost {
public:
    void messageBox(const std::string& text) override { last = text; }
    void selectTab(int) override {}
    void selectText(uint64_t, uint64_t) override {}
    std::string last;
};

inline const char* typeName(int arith) { return arith == 0 ? "Fix" : arith == 1 ? "Float" : "Double"; }

// 2,400 eighth notes written out one by one (no loop), a melody drawn from
// a fixed sequence over one octave, as a song typed or imported note by note.
inline std::string writtenEighths(uint32_t seed) {
    std::string text = "L8";
    uint32_t state = seed;
    for (int i = 0; i < 2400; ++i) {
        state = state * 1103515245u + 12345u;
        text += "CDEFGAB"[(state >> 16) % 7];
    }
    return text;
}

inline std::string repeated(std::string_view bar, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += bar;
    return text;
}

// Ten minutes at tempo 120 (eight quarter notes every 4 s, 150 passes): four
// pitched banks with an envelope (and vibrato unless `plain`), bank E a noise
// drum, and one last note in bank A after its loop. `atEnd` puts the caret on
// that note.
// `noisePlaysOn`: the noise drum runs one bar past the caret, so the seek's
// owed noise-filter steps must be paid in the build.
// `written`: the same ten minutes as eighth notes written out without a
// loop (the drum too), every note with the envelope and the vibrato.
inline output::BuildInputs tenMinuteSong(int arith, bool atEnd, bool plain = false, bool noisePlaysOn = false,
                                         bool written = false) {
    output::BuildInputs in;
    in.tabTexts[0] = plain ? "@ED1:10:40:60:255:170@E1V45L4" : "@ED1:10:40:60:255:170@E1@LT0:160:25V45L4";
    if (written) {
        in.tabTexts[1] = "O5@0" + writtenEighths(1) + " D";
        in.tabTexts[2] = "O4@1" + writtenEighths(2);
        in.tabTexts[3] = "O3@2" + writtenEighths(3);
        in.tabTexts[4] = "O6@3" + writtenEighths(4);
        in.tabTexts[5] = "@4O4" + repeated("C8R8C16C16R8", noisePlaysOn ? 602 : 600);
    } else {
        in.tabTexts[1] = "O5@0[CDEFGAB>C<]150 D";
        in.tabTexts[2] = "O4@1[CDEFGAB>C<]150";
        in.tabTexts[3] = "O3@2[CDEFGAB>C<]150";
        in.tabTexts[4] = "O6@3[CDEFGAB>C<]150";
        in.tabTexts[5] = noisePlaysOn ? "@4O4[C8R8C16C16R8]602" : "@4O4[C8R8C16C16R8]600";
    }
    in.arith = static_cast<Arith>(arith);
    in.bankIndex = 0;
    in.caret = atEnd ? in.tabTexts[1].size() - 1 : 0;
    in.startFromCursor = atEnd;
    return in;
}

// The songs where a seek is hardest (see BM_SeekShare).
// This thread's processor time in seconds: on a machine shared with other
// work the wall clock would measure the neighbours too.
inline double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

enum class SeekSong {
    Written,
    SlurredChain,
    TwoDrawingBanks,
    FrequencyNoise,
    FrequencyNoiseAndDrum,
    TwoNoiseBanks,
    FrequencyNoiseAndTwoNoiseBanks,
    ThreeFrequencyNoiseBanks
};

inline output::BuildInputs seekSong(int arith, SeekSong kind) {
    if (kind == SeekSong::FrequencyNoiseAndTwoNoiseBanks || kind == SeekSong::ThreeFrequencyNoiseBanks) {
        // three banks drawing at once: bank B on frequency noise beside bank
        // D's noise wave and the drum; or banks A to C on frequency noise
        // beside the drum, each drawing at every half-cycle
        output::BuildInputs in = tenMinuteSong(arith, false, false, true, true);
        in.tabTexts[0] = "@W11:1R1.5:50" + in.tabTexts[0];
        const auto tone = [&in](size_t tab, std::string_view from, std::string_view to) {
            in.tabTexts[tab].replace(in.tabTexts[tab].find(from), from.size(), to);
        };
        if (kind == SeekSong::FrequencyNoiseAndTwoNoiseBanks) {
            tone(2, "@1", "@11");
            tone(4, "@3", "@4");
        } else {
            tone(1, "@0", "@11");
            tone(2, "@1", "@11");
            tone(3, "@2", "@11");
        }
        return in;
    }
    if (kind == SeekSong::TwoNoiseBanks) {
        // bank D a second noise wave beside the drum, written out to the end
        output::BuildInputs in = tenMinuteSong(arith, false, false, true, true);
        in.tabTexts[4].replace(in.tabTexts[4].find("@3"), 2, "@4");
        return in;
    }
    if (kind == SeekSong::TwoDrawingBanks) {
        output::BuildInputs in = tenMinuteSong(arith, false, false, true, true);
        in.tabTexts[0] = "@W11:1R1.5:50" + in.tabTexts[0];
        in.tabTexts[2].replace(in.tabTexts[2].find("@1"), 2, "@11");
        return in;
    }
    output::BuildInputs in = tenMinuteSong(arith, true, false, true, true);
    if (kind == SeekSong::FrequencyNoise || kind == SeekSong::FrequencyNoiseAndDrum) {
        in.tabTexts[0] = "@W11:1R1.5:50" + in.tabTexts[0];
        in.tabTexts[2].replace(in.tabTexts[2].find("@1"), 2, "@11");
        if (kind == SeekSong::FrequencyNoise) in.tabTexts[5].clear();
    }
    if (kind == SeekSong::SlurredChain) {
        // every eighth of bank A slurred to the next, the last note left alone
        std::string& a = in.tabTexts[1];
        const size_t from = a.find("L8") + 2, to = a.rfind(' ');
        std::string chain = a.substr(0, from);
        for (size_t i = from; i < to; ++i) {
            chain += a[i];
            if (i + 1 < to) chain += '&';
        }
        a = chain + a.substr(to);
        in.caret = a.size() - 1;
    }
    return in;
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

}  // namespace tavolin::bench
