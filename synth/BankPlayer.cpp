// SPDX-License-Identifier: MIT
// The bank player's event walk: set-up, the events between notes, the loop
// rules, the guard against loops that never reach a note, and the seek step.
// The per-sample path is PlayerSample.h, note start NoteStart.cpp, the fast
// paths NoteRun.cpp and the mixer BankSet.cpp.
#include "synth/BankPlayer.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "synth/LoopRules.h"
#include "synth/PlayerSample.h"

namespace tavolin {

template <EngineNumType T>
void BankPlayer<T>::loadToneTable(const std::array<ToneDefPayload, kToneSlots>& tones) noexcept {
    for (size_t i = 0; i < tones.size(); ++i) m_tones[i].assign(tones[i]);
    if constexpr (kIsFix<T>) {  // filled here, not in the audio thread's first sine
        FixSineTable::get();
        FixLfoSineTable::get();
    }
}

template <EngineNumType T>
void BankPlayer<T>::prepare(uint32_t sampleRate) noexcept {
    m_sampleRate = sampleRate;
    m_lfoMsStep = sampleRate == 0 ? 0 : 65536000 / sampleRate;
    m_lfoMsStepRemainder = sampleRate == 0 ? 0 : 65536000 % sampleRate;
    m_count = static_cast<int32_t>(std::min<size_t>(m_events.size(), INT32_MAX));
    m_markerIndex = m_count;
    for (int32_t i = 0; i < m_count; ++i)
        if (m_events[static_cast<size_t>(i)].startMarker == 1) {
            m_markerIndex = i;
            break;
        }
    m_index = 0;
    m_noteLength = 0;
    m_elapsed = 0;
    m_loopSong.store(false, std::memory_order_release);
    m_ledger.clear();
    m_cycleGuard.reset();
    m_readTo = 0;
    m_walkGuarded = false;
    m_noiseCoefficientsValid = false;  // they depend on the rate
    // the longest period any pitch LFO of the list can take, points and
    // ramps between them alike
    double longestPitchPeriod = 0.0;
    for (int32_t i = 0; i < m_count; ++i) {
        const MmlEvent<T>& e = m_events[static_cast<size_t>(i)];
        if (e.kind != EventKind::LfoDef || (e.lfo.mode & 1) == 0) continue;
        for (int32_t k = 0; k < e.lfo.pointCount && k < kMaxLfoPoints; ++k)
            longestPitchPeriod = std::max(longestPitchPeriod,
                                          Num<T>::toDouble(lfoPeriodSamples<T>(sampleRate, e.lfo.points[static_cast<size_t>(k)].periodMs)));
    }
    if (longestPitchPeriod > 0.0) m_vibratoMemo.reserveForPeriod(longestPitchPeriod);
    m_publishedCount.store(m_count, std::memory_order_release);
    publishIndex();
}

template <EngineNumType T>
StereoSample BankPlayer<T>::renderFrame(bool anyPlaying) noexcept {
    settleNoiseDebtBeforeRender();
    return nextFrame(anyPlaying);
}

template <EngineNumType T>
bool BankPlayer<T>::seekStep() noexcept {
    settleNoiseDebtBeforeRender();
    if (m_index >= m_count) return true;  // ran out without a marker: nothing left to skip
    bool marker = false;
    advance<true>(false, marker);
    return marker;
}

template <EngineNumType T>
bool BankPlayer<T>::mayPlayAgain() const noexcept {
    if (m_elapsed < m_noteLength) return true;
    std::array<int32_t, kMaxLoopLevels> counters = m_loopCounters;
    const std::span<const MmlEvent<T>> events(m_events.data(), static_cast<size_t>(m_count));
    int32_t i = m_index;
    for (int walked = 0; walked < 256; ++walked) {
        if (i < 0 || i >= m_count) return false;
        const MmlEvent<T>& ev = events[static_cast<size_t>(i)];
        if (ev.kind == EventKind::Note) return true;
        i = ev.kind == EventKind::LoopControl ? applyLoopRule<T>(ev.loop, i, events, counters, m_exportPasses) : i + 1;
    }
    return true;
}

// Applies events up to the next sample. A pass that applies more events than
// the list could hold between two notes switches on a cycle check (Brent's
// algorithm over the control state): a repeat proves that no note can ever
// be reached again, and the bank's pass ends there instead of spinning. The
// per-call cap keeps one call bounded even before the repeat is found; such
// a call renders silence and the next one carries on where it stopped.
template <EngineNumType T>
template <bool kSeek, bool kStartOnly>
[[gnu::noinline]] StereoSample BankPlayer<T>::advance(bool anyPlaying, bool& markerReached) noexcept {
    if (m_count == 0) return {};
    const int64_t trackAfter = cycleTrackAfter(m_count);
    const int64_t cap = silentFrameCap(m_count);
    int64_t applied = 0;
    bool restarted = false;
    for (;;) {
        if (m_index >= m_count) {
            m_readTo = int64_t{m_count} + 1;
            if constexpr (kSeek) {
                // A walk that leaves the list past a marker it skipped has
                // arrived (the end lies after every record), without a frame.
                markerReached = true;
                publishIndex();
                return {};
            }
            if (restarted || anyPlaying || !m_loopSong.load(std::memory_order_relaxed)) {
                m_cycleGuard.reset();
                publishIndex();
                return {};
            }
            m_index = 0;  // the song restarts; this frame's sample is the new pass's first
            restarted = true;
        }
        const MmlEvent<T>& ev = m_events[static_cast<size_t>(m_index)];
        if (ev.kind == EventKind::Note) {
            bool takesNoTime = false;
            if (m_elapsed >= m_noteLength) {
                if (kSeek && m_index >= m_markerIndex) {
                    markerReached = true;
                    publishIndex();
                    return {};
                }
                m_readTo = std::max(m_readTo, int64_t{m_index} + 1);  // at its start only: not per sample
                startNote(ev.note);
                if (m_noteLength <= 0) {
                    // A note too short to reach the next sample takes no
                    // time, so the bank stays in step with the others.
                    m_noteLength = 0;
                    m_elapsed = 0;
                    ++m_index;
                    takesNoTime = true;
                }
            }
            if (!takesNoTime) {
                m_cycleGuard.reset();
                if constexpr (kStartOnly) {  // the fast seek takes the note's samples itself
                    publishIndex();
                    return {};
                }
                const StereoSample s = renderNoteSample<false>(m_toneSlot->wave, false, m_noise);
                publishIndex();
                return s;
            }
        } else {
            if (kSeek && m_index >= m_markerIndex) {
                markerReached = true;
                publishIndex();
                return {};
            }
            m_readTo = std::max(m_readTo, int64_t{m_index} + 1);
            applyEvent(ev);
        }
        ++applied;
        if (applied > trackAfter || m_cycleGuard.tracking()) {
            m_walkGuarded = true;
            if (m_cycleGuard.repeats(WalkControlState<T>{m_index, m_tempo, m_loopCounters, m_ledger})) {
                m_index = m_count;  // nothing audible can follow: the pass is over
                m_cycleGuard.reset();
                publishIndex();
                return {};
            }
            if (applied > cap) {
                publishIndex();
                return {};
            }
        }
    }
}

template <EngineNumType T>
void BankPlayer<T>::applyEvent(const MmlEvent<T>& ev) noexcept {
    switch (ev.kind) {
    case EventKind::Tempo: m_tempo = ev.tempo; break;
    case EventKind::Volume: m_volume = quot(numInt<T>(ev.volume), numInt<T>(255)); break;
    case EventKind::Pan: m_pan = ev.pan; break;
    case EventKind::ToneSelect:
        if (ev.tone < kToneSlots) m_tone = ev.tone;
        break;
    case EventKind::Portamento: m_portamento = ev.ratio; break;
    case EventKind::EnvelopeDef: {
        const auto& d = ev.envelopeDef;
        const T rate = numInt<T>(m_sampleRate);
        EnvelopeSlot<T> slot;
        slot.attack = rate * d.attackMs / numInt<T>(1000);
        slot.decay = rate * d.decayMs / numInt<T>(1000);
        slot.release = rate * d.releaseMs / numInt<T>(1000);
        slot.attackLevel = quot(numInt<T>(d.attackLevel), numInt<T>(255));
        slot.sustainLevel = quot(numInt<T>(d.sustainLevel), numInt<T>(255));
        if (d.envelope < 0) m_envelopes.fill(slot);
        else if (d.envelope < kEnvelopeSlots) m_envelopes[static_cast<size_t>(d.envelope)] = slot;
        break;
    }
    case EventKind::EnvelopeSelect:
        if (ev.envelope >= 0 && ev.envelope < kEnvelopeSlots) m_envelopeIndex = ev.envelope;
        break;
    case EventKind::ToneDef:
        if (ev.toneDef.tone >= 0 && ev.toneDef.tone < kToneSlots) m_tones[static_cast<size_t>(ev.toneDef.tone)].assign(ev.toneDef);
        break;
    case EventKind::LfoDef: {
        LfoState<T>& lfo = (ev.lfo.mode & 1) ? m_pitchLfo : m_ampLfo;
        lfo.definition = m_index;  // ev is m_events[m_index]
        lfo.pointIndex = -1;
        lfo.period = T{};
        lfo.depth = T{};
        lfo.steady = false;
        lfo.settled = false;
        lfo.segmentIndex = -2;
        break;
    }
    case EventKind::LoopControl: applyLoop(ev.loop); return;  // sets the index itself
    default: break;  // EndMarker and unknown kinds do nothing
    }
    ++m_index;
}

template <EngineNumType T>
void BankPlayer<T>::applyLoop(const LoopControlPayload& loop) noexcept {
    m_index = applyLoopRule<T>(loop, m_index, std::span<const MmlEvent<T>>(m_events.data(), static_cast<size_t>(m_count)),
                               m_loopCounters, m_exportPasses);
}

template <EngineNumType T>
void BankPlayer<T>::copyStateFrom(const BankPlayer& other) noexcept {
    if (this == &other) return;
    RandomSource* const random = m_random == &m_ownRandom ? nullptr : m_random;
    const auto tone = other.m_toneSlot - other.m_tones.data();
    const auto envelope = other.m_envelope - other.m_envelopes.data();
    SeekNoteMemo<T>* const memo = m_seekMemo;  // a copy takes the state, not a skip in progress
    *this = other;
    m_seekMemo = memo;
    m_random = random != nullptr ? random : &m_ownRandom;
    m_toneSlot = &m_tones[static_cast<size_t>(tone)];
    m_envelope = &m_envelopes[static_cast<size_t>(envelope)];
}

namespace {

// Exact equality of two values, bit for bit: -0.0 and 0.0 differ, as they may
// in what follows from them.
template <typename V>
bool sameBits(const V& a, const V& b) noexcept {
    static_assert(std::has_unique_object_representations_v<V> || std::is_floating_point_v<V>);
    return std::memcmp(&a, &b, sizeof(V)) == 0;
}

// Two records say the same thing. Field by field: a payload copied in as a
// whole can bring its padding bytes along (the double note's), so the bytes
// of equal records need not be equal.
static_assert(sizeof(ToneDefPayload) == 6 * 4 + kMaxDuties * 4 && sizeof(LoopControlPayload) == 4 * 4 &&
              sizeof(LfoDefPayload) == 2 * 4 + kMaxLfoPoints * 4 * 4);

template <EngineNumType T>
bool sameRecord(const MmlEvent<T>& a, const MmlEvent<T>& b) noexcept {
    if (a.kind != b.kind || a.startMarker != b.startMarker) return false;
    const auto sameNum = [](T x, T y) {
        if constexpr (std::is_floating_point_v<T>) return sameBits(x, y);
        else return x.raw() == y.raw();
    };
    switch (a.kind) {
    case EventKind::Note:
        return sameNum(a.note.frequency, b.note.frequency) && sameNum(a.note.length, b.note.length) &&
               sameNum(a.note.groupLength, b.note.groupLength) && a.note.slurTarget == b.note.slurTarget;
    case EventKind::Tempo: return a.tempo == b.tempo;
    case EventKind::Volume: return a.volume == b.volume;
    case EventKind::Pan: return a.pan == b.pan;
    case EventKind::ToneSelect: return a.tone == b.tone;
    case EventKind::Portamento: return sameNum(a.ratio, b.ratio);
    case EventKind::EnvelopeDef: {
        const auto &x = a.envelopeDef, &y = b.envelopeDef;
        return sameNum(x.attackMs, y.attackMs) && sameNum(x.decayMs, y.decayMs) && sameNum(x.releaseMs, y.releaseMs) &&
               x.attackLevel == y.attackLevel && x.sustainLevel == y.sustainLevel && x.envelope == y.envelope;
    }
    case EventKind::EnvelopeSelect: return a.envelope == b.envelope;
    // Four-byte fields only, so no padding (checked below): their bytes are their values.
    case EventKind::ToneDef: return std::memcmp(&a.toneDef, &b.toneDef, sizeof a.toneDef) == 0;
    case EventKind::LoopControl: return std::memcmp(&a.loop, &b.loop, sizeof a.loop) == 0;
    case EventKind::LfoDef: return std::memcmp(&a.lfo, &b.lfo, sizeof a.lfo) == 0;
    case EventKind::EndMarker: return true;
    }
    return false;
}

}  // namespace

template <EngineNumType T>
bool BankPlayer<T>::canAdoptStateOf(const BankPlayer& other) const noexcept {
    if (this == &other || m_index != 0 || m_noteLength != 0 || m_readTo != 0) return false;  // not fresh
    if (m_sampleRate != other.m_sampleRate || loopSong() != other.loopSong() || m_exportPasses != other.m_exportPasses)
        return false;
    if (!other.owesNothing()) return false;
    const int64_t read = std::max(other.m_readTo, int64_t{std::min(other.m_index, other.m_count)} + 1);
    if (other.m_count == 0 || m_count == 0) return other.m_count == m_count;
    // A read up to the list's end takes in its length too.
    if (read > int64_t{std::min(m_count, other.m_count)} && m_count != other.m_count) return false;
    if (other.m_walkGuarded && m_count != other.m_count) return false;
    const size_t n = static_cast<size_t>(std::min<int64_t>(read, m_count));
    for (size_t i = 0; i < n; ++i)
        if (!sameRecord(m_events[i], other.m_events[i])) return false;
    return true;
}

template <EngineNumType T>
void BankPlayer<T>::dropUnreadRecords() {
    const int64_t read = std::max(m_readTo, int64_t{std::min(m_index, m_count)} + 1);
    if (read < static_cast<int64_t>(m_events.size())) {
        m_events.resize(static_cast<size_t>(read));
        m_events.shrink_to_fit();
    }
}

template <EngineNumType T>
void BankPlayer<T>::adoptStateOf(const BankPlayer& other) noexcept {
    EventList<T> events = std::move(m_events);
    const int32_t count = m_count;
    const int32_t marker = m_markerIndex;
    copyStateFrom(other);
    m_events = std::move(events);
    m_count = count;
    m_markerIndex = marker;
    m_publishedCount.store(m_count, std::memory_order_release);
    publishIndex();
}

template class BankPlayer<Fix>;
template class BankPlayer<float>;
template class BankPlayer<double>;
#define TAVOLIN_INSTANTIATE(T)                                                    \
    template StereoSample BankPlayer<T>::advance<false, false>(bool, bool&) noexcept; \
    template StereoSample BankPlayer<T>::advance<true, false>(bool, bool&) noexcept;  \
    template StereoSample BankPlayer<T>::advance<false, true>(bool, bool&) noexcept;  \
    template StereoSample BankPlayer<T>::advance<true, true>(bool, bool&) noexcept;
TAVOLIN_INSTANTIATE(Fix)
TAVOLIN_INSTANTIATE(float)
TAVOLIN_INSTANTIATE(double)
#undef TAVOLIN_INSTANTIATE

}  // namespace tavolin
