// SPDX-License-Identifier: MIT
// Helpers for the synthesizer tests: hand-built event lists and render loops.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "compiler/MmlEvent.h"
#include "synth/BankSet.h"

namespace tavolin::test {

using EngineTypes = ::testing::Types<Fix, float, double>;

template <EngineNumType T>
T num(double v) { return Num<T>::fromDouble(v); }

template <EngineNumType T>
double toD(T v) { return Num<T>::toDouble(v); }

// Builds an event list the way the compiler lays it out, with loop and slur
// links filled in. Frequencies in Hz, lengths in 1/256 whole notes.
template <EngineNumType T>
class ListBuilder {
public:
    // The records every compiled list starts with.
    ListBuilder& prologue() {
        volume(127).tempo(120).tone(0).portamento(0.25);
        envelope(-1, 20, 20, 20, 255, 204).selectEnvelope(0).pan(128);
        lfo(0, {{0, 0, 20, 0}});
        lfo(1, {{0, 0, 20, 0}});
        return *this;
    }
    // Flat envelope at full level, full volume, hard left: left = value * 32767.
    ListBuilder& flatLeft() {
        volume(255).pan(0).envelope(-1, 0, 0, 0, 255, 255).selectEnvelope(0);
        return *this;
    }
    ListBuilder& note(double hz, double units) {
        const int32_t index = static_cast<int32_t>(m_list.size());
        auto e = MmlEvent<T>::makeNote(num<T>(hz), num<T>(units));
        e.note.groupLength = e.note.length;
        m_list.push_back(e);
        if (m_pendingSlur >= 0) {
            m_list[static_cast<size_t>(m_pendingSlur)].note.slurTarget = index;
            m_pendingSlur = -1;
        }
        m_lastNote = index;
        fillGroupLengths();
        return *this;
    }
    ListBuilder& rest(double units) { return note(0, units); }
    ListBuilder& slur() { m_pendingSlur = m_lastNote; return *this; }
    ListBuilder& tempo(int32_t t) { return add(MmlEvent<T>::makeInt(EventKind::Tempo, t)); }
    ListBuilder& volume(int32_t v) { return add(MmlEvent<T>::makeInt(EventKind::Volume, v)); }
    ListBuilder& pan(int32_t p) { return add(MmlEvent<T>::makeInt(EventKind::Pan, p)); }
    ListBuilder& tone(int32_t t) { return add(MmlEvent<T>::makeInt(EventKind::ToneSelect, t)); }
    ListBuilder& selectEnvelope(int32_t e) { return add(MmlEvent<T>::makeInt(EventKind::EnvelopeSelect, e)); }
    ListBuilder& portamento(double ratio) {
        auto e = MmlEvent<T>::blank(EventKind::Portamento);
        e.ratio = num<T>(ratio);
        return add(e);
    }
    ListBuilder& envelope(int32_t slot, double a, double d, double r, int32_t al, int32_t sl) {
        auto e = MmlEvent<T>::blank(EventKind::EnvelopeDef);
        e.envelopeDef = EnvelopeDefPayload<T>{num<T>(a), num<T>(d), num<T>(r), al, sl, slot};
        return add(e);
    }
    ListBuilder& toneDef(int32_t slot, Wave wave, std::initializer_list<float> duties, float switchMs = 0,
                         float freqNoise = 0, float levelNoise = 0) {
        auto e = MmlEvent<T>::blank(EventKind::ToneDef);
        e.toneDef.tone = slot;
        e.toneDef.wave = static_cast<int32_t>(wave);
        e.toneDef.dutyCount = static_cast<int32_t>(duties.size());
        e.toneDef.freqNoise = freqNoise;
        e.toneDef.levelNoise = levelNoise;
        e.toneDef.dutySwitchMs = switchMs;
        size_t i = 0;
        for (float d : duties) e.toneDef.duties[i++] = d;
        return add(e);
    }
    // Defines tone 0 and selects it.
    ListBuilder& wave(Wave w, std::initializer_list<float> duties = {50}, float switchMs = 0, float freqNoise = 0,
                      float levelNoise = 0) {
        return toneDef(0, w, duties, switchMs, freqNoise, levelNoise).tone(0);
    }
    ListBuilder& lfo(int32_t mode, std::initializer_list<LfoPoint> points) {
        auto e = MmlEvent<T>::blank(EventKind::LfoDef);
        e.lfo.mode = mode;
        e.lfo.pointCount = static_cast<int32_t>(points.size());
        size_t i = 0;
        for (const auto& p : points) e.lfo.points[i++] = p;
        return add(e);
    }
    ListBuilder& loopStart() {
        const int32_t lvl = static_cast<int32_t>(m_open.size());
        m_open.push_back(static_cast<int32_t>(m_list.size()));
        return add(MmlEvent<T>::makeLoop(LoopOp::LoopStart, 0, 0, lvl));
    }
    ListBuilder& loopBreak() { return add(MmlEvent<T>::makeLoop(LoopOp::LoopBreak, 0, m_open.back(), static_cast<int32_t>(m_open.size()) - 1)); }
    ListBuilder& loopEnd(int32_t count) {
        const int32_t start = m_open.back();
        m_open.pop_back();
        const int32_t end = static_cast<int32_t>(m_list.size());
        auto& s = m_list[static_cast<size_t>(start)].loop;
        s.partner = end;
        s.count = count;
        return add(MmlEvent<T>::makeLoop(LoopOp::LoopEnd, count, start, s.level));
    }
    ListBuilder& marker() { m_list.back().startMarker = 1; return *this; }
    ListBuilder& end() {
        auto e = MmlEvent<T>::blank(EventKind::EndMarker);
        e.startMarker = 1;
        return add(e);
    }
    EventList<T> list() const { return m_list; }
    size_t size() const { return m_list.size(); }

private:
    ListBuilder& add(const MmlEvent<T>& e) { m_list.push_back(e); return *this; }
    void fillGroupLengths() {
        for (size_t i = m_list.size(); i-- > 0;) {
            auto& e = m_list[i];
            if (e.kind != EventKind::Note) continue;
            e.note.groupLength = e.note.length;
            if (e.note.slurTarget >= 0) e.note.groupLength = e.note.length + m_list[static_cast<size_t>(e.note.slurTarget)].note.groupLength;
        }
    }
    EventList<T> m_list;
    std::vector<int32_t> m_open;
    int32_t m_pendingSlur = -1;
    int32_t m_lastNote = -1;
};

// A lone prepared player with the default tone table.
template <EngineNumType T>
std::unique_ptr<BankPlayer<T>> makePlayer(const EventList<T>& list, uint32_t rate = 48000) {
    auto p = std::make_unique<BankPlayer<T>>();
    std::array<ToneDefPayload, kToneSlots> tones{};
    for (int i = 0; i < kToneSlots; ++i) {
        tones[static_cast<size_t>(i)].tone = i;
        tones[static_cast<size_t>(i)].dutyCount = 1;
        tones[static_cast<size_t>(i)].duties[0] = 50;
    }
    p->loadToneTable(tones);
    p->events() = list;
    p->prepare(rate);
    return p;
}

template <EngineNumType T>
std::vector<int16_t> renderLeft(BankPlayer<T>& p, size_t n) {
    std::vector<int16_t> out(n);
    for (auto& v : out) v = p.renderFrame(false).left;
    return out;
}

// Lengths of the runs of equal sign (zero counts as its own sign) of a signal.
inline std::vector<int> signRuns(const std::vector<int16_t>& s) {
    std::vector<int> runs;
    int prev = 2;
    for (int16_t v : s) {
        const int sign = (v > 0) - (v < 0);
        if (sign == prev) ++runs.back();
        else runs.push_back(1);
        prev = sign;
    }
    return runs;
}

template <typename C>
std::string join(const C& c) {
    std::ostringstream os;
    bool first = true;
    for (const auto& v : c) {
        os << (first ? "" : " ") << v;
        first = false;
    }
    return os.str();
}

}  // namespace tavolin::test
