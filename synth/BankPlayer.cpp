// The per-sample engine: event walking, note timing, oscillator, envelope,
// LFOs, pan, and the five-bank mixer, instantiated for Fix, float and double.
// BankSet lives in this file too so that the mixer can inline renderFrame.
#include "synth/BankPlayer.h"

#include <algorithm>
#include <cmath>

#include "synth/BankSet.h"
#include "synth/LoopRules.h"

// Per-sample helpers are folded into renderFrame (and so into the mixer loop,
// which lives in this file): the call overhead would otherwise dominate a
// sample that costs a few nanoseconds.
#define TAVOLIN_HOT_INLINE [[gnu::always_inline]] inline
#define TAVOLIN_HOT_INLINE_LAMBDA __attribute__((always_inline))

namespace tavolin {
namespace {

// The two sides of a sample under the linear pan law; the centre (the
// default pan) weighs both sides alike, so one side is enough there.
template <EngineNumType T>
TAVOLIN_HOT_INLINE StereoSample panned(int32_t pan, T value) noexcept {
    const int16_t left = panSide<T>(256 - pan, value);
    return {left, pan == 128 ? left : panSide<T>(pan, value)};
}

// The envelope's ramps at their position x (0..1) in the stage: shared by the
// per-sample level and the Fix stretch, which carries x instead of dividing.
template <EngineNumType T>
TAVOLIN_HOT_INLINE T attackRamp(T x, const EnvelopeSlot<T>& env) noexcept { return x * env.attackLevel; }
template <EngineNumType T>
TAVOLIN_HOT_INLINE T decayRamp(T x, const EnvelopeSlot<T>& env) noexcept {
    return (numInt<T>(1) - x) * env.attackLevel + env.sustainLevel * x;
}
template <EngineNumType T>
TAVOLIN_HOT_INLINE T releaseRamp(T x, const EnvelopeSlot<T>& env) noexcept { return x * env.sustainLevel; }

}  // namespace

// ============================================================= set-up

template <EngineNumType T>
void BankPlayer<T>::loadToneTable(const std::array<ToneDefPayload, kToneSlots>& tones) noexcept {
    for (size_t i = 0; i < tones.size(); ++i) m_tones[i].assign(tones[i]);
}

template <EngineNumType T>
void BankPlayer<T>::prepare(uint32_t sampleRate) noexcept {
    m_sampleRate = sampleRate;
    m_lfoMsStep = sampleRate == 0 ? 0 : 65536000 / sampleRate;
    m_lfoMsStepRemainder = sampleRate == 0 ? 0 : 65536000 % sampleRate;
    m_count = static_cast<int32_t>(std::min<size_t>(m_events.size(), INT32_MAX));
    m_index = 0;
    m_noteLength = 0;
    m_elapsed = 0;
    m_loopSong.store(false, std::memory_order_release);
    m_ledger.clear();
    m_tracking = false;
    m_noiseCoefficientsValid = false;  // they depend on the rate
    m_publishedCount.store(m_count, std::memory_order_release);
    publishIndex();
}

// ============================================================= event walk

// The hot path: inside a note nothing but the sample itself has to happen.
template <EngineNumType T>
StereoSample BankPlayer<T>::renderFrame(bool anyPlaying) noexcept {
    if (m_elapsed < m_noteLength && m_index < m_count) [[likely]] {
        const StereoSample s = renderNoteSample<false>(m_toneSlot->wave, false, m_noise);
        publishIndex();
        return s;
    }
    bool marker = false;
    return advance<false>(anyPlaying, marker);
}

// Adds size/2 samples of the current note into `mix` (interleaved). The
// caller guarantees the note lasts that long; a finished bank adds nothing.
// A square in its sustain with no modulation, noise or duty switching holds
// one output per half-cycle: that value is worked out once (by the same
// formula a single sample uses), and the samples only advance the clocks.
template <EngineNumType T>
void BankPlayer<T>::renderNoteRun(std::span<int32_t> mix) noexcept {
    if (m_index >= m_count) return;
    const size_t n = mix.size() / 2;
    size_t k = 0;
    if (holdsSteadySquare(n)) {
        const T level = m_envelope->sustainLevel;
        const T up = level * numInt<T>(1) * m_volume;
        const T down = level * numInt<T>(-1) * m_volume;
        const StereoSample halves[2] = {panned(m_pan, up), panned(m_pan, down)};
        // Between two boundaries only the phase moves per sample (in T, one
        // step at a time, so Float and Double round exactly as a single
        // sample would); the integer clocks catch up once per stretch.
        while (k < n) {
            if (m_phase > m_halfLength && !boundaryStep(m_noteLength - m_elapsed)) {
                advanceOneSample();  // the sample in which the note fell silent
                ++k;
                break;
            }
            const StereoSample s = halves[m_halfCycle];
            const T halfLength = m_halfLength;
            T phase = m_phase;
            size_t j = k;
            do {
                mix[2 * j] += s.left;
                mix[2 * j + 1] += s.right;
                phase += numInt<T>(1);
                ++j;
            } while (j < n && !(phase > halfLength));
            m_phase = phase;
            advanceClocks(j - k);
            k = j;
        }
    }
    // The tone (so the wave) cannot change inside a note: one loop per wave,
    // each with the wave's branch folded away.
    // A plain run: the amplitude LFO is quiet (settled, or never defined,
    // with depth 0), and the tone has neither duty switching nor level
    // noise. All of that holds until the next note, so those per-sample
    // tests are dropped, and the quiet LFO's phase, which nothing reads
    // then, is stepped once for the whole run.
    const bool plain = (m_ampLfo.definition == nullptr || m_ampLfo.settled) && isZero(m_ampLfo.depth) &&
                       isZero(m_switchPeriod) && !m_hasLevelNoise;
    // The noise filter state is only touched by the noise wave: a run keeps
    // it in a local, so its feedback stays in registers from one sample to
    // the next instead of going through memory.
    const auto run = [&](auto wave) {
        const size_t first = k;
        NoiseFilter<T> filter = m_noise;
        if (plain) {
            for (; k < n; ++k) {
                k = renderQuietStretch(wave(), k, n, mix, filter);
                if (k >= n) break;
                const StereoSample s = renderNoteSample<true>(wave(), k + 1 < n, filter);
                mix[2 * k] += s.left;
                mix[2 * k + 1] += s.right;
            }
            stepLfoPhase(m_ampLfo, static_cast<int64_t>(k - first));
        } else {
            for (; k < n; ++k) {
                const StereoSample s = renderNoteSample<false>(wave(), k + 1 < n, filter);
                mix[2 * k] += s.left;
                mix[2 * k + 1] += s.right;
            }
        }
        m_noise = filter;
    };
    const int32_t wave = m_toneSlot->wave;
    switch (static_cast<Wave>(wave)) {
    case Wave::Square: run([] { return static_cast<int32_t>(Wave::Square); }); break;
    case Wave::Triangle: run([] { return static_cast<int32_t>(Wave::Triangle); }); break;
    case Wave::Sawtooth: run([] { return static_cast<int32_t>(Wave::Sawtooth); }); break;
    case Wave::Sine: run([] { return static_cast<int32_t>(Wave::Sine); }); break;
    case Wave::Noise: run([] { return static_cast<int32_t>(Wave::Noise); }); break;
    default: run([wave] { return wave; }); break;
    }
    publishIndex();
}

// The bulk of a plain run: samples on which the full per-sample path would
// do nothing but produce the sample and step the clocks (no boundary, no
// pitch LFO update with an effect, not the run's last sample). Those clocks
// live in locals here, so they stay in registers instead of going through
// the player's members every sample, and are written back once. It stops
// before any sample that needs more (the caller renders that one the full
// way) and leaves the state exactly as the full path would.
template <EngineNumType T>
TAVOLIN_HOT_INLINE size_t BankPlayer<T>::renderQuietStretch(int32_t wave, size_t k, size_t n, std::span<int32_t> mix,
                                                            NoiseFilter<T>& filter) noexcept {
    if (m_silent || k + 1 >= n) return k;
    LfoState<T>& lfo = m_pitchLfo;
    const bool lfoActive = lfo.definition != nullptr && !lfo.settled;
    // An unsettled LFO that is not steady must have its segment in place and
    // be kept off its clock: the counter stays below quietUntil (or no
    // further breakpoint exists).
    const bool lfoSteady = lfo.steady;
    if (lfoActive && !lfoSteady && (lfo.segmentDefinition != lfo.definition || lfo.segmentIndex != lfo.pointIndex))
        return k;
    const bool lfoHasNext = lfoActive && !lfoSteady && lfo.hasNext;
    if constexpr (kIsFix<T>) {
        const int64_t done = renderFixStretch(wave, k, n, mix, filter, lfoActive, lfoHasNext);
        if (done >= 0) return k + static_cast<size_t>(done);
    }
    const int64_t quietUntil = lfo.quietUntil;
    const T lfoPeriod = lfo.period;
    const bool lfoRunning = lfoPeriod > T{};
    T lfoPhase = lfo.phase;
    const T halfLength = m_halfLength;
    const int halfCycle = m_halfCycle;
    const int32_t pan = m_pan;
    const T volume = m_volume;
    T phase = m_phase;
    int32_t elapsed = m_elapsed;
    int32_t counter = m_lfoCounter;
    int64_t msRaw = m_lfoMsRaw;
    uint32_t msRemainder = m_lfoMsRemainder;
    const int64_t msStep = m_lfoMsStep;
    const uint32_t msStepRemainder = m_lfoMsStepRemainder;
    const uint32_t rate = m_sampleRate;
    // Duty and frequency hold still here, and no other bank draws while this
    // one runs: the noise coefficients are checked once, and the generator
    // lives in a register until the stretch ends.
    const bool noise = wave == static_cast<int32_t>(Wave::Noise);
    if (noise) refreshNoiseCoefficients();
    RandomSource random = *m_random;
    for (; k + 1 < n; ++k) {
        if (phase > halfLength) break;
        if (lfoActive && (isZero(lfoPhase) || (lfoHasNext && counter >= quietUntil))) break;
        const T w = noise ? noiseFilterStep(filter, m_noiseCoefficients, whiteFromDraw<T>(random.next()))
                          : waveValueAt(wave, phase, halfLength, halfCycle, filter);
        const T level = envelopeLevelAt(elapsed);
        const StereoSample s = panned(pan, level * w * volume);
        mix[2 * k] += s.left;
        mix[2 * k + 1] += s.right;
        // the clocks, as advanceOneSample<false> steps them
        phase += numInt<T>(1);
        if (counter != INT32_MAX) {
            ++counter;
            if constexpr (kIsFix<T>) {
                msRaw += msStep;
                msRemainder += msStepRemainder;
                if (msRemainder >= rate && rate != 0) {
                    msRemainder -= rate;
                    ++msRaw;
                }
            }
        }
        ++elapsed;
        if (lfoRunning) lfoPhase = nextLfoPhase(lfoPhase, lfoPeriod);
    }
    m_phase = phase;
    m_elapsed = elapsed;
    m_lfoCounter = counter;
    m_lfoMsRaw = msRaw;
    m_lfoMsRemainder = msRemainder;
    lfo.phase = lfoPhase;
    *m_random = random;
    // the note lasts past the run, whose last sample is never taken here
    return k;
}

// The quiet stretch in Fix, where every clock is an integer: how many samples
// it may take (to the end of the half-cycle, the LFO's next wrap, the next
// breakpoint check, the run's last sample) is known up front, so the loop
// does nothing but produce samples; the clocks move once at the end. The
// divisions of the position along the half-cycle and of the envelope ramps
// are carried from sample to sample (SteppedQuotient). The same samples and
// the same end state as the generic loop; -1 where its value ranges do not
// hold (the generic loop then runs).
template <EngineNumType T>
template <typename U>
    requires kIsFix<U>
TAVOLIN_HOT_INLINE int64_t BankPlayer<T>::renderFixStretch(int32_t wave, size_t k, size_t n, std::span<int32_t> mix,
                                                          NoiseFilter<T>& filter, bool lfoActive,
                                                          bool lfoHasNext) noexcept {
    constexpr int64_t kOne = 65536;
    constexpr int64_t kElapsedLimit = int64_t{1} << 30;  // keeps every numerator below 2^46
    const int64_t h = m_halfLength.raw();
    const int64_t ph = m_phase.raw();
    if (!(ph >= 0 && ph <= h && h > 0 && h < SteppedQuotient::kLimit)) return -1;
    int64_t budget = std::min<int64_t>(static_cast<int64_t>(n - 1 - k), (h - ph) / kOne + 1);
    LfoState<T>& lfo = m_pitchLfo;
    const int64_t lfoPeriod = lfo.period.raw();
    if (lfoActive) {
        const int64_t p0 = lfo.phase.raw();
        if (p0 == 0) return 0;  // the LFO update has work at this sample
        if (lfoPeriod > 0) {
            if (!(p0 > 0 && p0 < lfoPeriod && lfoPeriod < (int64_t{1} << 60))) return -1;
            // samples before the phase next wraps (and may land on 0)
            budget = std::min(budget, (lfoPeriod - p0 + kOne - 1) / kOne);
        }
    }
    if (lfoHasNext) {
        if (m_lfoCounter >= lfo.quietUntil) return 0;
        if (lfo.quietUntil <= INT32_MAX) budget = std::min(budget, lfo.quietUntil - m_lfoCounter);
    }
    const int64_t e0 = m_elapsed;
    if (e0 < 0 || e0 + budget >= kElapsedLimit || int64_t{m_noteLength} >= kElapsedLimit) return -1;
    if (budget <= 0) return 0;

    const bool second = m_halfCycle != 0;
    const bool positional = wave == static_cast<int32_t>(Wave::Triangle) ||
                            wave == static_cast<int32_t>(Wave::Sawtooth) || wave == static_cast<int32_t>(Wave::Sine);
    const bool noise = wave == static_cast<int32_t>(Wave::Noise);
    T flat{};  // the square's (or an unknown wave's) value, fixed for the half-cycle
    if (wave == static_cast<int32_t>(Wave::Square)) flat = second ? numInt<T>(-1) : numInt<T>(1);
    SteppedQuotient position;
    if (positional) position.start(ph, h);  // ph <= h < 2^46: the numerators fit
    if (noise) refreshNoiseCoefficients();
    RandomSource random = *m_random;
    const NoiseCoefficients<T> coefficients = m_noiseCoefficients;
    const int32_t pan = m_pan;
    const T volume = m_volume;
    int32_t* out = mix.data() + 2 * k;

    const auto emit = [&](int64_t count, auto levelAt) TAVOLIN_HOT_INLINE_LAMBDA {
        for (int64_t j = 0; j < count; ++j) {
            T w = flat;
            if (positional) {
                w = positionalWave(wave, Fix::fromRaw(position.quotient), second);
                position.up();
            } else if (noise) {
                w = noiseFilterStep(filter, coefficients, whiteFromDraw<T>(random.next()));
            }
            const StereoSample s = panned(pan, levelAt() * w * volume);
            out[0] += s.left;
            out[1] += s.right;
            out += 2;
        }
    };

    // The envelope, one stage at a time: the level is either held, or a
    // ramp whose quotient is carried (the same formulas as envelopeLevelAt).
    const EnvelopeSlot<T>& env = *m_envelope;
    const int64_t attack = env.attack.raw();
    const int64_t decay = env.decay.raw();
    const int64_t release = env.release.raw();
    const bool rampsFit = attack >= 0 && attack < SteppedQuotient::kLimit && decay >= 0 && decay < SteppedQuotient::kLimit;
    // first sample not in the attack, first past the decay (only read when the ramps fit)
    const int64_t attackEnd = rampsFit ? (attack + kOne - 1) / kOne : 0;
    const int64_t decayEnd = rampsFit ? (attack + decay + kOne - 1) / kOne : 0;
    int64_t done = 0;
    while (done < budget) {
        const int64_t e = e0 + done;
        int64_t count = budget - done;
        SteppedQuotient ramp;
        if (e >= m_sustainFrom) {
            if (e < m_releaseFrom) {
                count = std::min(count, m_releaseFrom - e);
                const T level = env.sustainLevel;
                emit(count, [&] { return level; });
            } else if (release > 0 && release < SteppedQuotient::kLimit) {
                ramp.start((m_noteLength - e) * kOne, release);  // falls by one sample each step, stays > 0
                emit(count, [&] {
                    const T x = Fix::fromRaw(ramp.quotient);
                    ramp.down();
                    return releaseRamp(x, env);
                });
            } else {
                int64_t at = e;
                emit(count, [&] { return envelopeLevelAt(static_cast<int32_t>(at++)); });
            }
        } else {
            count = std::min(count, m_sustainFrom - e);
            if (m_continuation) {
                const T level = env.sustainLevel;
                emit(count, [&] { return level; });
            } else if (!rampsFit) {
                int64_t at = e;
                emit(count, [&] { return envelopeLevelAt(static_cast<int32_t>(at++)); });
            } else if (e < attackEnd) {
                count = std::min(count, attackEnd - e);
                ramp.start(e * kOne, attack);
                emit(count, [&] {
                    const T x = Fix::fromRaw(ramp.quotient);
                    ramp.up();
                    return attackRamp(x, env);
                });
            } else if (e < decayEnd) {
                count = std::min(count, decayEnd - e);
                ramp.start(e * kOne - attack, decay);
                emit(count, [&] {
                    const T x = Fix::fromRaw(ramp.quotient);
                    ramp.up();
                    return decayRamp(x, env);
                });
            } else {
                const T level = env.sustainLevel;
                emit(count, [&] { return level; });
            }
        }
        done += count;
    }

    m_phase = Fix::fromRaw(ph + budget * kOne);
    m_elapsed = static_cast<int32_t>(e0 + budget);
    advanceLfoClock(budget);
    stepLfoPhase(lfo, budget);
    *m_random = random;
    return budget;
}

template <EngineNumType T>
bool BankPlayer<T>::holdsSteadySquare(size_t samples) const noexcept {
    const auto quiet = [](const LfoState<T>& l) { return (l.definition == nullptr || l.settled) && isZero(l.depth); };
    return !m_silent && m_toneSlot->wave == static_cast<int32_t>(Wave::Square) && m_toneSlot->freqNoise == 0.0f &&
           !m_hasLevelNoise && isZero(m_switchPeriod) && quiet(m_pitchLfo) && quiet(m_ampLfo) &&
           m_elapsed >= m_sustainFrom && int64_t{m_elapsed} + static_cast<int64_t>(samples) <= m_releaseFrom;
}

template <EngineNumType T>
bool BankPlayer<T>::seekStep() noexcept {
    if (m_index >= m_count) return true;  // ran out without a marker: nothing left to skip
    bool marker = false;
    advance<true>(false, marker);
    return marker;
}

// Applies events up to the next sample. A pass that applies more events than
// the list could hold between two notes switches on a cycle check (Brent's
// algorithm over the control state): a repeat proves that no note can ever
// be reached again, and the bank's pass ends there instead of spinning. The
// per-call cap keeps one call bounded even before the repeat is found; such
// a call renders silence and the next one carries on where it stopped.
template <EngineNumType T>
template <bool kSeek>
[[gnu::noinline]] StereoSample BankPlayer<T>::advance(bool anyPlaying, bool& markerReached) noexcept {
    if (m_count == 0) return {};
    const int64_t trackAfter = int64_t{m_count} + 16;
    const int64_t cap = int64_t{m_count} * 8 + 256;
    int64_t applied = 0;
    bool restarted = false;
    for (;;) {
        if (m_index >= m_count) {
            if (restarted || anyPlaying || !m_loopSong.load(std::memory_order_relaxed)) {
                m_tracking = false;
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
                if (kSeek && ev.startMarker == 1) {
                    markerReached = true;
                    publishIndex();
                    return {};
                }
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
                m_tracking = false;
                const StereoSample s = renderNoteSample<false>(m_toneSlot->wave, false, m_noise);
                publishIndex();
                return s;
            }
        } else {
            if (kSeek && ev.startMarker == 1) {
                markerReached = true;
                publishIndex();
                return {};
            }
            applyEvent(ev);
        }
        ++applied;
        if (applied > trackAfter || m_tracking) {
            if (trackNoSampleCycle()) {
                m_index = m_count;  // nothing audible can follow: the pass is over
                m_tracking = false;
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
bool BankPlayer<T>::trackNoSampleCycle() noexcept {
    const ControlState now = controlState();
    if (!m_tracking) {
        m_tracking = true;
        m_cycleMark = now;
        m_cyclePower = 1;
        m_cycleSteps = 0;
        return false;
    }
    if (now == m_cycleMark) return true;
    if (++m_cycleSteps == m_cyclePower) {
        m_cycleMark = now;
        m_cyclePower *= 2;
        m_cycleSteps = 0;
    }
    return false;
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
        lfo.definition = &ev.lfo;
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

// ============================================================= note start

template <EngineNumType T>
void BankPlayer<T>::startNote(const NotePayload<T>& note) noexcept {
    // 1. timing
    m_noteLength = m_ledger.addNote(m_tempo, note.length, m_sampleRate);
    m_elapsed = 0;
    // 2. duty list back to its first entry, for every note
    m_dutyIndex = 0;
    m_switchPending = false;
    // 3. pitch
    m_noteFrequency = note.frequency;
    if (!isZero(note.frequency)) {
        m_silent = false;
        m_cycle = cycleLengthFor(m_sampleRate, note.frequency);
    } else {
        m_silent = true;
        m_cycle = T{};
    }
    m_toneSlot = &m_tones[static_cast<size_t>(m_tone)];
    m_envelope = &m_envelopes[static_cast<size_t>(m_envelopeIndex)];
    m_switchPeriod = switchPeriodSamples<T>(m_sampleRate, m_toneSlot->dutySwitchMs);
    m_hasLevelNoise = m_toneSlot->levelNoise != 0.0f;
    m_levelNoise = numFloat<T>(m_toneSlot->levelNoise);
    // 4. a slur from the previous note continues its voice
    m_continuation = !isZero(m_targetCycle);
    // 5. otherwise a new note group begins
    if (!m_continuation) {
        restartLfo(m_pitchLfo);
        restartLfo(m_ampLfo);
        m_halfCycle = 0;
        m_phase = T{};
        m_groupLength = groupSampleCount<T>(m_sampleRate, m_tempo, note.groupLength);
        m_lfoCounter = 0;
        m_lfoMsRaw = 0;
        m_lfoMsRemainder = 0;
        m_dutyValue = m_toneSlot->duty(0);
        m_currentDuty = numFloat<T>(m_dutyValue);
        m_halfLength = halfLengthFor(0, m_cycle);
    }
    // 6. the slur target's pitch, for portamento and the next note
    m_targetCycle = T{};
    m_hasSlurTarget = false;
    if (note.slurTarget >= 0 && note.slurTarget < m_count) {
        const MmlEvent<T>& target = m_events[static_cast<size_t>(note.slurTarget)];
        if (target.kind == EventKind::Note) {
            m_targetCycle = cycleLengthFor(m_sampleRate, target.note.frequency);
            m_hasSlurTarget = !isZero(m_targetCycle);
        }
    }
    findEnvelopeStages();
}

template <EngineNumType T>
T BankPlayer<T>::halfLengthFor(int half, T cycle) noexcept {
    const ToneSlot& tone = *m_toneSlot;
    if (tone.freqNoise != 0.0f) {
        const T u = uniformFromDraw<T>(m_random->next());
        return noisyHalfLength(numFloat<T>(tone.freqNoise), u, cycle);
    }
    const T share = half == 0 ? numFloat<T>(m_dutyValue) : secondHalfDuty<T>(m_dutyValue);
    return dutyHalfLength(share, cycle);
}

// ============================================================= one sample

template <EngineNumType T>
template <bool kPlain>
TAVOLIN_HOT_INLINE StereoSample BankPlayer<T>::renderNoteSample(int32_t wave, bool lazyPitch, NoiseFilter<T>& filter) noexcept {
    StereoSample out{};
    if (!m_silent) {
        if (lazyPitch) updatePitchLfoLazily();
        else updateLfo(m_pitchLfo);
        if constexpr (!kPlain) updateLfo(m_ampLfo);
        const int32_t remaining = m_noteLength - m_elapsed;
        bool sounding = true;
        if (m_phase > m_halfLength) sounding = boundaryStep(remaining);
        if (sounding) {
            if (!kPlain && !isZero(m_switchPeriod) && m_switchPeriod * numInt<T>(m_dutyIndex + 1) < numInt<T>(m_elapsed))
                m_switchPending = true;
            T w = waveValue(wave, filter);
            const T level = envelopeLevel();
            if (!kPlain && m_hasLevelNoise) {
                const T u = uniformFromDraw<T>(m_random->next());
                w = w * (numInt<T>(1) - divByInt(u * m_levelNoise, 100));
            }
            if (!kPlain && !isZero(m_ampLfo.depth) && m_ampLfo.period > T{})
                w = w * (numInt<T>(1) - m_ampLfo.depth * lfoSine(m_ampLfo.phase, m_ampLfo.period));
            out = panned(m_pan, level * w * m_volume);
        }
    }
    advanceOneSample<!kPlain>();
    return out;
}

// After every sample of a note event, sounding or not.
template <EngineNumType T>
template <bool kAmpPhase>
TAVOLIN_HOT_INLINE void BankPlayer<T>::advanceOneSample() noexcept {
    m_phase += numInt<T>(1);
    if (m_lfoCounter != INT32_MAX) {
        ++m_lfoCounter;
        if constexpr (kIsFix<T>) {
            // (counter * 65536000) / rate, kept as quotient and remainder so
            // the millisecond clock needs no division per sample.
            m_lfoMsRaw += m_lfoMsStep;
            m_lfoMsRemainder += m_lfoMsStepRemainder;
            if (m_lfoMsRemainder >= m_sampleRate && m_sampleRate != 0) {
                m_lfoMsRemainder -= m_sampleRate;
                ++m_lfoMsRaw;
            }
        }
    }
    ++m_elapsed;
    advanceLfoPhase(m_pitchLfo);
    if constexpr (kAmpPhase) advanceLfoPhase(m_ampLfo);
    if (m_elapsed >= m_noteLength) ++m_index;
}

// The clocks of `samples` consecutive samples of the current note, the phase
// excepted (the caller has stepped it): the same end state as that many
// advanceOneSample calls. The caller guarantees the note lasts that long.
template <EngineNumType T>
void BankPlayer<T>::advanceClocks(size_t samples) noexcept {
    const int64_t count = static_cast<int64_t>(samples);
    advanceLfoClock(count);
    m_elapsed = static_cast<int32_t>(m_elapsed + count);
    stepLfoPhase(m_pitchLfo, count);
    stepLfoPhase(m_ampLfo, count);
    if (m_elapsed >= m_noteLength) ++m_index;
}

// The LFO time counter (and Fix's millisecond clock) after `count` samples.
template <EngineNumType T>
void BankPlayer<T>::advanceLfoClock(int64_t count) noexcept {
    if (m_lfoCounter == INT32_MAX) return;
    const int64_t steps = std::min<int64_t>(count, int64_t{INT32_MAX} - m_lfoCounter);
    m_lfoCounter = static_cast<int32_t>(m_lfoCounter + steps);
    if constexpr (kIsFix<T>) {
        if (m_sampleRate != 0) {
            // remainder < rate before and after every single step, so the
            // carries of `steps` steps are this one quotient
            const uint64_t rem = m_lfoMsRemainder + static_cast<uint64_t>(steps) * m_lfoMsStepRemainder;
            m_lfoMsRaw += steps * m_lfoMsStep + static_cast<int64_t>(rem / m_sampleRate);
            m_lfoMsRemainder = static_cast<uint32_t>(rem % m_sampleRate);
        }
    }
}

// `count` phase advances of one LFO, the same end state as that many
// advanceLfoPhase calls.
template <EngineNumType T>
void BankPlayer<T>::stepLfoPhase(LfoState<T>& lfo, int64_t count) noexcept {
    if (!(lfo.period > T{})) return;
    if constexpr (kIsFix<T>) {
        // every single step is (phase + 65536) mod period for phase >= 0
        const int64_t p = lfo.phase.raw();
        if (p >= 0 && p < (int64_t{1} << 60) && count < (int64_t{1} << 30)) {
            lfo.phase = Fix::fromRaw((p + count * 65536) % lfo.period.raw());
            return;
        }
    }
    // Float and Double round at every step: step one at a time, with the
    // very operations of advanceLfoPhase, in registers.
    const T period = lfo.period;
    T p = lfo.phase;
    for (int64_t i = 0; i < count; ++i) {
        if constexpr (kIsFix<T>) {
            int64_t r = p.raw() + 65536;
            if (r >= period.raw()) r %= period.raw();
            p = Fix::fromRaw(r);
        } else {
            p = p + T(1);
            if (p >= period) p = p < period * T(2) ? p - period : std::fmod(p, period);
        }
    }
    lfo.phase = p;
}

// A half-cycle has run out: carry the remainder over, work out the cycle
// length for the next half (portamento glide, then vibrato) and take the next
// duty. At the end of a full cycle a note that cannot fit another whole cycle
// (and does not slur on) falls silent for the rest of its length.
template <EngineNumType T>
bool BankPlayer<T>::boundaryStep(int32_t remaining) noexcept {
    m_phase -= m_halfLength;
    T cycle = m_cycle;
    if (m_hasSlurTarget) {
        const T glideSpan = numInt<T>(m_noteLength) * m_portamento;
        const T left = numInt<T>(remaining);
        if (glideSpan >= left && glideSpan > T{}) {
            const T g = quot(left, glideSpan);
            cycle = g * m_cycle + (numInt<T>(1) - g) * m_targetCycle;
        }
    }
    if (!isZero(m_pitchLfo.depth) && m_pitchLfo.period > T{})
        cycle = vibratoCycle(cycle, m_pitchLfo.depth, lfoSine(m_pitchLfo.phase, m_pitchLfo.period));
    if (m_halfCycle == 1) {
        if (numInt<T>(remaining) < cycle && !m_hasSlurTarget) {
            m_silent = true;
            return false;
        }
        if (m_toneSlot->dutySwitchMs == 0.0f || m_switchPending) {
            ++m_dutyIndex;
            m_switchPending = false;
        }
    }
    m_halfCycle ^= 1;
    m_dutyValue = m_toneSlot->duty(m_dutyIndex);
    m_currentDuty = numFloat<T>(m_dutyValue);
    m_halfLength = halfLengthFor(m_halfCycle, cycle);
    return true;
}

template <EngineNumType T>
TAVOLIN_HOT_INLINE T BankPlayer<T>::waveValue(int32_t wave, NoiseFilter<T>& filter) noexcept {
    return waveValueAt(wave, m_phase, m_halfLength, m_halfCycle, filter);
}

template <EngineNumType T>
TAVOLIN_HOT_INLINE T BankPlayer<T>::waveValueAt(int32_t wave, T phase, T halfLength, int halfCycle,
                                                NoiseFilter<T>& filter) noexcept {
    const bool second = halfCycle != 0;
    switch (static_cast<Wave>(wave)) {
    case Wave::Square: return second ? numInt<T>(-1) : numInt<T>(1);
    case Wave::Triangle:
    case Wave::Sawtooth:
    case Wave::Sine: return positionalWave(wave, halfCyclePosition(phase, halfLength), second);
    case Wave::Noise: {
        const T white = whiteFromDraw<T>(m_random->next());
        refreshNoiseCoefficients();
        return noiseFilterStep(filter, m_noiseCoefficients, white);
    }
    }
    return T{};  // an unknown wave number is silent
}

// Triangle, sawtooth and sine at position x (0..1) of the half-cycle.
template <EngineNumType T>
TAVOLIN_HOT_INLINE T BankPlayer<T>::positionalWave(int32_t wave, T x, bool second) noexcept {
    switch (static_cast<Wave>(wave)) {
    case Wave::Triangle: {
        const T hump = numInt<T>(1) - numInt<T>(2) * absValue(x - Num<T>::fromDouble(0.5));
        return second ? -hump : hump;
    }
    case Wave::Sawtooth: return second ? x : x - numInt<T>(1);
    case Wave::Sine: return sineWave(x, second);
    default: return T{};
    }
}

// The noise low-pass follows the duty and the note's frequency, which only
// change at a boundary or a note start; the coefficients are worked out again
// only when one of them has moved.
template <EngineNumType T>
TAVOLIN_HOT_INLINE void BankPlayer<T>::refreshNoiseCoefficients() noexcept {
    if (m_noiseCoefficientsValid && m_currentDuty == m_noiseDuty && m_noteFrequency == m_noiseFrequency) [[likely]]
        return;
    const T cutoff = noiseCutoff(m_sampleRate, m_currentDuty, m_noteFrequency);
    if (!m_noiseCoefficientsValid || !(cutoff == m_noiseCutoff)) m_noiseCoefficients = noiseCoefficients(m_sampleRate, cutoff);
    m_noiseCutoff = cutoff;
    m_noiseDuty = m_currentDuty;
    m_noiseFrequency = m_noteFrequency;
    m_noiseCoefficientsValid = true;
}

// Linear attack and decay, then sustain with the release inside the note's
// own length. A slurred continuation starts at the sustain level.
template <EngineNumType T>
TAVOLIN_HOT_INLINE T BankPlayer<T>::envelopeLevelAt(int32_t elapsed) const noexcept {
    const EnvelopeSlot<T>& env = *m_envelope;
    if (elapsed >= m_sustainFrom) [[likely]] {
        if (elapsed < m_releaseFrom) return env.sustainLevel;
        return releaseRamp(quot(numInt<T>(m_noteLength - elapsed), env.release), env);
    }
    const T e = numInt<T>(elapsed);
    if (env.attack > e) return m_continuation ? env.sustainLevel : attackRamp(quot(e, env.attack), env);
    if (env.attack + env.decay > e) return m_continuation ? env.sustainLevel : decayRamp(quot(e - env.attack, env.decay), env);
    return env.sustainLevel;  // not reached: m_sustainFrom marks this sample
}

// The first sample of the sustain (attack and decay over) and of the release
// for the current note, found with the very comparisons the level uses, so
// the per-sample test is a pair of integer compares.
template <EngineNumType T>
void BankPlayer<T>::findEnvelopeStages() noexcept {
    const EnvelopeSlot<T>& env = *m_envelope;
    const auto inAttackOrDecay = [&](int64_t e) {
        const T te = numInt<T>(e);
        return env.attack > te || env.attack + env.decay > te;
    };
    const double span = std::max(Num<T>::toDouble(env.attack), Num<T>::toDouble(env.attack + env.decay));
    int64_t c = std::isfinite(span) ? static_cast<int64_t>(std::clamp(std::ceil(span), 0.0, 4.0e9)) : 0;
    for (int i = 0; i < 64 && c > 0 && !inAttackOrDecay(c - 1); ++i) --c;
    for (int i = 0; i < 64 && inAttackOrDecay(c); ++i) ++c;
    m_sustainFrom = c;
    m_releaseFrom = INT64_MAX;
    if (m_hasSlurTarget) return;
    const auto inRelease = [&](int64_t e) { return env.release > numInt<T>(m_noteLength - e); };
    const double r = Num<T>::toDouble(env.release);
    int64_t d = int64_t{m_noteLength} - (std::isfinite(r) ? static_cast<int64_t>(std::clamp(std::ceil(r), 0.0, 4.0e9)) : 0) + 1;
    d = std::clamp<int64_t>(d, 0, m_noteLength);
    for (int i = 0; i < 64 && d > 0 && inRelease(d - 1); ++i) --d;
    for (int i = 0; i < 64 && d < m_noteLength && !inRelease(d); ++i) ++d;
    m_releaseFrom = d;
}

// ============================================================= LFOs

template <EngineNumType T>
void BankPlayer<T>::restartLfo(LfoState<T>& lfo) noexcept {
    lfo.pointIndex = -1;
    lfo.phase = T{};
    lfo.depth = T{};
    lfo.steady = false;
    lfo.settled = false;
    lfo.segmentIndex = -2;  // a new group: the percent time base may differ
}

template <EngineNumType T>
TAVOLIN_HOT_INLINE void BankPlayer<T>::updateLfo(LfoState<T>& lfo) noexcept {
    const LfoDefPayload* def = lfo.definition;
    if (def == nullptr || lfo.settled) return;
    if (lfo.steady) {
        lfo.depth = lfo.steadyDepth;
        if (isZero(lfo.phase)) lfo.period = lfo.steadyPeriod;
        // From here on every update would store these same two values.
        lfo.settled = lfo.period == lfo.steadyPeriod;
        return;
    }
    const T t = lfoTime(*def);
    if (lfo.segmentDefinition != def || lfo.segmentIndex != lfo.pointIndex) findLfoSegment(lfo);
    if (lfo.hasNext && t >= lfo.nextTime) {
        ++lfo.pointIndex;
        findLfoSegment(lfo);
    }
    using Segment = typename LfoState<T>::Segment;
    if (lfo.segment == Segment::Idle) return;  // no modulation before the first point
    // The first point's values before it is reached (a fade-in from depth 0),
    // else those of the point reached.
    const LfoPoint& p = def->points[static_cast<size_t>(std::max(lfo.pointIndex, 0))];
    if (lfo.segment == Segment::Step) {
        lfo.depth = storeLfoValue<T>(p.depth);
        if (isZero(lfo.phase)) lfo.period = lfoPeriodSamples<T>(m_sampleRate, p.periodMs);
        if (lfo.pointIndex == std::clamp(def->pointCount, 1, kMaxLfoPoints) - 1) {
            lfo.steady = true;
            lfo.steadyDepth = lfo.depth;
            lfo.steadyPeriod = lfoPeriodSamples<T>(m_sampleRate, p.periodMs);
        }
        return;
    }
    const float g = lfoRampFactor(lfo.ramp, t);
    if (lfo.pointIndex < 0) {
        lfo.depth = storeLfoValue<T>(g * p.depth);
        if (isZero(lfo.phase)) lfo.period = lfoPeriodSamples<T>(m_sampleRate, p.periodMs);
        return;
    }
    const LfoPoint& q = def->points[static_cast<size_t>(lfo.pointIndex) + 1];
    lfo.depth = storeLfoValue<T>((1.0f - g) * p.depth + g * q.depth);
    if (isZero(lfo.phase)) lfo.period = lfoPeriodSamples<T>(m_sampleRate, (1.0f - g) * p.periodMs + g * q.periodMs);
}

// The LFO clock: percent of the note group, or milliseconds.
template <EngineNumType T>
TAVOLIN_HOT_INLINE T BankPlayer<T>::lfoTime(const LfoDefPayload& def) const noexcept {
    if (def.mode > 1) return lfoTimePercent<T>(m_lfoCounter, m_groupLength);
    if constexpr (kIsFix<T>) return Fix::fromRaw(m_lfoMsRaw);
    else return lfoTimeMs<T>(m_lfoCounter, m_sampleRate);
}

// The same clock at another counter value (the Fix millisecond clock kept
// by quotient and remainder is exactly (counter * 65536000) / rate).
template <EngineNumType T>
T BankPlayer<T>::lfoTimeAt(const LfoDefPayload& def, int32_t counter) const noexcept {
    if (def.mode > 1) return lfoTimePercent<T>(counter, m_groupLength);
    if constexpr (kIsFix<T>) return Fix::fromRaw(m_sampleRate == 0 ? 0 : int64_t{counter} * 65536000 / m_sampleRate);
    else return lfoTimeMs<T>(counter, m_sampleRate);
}

// Inside a run (not at its last sample), the pitch LFO's update is only
// carried out where it can leave a trace: where its breakpoint index moves
// on, where its phase is 0 (the period can be stored), or where a boundary
// follows in this sample (the vibrato reads the depth). Elsewhere it would
// only store a depth that the next update overwrites before anything reads
// it. Once steady, every update stores the same depth, and the period only
// at phase 0. The run's last sample always updates, so between runs the
// state is exactly that of sample-by-sample rendering.
template <EngineNumType T>
TAVOLIN_HOT_INLINE void BankPlayer<T>::updatePitchLfoLazily() noexcept {
    LfoState<T>& lfo = m_pitchLfo;
    const LfoDefPayload* def = lfo.definition;
    if (def == nullptr || lfo.settled) return;
    if (isZero(lfo.phase) || m_phase > m_halfLength) {
        updateLfo(lfo);
        return;
    }
    if (lfo.steady) return;
    if (lfo.segmentDefinition != def || lfo.segmentIndex != lfo.pointIndex) findLfoSegment(lfo);
    if (lfo.hasNext && m_lfoCounter >= lfo.quietUntil && lfoTime(*def) >= lfo.nextTime) updateLfo(lfo);
}

// The breakpoints around the LFO's point index: the next time to reach and
// how the values between are formed (a fade-in ramp before the first point
// when it interpolates, a ramp toward an interpolating next point, else a
// step to the point's own values).
template <EngineNumType T>
void BankPlayer<T>::findLfoSegment(LfoState<T>& lfo) noexcept {
    using Segment = typename LfoState<T>::Segment;
    const LfoDefPayload& def = *lfo.definition;
    const int32_t count = std::clamp(def.pointCount, 1, kMaxLfoPoints);
    const int32_t i = lfo.pointIndex;
    lfo.segmentDefinition = &def;
    lfo.segmentIndex = i;
    lfo.hasNext = i < count - 1;
    lfo.quietUntil = 0;
    if (lfo.hasNext) {
        lfo.nextTime = numFloat<T>(def.points[static_cast<size_t>(i + 1)].time);
        // The clock never goes back as the counter grows, so once one
        // counter value is shown to lie before the next time, all smaller
        // ones do: the lazy update need not read the clock below it.
        const double perSample = def.mode > 1 ? (m_groupLength > 0 ? 100.0 / m_groupLength : 0.0)
                                              : (m_sampleRate > 0 ? 1000.0 / m_sampleRate : 0.0);
        const double estimate = perSample > 0.0 ? Num<T>::toDouble(lfo.nextTime) / perSample - 2.0 : 0.0;
        if (estimate >= 1.0) {
            const int32_t c = static_cast<int32_t>(std::min(estimate, 2.0e9));
            if (lfoTimeAt(def, c) < lfo.nextTime) lfo.quietUntil = int64_t{c} + 1;
        }
    }
    if (i < 0) {
        const LfoPoint& first = def.points[0];
        lfo.segment = first.interpolate == 1 ? Segment::Ramp : Segment::Idle;
        lfo.ramp = lfoRamp<T>(0.0f, first.time);
    } else if (lfo.hasNext && def.points[static_cast<size_t>(i + 1)].interpolate != 0) {
        lfo.segment = Segment::Ramp;
        lfo.ramp = lfoRamp<T>(def.points[static_cast<size_t>(i)].time, def.points[static_cast<size_t>(i + 1)].time);
    } else {
        lfo.segment = Segment::Step;
    }
}

// phase = (phase + 1) mod period, for a running LFO. When the step crosses
// the period once, the subtraction is exact (and equals the remainder), so
// the remainder function is only needed for periods under one sample.
template <EngineNumType T>
TAVOLIN_HOT_INLINE void BankPlayer<T>::advanceLfoPhase(LfoState<T>& lfo) noexcept {
    if (!(lfo.period > T{})) return;
    lfo.phase = nextLfoPhase(lfo.phase, lfo.period);
}

template <EngineNumType T>
TAVOLIN_HOT_INLINE T BankPlayer<T>::nextLfoPhase(T phase, T period) noexcept {
    if constexpr (kIsFix<T>) {
        int64_t p = phase.raw() + 65536;
        if (p >= period.raw()) p %= period.raw();
        return Fix::fromRaw(p);
    } else {
        T p = phase + T(1);
        if (p >= period) p = p < period * T(2) ? p - period : std::fmod(p, period);
        return p;
    }
}

// ============================================================= BankSet

template <EngineNumType T>
BankSet<T>::BankSet() noexcept {
    for (auto& p : m_players) p.setRandomSource(m_random);
}

// Mid-note, a bank needs nothing from the others except its turn at the
// shared random generator. So while every playing bank is inside a note and
// at most one of them can draw random numbers, the banks are rendered one
// after the other over that stretch (the same samples and the same draws as
// frame by frame, with far less overhead per sample); everywhere else, and
// whenever two banks could draw, the mix goes frame by frame. Banks without
// events stay silent and never change, so only the others are visited
// (their order, A to E, fixes the random draws).
template <EngineNumType T>
void BankSet<T>::Render(std::span<int16_t> interleaved) noexcept {
    std::array<BankPlayer<T>*, kBanks> active{};
    size_t activeCount = 0;
    for (auto& p : m_players)
        if (p.eventCount() > 0) active[activeCount++] = &p;
    const size_t frames = interleaved.size() / 2;
    int16_t* out = interleaved.data();
    constexpr size_t kChunk = 256;
    std::array<int32_t, 2 * kChunk> mix;
    size_t f = 0;
    while (f < frames) {
        // The stretch every playing bank spends inside its current note.
        int64_t stretch = INT64_MAX;
        int drawers = 0;
        bool anyInNote = false;
        for (size_t i = 0; i < activeCount; ++i) {
            const BankPlayer<T>& p = *active[i];
            if (!p.eventsLeftLocal()) continue;
            const int64_t left = p.samplesLeftInNote();
            if (left <= 0) {
                stretch = 0;
                break;
            }
            anyInNote = true;
            stretch = std::min(stretch, left);
            drawers += p.mayDrawInNote();
        }
        if (anyInNote && stretch >= 16 && drawers <= 1) {
            const size_t n = static_cast<size_t>(std::min<int64_t>({stretch, static_cast<int64_t>(frames - f), int64_t{kChunk}}));
            std::fill_n(mix.begin(), 2 * n, 0);
            for (size_t i = 0; i < activeCount; ++i) active[i]->renderNoteRun(std::span<int32_t>(mix.data(), 2 * n));
            // a saturating pack the compiler can vectorize
            for (size_t k = 0; k < 2 * n; ++k) out[2 * f + k] = static_cast<int16_t>(std::clamp<int32_t>(mix[k], -32768, 32767));
            f += n;
            continue;
        }
        bool anyPlaying = false;
        for (size_t i = 0; i < activeCount; ++i) anyPlaying = anyPlaying || active[i]->eventsLeftLocal();
        int32_t left = 0;
        int32_t right = 0;
        for (size_t i = 0; i < activeCount; ++i) {
            const StereoSample s = active[i]->renderFrame(anyPlaying);
            left += s.left;
            right += s.right;
        }
        out[2 * f] = clampToInt16(left);
        out[2 * f + 1] = clampToInt16(right);
        ++f;
    }
    if (interleaved.size() % 2 != 0) interleaved.back() = 0;
}

template <EngineNumType T>
std::vector<int16_t> BankSet<T>::Render(int64_t frames) {
    if (frames <= 0) return {};
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    Render(std::span<int16_t>(out));
    return out;
}

template <EngineNumType T>
bool BankSet<T>::IsFinished() const noexcept {
    for (const auto& p : m_players)
        if (!p.isFinished()) return false;
    return true;
}

template <EngineNumType T>
void BankSet<T>::SetLoop(bool on) noexcept {
    for (auto& p : m_players) p.setLoopSong(on);
}

template <EngineNumType T>
void BankSet<T>::SetExportMode(int32_t passes) noexcept {
    for (auto& p : m_players) p.setExportPasses(passes);
}

template class BankPlayer<Fix>;
template class BankPlayer<float>;
template class BankPlayer<double>;
template class BankSet<Fix>;
template class BankSet<float>;
template class BankSet<double>;

}  // namespace tavolin
