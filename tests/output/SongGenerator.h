// SPDX-License-Identifier: MIT
// Random songs for the output tests: what the seek and the MIDI round trip must carry.
#pragma once

#include <random>
#include <string>

namespace tavolin::testing {

// Songs that compile most of the time and use what the seek must carry:
// every wave, duty lists with switching, frequency and level noise, the noise
// wave, envelopes, both LFOs (ms and percent), slurs with portamento,
// counted and broken loops, macros and tempo changes.
class SongGenerator {
public:
    // Without `bankTempo` the tempo is set once, in the common text, so that
    // every bank shares one tempo map.
    explicit SongGenerator(uint32_t seed, bool bankTempo = true) : m_rng(seed), m_bankTempo(bankTempo) {}
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }

    std::string common() {
        std::string s = "T" + num(60, 240) + "L" + std::to_string(1 << pick(2, 4));
        for (int i = pick(0, 3); i > 0; --i) s += toneDef();
        if (pick(0, 1)) s += "@ED" + num(0, 3) + ":" + num(0, 40) + ":" + num(0, 60) + ":" + num(0, 80) + ":" + num(0, 255) + ":" + num(0, 255);
        if (pick(0, 1)) s += lfo();
        if (pick(0, 2) == 0) s += "@!A" + phrase(3) + "!";
        return s;
    }
    std::string bank() {
        std::string s;
        for (int i = pick(1, 10); i > 0; --i) {
            switch (pick(0, 11)) {
            case 0: s += "[" + phrase(3) + (pick(0, 1) ? ":" + phrase(2) : "") + "]" + num(1, 3); break;
            case 1: s += "[" + phrase(2) + ":" + phrase(2) + "]"; break;  // endless, left by its break
            case 2: s += toneDef(); break;
            case 3: s += "@" + num(0, 9); break;
            case 4: s += lfo(); break;
            case 5: s += m_bankTempo ? "T" + num(60, 300) : phrase(2); break;
            case 6: s += "@S" + num(1, 6); break;
            case 7: s += "!A"; break;
            case 8: s += "V" + num(40, 255) + "P" + num(0, 256); break;
            default: s += phrase(3); break;
            }
            s += " ";
        }
        return s;
    }

private:
    std::string num(int lo, int hi) { return std::to_string(pick(lo, hi)); }
    std::string note() {
        static const char* letters[] = {"C", "D", "E", "F", "G", "A", "B", "R"};
        std::string s = letters[pick(0, 7)];
        if (s != "R" && s != "B" && pick(0, 5) == 0) s += "#";
        if (pick(0, 1)) s += std::to_string(1 << pick(1, 5));
        if (pick(0, 6) == 0) s += ".";
        return s;
    }
    std::string phrase(int maxNotes) {
        std::string s = "O" + num(1, 7);
        std::string previous;
        for (int i = pick(1, maxNotes); i > 0; --i) {
            const std::string n = note();
            // a slur joins two notes; never a rest
            if (!previous.empty() && previous[0] != 'R' && n[0] != 'R' && pick(0, 3) == 0) s += "&";
            s += n;
            previous = n;
        }
        return s;
    }
    std::string toneDef() {
        std::string s = "@W" + num(0, 9) + ":" + num(0, 4);
        if (pick(0, 2) == 0) s.append("R").append(num(0, 60));
        if (pick(0, 2) == 0) s.append("N").append(num(0, 100));
        if (pick(0, 2) == 0) s.append("C").append(num(0, 200));
        for (int i = pick(1, 3); i > 0; --i) s.append(":").append(num(0, 99));
        return s;
    }
    std::string lfo() {
        std::string s = std::string("@L") + "TV"[pick(0, 1)] + (pick(0, 2) == 0 ? "P" : "");
        int t = 0;
        for (int i = pick(1, 3); i > 0; --i) {
            if (t > 0) s += ":";
            s += std::to_string(t) + (pick(0, 1) ? "S" : "") + ":" + num(1, 300) + ":" + num(0, 100);
            t += pick(1, 400);
        }
        return s;
    }
    std::mt19937 m_rng;
    bool m_bankTempo;
};

}  // namespace tavolin::testing
