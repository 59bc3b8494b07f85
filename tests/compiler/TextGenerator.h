// SPDX-License-Identifier: MIT
// Random MML texts for property tests: plausible commands with now and then a broken one.
#pragma once

#include <random>
#include <string>

namespace tavolin::test {

// Builds texts from plausible commands with now and then a broken one, so
// that both successful compiles and every kind of early error occur.
class TextGenerator {
public:
    explicit TextGenerator(uint32_t seed) : m_rng(seed) {}

    std::string text() {
        std::string s;
        const int tokens = pick(1, 40);
        for (int i = 0; i < tokens; ++i) s += token();
        return s;
    }
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }

private:
    std::string num(int lo, int hi) { return std::to_string(pick(lo, hi)); }
    std::string note() {
        static const char* letters[] = {"C", "D", "E", "F", "G", "A", "B", "R"};
        std::string s = letters[pick(0, 7)];
        if (pick(0, 4) == 0) s += "#+-"[pick(0, 2)];
        if (pick(0, 2) == 0) s += num(0, 64);
        if (pick(0, 5) == 0) s += std::string(static_cast<size_t>(pick(1, 3)), '.');
        return s;
    }
    std::string token() {
        switch (pick(0, 34)) {
        case 0: case 1: case 2: case 3: case 4: case 5: return note();
        case 6: return "N" + num(0, 100) + (pick(0, 1) ? ":" + num(1, 16) : "");
        case 7: return "X" + num(0, 3000) + (pick(0, 1) ? ".5" : "") + (pick(0, 1) ? ":8" : "");
        case 8: case 9: return "&";
        case 10: return "O" + num(0, 9);
        case 11: return pick(0, 1) ? "<" : ">";
        case 12: return "L" + num(0, 32) + (pick(0, 3) ? "" : ".");
        case 13: return "T" + num(0, 300);
        case 14: return "V" + num(0, 260);
        case 15: return "P" + num(0, 260);
        case 16: case 17: return "[";
        case 18: case 19: return "]" + (pick(0, 1) ? num(0, 4) : "");
        case 20: return ":";
        case 21: {
            std::string s = "{";
            const int n = pick(0, 5);
            for (int i = 0; i < n; ++i) s += pick(0, 5) ? note().substr(0, 1) : ">";
            return s + (pick(0, 5) ? "}" : "");
        }
        case 22: return "@" + num(0, 40);
        case 23: return "@S" + num(0, 8) + (pick(0, 1) ? ".5" : "");
        case 24: return "@E" + num(0, 260);
        case 25: return "@ED" + num(0, 3) + ":" + num(0, 50) + ":" + num(0, 50) + ".5:" + num(0, 90) + ":" + num(0, 255) + ":" + num(0, 255);
        case 26: {
            std::string s = "@W" + num(0, 33) + ":" + num(0, 5);
            if (pick(0, 1)) s += "R" + num(0, 101);
            if (pick(0, 1)) s += "N" + num(0, 100) + ".5";
            if (pick(0, 1)) s += "C" + num(0, 1001);
            const int duties = pick(0, 9);
            for (int i = 0; i < duties; ++i) s += ":" + num(0, 100);
            return s;
        }
        case 27: {
            std::string s = std::string("@L") + "TVX"[pick(0, 2)] + (pick(0, 1) ? "P" : "");
            const int points = pick(1, 7);
            int t = 0;
            for (int i = 0; i < points; ++i) {
                if (i) s += ":";
                t += pick(-1, 300);
                s += std::to_string(t < 0 ? 0 : t) + (pick(0, 2) ? "" : pick(0, 1) ? "S" : "L") + ":" + num(1, 500) + ":" + num(0, 200);
            }
            return s;
        }
        case 28: return std::string("@!") + "ABC"[pick(0, 2)];
        case 29: return "!";
        case 30: return std::string("!") + "ABC"[pick(0, 2)];
        case 31: return "*comment*";
        case 32: return " ";
        case 33: return std::string(1, "@}{?\t.5a"[pick(0, 7)]);
        default: return note() + "&" + note();
        }
    }
    std::mt19937 m_rng;
};

}  // namespace tavolin::test
