// Random MML texts: every compiled list keeps the model's invariants, and the three types agree.
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "compiler/EventListCheck.h"
#include "tests/compiler/MmlTestUtil.h"

namespace tavolin::test {
namespace {

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

template <EngineNumType T>
double asDouble(T v) {
    return Num<T>::toDouble(v);
}

bool close(double a, double b) { return std::fabs(a - b) <= 0.01 + 1e-4 * std::fabs(b); }

// Kinds, markers and integer fields equal; numbers equal up to rounding.
template <EngineNumType A, EngineNumType B>
std::string differences(const EventList<A>& a, const EventList<B>& b) {
    if (a.size() != b.size()) return "sizes " + std::to_string(a.size()) + " vs " + std::to_string(b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        const auto& x = a[i];
        const auto& y = b[i];
        std::string d;
        if (x.kind != y.kind || x.startMarker != y.startMarker) d = "kind/marker";
        else switch (x.kind) {
        case EventKind::Note:
            if (x.note.slurTarget != y.note.slurTarget || !close(asDouble(x.note.frequency), asDouble(y.note.frequency)) ||
                !close(asDouble(x.note.length), asDouble(y.note.length)) ||
                !close(asDouble(x.note.groupLength), asDouble(y.note.groupLength)))
                d = "note";
            break;
        case EventKind::Portamento: if (!close(asDouble(x.ratio), asDouble(y.ratio))) d = "ratio"; break;
        case EventKind::EnvelopeDef:
            if (x.envelopeDef.envelope != y.envelopeDef.envelope || x.envelopeDef.attackLevel != y.envelopeDef.attackLevel ||
                x.envelopeDef.sustainLevel != y.envelopeDef.sustainLevel ||
                !close(asDouble(x.envelopeDef.decayMs), asDouble(y.envelopeDef.decayMs)))
                d = "envelope";
            break;
        case EventKind::LoopControl:
            if (x.loop.op != y.loop.op || x.loop.count != y.loop.count || x.loop.partner != y.loop.partner ||
                x.loop.level != y.loop.level)
                d = "loop";
            break;
        case EventKind::ToneDef:
            if (x.toneDef.tone != y.toneDef.tone || x.toneDef.wave != y.toneDef.wave || x.toneDef.dutyCount != y.toneDef.dutyCount)
                d = "tone def";
            break;
        case EventKind::LfoDef:
            if (x.lfo.mode != y.lfo.mode || x.lfo.pointCount != y.lfo.pointCount) d = "lfo";
            for (int k = 0; k < x.lfo.pointCount && d.empty(); ++k) {
                const auto& p = x.lfo.points[static_cast<size_t>(k)];
                const auto& q = y.lfo.points[static_cast<size_t>(k)];
                if (p.interpolate != q.interpolate || !close(p.depth, q.depth) || !close(p.time, q.time)) d = "lfo point";
            }
            break;
        default:
            if (std::memcmp(&x.tempo, &y.tempo, sizeof(int32_t)) != 0) d = "value";
            break;
        }
        if (!d.empty()) return d + " differs at " + std::to_string(i);
    }
    return {};
}

template <EngineNumType T>
Parsed<T> parseAt(const std::string& text, uint64_t start) {
    return parse<T>(text, start);
}

TEST(CompilerProperty, RandomTextsKeepInvariantsInEveryType) {
    TextGenerator gen(20261207);
    int compiled = 0;
    int failed = 0;
    for (int n = 0; n < 3000; ++n) {
        const std::string text = gen.text();
        const int choice = gen.pick(0, 3);
        const uint64_t start = choice == 0 ? UINT64_MAX : static_cast<uint64_t>(gen.pick(0, static_cast<int>(text.size()) + 3));
        const auto fx = parseAt<Fix>(text, start);
        const auto fl = parseAt<float>(text, start);
        const auto db = parseAt<double>(text, start);
        ASSERT_EQ(fx.ok, db.ok) << text;
        ASSERT_EQ(fl.ok, db.ok) << text;
        if (!db.ok) {
            ++failed;
            EXPECT_EQ(fx.code, db.code) << text;
            EXPECT_EQ(fl.code, db.code) << text;
            EXPECT_EQ(fx.position, db.position) << text;
            EXPECT_EQ(fl.position, db.position) << text;
            continue;
        }
        ++compiled;
        const bool marker = start != UINT64_MAX;
        EXPECT_EQ(eventListViolations(fx.list, marker), "") << "Fix: " << text << " start " << start;
        EXPECT_EQ(eventListViolations(fl.list, marker), "") << "float: " << text << " start " << start;
        EXPECT_EQ(eventListViolations(db.list, marker), "") << "double: " << text << " start " << start;
        EXPECT_EQ(differences(fx.list, db.list), "") << "Fix vs double: " << text;
        EXPECT_EQ(differences(fl.list, db.list), "") << "float vs double: " << text;
        if (HasFailure()) return;
    }
    // The generator must exercise both outcomes, or the test proves little.
    EXPECT_GT(compiled, 300);
    EXPECT_GT(failed, 300);
}

TEST(CompilerProperty, RandomSongsGiveNoteListsWithOneMarker) {
    TextGenerator gen(7);
    for (int n = 0; n < 500; ++n) {
        const std::string common = gen.pick(0, 2) ? "" : gen.text();
        std::array<std::string, kBankCount> texts;
        std::array<std::string_view, kBankCount> banks;
        for (size_t b = 0; b < texts.size(); ++b) {
            texts[b] = gen.pick(0, 1) ? gen.text() : "";
            banks[b] = texts[b];
        }
        const int64_t cursorBank = gen.pick(-1, 4);
        const uint64_t offset = static_cast<uint64_t>(gen.pick(0, 30));
        std::array<EventList<double>, kBankCount> lists;
        const CompileResult r = CompileBanks<double>(common, banks, cursorBank, offset, lists);
        if (r.code != 0) {
            EXPECT_GE(r.bank, -2);
            EXPECT_LE(r.bank, 4);
            EXPECT_GE(r.position, 1u);
            continue;
        }
        for (const auto& l : lists) {
            if (l.empty()) continue;
            bool hasNote = false;
            for (const auto& e : l) hasNote |= e.kind == EventKind::Note;
            EXPECT_TRUE(hasNote);
            EXPECT_EQ(eventListViolations(l, true), "") << common << " | " << texts[0];
        }
    }
}

}  // namespace
}  // namespace tavolin::test
