// SPDX-License-Identifier: MIT
// BankPlayer: one bank's voice — walks its event list and renders one stereo sample per call.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "compiler/MmlEvent.h"
#include "synth/LoopRules.h"
#include "synth/Modulation.h"
#include "synth/NoiseSteps.h"
#include "synth/RandomSource.h"
#include "synth/SynthMath.h"
#include "synth/TimingLedger.h"
#include "synth/ToneSlot.h"

namespace tavolin {

struct StereoSample {
    int16_t left = 0;
    int16_t right = 0;
    friend bool operator==(StereoSample, StereoSample) = default;
};

template <EngineNumType T>
class SeekNoteMemo;  // SeekNoteMemo.h

// Threads: everything except the three flag/index readers below is called by
// the one thread that renders the bank (the UI thread while building,
// seeking or exporting, the stream worker while playing). `hasEventsLeft`,
// `isFinished` and `loopSong` may be read from any thread at any time; the
// index they read is published once per rendered frame.
//
// Life: construct (all zero, envelope slot 0 current) -> loadToneTable ->
// fill events() -> prepare(rate) -> [seekStep ...] -> renderFrame ... The
// event list must not change after prepare().
template <EngineNumType T>
class BankPlayer {
public:
    BankPlayer() noexcept = default;
    BankPlayer(const BankPlayer&) = delete;

    // Takes `other`'s whole state (a checkpoint of the same song); keeps this
    // player's random source. Allocates nothing when this player's lists are
    // already at least as long as `other`'s, as they are when it has played
    // on from the same checkpoint. `other`'s owed fast-seek steps must be
    // settled first.
    void copyStateFrom(const BankPlayer& other) noexcept;

    // Whether this player, prepared and not yet played, would stand exactly
    // where `other` (a player of another song) stands if it played as long:
    // the same rate and play settings, the same records wherever `other` has
    // read so far (records decide everything a bank does, the common text's
    // tone definitions included), and no walk of `other` that needed the
    // guard against note-less loops, whose limits depend on the list's
    // length. `other`'s owed steps must be settled. adoptStateOf then takes
    // that state and keeps this player's own list and random source (it
    // copies through the other list: a building thread).
    bool canAdoptStateOf(const BankPlayer& other) const noexcept;
    void adoptStateOf(const BankPlayer& other) noexcept;
    // For a copy kept only to be adopted: drops the records past those read
    // so far, which canAdoptStateOf never compares (it goes by the list's
    // count, which stays), so that checkpoints along a long song stay small.
    void dropUnreadRecords();
    // Owes no noise step and no LFO step (see m_noiseDebt): a checkpoint.
    bool owesNothing() const noexcept {
        return m_noiseDebt.empty() && m_owedClock == 0 && m_owedPitchPhase == 0 && m_owedAmpPhase == 0;
    }

    void loadToneTable(const std::array<ToneDefPayload, kToneSlots>& tones) noexcept;
    EventList<T>& events() noexcept { return m_events; }
    const EventList<T>& events() const noexcept { return m_events; }

    // Stores the rate, rewinds to the first event, clears the note state, the
    // loop flag and the timing ledger. A bank that is never prepared (or
    // whose list is empty) renders silence and counts as finished.
    void prepare(uint32_t sampleRate) noexcept;

    // One output sample. `anyPlaying`: at the start of this frame some bank of
    // the song (this one included) still had events left.
    StereoSample renderFrame(bool anyPlaying) noexcept;

    // Like renderFrame(false) with the sample discarded, except that it stops
    // before an event (a Note only where it would start) whose startMarker is
    // 1 and reports true without acting on it, rendering nothing. A break
    // that leaves a loop on its first pass skips the rest of the body for
    // good; a marker there is never reached, so the walk stops instead at
    // the first event after the marker that it does reach (with the same
    // report), and at the end of the list when there is none: a call that
    // finds the bank already at the end of its list also reports true
    // without rendering, so a seek over a list without a marker ends. The
    // compiler refuses an endless loop that playback never leaves before the
    // marker, so a seek always ends.
    bool seekStep() noexcept;

    // The same end state as stepping, without producing samples: up to
    // `samples` calls of renderFrame(false) (toMarker false), or seekStep
    // calls until one reports the marker (toMarker true; `markerReached` then
    // tells whether it did). Whole quiet stretches of a note (its clocks,
    // level-noise draws, duty-switch flag) advance in closed form; half-cycle
    // boundaries, LFO steps and event walks are stepped; a note met again in
    // the same state (a loop, or the same note written out again) is put
    // back whole from a memo; the noise filter's steps are owed (see
    // m_noiseDebt). Returns the samples advanced
    // (for toMarker, the seekStep calls that reported false).
    uint64_t fastSeek(uint64_t samples, bool toMarker, bool& markerReached) noexcept;

    void setLoopSong(bool on) noexcept {
        if (on) settleNoiseDebt();  // a restart may need the filter: pay now, not on the audio thread
        m_loopSong.store(on, std::memory_order_release);
    }
    bool loopSong() const noexcept { return m_loopSong.load(std::memory_order_acquire); }
    void setExportMode(bool on) noexcept { m_exportPasses = on ? 1 : 0; }
    // Passes of every endless loop (0: endless, as in playback; see applyLoopRule).
    void setExportPasses(int32_t passes) noexcept { m_exportPasses = passes > 0 ? passes : 0; }
    bool exportMode() const noexcept { return m_exportPasses > 0; }

    // Race-free from any thread.
    bool hasEventsLeft() const noexcept {
        return m_publishedIndex.load(std::memory_order_acquire) < m_publishedCount.load(std::memory_order_acquire);
    }
    bool isFinished() const noexcept { return !loopSong() && !hasEventsLeft(); }

    // The generator every draw of this bank uses; a BankSet points its five
    // players at its own, so the banks share one sequence. A lone player uses
    // one of its own.
    void setRandomSource(RandomSource& source) noexcept { m_random = &source; }

    // Rendering thread only: the same answer as hasEventsLeft, without the
    // atomic (used by the mixer for anyPlaying).
    bool eventsLeftLocal() const noexcept { return m_index < m_count; }
    // Rendering thread only, for the mixer: samples left in the current note
    // (0 between notes), whether the note can draw random numbers, and a run
    // of that note's samples added into an interleaved int32 mix.
    int64_t samplesLeftInNote() const noexcept { return int64_t{m_noteLength} - m_elapsed; }
    bool mayDrawInNote() const noexcept {
        return !m_silent && (m_hasLevelNoise || m_toneSlot->freqNoise != 0.0f || m_toneSlot->wave == static_cast<int32_t>(Wave::Noise));
    }
    void renderNoteRun(std::span<int32_t> mix) noexcept;
    // Rendering thread only, for the skip: how many samples of the current
    // note, from the current one on, surely draw no random number (0 where
    // the next one may, or where that cannot be told).
    int64_t samplesBeforeDraw() const noexcept;
    // Events to play, fixed by prepare() (0 before it).
    int32_t eventCount() const noexcept { return m_count; }

    // Read-only views of the state, for tests and tools.
    uint32_t sampleRate() const noexcept { return m_sampleRate; }
    int32_t eventIndex() const noexcept { return m_index; }
    int32_t noteLengthSamples() const noexcept { return m_noteLength; }
    int32_t elapsedSamples() const noexcept { return m_elapsed; }
    int32_t groupLengthSamples() const noexcept { return m_groupLength; }
    int32_t tempo() const noexcept { return m_tempo; }
    int32_t pan() const noexcept { return m_pan; }
    T volume() const noexcept { return m_volume; }
    int32_t currentTone() const noexcept { return m_tone; }
    const ToneSlot& toneSlot(int slot) const noexcept { return m_tones[static_cast<size_t>(slot)]; }
    const EnvelopeSlot<T>& envelopeSlot(int slot) const noexcept { return m_envelopes[static_cast<size_t>(slot)]; }
    int32_t currentEnvelope() const noexcept { return m_envelopeIndex; }
    const LfoState<T>& pitchLfo() const noexcept { return m_pitchLfo; }
    const LfoState<T>& ampLfo() const noexcept { return m_ampLfo; }
    const TimingLedger<T>& ledger() const noexcept { return m_ledger; }
    T cycleLength() const noexcept { return m_cycle; }
    T halfCycleLength() const noexcept { return m_halfLength; }
    T oscillatorPhase() const noexcept { return m_phase; }
    int halfCycle() const noexcept { return m_halfCycle; }
    int64_t dutyIndex() const noexcept { return m_dutyIndex; }
    T currentDuty() const noexcept { return m_currentDuty; }
    bool silent() const noexcept { return m_silent; }
    int32_t loopCounter(int level) const noexcept { return m_loopCounters[static_cast<size_t>(level)]; }
    bool dutySwitchPending() const noexcept { return m_switchPending; }
    int32_t lfoTimeCounter() const noexcept { return m_lfoCounter; }
    const NoiseFilter<T>& noiseFilter() const noexcept {
        settleNoiseDebt();
        return m_noise;
    }
    // The fast seek leaves the noise filter's steps owed (see m_noiseDebt);
    // this takes them. Every reader of the filter calls it first; the seek's
    // caller calls it for a bank that goes on playing, so that a render never
    // has to. Rendering thread only.
    void settleNoiseDebt() const noexcept {
        if (!m_noiseDebt.empty()) [[unlikely]] payNoiseDebt();
    }
    // The same, before rendering: a bank that can never sound again (finished
    // and not looping) keeps its debt, since nothing will read its filter.
    void settleNoiseDebtBeforeRender() const noexcept {
        if (!m_noiseDebt.empty()) [[unlikely]]
            if (loopSong() || mayPlayAgain()) payNoiseDebt();
    }
    // The same, paying from filter states an earlier payment remembered
    // (see runNoiseStepsRemembered): building threads only, it takes a lock.
    void settleNoiseDebtRemembered() const noexcept;
    // False when the bank, as it stands, can never start another note or
    // sound the current one again without a song restart: the records left
    // lead to the end of the list. True when in doubt.
    bool mayPlayAgain() const noexcept;
    static constexpr uint32_t maxLevel() noexcept { return kMaxLevel; }

private:

    // The per-sample path lives in PlayerSample.h and the headers it includes;
    // its hot members are declared inline so that every file including those
    // definitions (the player, its note runs, the mixer) folds them in, the
    // explicit instantiations notwithstanding.
    template <EngineNumType>
    friend class BankSet;
    template <EngineNumType>
    friend struct SeekNoteState;  // FastSeek.cpp: a note's state, taken and put back whole
    // renderFrame's body, inlined into the mixer's frame-by-frame loops
    // (forced: with the plain and the split mix in one file the compiler's
    // growth limits would otherwise leave it a call in the plain one).
    [[gnu::always_inline]] inline StereoSample nextFrame(bool anyPlaying) noexcept;
    // kStartOnly: stop at a note once it has started, before its first sample.
    template <bool kSeek, bool kStartOnly = false>
    StereoSample advance(bool anyPlaying, bool& markerReached) noexcept;
    void applyEvent(const MmlEvent<T>& ev) noexcept;
    void applyLoop(const LoopControlPayload& loop) noexcept;
    void startNote(const NotePayload<T>& note) noexcept;
    // `wave` is the current tone's wave (a constant where the caller knows it).
    // kPlain: the amplitude LFO is quiet, no duty switching, no level noise
    // (see renderNoteRun); its phase is then left to the caller.
    template <bool kPlain>
    // lazyPitch: inside a run, not its last sample (see updatePitchLfoLazily).
    // `filter` is the noise filter state to run (the member, or a run's copy).
    [[gnu::always_inline]] inline StereoSample renderNoteSample(int32_t wave, bool lazyPitch, NoiseFilter<T>& filter) noexcept;
    template <bool kAmpPhase = true>
    [[gnu::always_inline]] inline void advanceOneSample() noexcept;
    void stepLfoPhase(LfoState<T>& lfo, int64_t count) noexcept;
    // One sample of the LFO clock: the counter, and for Fix the millisecond
    // clock (counter * 65536000) / rate kept as quotient and remainder, so
    // that it needs no division per sample. Static, so that a run can keep
    // the clock in locals.
    [[gnu::always_inline]] static void stepLfoClock(int32_t& counter, int64_t& msRaw, uint32_t& msRemainder, int64_t msStep,
                                                    uint32_t msStepRemainder, uint32_t rate) noexcept {
        if (counter == INT32_MAX) return;
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
    void advanceClocks(size_t samples) noexcept;
    void advanceLfoClock(int64_t count) noexcept;
    // A member template, so that only the Fix player ever instantiates it.
    template <typename U = T>
        requires kIsFix<U>
    [[gnu::always_inline]] inline int64_t renderFixStretch(int32_t wave, size_t k, size_t n, std::span<int32_t> mix,
                                                    NoiseFilter<T>& filter, bool lfoActive, bool lfoHasNext) noexcept;
    bool holdsSteadySquare(size_t samples) const noexcept;
    bool boundaryStep(int32_t remaining) noexcept;  // false: the note fell silent
    T halfLengthFor(int half, T cycle) noexcept;
    [[gnu::always_inline]] inline T waveValue(int32_t wave, NoiseFilter<T>& filter) noexcept;
    [[gnu::always_inline]] inline T waveValueAt(int32_t wave, T phase, T halfLength, int halfCycle, NoiseFilter<T>& filter) noexcept;
    [[gnu::always_inline]] static inline T positionalWave(int32_t wave, T x, bool second) noexcept;
    [[gnu::always_inline]] inline void refreshNoiseCoefficients() noexcept;
    [[gnu::always_inline]] T envelopeLevel() const noexcept { return envelopeLevelAt(m_elapsed); }
    [[gnu::always_inline]] inline T envelopeLevelAt(int32_t elapsed) const noexcept;
    // Plain-run samples from k on with the clocks in locals (see the
    // definition); returns the index of the first sample it left alone.
    [[gnu::always_inline]] inline size_t renderQuietStretch(int32_t wave, size_t k, size_t n, std::span<int32_t> mix,
                                                     NoiseFilter<T>& filter) noexcept;
    [[gnu::always_inline]] static inline T nextLfoPhase(T phase, T period) noexcept;
    void findEnvelopeStages() noexcept;
    [[gnu::always_inline]] inline void updateLfo(LfoState<T>& lfo) noexcept;
    [[gnu::always_inline]] inline void updatePitchLfoLazily() noexcept;
    [[gnu::always_inline]] inline T lfoTime(const LfoDefPayload& def) const noexcept;
    T lfoTimeAt(const LfoDefPayload& def, int32_t counter) const noexcept;
    void restartLfo(LfoState<T>& lfo) noexcept;
    void findLfoSegment(LfoState<T>& lfo) noexcept;
    // The LfoDef record a defined LFO follows, in this player's own list.
    const LfoDefPayload& lfoDefinition(const LfoState<T>& lfo) const noexcept {
        return m_events[static_cast<size_t>(lfo.definition)].lfo;
    }
    [[gnu::always_inline]] inline void advanceLfoPhase(LfoState<T>& lfo) noexcept;
    // The fast seek (FastSeek.cpp): one sample's state changes without its
    // output, and the closed form of quiet samples.
    void seekNoteSample() noexcept;
    int64_t quietSamples(int64_t limit) const noexcept;
    void skipQuietSamples(int64_t count) noexcept;
    // Skips the quiet stretch ahead (at most what is left of `samples`), if any.
    bool skipQuietStretch(uint64_t samples, uint64_t& done) noexcept;
    // Samples of a sounding note without noise and with settled LFOs, from
    // boundary to boundary (0: not that case); the walk it takes, and banks
    // taking such walks in turn (see FastSeek.cpp).
    int64_t skipSteadyNote(int64_t budget) noexcept;
    struct SteadyWalk;
    static size_t skipSteadyInTurn(std::span<BankPlayer* const> banks, uint64_t frames, std::span<uint64_t> at) noexcept;
    void flushSeekClocks() noexcept;
    bool seekNoteRepeats() const noexcept;
    int64_t runSeekNote(uint64_t samples, uint64_t& done) noexcept;
    void payNoteDraws(int64_t sounding) noexcept;
    void oweNoise(int64_t samples) noexcept;
    // `samples` noise-wave samples with these coefficients, drawn from the
    // generator as it stands: the draws now, the filter steps owed.
    void oweNoiseWith(const NoiseCoefficients<T>& coefficients, uint32_t skip, int64_t samples) noexcept;
    void payNoiseDebt() const noexcept;
    void publishIndex() noexcept { m_publishedIndex.store(m_index, std::memory_order_release); }

    // Used by copyStateFrom only, which then points the pointers at this
    // player's own tables.
    BankPlayer& operator=(const BankPlayer&) = default;
    // An atomic that a checkpoint copies by value.
    template <typename V>
    struct CopiedAtomic : std::atomic<V> {
        constexpr CopiedAtomic(V v) noexcept : std::atomic<V>(v) {}
        CopiedAtomic(const CopiedAtomic& o) noexcept : std::atomic<V>(o.load(std::memory_order_acquire)) {}
        CopiedAtomic& operator=(const CopiedAtomic& o) noexcept {
            this->store(o.load(std::memory_order_acquire), std::memory_order_release);
            return *this;
        }
    };

    // song data
    EventList<T> m_events;
    int32_t m_count = 0;  // events to play, fixed by prepare()
    // The first record with startMarker 1 (m_count: none). The walk only ever
    // jumps forward past a part it skips for good, so the first event it
    // reaches at or after this index is where a seek to the marker stops.
    int32_t m_markerIndex = 0;
    std::array<ToneSlot, kToneSlots> m_tones{};
    std::array<EnvelopeSlot<T>, kEnvelopeSlots> m_envelopes{};
    int32_t m_envelopeIndex = 0;
    LfoState<T> m_pitchLfo{};
    LfoState<T> m_ampLfo{};
    std::array<int32_t, kMaxLoopLevels> m_loopCounters{};
    TimingLedger<T> m_ledger{};

    // settings
    uint32_t m_sampleRate = 0;
    CopiedAtomic<bool> m_loopSong{false};
    int32_t m_exportPasses = 0;
    RandomSource m_ownRandom{};
    RandomSource* m_random = &m_ownRandom;
    // remembered vibrato factors, sized by prepare() (no state of the song:
    // a copy of the player keeps its own)
    VibratoMemo<T> m_vibratoMemo{};

    // channel state
    int32_t m_index = 0;
    int32_t m_tempo = 0;
    int32_t m_pan = 0;
    T m_volume{};
    int32_t m_tone = 0;
    T m_portamento{};

    // note state
    int32_t m_noteLength = 0;
    int32_t m_elapsed = 0;
    int32_t m_groupLength = 0;
    int32_t m_lfoCounter = 0;
    // Fix: the LFO clock in 16.16 milliseconds, (counter * 65536000) / rate,
    // advanced without a division (quotient and remainder per sample).
    int64_t m_lfoMsRaw = 0;
    uint32_t m_lfoMsRemainder = 0;
    int64_t m_lfoMsStep = 0;
    uint32_t m_lfoMsStepRemainder = 0;
    bool m_silent = false;
    bool m_continuation = false;
    bool m_hasSlurTarget = false;
    T m_targetCycle{};
    T m_noteFrequency{};
    T m_switchPeriod{};  // duty switching period of the note's tone, samples; 0 = off
    bool m_hasLevelNoise = false;  // the note's tone has level noise (percent below)
    T m_levelNoise{};
    const ToneSlot* m_toneSlot = &m_tones[0];
    const EnvelopeSlot<T>* m_envelope = &m_envelopes[0];
    int64_t m_sustainFrom = 0;        // first elapsed sample past attack and decay
    int64_t m_releaseFrom = INT64_MAX; // first elapsed sample of the release

    // oscillator
    T m_cycle{};
    T m_phase{};
    int m_halfCycle = 0;
    T m_halfLength{};
    int64_t m_dutyIndex = 0;
    bool m_switchPending = false;
    float m_dutyValue = 0.0f;  // the list entry, as the tone holds it
    T m_currentDuty{};
    // mutable: the owed steps below are taken by whichever reader comes first
    mutable NoiseFilter<T> m_noise{};
    // The cutoff is a pure function of the duty and the note's frequency, the
    // coefficients of the cutoff; both only change at a boundary or a note
    // start, so they are recomputed when their inputs change, not per sample.
    T m_noiseDuty{};
    T m_noiseFrequency{};
    T m_noiseCutoff{};
    bool m_noiseCoefficientsValid = false;
    NoiseCoefficients<T> m_noiseCoefficients{};

    // Fast seek only: samples whose LFO clock and LFO phase steps are owed.
    // Nothing reads them until the next event walk while the LFOs they
    // belong to are settled (and the pitch LFO is no vibrato), and every
    // step commutes with the one-sample steps taken meanwhile.
    int64_t m_owedClock = 0;
    int64_t m_owedPitchPhase = 0;
    int64_t m_owedAmpPhase = 0;
    // Fast seek only: the noise filter's steps, owed. The filtered values of
    // the skipped samples are discarded, so only the filter's end state
    // matters, and it is a function of the coefficients and the white values,
    // which the generator's state at each run's start fixes. The generator
    // itself moves on at once (by jump-ahead). A bank that never sounds its
    // noise again (finished, not looping) never pays; runs that follow one
    // another with the same coefficients merge into one.
    using NoiseRun = tavolin::NoiseRun<T>;
    mutable std::vector<NoiseRun> m_noiseDebt;
    static constexpr size_t kMaxNoiseRuns = 65536;  // at most about 5 MB: few, long payments
    // Fast seek only (BankSet::skipBesideNoiseWaves): the noise-wave banks
    // of a stretch, whose draws over it are known ahead (so many per frame
    // over each one's first frames). Before each draw a bank beside them
    // makes, the draws the mixer takes first are placed: those of the frames
    // before, and this frame's of the noise banks before that bank.
    struct NeighbourDraws {
        struct Wave {
            BankPlayer* bank = nullptr;  // owes the filter steps
            NoiseCoefficients<T> coefficients{};
            uint32_t draws = 0;          // per frame: the white value, and its level noise's
            int64_t frames = 0;          // frames that draw, from the stretch's start
            size_t slot = 0;             // the bank's place in the mix
        };
        std::array<Wave, 5> waves{};     // in the mix's order
        size_t count = 0;
        RandomSource* random = nullptr;  // the generator all draw from
        int64_t frame = 0;               // placed: every draw of the frames before this one,
        size_t slot = 0;                 // and this one's of the waves in slots before this
        // Places the draws up to that point (the frame's, of the slots before `slot`).
        void placeTo(int64_t frame, size_t slot) noexcept;
    };
    NeighbourDraws* m_neighbour = nullptr;
    int32_t m_neighbourFrom = 0;  // this bank's elapsed samples at the stretch's start
    size_t m_neighbourSlot = 0;   // this bank's place in the mix
    // Fast seek only: the last walk from a phase to the half-cycle's end
    // (samplesBeforeDraw's, taken again by skipSteadyNote): from `phase`,
    // `steps` one-sample additions first exceed `half`, their sum `after`.
    struct BoundaryWalk {
        T phase{}, half{}, after{};
        int64_t steps = INT64_MAX;
    };
    mutable BoundaryWalk m_boundaryWalk;
    // Fast seek only: fastSeek leaves its owed clock steps to the caller.
    bool m_keepSeekClocks = false;
    // Fast seek only: the memo a BankSet skip keeps for this bank across its
    // fastSeek calls (see fastSeek); none, and each call keeps its own.
    SeekNoteMemo<T>* m_seekMemo = nullptr;

    // guard against loops that never reach a sounding note
    NoSampleCycleGuard<T> m_cycleGuard{};
    // Since prepare(): the records below this index are the only ones the
    // bank has read (m_count + 1: it has also found the list's end), and
    // whether a walk went on long enough to wake the guard above.
    int64_t m_readTo = 0;
    bool m_walkGuarded = false;

    // published for other threads (once per frame)
    CopiedAtomic<int32_t> m_publishedIndex{0};
    CopiedAtomic<int32_t> m_publishedCount{0};
};

extern template class BankPlayer<Fix>;
extern template class BankPlayer<float>;
extern template class BankPlayer<double>;

}  // namespace tavolin
