// SPDX-License-Identifier: MIT
// Random MML texts: every compiled list keeps the model's invariants, and the three types agree.
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "compiler/EventListCheck.h"
#include "tests/compiler/MmlTestUtil.h"
#include "tests/compiler/TextGenerator.h"

namespace tavolin::test {
namespace {

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
