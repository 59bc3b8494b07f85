// SPDX-License-Identifier: MIT
// The fast seek of a bank player: the state stepping would reach, without
// producing samples. Inside a note, the samples between two events that
// change state (a half-cycle boundary, an LFO step that can leave a trace, a
// noise-wave sample, the note's or the seek's last sample) only move clocks;
// those stretches advance in closed form, exactly as the one-sample steps
// would move them in the bank's own arithmetic.
//
//   note start   quiet stretch    boundary   quiet stretch     last sample
//   |stepped|..... closed form ....|stepped|.... closed form ....|stepped|
//
// A note whose state at its start was seen before in this seek (wherever it
// stands in the list) is not stepped at all: its end state is put back from
// a memo. The noise filter's
// steps are only recorded (the generator moves on by jump-ahead) and run
// when something reads the filter.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>
#include <type_traits>
#include <vector>

#include "compiler/BitCast.h"
#include "synth/LfoPhase.h"
#include "synth/PlayerSample.h"
#include "synth/SeekNoteMemo.h"

namespace tavolin {
namespace {

// x is a whole multiple of the spacing u (a power of two, at most 1).
template <typename F>
bool onGrid(F x, F u) noexcept {
    const F q = x / u;  // exact: u is a power of two
    return std::trunc(q) == q;
}

// All the sums x + j (j = 0, 1, ... up to the first that exceeds `top`) are
// exact in F: they lie on x's grid below twice the top, where F holds every
// multiple of the spacing at the top. Then j additions of 1 in F, one at a
// time, are the one exact addition x + j.
template <typename F>
bool exactRun(F x, F top) noexcept {
    if (!(x >= F(0)) || !(top >= x)) return false;
    const F u = spacingAt(top + F(2));
    return u > F(0) && onGrid(x, u);
}

// Float and Double, x >= 1 and finite: 2^(e+1) for x in [2^e, 2^(e+1)).
template <typename F>
F binadeTop(F x) noexcept {
    if constexpr (std::is_same_v<F, float>) return bitCast<float>((bitCast<uint32_t>(x) & 0x7F800000u) + 0x00800000u);
    else return bitCast<double>((bitCast<uint64_t>(x) & 0x7FF0000000000000u) + (uint64_t{1} << 52));
}

// Float and Double: up to `count` additions of 1 to x, each rounded as F
// rounds it, stopping after the first whose sum exceeds `limit`; returns the
// additions taken (x their sum), or -1 where this cannot tell (a sum below 1
// or at 2^(digits-1) and above; x is then unspecified). A binade at a time:
// the addition that lands in [2^e, 2^(e+1)) may round, and every one after
// it is exact while the sum stays below 2^(e+1), since every number of F
// there is a multiple of the binade's spacing (at most 1).
//
//   x: 0.3  -> 1.3 (rounded)  -> 2.3 (rounded) -> 3.3 (exact) -> 4.3 (rounded) ...
//              [1, 2)            [2, 4)                          [4, 8)
template <typename F>
int64_t addOnes(F& x, int64_t count, F limit) noexcept {
    constexpr F kTop = F(int64_t{1} << (std::numeric_limits<F>::digits - 1));
    int64_t taken = 0;
    while (taken < count && !(x > limit)) {
        const F y = x + F(1);
        if (!(y >= F(1)) || !(y < kTop)) return -1;
        x = y;
        ++taken;
        if (x > limit || taken == count) break;
        const F top = binadeTop(x);
        // the exact additions after it: below the top and, where the limit
        // lies in this binade, up to it (both differences are exact: whole
        // multiples of the spacing, below 2^e)
        const F room = limit < top ? std::floor(limit - x) : std::ceil(top - x) - F(1);
        const int64_t j = std::min(static_cast<int64_t>(room), count - taken);
        if (j > 0) {
            x += static_cast<F>(j);
            taken += j;
        }
    }
    return taken;
}

// The oscillator phase after `count` samples of one-sample additions.
template <EngineNumType T>
T phaseAfter(T phase, int64_t count) noexcept {
    if constexpr (kIsFix<T>) {
        return Fix::fromRaw(phase.raw() + count * 65536);
    } else {
        if (count > 0 && count < (int64_t{1} << 40) && exactRun(phase, phase + static_cast<T>(count)))
            return phase + static_cast<T>(count);
        T x = phase;
        if (addOnes(x, count, std::numeric_limits<T>::infinity()) == count) return x;
        for (int64_t i = 0; i < count; ++i) phase += T(1);
        return phase;
    }
}

// How many one-sample additions keep the phase at or below `limit`: the
// samples before the one on which phase > limit holds (0 when it holds now).
// -1 when that cannot be told in closed form.
template <EngineNumType T>
int64_t samplesUpTo(T phase, T limit) noexcept {
    if constexpr (kIsFix<T>) {
        if (phase.raw() > limit.raw()) return 0;
        return (limit.raw() - phase.raw()) / 65536 + 1;
    } else {
        if (phase > limit) return 0;
        // whole numbers (an LFO's phase and period, as a rule): every sum up to
        // limit + 1 is a whole number T holds
        constexpr T kWholeTop = T(std::int64_t{1} << std::numeric_limits<T>::digits) - T(1);
        if (phase >= T(0) && limit < kWholeTop) {
            const auto p = static_cast<int64_t>(phase), l = static_cast<int64_t>(limit);
            if (static_cast<T>(p) == phase && static_cast<T>(l) == limit) return l - p + 1;
        }
        if (!exactRun(phase, limit)) {
            // sums that round on the way: a binade at a time
            if (!(limit >= phase)) return -1;
            T x = phase;
            const int64_t j = addOnes(x, int64_t{1} << 40, limit);
            return j > 0 && x > limit ? j : -1;
        }
        // The first j with phase + j > limit, the sums being exact: j =
        // floor(limit - phase) + 1. That difference is exact in T: phase lies
        // on the grid of the spacing at limit + 2, a multiple of limit's own
        // spacing, so the difference is a whole number (below 2^digits) of
        // the latter.
        const T gap = std::floor(limit - phase);
        if (!(gap >= T(0)) || gap > T(4.0e15)) return -1;
        return static_cast<int64_t>(gap) + 1;
    }
}

// Float and Double, 0 <= x <= limit: x is a whole multiple of the last
// place of `limit`, a normal number below 2^(digits-1) (its last place is
// then at most 1/2). From the bits: x has no set bit below that place.
template <typename F>
bool onLastPlaceOf(F x, F limit) noexcept {
    using Bits = std::conditional_t<std::is_same_v<F, float>, uint32_t, uint64_t>;
    constexpr int kMantissa = std::numeric_limits<F>::digits - 1;
    constexpr int kBias = std::numeric_limits<F>::max_exponent - 1;
    const Bits xb = bitCast<Bits>(x), lb = bitCast<Bits>(limit);
    const int le = static_cast<int>(lb >> kMantissa);
    if (le == 0 || le >= kBias + kMantissa) return false;
    const int shift = le - std::max(static_cast<int>(xb >> kMantissa), 1);  // >= 0 as x <= limit
    if (shift > kMantissa) return xb == 0;
    return (xb & ((Bits{1} << shift) - 1)) == 0;
}

// From a phase at or below `limit`: the one-sample additions up to and
// including the first whose sum exceeds the limit, at most `cap` (>= 1) of
// them. Returns how many were taken and leaves their sum in `phase`, each
// addition rounded as T rounds it; 0 where this cannot tell (the phase is
// then unchanged). One pass where samplesUpTo and phaseAfter take two.
template <EngineNumType T>
int64_t stepsPast(T& phase, T limit, int64_t cap) noexcept {
    if constexpr (kIsFix<T>) {
        if (phase.raw() < 0 || phase.raw() > limit.raw() || limit.raw() >= (int64_t{1} << 60)) return 0;
        const int64_t taken = std::min((limit.raw() - phase.raw()) / 65536 + 1, cap);
        phase = Fix::fromRaw(phase.raw() + taken * 65536);
        return taken;
    } else {
        // A phase on the grid of the limit's last place (as a rule: the
        // remainder of a half-cycle of about the same length): every sum up
        // to the limit is a number of T, so those additions are exact and
        // only the last one, which may cross into the next binade, rounds.
        // The gap is exact too: a whole multiple of the grid below the limit,
        // and so is phase + gap; phase + (gap + 1) rounds that sum plus one.
        if (phase >= T(0) && phase <= limit && onLastPlaceOf(phase, limit)) {
            const auto gap = static_cast<int64_t>(limit - phase);  // >= 0: truncation is the floor
            if (gap < cap) {
                phase += static_cast<T>(gap + 1);
                return gap + 1;
            }
            phase += static_cast<T>(cap);
            return cap;
        }
        T x = phase;
        const int64_t taken = addOnes(x, cap, limit);
        if (taken <= 0) return 0;
        phase = x;
        return taken;
    }
}

}  // namespace


// A note can be put back from the memo when nothing its samples draw shapes
// the state: no frequency noise (its draws set half-cycle lengths), and for
// the noise wave one cutoff for the whole note (the filter then runs with
// one set of coefficients, see payNoteDraws).
template <EngineNumType T>
bool BankPlayer<T>::seekNoteRepeats() const noexcept {
    const ToneSlot& tone = *m_toneSlot;
    if (tone.freqNoise != 0.0f) return false;
    if (tone.wave == static_cast<int32_t>(Wave::Noise))
        for (int32_t i = 1; i < tone.dutyCount; ++i)
            if (bitCast<uint32_t>(tone.duty(i)) != bitCast<uint32_t>(tone.duty(0))) return false;
    return true;
}

// A note that cannot draw draws nothing to its end; a noise wave or level
// noise draws in every sounding sample; frequency noise only where a
// half-cycle boundary draws the next half-cycle's length (a note start,
// which draws too, comes after the note's last sample).
template <EngineNumType T>
int64_t BankPlayer<T>::samplesBeforeDraw() const noexcept {
    const int64_t left = samplesLeftInNote();
    if (left <= 0 || m_index >= m_count) return 0;
    if (!mayDrawInNote()) return left;
    if (m_hasLevelNoise || m_toneSlot->wave == static_cast<int32_t>(Wave::Noise)) return 0;
    // the walk to the boundary, kept for skipSteadyNote, which takes it next
    T after = m_phase;
    const int64_t steps = m_phase > m_halfLength ? 0 : stepsPast(after, m_halfLength, int64_t{1} << 40);
    if (steps > 0) {
        m_boundaryWalk = BoundaryWalk{m_phase, m_halfLength, after, steps};
        return std::min(steps, left);
    }
    const int64_t quiet = samplesUpTo(m_phase, m_halfLength);
    return quiet < 0 ? 0 : std::min(quiet, left);
}

template <EngineNumType T>
bool BankPlayer<T>::skipQuietStretch(uint64_t samples, uint64_t& done) noexcept {
    const int64_t budget = static_cast<int64_t>(std::min<uint64_t>(samples - done, uint64_t{1} << 40));
    int64_t quiet = skipSteadyNote(budget);
    if (quiet <= 0) {
        quiet = quietSamples(budget);
        if (quiet <= 0) return false;
        skipQuietSamples(quiet);
    }
    done += static_cast<uint64_t>(quiet);
    return true;
}

// The common case of a long note (a slurred chain of vibrato notes is one
// for minutes): sounding, a noise wave only of one cutoff, each LFO settled
// or absent. Its samples then only move clocks (the LFO updates are no-ops,
// the settled LFOs' clocks and phases are owed as in skipQuietSamples) and
// draw noise, its values read by nothing here (the filter's steps are owed),
// apart from the half-cycle boundaries, which read the pitch LFO's phase
// and, under frequency noise (neither a noise wave nor level noise then),
// draw the next half's length, after the neighbouring noise waves' draws
// that come first are placed. So the walk goes from boundary to boundary
// with the hot fields in its own members, boundaryStep inlined and the duty
// shares kept while the duty value holds; a walk is open until it is closed,
// so that banks taking turns a boundary at a time (skipSteadyInTurn) pay
// its set-up once. A boundary that would silence the note is left to
// seekNoteSample, so that runSeekNote sees it.
template <EngineNumType T>
struct BankPlayer<T>::SteadyWalk {
    BankPlayer* p = nullptr;
    int32_t from = 0, stop = 0, e = 0;  // e: the sample the walk stands at

    // False where the case does not apply (not inside a note, among others);
    // otherwise open up to `budget`
    // samples on, and at most to the note's end.
    bool open(BankPlayer& player, int64_t budget) noexcept {
        p = &player;
        if (p->m_elapsed >= p->m_noteLength || p->m_index >= p->m_count) return false;
        const ToneSlot& tone = *p->m_toneSlot;
        const auto quiet = [](const LfoState<T>& l) { return !l.defined() || l.settled; };
        noise = tone.wave == static_cast<int32_t>(Wave::Noise);
        noisyPitch = tone.freqNoise != 0.0f;
        if (p->m_silent || (noisyPitch ? noise || p->m_hasLevelNoise : p->m_neighbour != nullptr) ||
            (noise && !p->seekNoteRepeats()) || !quiet(p->m_pitchLfo) || !quiet(p->m_ampLfo))
            return false;
        freqNoise = numFloat<T>(tone.freqNoise);
        duties = tone.duties.data();
        from = e = p->m_elapsed;
        noteLength = p->m_noteLength;
        stop = static_cast<int32_t>(from + std::min<int64_t>(budget, int64_t{noteLength} - from));

        // The pitch LFO's phase at sample e, read by the vibrato. Where its
        // steps are exact modular steps on whole units (Fix always; Float and
        // Double on whole numbers) it is kept as an integer: (p + n) mod q.
        lfoPeriod = p->m_pitchLfo.period;
        lfoDepth = p->m_pitchLfo.depth;
        vibrato = !isZero(lfoDepth) && lfoPeriod > T{};
        lfoPhase = p->m_pitchLfo.phase;
        ls = 0;
        if (vibrato) {
            if constexpr (kIsFix<T>) {
                if (lfoPhase.raw() >= 0 && lfoPhase.raw() < lfoPeriod.raw()) {
                    lp = lfoPhase.raw();
                    lq = lfoPeriod.raw();
                    ls = 65536;
                }
            } else {
                constexpr T kWholeTop = T(int64_t{1} << std::numeric_limits<T>::digits) - T(1);
                if (lfoPhase >= T(0) && lfoPhase < lfoPeriod && lfoPeriod < kWholeTop &&
                    static_cast<T>(static_cast<int64_t>(lfoPhase)) == lfoPhase &&
                    static_cast<T>(static_cast<int64_t>(lfoPeriod)) == lfoPeriod) {
                    lp = static_cast<int64_t>(lfoPhase);
                    lq = static_cast<int64_t>(lfoPeriod);
                    ls = 1;
                }
            }
        }
        glideSpan = T{};
        if (p->m_hasSlurTarget) glideSpan = numInt<T>(noteLength) * p->m_portamento;
        glides = p->m_hasSlurTarget && glideSpan > T{};
        switching = !isZero(p->m_switchPeriod);
        everyCycle = tone.dutySwitchMs == 0.0f;
        dutyCount = tone.dutyCount;

        phase = p->m_phase;
        half = p->m_halfLength;
        currentDuty = p->m_currentDuty;
        halfCycle = p->m_halfCycle;
        dutyIndex = p->m_dutyIndex;
        slot = -1;
        pending = p->m_switchPending;
        dutyValue = p->m_dutyValue;
        sharesKnown = false;
        return true;
    }

    // The sample the walk stands at, and the ones up to its next boundary
    // (or the stop); false, with nothing moved, at the boundary that would
    // silence the note.
    [[gnu::always_inline]] bool step() noexcept {
        if (phase > half) {
            // boundaryStep at sample e
            const int32_t remaining = noteLength - e;
            T cycle = p->m_cycle;
            if (glides) {
                const T left = numInt<T>(remaining);
                if (glideSpan >= left) {
                    const T g = quot(left, glideSpan);
                    cycle = g * p->m_cycle + (numInt<T>(1) - g) * p->m_targetCycle;
                }
            }
            if (vibrato) cycle = applyVibrato(cycle, p->m_vibratoMemo.factor(lfoNow(), lfoPeriod, lfoDepth));
            if (halfCycle == 1) {
                if (numInt<T>(remaining) < cycle && !p->m_hasSlurTarget) return false;
                if (everyCycle || pending) {
                    ++dutyIndex;
                    if (slot >= 0 && ++slot == dutyCount) slot = 0;
                    pending = false;
                }
            }
            if (slot < 0) slot = dutyIndex % dutyCount;
            phase -= half;
            halfCycle ^= 1;
            dutyValue = duties[static_cast<size_t>(slot)];
            if (!sharesKnown || bitCast<uint32_t>(dutyValue) != sharesOf) {
                sharesOf = bitCast<uint32_t>(dutyValue);
                sharesKnown = true;
                firstShare = numFloat<T>(dutyValue);
                secondShare = secondHalfDuty<T>(dutyValue);
            }
            currentDuty = firstShare;
            if (noisyPitch) {
                if (p->m_neighbour != nullptr) p->m_neighbour->placeTo(int64_t{e} - p->m_neighbourFrom, p->m_neighbourSlot);
                half = noisyHalfLength(freqNoise, uniformFromDraw<T>(p->m_random->next()), cycle);
            } else {
                half = dutyHalfLength(halfCycle == 0 ? firstShare : secondShare, cycle);
            }
        }
        // this sample and the ones up to the next boundary (or the stop)
        int64_t n = 0;
        const BoundaryWalk& walked = p->m_boundaryWalk;
        if (phase > half) {
        } else if (e == from && walked.steps <= int64_t{stop} - e && sameBits(phase, walked.phase) &&
                   sameBits(half, walked.half)) {
            n = walked.steps;  // samplesBeforeDraw walked it from here
            phase = walked.after;
        } else {
            n = stepsPast(phase, half, int64_t{stop} - e);
        }
        if (n == 0) {
            phase += numInt<T>(1);
            n = 1;
        }
        e = static_cast<int32_t>(e + n);
        // the duty flag only ever turns on while the duty index holds still:
        // the run's last sample decides
        if (switching && p->m_switchPeriod * numInt<T>(dutyIndex + 1) < numInt<T>(int64_t{e} - 1)) pending = true;
        if (vibrato) {
            if (ls != 0) {
                lp += n * ls;
                if (lp >= lq) lp = lp - lq < lq ? lp - lq : lp % lq;
                // read at the next boundary, after the other banks' in turn
                p->m_vibratoMemo.prefetchUnits(lp);
            } else {
                lfoPhase = lfoPhaseAfter(lfoPhase, lfoPeriod, n);
            }
        }
        return true;
    }

    // Leaves the player where the walk stands; returns the samples it went.
    int64_t close() noexcept {
        const int64_t count = int64_t{e} - from;
        if (count == 0) return 0;
        p->m_phase = phase;
        p->m_halfLength = half;
        p->m_halfCycle = halfCycle;
        p->m_dutyIndex = dutyIndex;
        p->m_switchPending = pending;
        p->m_dutyValue = dutyValue;
        p->m_currentDuty = currentDuty;
        p->m_elapsed = e;
        if (vibrato) {
            p->m_pitchLfo.phase = lfoNow();
        } else {
            p->m_owedPitchPhase += count;
        }
        p->m_owedAmpPhase += count;
        p->m_owedClock += count;
        // every one of those samples sounded: the noise wave's draws (with the
        // note's one set of coefficients) and the level noise's
        if (noise) p->oweNoise(count);
        else if (p->m_hasLevelNoise) p->m_random->discard(static_cast<uint64_t>(count));
        if (p->m_elapsed >= p->m_noteLength) ++p->m_index;
        return count;
    }

private:
    static bool sameBits(T a, T b) noexcept { return std::memcmp(&a, &b, sizeof a) == 0; }
    T lfoNow() const noexcept {
        if (ls == 0) return lfoPhase;
        if constexpr (kIsFix<T>) return Fix::fromRaw(lp);
        else return static_cast<T>(lp);
    }

    int32_t noteLength = 0;
    bool noise = false, noisyPitch = false, vibrato = false, glides = false, switching = false, everyCycle = false;
    T freqNoise{}, lfoPeriod{}, lfoDepth{}, lfoPhase{}, glideSpan{};
    int64_t lp = 0, lq = 0, ls = 0;  // ls == 0: stepped by lfoPhaseAfter
    const float* duties = nullptr;
    int64_t dutyCount = 0;
    T phase{}, half{}, currentDuty{};
    int halfCycle = 0;
    int64_t dutyIndex = 0;
    int64_t slot = -1;  // dutyIndex % dutyCount, once a boundary needs it
    bool pending = false;
    float dutyValue = 0.0f;
    uint32_t sharesOf = 0;  // the duty value (bits) the shares below belong to
    bool sharesKnown = false;
    T firstShare{}, secondShare{};
};

// Samples of the current note from boundary to boundary, at most `budget`
// and up to the note's end; 0 where the case does not apply.
template <EngineNumType T>
int64_t BankPlayer<T>::skipSteadyNote(int64_t budget) noexcept {
    SteadyWalk walk;
    if (!walk.open(*this, budget)) return 0;
    while (walk.e < walk.stop && walk.step()) {
    }
    return walk.close();
}

// Banks in steady notes of frequency noise (null: not one of them), each
// `at[b]` frames into a stretch of `frames`, on to its end, their draws in
// the mixer's order: the walk standing on the earliest frame takes its next
// boundary, and of two on one frame the one earlier in the mix. Every walk
// is open for the whole stretch, so a boundary costs its own work only.
// Adds to `at` the frames each bank went: the rest of the stretch, but up
// to the boundary that silences a note. Where a bank's note is not that
// case, nothing moves and that bank's place is returned; otherwise
// `banks.size()`.
template <EngineNumType T>
size_t BankPlayer<T>::skipSteadyInTurn(std::span<BankPlayer* const> banks, uint64_t frames,
                                       std::span<uint64_t> at) noexcept {
    constexpr size_t kMost = 5;
    std::array<SteadyWalk, kMost> walks;
    std::array<size_t, kMost> of{};  // the walks' banks, in the mix's order
    size_t count = 0;
    for (size_t b = 0; b < banks.size(); ++b) {
        BankPlayer* bank = banks[b];
        if (bank == nullptr) continue;
        // only frequency noise draws nowhere but at the boundaries
        if (count == kMost || bank->m_toneSlot->freqNoise == 0.0f ||
            !walks[count].open(*bank, static_cast<int64_t>(std::min<uint64_t>(frames - at[b], uint64_t{1} << 40))))
            return b;
        of[count++] = b;
    }
    for (;;) {
        size_t next = kMost;
        int64_t nextFrame = INT64_MAX;
        for (size_t i = 0; i < count; ++i) {
            const SteadyWalk& w = walks[i];
            const int64_t frame = static_cast<int64_t>(at[of[i]]) + (int64_t{w.e} - w.from);
            if (w.e < w.stop && frame < nextFrame) {
                next = i;
                nextFrame = frame;
            }
        }
        if (next == kMost) break;
        // a walk held at the boundary that silences its note draws nothing
        // more in it, so the others go on past it (the caller takes its rest)
        if (!walks[next].step()) walks[next].stop = walks[next].e;
    }
    for (size_t i = 0; i < count; ++i) at[of[i]] += static_cast<uint64_t>(walks[i].close());
    return banks.size();
}

// The rest of the current note, or of `samples` if that comes first,
// exactly as fastSeek's loop takes it; returns how many of those samples
// sounded (they are the ones that draw: a note that falls silent stays so).
template <EngineNumType T>
int64_t BankPlayer<T>::runSeekNote(uint64_t samples, uint64_t& done) noexcept {
    const int32_t from = m_elapsed;
    const bool silentFrom = m_silent;
    int32_t silentAt = -1;
    while (m_elapsed < m_noteLength && done < samples) {
        if (skipQuietStretch(samples, done)) continue;
        const int32_t e = m_elapsed;
        const bool wasSilent = m_silent;
        seekNoteSample();
        ++done;
        if (!wasSilent && m_silent) silentAt = e;  // the boundary that silenced it drew nothing after
    }
    flushSeekClocks();
    if (silentAt < 0) silentAt = m_elapsed;  // where it stopped (the note's end: its length)
    return silentFrom ? 0 : int64_t{silentAt} - from;
}

// The draws of `sounding` samples of the note just put back: per sample the
// noise wave's value through the filter (with the note's one set of
// coefficients), then the level noise's.
template <EngineNumType T>
void BankPlayer<T>::payNoteDraws(int64_t sounding) noexcept {
    if (sounding <= 0) return;
    if (m_toneSlot->wave == static_cast<int32_t>(Wave::Noise)) {
        oweNoise(sounding);  // the coefficients are valid already: the note's samples computed them
    } else if (m_hasLevelNoise) {
        m_random->discard(static_cast<uint64_t>(sounding));
    }
}

// `samples` noise-wave samples of the current half-cycle: their draws now
// (by jump-ahead), their filter steps owed.
template <EngineNumType T>
void BankPlayer<T>::oweNoise(int64_t samples) noexcept {
    if (samples <= 0) return;
    refreshNoiseCoefficients();
    oweNoiseWith(m_noiseCoefficients, m_hasLevelNoise ? 1u : 0u, samples);
}

template <EngineNumType T>
void BankPlayer<T>::oweNoiseWith(const NoiseCoefficients<T>& coefficients, uint32_t skip, int64_t samples) noexcept {
    const uint32_t from = m_random->state();
    m_random->discard(static_cast<uint64_t>(samples) * (uint64_t{skip} + 1));
    if (!m_noiseDebt.empty()) {
        NoiseRun& last = m_noiseDebt.back();
        // the same generator state means the same draws from here on
        if (last.toState == from && last.skip == skip &&
            std::memcmp(&last.coefficients, &coefficients, sizeof last.coefficients) == 0) {
            last.samples += samples;
            last.toState = m_random->state();
            return;
        }
        if (m_noiseDebt.size() >= kMaxNoiseRuns) payNoiseDebt();  // bounded memory, same end state
    }
    m_noiseDebt.push_back(NoiseRun{coefficients, from, m_random->state(), samples, skip});
}

// Whole frames go piece by piece between the frames where a wave falls
// silent: in a piece each wave still sounding owes a run of every D-th draw
// (D: the draws of one of its frames), after the draws of the waves before
// it. Inside a frame each wave owes one sample.
//
//   frame        |       D = 4       |       D = 4       |  D = 2 (B silent)
//   B (noise)     w                   w
//   D (+ level)      w l                 w l                 w l ...
//   E (noise)            w                   w
template <EngineNumType T>
void BankPlayer<T>::NeighbourDraws::placeTo(int64_t toFrame, size_t toSlot) noexcept {
    constexpr size_t kPastLast = std::tuple_size_v<decltype(waves)>;
    // `samples` of the wave's whites from the generator's state `from` on, `stride` draws apart
    const auto owe = [](Wave& w, RandomSource from, uint32_t stride, int64_t samples) {
        RandomSource* shared = w.bank->m_random;
        w.bank->m_random = &from;
        w.bank->oweNoiseWith(w.coefficients, stride - 1, samples);
        w.bank->m_random = shared;
    };
    // the draws of one frame of the waves sounding in it
    const auto perFrameAt = [this](int64_t f) {
        uint32_t draws = 0;
        for (size_t i = 0; i < count; ++i)
            if (waves[i].frames > f) draws += waves[i].draws;
        return draws;
    };
    while (frame < toFrame || (frame == toFrame && slot < toSlot)) {
        if (slot > 0 || frame == toFrame) {
            // inside a frame: the waves from `slot` up to the point (or the
            // frame's end), a sample each, owed as a run of this frame's
            // stride, so that it joins the wave's runs of whole frames
            // where the whites fall evenly
            const size_t upTo = frame == toFrame ? toSlot : kPastLast;
            const uint32_t perFrame = perFrameAt(frame);
            for (size_t i = 0; i < count; ++i) {
                Wave& w = waves[i];
                if (w.slot < slot || w.slot >= upTo || w.frames <= frame) continue;
                owe(w, *random, perFrame, 1);
                random->discard(w.draws);
            }
            slot = upTo;
            if (slot == kPastLast) {
                ++frame;
                slot = 0;
            }
            continue;
        }
        int64_t to = toFrame;
        for (size_t i = 0; i < count; ++i)
            if (waves[i].frames > frame) to = std::min(to, waves[i].frames);
        const uint32_t perFrame = perFrameAt(frame);
        if (perFrame == 0) {
            frame = toFrame;  // nothing draws any more
            continue;
        }
        RandomSource at = *random;
        for (size_t i = 0; i < count; ++i) {
            Wave& w = waves[i];
            if (w.frames <= frame) continue;
            owe(w, at, perFrame, to - frame);
            at.discard(w.draws);
        }
        random->discard(static_cast<uint64_t>(to - frame) * perFrame);
        frame = to;
    }
}

// The owed filter steps, with the draws they would have had.
template <EngineNumType T>
void BankPlayer<T>::payNoiseDebt() const noexcept {
    m_noise = runNoiseSteps<T>(m_noise, m_noiseDebt);
    m_noiseDebt.clear();
}

template <EngineNumType T>
void BankPlayer<T>::settleNoiseDebtRemembered() const noexcept {
    if (m_noiseDebt.empty() || !(loopSong() || mayPlayAgain())) return;
    m_noise = runNoiseStepsRemembered<T>(m_noise, m_noiseDebt);
    m_noiseDebt.clear();
}

// renderNoteSample<false>(wave, false, m_noise) without its output: the same
// updates, boundary, duty flag, draws and filter step, in the same order.
template <EngineNumType T>
void BankPlayer<T>::seekNoteSample() noexcept {
    if (!m_silent) {
        updateLfo(m_pitchLfo);
        updateLfo(m_ampLfo);
        const int32_t remaining = m_noteLength - m_elapsed;
        bool sounding = true;
        if (m_phase > m_halfLength) {
            // the noise banks' draws up to this frame (and this frame's before this bank) come before this boundary's
            if (m_neighbour != nullptr) [[unlikely]]
                m_neighbour->placeTo(int64_t{m_elapsed} - m_neighbourFrom, m_neighbourSlot);
            sounding = boundaryStep(remaining);
        }
        if (sounding) {
            if (!isZero(m_switchPeriod) && m_switchPeriod * numInt<T>(m_dutyIndex + 1) < numInt<T>(m_elapsed))
                m_switchPending = true;
            if (m_toneSlot->wave == static_cast<int32_t>(Wave::Noise)) oweNoise(1);  // its level draw too
            else if (m_hasLevelNoise) (void)m_random->next();
        }
    }
    advanceOneSample<true>();
}

// Samples from the current one on (at most `limit`) on which stepping would
// do nothing but move clocks, draw noise, step the noise filter and maybe
// raise the duty flag: no boundary, no LFO update that leaves a trace. The note's
// last sample and the seek's last one are left to a full step (the LFO
// updates skipped here would store values that one then stores). Only called
// inside a started note.
template <EngineNumType T>
int64_t BankPlayer<T>::quietSamples(int64_t limit) const noexcept {
    const int64_t left = int64_t{m_noteLength} - m_elapsed;
    if (m_silent) return std::min(limit, left);  // rests and silent tails: clocks only
    int64_t m = std::min(limit, left) - 1;
    if (m <= 0) return 0;
    const int64_t toBoundary = samplesUpTo(m_phase, m_halfLength);
    if (toBoundary < 0) return 0;
    m = std::min(m, toBoundary);
    for (const LfoState<T>* lfo : {&m_pitchLfo, &m_ampLfo}) {
        if (!lfo->defined() || lfo->settled) continue;
        if (isZero(lfo->phase)) return 0;  // the period may be stored now
        if (lfo->period > T{}) {
            // the phase cannot land on 0 before it wraps
            if constexpr (kIsFix<T>) {
                m = std::min(m, (lfo->period.raw() - lfo->phase.raw() + 65535) / 65536);
            } else {
                const int64_t toWrap = samplesUpTo(lfo->phase, lfo->period);
                if (toWrap < 0) return 0;
                // samplesUpTo counts the steps with phase <= period; one fewer
                // keeps every step below the period, before the wrap
                m = std::min(m, toWrap - 1);
            }
        }
        if (!lfo->steady) {
            if (lfo->segmentDefinition != lfo->definition || lfo->segmentIndex != lfo->pointIndex) return 0;
            if (lfo->hasNext) {
                if (m_lfoCounter >= lfo->quietUntil) return 0;
                m = std::min(m, lfo->quietUntil - m_lfoCounter);
            }
        }
    }
    return std::max<int64_t>(m, 0);
}

// `count` quiet samples (see quietSamples): clocks in closed form, the noise
// wave's draws and filter steps in a tight loop.
template <EngineNumType T>
void BankPlayer<T>::skipQuietSamples(int64_t count) noexcept {
    if (count <= 0) return;
    if (!m_silent) {
        // the flag only ever turns on while the duty index holds still: the
        // last sample's test decides
        if (!isZero(m_switchPeriod) &&
            m_switchPeriod * numInt<T>(m_dutyIndex + 1) < numInt<T>(int64_t{m_elapsed} + count - 1))
            m_switchPending = true;
        if (m_toneSlot->wave == static_cast<int32_t>(Wave::Noise)) {
            oweNoise(count);  // with the coefficients of this half-cycle
        } else if (m_hasLevelNoise) {
            m_random->discard(static_cast<uint64_t>(count));
        }
    }
    m_phase = phaseAfter(m_phase, count);
    m_elapsed = static_cast<int32_t>(m_elapsed + count);
    // Settled LFOs are read by nothing inside this note (a settled pitch LFO
    // only by the vibrato): their clock and phase steps are owed until the
    // next event walk or the seek's end.
    const auto quiet = [](const LfoState<T>& l) { return !l.defined() || l.settled; };
    const bool pitchQuiet = quiet(m_pitchLfo) && (isZero(m_pitchLfo.depth) || !(m_pitchLfo.period > T{}));
    if (quiet(m_pitchLfo) && quiet(m_ampLfo)) m_owedClock += count;
    else advanceLfoClock(count);
    if (pitchQuiet) m_owedPitchPhase += count;
    else m_pitchLfo.phase = lfoPhaseAfter(m_pitchLfo.phase, m_pitchLfo.period, count);
    if (quiet(m_ampLfo)) m_owedAmpPhase += count;
    else m_ampLfo.phase = lfoPhaseAfter(m_ampLfo.phase, m_ampLfo.period, count);
    if (m_elapsed >= m_noteLength) ++m_index;
}

// Pays the clock and phase steps skipQuietSamples left owed. The LFO phase
// steps use the period in force, which cannot change before an event walk.
template <EngineNumType T>
void BankPlayer<T>::flushSeekClocks() noexcept {
    if (m_owedClock != 0) advanceLfoClock(m_owedClock);
    if (m_owedPitchPhase != 0) m_pitchLfo.phase = lfoPhaseAfter(m_pitchLfo.phase, m_pitchLfo.period, m_owedPitchPhase);
    if (m_owedAmpPhase != 0) m_ampLfo.phase = lfoPhaseAfter(m_ampLfo.phase, m_ampLfo.period, m_owedAmpPhase);
    m_owedClock = 0;
    m_owedPitchPhase = 0;
    m_owedAmpPhase = 0;
}

template <EngineNumType T>
uint64_t BankPlayer<T>::fastSeek(uint64_t samples, bool toMarker, bool& markerReached) noexcept {
    markerReached = false;
    uint64_t done = 0;
    if (m_count == 0) {
        markerReached = toMarker;
        return toMarker ? 0 : samples;
    }
    SeekNoteMemo<T> own;
    SeekNoteMemo<T>& memo = m_seekMemo != nullptr ? *m_seekMemo : own;
    bool walked = false;  // the last step was an event walk that started a note
    while (done < samples) {
        if (m_index >= m_count) {
            flushSeekClocks();
            if (toMarker) {
                markerReached = true;  // the list ran out: nothing left to skip
                return done;
            }
            (void)advance<false>(false, markerReached);  // a finished bank stays put
            return samples;
        }
        // A memo kept across calls (a BankSet skip, whose stretches end
        // wherever any drawing bank's note ends) takes the rest of the note
        // or of the call from anywhere in a note; a call's own memo only
        // whole notes from their start.
        if (m_elapsed < m_noteLength && (walked || m_seekMemo != nullptr) && m_neighbour == nullptr) {
            walked = false;
            const uint64_t rest = static_cast<uint64_t>(int64_t{m_noteLength} - m_elapsed);
            const uint64_t span = std::min(rest, samples - done);
            if ((span == rest || m_seekMemo != nullptr) && seekNoteRepeats()) {
                flushSeekClocks();  // the key holds no owed steps
                typename SeekNoteMemo<T>::Entry entry;
                SeekNoteState<T>::take(*this, entry.from);
                entry.from.span = static_cast<int64_t>(span);
                // Within a note nothing reads the list: the note's record has
                // been copied into the state, and the index only moves on at
                // its end. So the key leaves the index out, and a note written
                // out again further on (not only one a loop repeats) is put
                // back from the memo, its end index counted from its own.
                const int32_t startIndex = entry.from.index;
                entry.from.index = 0;
                const uint64_t hash = hashSeekState(entry.from);
                if (const auto* known = memo.find(entry.from, hash)) {
                    known->to.putBack(*this);
                    m_index = startIndex + known->to.index;
                    payNoteDraws(known->sounding);
                    done += span;
                } else {
                    entry.sounding = runSeekNote(done + span, done);
                    SeekNoteState<T>::take(*this, entry.to);
                    entry.to.index -= startIndex;
                    memo.store(entry, hash);
                }
                continue;
            }
        }
        if (m_elapsed < m_noteLength) {
            if (skipQuietStretch(samples, done)) continue;
            seekNoteSample();
            ++done;
            continue;
        }
        // between notes: the event walk, as stepping does it, up to the
        // start of the next note, whose first sample the loop then takes
        flushSeekClocks();
        bool marker = false;
        if (toMarker) {
            (void)advance<true, true>(false, marker);
            if (marker) {
                markerReached = true;
                return done;
            }
        } else {
            (void)advance<false, true>(false, marker);
        }
        walked = true;
        if (!(m_elapsed < m_noteLength && m_index < m_count)) ++done;  // no note started: a silent frame
    }
    // Owed clock steps are pure additions, read by nothing in a note but an
    // event walk, which pays them first: a caller that seeks the bank again
    // in a moment (BankSet::skipInTurn, a boundary at a time) pays them once
    // at its end.
    if (!m_keepSeekClocks) flushSeekClocks();
    publishIndex();
    return done;
}

#define TAVOLIN_INSTANTIATE(T)                                                    \
    template uint64_t BankPlayer<T>::fastSeek(uint64_t, bool, bool&) noexcept;   \
    template void BankPlayer<T>::seekNoteSample() noexcept;                      \
    template int64_t BankPlayer<T>::quietSamples(int64_t) const noexcept;        \
    template void BankPlayer<T>::skipQuietSamples(int64_t) noexcept;                 \
    template bool BankPlayer<T>::skipQuietStretch(uint64_t, uint64_t&) noexcept; \
    template int64_t BankPlayer<T>::skipSteadyNote(int64_t) noexcept;            \
    template size_t BankPlayer<T>::skipSteadyInTurn(std::span<BankPlayer<T>* const>, uint64_t, std::span<uint64_t>) noexcept; \
    template void BankPlayer<T>::flushSeekClocks() noexcept;                 \
    template bool BankPlayer<T>::seekNoteRepeats() const noexcept;           \
    template int64_t BankPlayer<T>::samplesBeforeDraw() const noexcept;      \
    template int64_t BankPlayer<T>::runSeekNote(uint64_t, uint64_t&) noexcept; \
    template void BankPlayer<T>::payNoteDraws(int64_t) noexcept;             \
    template void BankPlayer<T>::oweNoise(int64_t) noexcept;                 \
    template void BankPlayer<T>::oweNoiseWith(const NoiseCoefficients<T>&, uint32_t, int64_t) noexcept; \
    template void BankPlayer<T>::NeighbourDraws::placeTo(int64_t, size_t) noexcept; \
    template void BankPlayer<T>::payNoiseDebt() const noexcept;             \
    template void BankPlayer<T>::settleNoiseDebtRemembered() const noexcept;
TAVOLIN_INSTANTIATE(Fix)
TAVOLIN_INSTANTIATE(float)
TAVOLIN_INSTANTIATE(double)
#undef TAVOLIN_INSTANTIATE

}  // namespace tavolin
