// SPDX-License-Identifier: MIT
// Helpers for compiler tests: compile a bank text and render records as short strings.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compiler/ErrorTable.h"
#include "compiler/ParseMml.h"

namespace tavolin::test {

using ArithTypes = ::testing::Types<Fix, float, double>;

// Records the internal default code leaves in front of every bank's own text.
inline constexpr size_t kHeadRecords = kPrologueCount + 6;

template <EngineNumType T>
struct Parsed {
    bool ok = false;
    int32_t code = 0;
    int64_t position = 0; // counted from the start of the bank text (may be <= 0 in the default code)
    EventList<T> list;
};

// Parses internal default code + text; start is an offset into `text`.
// The default, UINT64_MAX, means no cursor: no marker and no EndMarker.
template <EngineNumType T>
Parsed<T> parse(std::string_view text, uint64_t start = UINT64_MAX) {
    std::string joined(kInternalDefaultCode);
    joined.append(text);
    Parsed<T> p;
    uint64_t errorPosition = 0;
    const uint64_t startAbs = start >= UINT64_MAX - 64 ? start : start + kInternalDefaultCode.size();
    p.ok = ParseMml<T>(kMaxLevel, joined, p.list, errorPosition, p.code, startAbs);
    p.position = static_cast<int64_t>(errorPosition) - static_cast<int64_t>(kInternalDefaultCode.size());
    return p;
}

inline std::string fmt(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    std::string s(buf);
    // 1.500 -> 1.5, 64.000 -> 64: rows stay readable.
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
    return s;
}

template <EngineNumType T>
double num(T v) {
    return Num<T>::toDouble(v);
}

// One record as text. Indices (slur targets, loop partners) are shown
// relative to `base`, so rows need not count the head records.
template <EngineNumType T>
std::string describe(const MmlEvent<T>& e, int32_t base) {
    std::string s;
    switch (e.kind) {
    case EventKind::Note:
        s = (e.note.frequency == Num<T>::zero() ? "R" : "N" + fmt(num(e.note.frequency))) + "/" + fmt(num(e.note.length)) +
            "/g" + fmt(num(e.note.groupLength));
        if (e.note.slurTarget >= 0) s += ">" + std::to_string(e.note.slurTarget - base);
        break;
    case EventKind::Tempo: s = "T" + std::to_string(e.tempo); break;
    case EventKind::Volume: s = "V" + std::to_string(e.volume); break;
    case EventKind::Pan: s = "P" + std::to_string(e.pan); break;
    case EventKind::ToneSelect: s = "@" + std::to_string(e.tone); break;
    case EventKind::Portamento: s = "S" + fmt(num(e.ratio)); break;
    case EventKind::EnvelopeSelect: s = "E" + std::to_string(e.envelope); break;
    case EventKind::EnvelopeDef: {
        const auto& d = e.envelopeDef;
        s = "ED" + std::to_string(d.envelope) + ":" + fmt(num(d.attackMs)) + ":" + fmt(num(d.decayMs)) + ":" +
            fmt(num(d.releaseMs)) + ":" + std::to_string(d.attackLevel) + ":" + std::to_string(d.sustainLevel);
        break;
    }
    case EventKind::ToneDef: {
        const auto& d = e.toneDef;
        s = "W" + std::to_string(d.tone) + ":" + std::to_string(d.wave) + ":R" + fmt(d.freqNoise) + ":N" +
            fmt(d.levelNoise) + ":C" + fmt(d.dutySwitchMs) + ":";
        for (int i = 0; i < d.dutyCount; ++i) s += (i ? "," : "") + fmt(d.duties[static_cast<size_t>(i)]);
        break;
    }
    case EventKind::LoopControl: {
        const auto& l = e.loop;
        const char* op = l.op == LoopOp::LoopStart ? "[" : l.op == LoopOp::LoopEnd ? "]" : ":";
        s = std::string(op) + "c" + std::to_string(l.count) + "p" + std::to_string(l.partner - base) + "l" +
            std::to_string(l.level);
        break;
    }
    case EventKind::LfoDef: {
        const auto& l = e.lfo;
        s = "LFO" + std::to_string(l.mode);
        for (int i = 0; i < l.pointCount; ++i) {
            const auto& p = l.points[static_cast<size_t>(i)];
            s += "(" + fmt(p.time) + (p.interpolate ? "L" : "S") + "," + fmt(p.periodMs) + "," + fmt(p.depth) + ")";
        }
        break;
    }
    case EventKind::EndMarker: s = "END"; break;
    }
    if (e.startMarker) s += "*";
    return s;
}

// The records from `from` on, space separated.
template <EngineNumType T>
std::string describeList(const EventList<T>& list, size_t from = kHeadRecords) {
    std::string s;
    for (size_t i = from; i < list.size(); ++i) {
        if (!s.empty()) s += ' ';
        s += describe(list[i], static_cast<int32_t>(from));
    }
    return s;
}

inline std::string hexCode(int32_t code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<uint32_t>(code));
    return buf;
}

}  // namespace tavolin::test
