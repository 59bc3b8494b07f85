// SPDX-License-Identifier: MIT
// BankSet: the mixer of the five banks, the finish test and the flags.
#include "synth/BankSet.h"
#include "synth/SeekNoteMemo.h"

#include <algorithm>

#include "synth/PlayerSample.h"

namespace tavolin {

template <EngineNumType T>
BankSet<T>::BankSet() noexcept {
    for (auto& p : m_players) p.setRandomSource(m_random);
}

template <EngineNumType T>
void BankSet<T>::Render(std::span<int16_t> interleaved) noexcept {
    if (m_audible == kAllBanks) renderMix<false>(interleaved, nullptr);
    else renderMix<true>(interleaved, nullptr);
}

template <EngineNumType T>
void BankSet<T>::Render(std::span<int16_t> interleaved, const BankTaps* taps) noexcept {
    if (taps == nullptr && m_audible == kAllBanks) renderMix<false>(interleaved, nullptr);
    else renderMix<true>(interleaved, taps);
}

// Mid-note, a bank needs nothing from the others except its turn at the
// shared random generator. So while every playing bank is inside a note and
// at most one of them can draw random numbers, the banks are rendered one
// after the other over that stretch (the same samples and the same draws as
// frame by frame, with far less overhead per sample); everywhere else, and
// whenever two banks could draw, the mix goes frame by frame. Banks without
// events stay silent and never change, so only the others are visited
// (their order, A to E, fixes the random draws).
//
// In the split form a bank that is left out or tapped renders its note runs
// into a buffer of its own, which is then added to the mix (when audible)
// and copied to its tap; a bank's run only ever adds its own 16-bit samples,
// so that buffer holds exactly the bank's output.
template <EngineNumType T>
template <bool kSplit>
void BankSet<T>::renderMix(std::span<int16_t> interleaved, const BankTaps* taps) noexcept {
    std::array<BankPlayer<T>*, kBanks> active{};
    std::array<int16_t*, kBanks> tapOut{};    // kSplit: per active bank, its tap or null
    std::array<bool, kBanks> heard{};         // kSplit: per active bank, added to the mix
    size_t activeCount = 0;
    for (int b = 0; b < kBanks; ++b) {
        BankPlayer<T>& p = m_players[static_cast<size_t>(b)];
        p.settleNoiseDebtBeforeRender();  // left by a fast seek; the build has paid it for a bank that plays on
        if constexpr (kSplit) {
            int16_t* tap = nullptr;
            if (taps) {
                std::span<int16_t> t = taps->banks[static_cast<size_t>(b)];
                if (!t.empty()) {
                    tap = t.data();
                    // A bank without events is silent throughout.
                    if (p.eventCount() == 0) std::fill(t.begin(), t.end(), int16_t{0});
                }
            }
            if (p.eventCount() == 0) continue;
            tapOut[activeCount] = tap;
            heard[activeCount] = (m_audible & bankBit(b)) != 0;
        } else {
            if (p.eventCount() == 0) continue;
        }
        active[activeCount++] = &p;
    }
    const size_t frames = interleaved.size() / 2;
    int16_t* out = interleaved.data();
    constexpr size_t kChunk = 256;
    std::array<int32_t, 2 * kChunk> mix;
    [[maybe_unused]] std::array<int32_t, 2 * kChunk> own;
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
            for (size_t i = 0; i < activeCount; ++i) {
                if constexpr (kSplit) {
                    if (heard[i] && tapOut[i] == nullptr) {
                        active[i]->renderNoteRun(std::span<int32_t>(mix.data(), 2 * n));
                        continue;
                    }
                    std::fill_n(own.begin(), 2 * n, 0);
                    active[i]->renderNoteRun(std::span<int32_t>(own.data(), 2 * n));
                    if (heard[i])
                        for (size_t k = 0; k < 2 * n; ++k) mix[k] += own[k];
                    if (int16_t* tap = tapOut[i])
                        for (size_t k = 0; k < 2 * n; ++k) tap[2 * f + k] = static_cast<int16_t>(own[k]);
                } else {
                    active[i]->renderNoteRun(std::span<int32_t>(mix.data(), 2 * n));
                }
            }
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
            const StereoSample s = active[i]->nextFrame(anyPlaying);
            if constexpr (kSplit) {
                if (int16_t* tap = tapOut[i]) {
                    tap[2 * f] = s.left;
                    tap[2 * f + 1] = s.right;
                }
                if (!heard[i]) continue;
            }
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

template <EngineNumType T>
void BankSet<T>::copyStateFrom(const BankSet& other) noexcept {
    if (this == &other) return;
    m_random = other.m_random;  // the mask of banks heard stays this set's own
    for (size_t b = 0; b < m_players.size(); ++b) m_players[b].copyStateFrom(other.m_players[b]);
}

template <EngineNumType T>
bool BankSet<T>::adoptStateOf(const BankSet& other) noexcept {
    if (this == &other) return false;
    for (size_t b = 0; b < m_players.size(); ++b)
        if (!m_players[b].canAdoptStateOf(other.m_players[b])) return false;
    m_random = other.m_random;
    for (size_t b = 0; b < m_players.size(); ++b) m_players[b].adoptStateOf(other.m_players[b]);
    return true;
}

template <EngineNumType T>
void BankSet<T>::settleForCheckpoint() const noexcept {
    for (const auto& p : m_players) p.settleNoiseDebt();
}

namespace {

bool drawsRandom(int32_t wave, float freqNoise, float levelNoise) noexcept {
    return wave == static_cast<int32_t>(Wave::Noise) || freqNoise != 0.0f || levelNoise != 0.0f;
}

// Whether any note of the bank could ever draw a random number: a tone it
// can select (slot 0, where it starts, or one a tone command names) has noise
// in its table, or its list defines one with noise. A tone with noise that
// the bank never selects (the common text defines it for another bank)
// draws nothing here.
template <EngineNumType T>
bool mayEverDraw(const BankPlayer<T>& p) noexcept {
    if (p.eventCount() == 0) return false;
    std::array<bool, kToneSlots> selectable{}, noisy{};
    selectable[0] = true;
    for (int slot = 0; slot < kToneSlots; ++slot) {
        const ToneSlot& t = p.toneSlot(slot);
        noisy[static_cast<size_t>(slot)] = drawsRandom(t.wave, t.freqNoise, t.levelNoise);
    }
    for (const MmlEvent<T>& e : p.events()) {
        if (e.kind == EventKind::ToneDef && e.toneDef.tone >= 0 && e.toneDef.tone < kToneSlots &&
            drawsRandom(e.toneDef.wave, e.toneDef.freqNoise, e.toneDef.levelNoise))
            noisy[static_cast<size_t>(e.toneDef.tone)] = true;
        if (e.kind == EventKind::ToneSelect && e.tone < kToneSlots) selectable[e.tone] = true;
    }
    for (size_t slot = 0; slot < selectable.size(); ++slot)
        if (selectable[slot] && noisy[slot]) return true;
    return false;
}

}  // namespace

template <EngineNumType T>
bool BankSet<T>::skipBeforeRestart(uint64_t frames, bool remember) {
    // A looping song plays exactly as one that does not loop for as long as
    // some bank has events left at the start of each frame: only a frame
    // that finds every bank finished restarts them. So skip it as a song
    // that does not loop; when some bank still has events afterwards, every
    // frame of the stretch found it playing, and the state is the looping
    // song's too. Otherwise the stretch crossed the song's end: put the state
    // back for the mixer, which restarts the banks together.
    for (const auto& p : m_players) p.settleNoiseDebt();  // a checkpoint takes no owed steps
    auto saved = std::make_unique<BankSet>();
    saved->copyStateFrom(*this);
    std::array<bool, kBanks> looping{};
    for (size_t b = 0; b < m_players.size(); ++b) {
        looping[b] = m_players[b].loopSong();
        m_players[b].setLoopSong(false);
    }
    Skip(frames, remember);
    bool playing = false;
    for (const auto& p : m_players) playing = playing || p.eventsLeftLocal();
    if (!playing) {
        copyStateFrom(*saved);  // the loop flags with the rest
        return false;
    }
    for (size_t b = 0; b < m_players.size(); ++b) m_players[b].setLoopSong(looping[b]);
    return true;
}

template <EngineNumType T>
void BankSet<T>::Skip(uint64_t frames, bool remember) noexcept {
    // At most one bank ever draws: it gets every draw in turn whatever the
    // order, so each bank skips the whole stretch on its own.
    int everDrawing = 0;
    bool anyLooping = false;
    for (const auto& p : m_players) {
        everDrawing += mayEverDraw(p) ? 1 : 0;
        anyLooping = anyLooping || p.loopSong();
    }
    if (anyLooping && frames > 0 && skipBeforeRestart(frames, remember)) return;
    // Each bank's memo of the stretches it has taken, kept for the whole
    // skip: the drawing banks below go piece by piece, and the same pieces
    // come again wherever their notes repeat.
    std::array<SeekNoteMemo<T>, kBanks> memos;
    struct Lend {
        BankSet& set;
        ~Lend() {
            for (auto& p : set.m_players) p.m_seekMemo = nullptr;
        }
    } lend{*this};
    if (!anyLooping)
        for (size_t b = 0; b < m_players.size(); ++b) m_players[b].m_seekMemo = &memos[b];
    if (everDrawing <= 1 && !anyLooping) {
        bool marker = false;
        for (auto& p : m_players)
            if (p.eventCount() != 0) (void)p.fastSeek(frames, false, marker);
        settleSkipDebt(remember);
        return;
    }
    if (!anyLooping) {
        // A bank that never draws skips the whole stretch on its own (its
        // repeated notes put back from the seek's memo); only the drawing
        // banks go note by note, their draws in the mixer's order.
        std::array<bool, kBanks> drawing{};
        bool marker = false;
        for (size_t b = 0; b < m_players.size(); ++b) {
            BankPlayer<T>& p = m_players[b];
            if (p.eventCount() == 0) continue;
            drawing[b] = mayEverDraw(p);
            if (!drawing[b]) (void)p.fastSeek(frames, false, marker);
        }
        skipDrawingBanks(drawing, frames);
        settleSkipDebt(remember);
        return;
    }
    // A looping song whose stretch crosses its end: the mixer, which
    // restarts all banks together.
    constexpr size_t kScratchFrames = 256;
    std::array<int16_t, 2 * kScratchFrames> scratch;
    while (frames > 0) {
        const size_t k = static_cast<size_t>(std::min<uint64_t>(frames, kScratchFrames));
        Render(std::span<int16_t>(scratch.data(), 2 * k));
        frames -= k;
    }
    settleSkipDebt(remember);
}

// `frames` frames inside the current notes of the banks in `among`, with
// more than one of them able to draw. Only the order of the draws ties the
// banks: a bank that draws nothing in the stretch skips it on its own, and
// so do the drawing banks over every run of frames in which at most one of
// them draws. A frame in which two may draw is taken by each drawing bank
// in turn, A to E, as the mixer orders their draws.
//
//   B (frequency noise)  ..........x..........x....   x: a boundary draws
//   C (level noise)      xxxxxxxxxxxxxxxxxxxxxxxxxx   every sample draws
//                        |  run    |1|  run    |1|
//
// Noise waves are the exception (skipBesideNoiseWaves).
template <EngineNumType T>
void BankSet<T>::skipDrawingSideBySide(uint64_t frames, const std::array<bool, kBanks>& among) noexcept {
    bool marker = false;
    std::array<bool, kBanks> drawing{};
    for (size_t b = 0; b < m_players.size(); ++b) {
        BankPlayer<T>& p = m_players[b];
        if (!among[b] || p.eventCount() == 0 || !p.eventsLeftLocal()) continue;
        drawing[b] = p.mayDrawInNote();
        if (!drawing[b]) (void)p.fastSeek(frames, false, marker);
    }
    // Noise waves of one cutoff each, beside banks that draw only at their
    // boundaries (frequency noise): the noise banks' draws are placed in
    // closed form.
    std::array<bool, kBanks> waves{}, boundary{};
    int drawingBanks = 0, noiseWaves = 0, others = 0;
    for (size_t b = 0; b < m_players.size(); ++b) {
        if (!drawing[b]) continue;
        ++drawingBanks;
        const BankPlayer<T>& p = m_players[b];
        const ToneSlot& tone = *p.m_toneSlot;
        if (tone.wave == static_cast<int32_t>(Wave::Noise) && p.seekNoteRepeats()) {  // no frequency noise either
            waves[b] = true;
            ++noiseWaves;
        } else if (tone.wave != static_cast<int32_t>(Wave::Noise) && tone.freqNoise != 0.0f && !p.m_hasLevelNoise) {
            boundary[b] = true;
        } else {
            ++others;
        }
    }
    if (drawingBanks > 1 && noiseWaves > 0 && others == 0) {
        skipBesideNoiseWaves(frames, waves, boundary);
        return;
    }
    skipInTurn(frames, drawing);
}

// `frames` frames inside the current notes of the drawing banks in
// `drawing`, their draws in the mixer's order: frame by frame, and in a
// frame A to E. The bank whose next draw comes first takes every frame up to
// the next draw of another (and that one too, if it comes before it in the
// mix); the others wait where they are.
//
//   B   ....x.........x..x.....      B takes up to C's draw,
//   C   ..........x...........x      C up to B's next, B up to C's next ...
template <EngineNumType T>
void BankSet<T>::skipInTurn(uint64_t frames, const std::array<bool, kBanks>& drawing) noexcept {
    bool marker = false;
    std::array<uint64_t, kBanks> at{};    // frames each bank has taken
    std::array<uint64_t, kBanks> next{};  // the frame of each bank's next draw
    const auto look = [&](size_t b) {
        next[b] = at[b] + static_cast<uint64_t>(std::max<int64_t>(m_players[b].samplesBeforeDraw(), 0));
    };
    // Once every bank stands in a steady note (frequency noise, as a rule,
    // its LFOs settled a little into the note), the banks go on as open
    // walks, a boundary at a time, as far as they can. The bank that was not
    // ready is the one to wait for.
    std::array<BankPlayer<T>*, kBanks> steady{};
    for (size_t b = 0; b < m_players.size(); ++b) {
        if (!drawing[b]) continue;
        steady[b] = &m_players[b];
        m_players[b].m_keepSeekClocks = true;  // paid below, once
    }
    size_t waitFor = BankPlayer<T>::skipSteadyInTurn(steady, frames, at);
    for (size_t b = 0; b < m_players.size(); ++b)
        if (drawing[b]) look(b);
    for (;;) {
        size_t first = kBanks;
        for (size_t b = 0; b < m_players.size(); ++b)
            if (drawing[b] && next[b] < frames && (first == kBanks || next[b] < next[first])) first = b;
        if (first == kBanks) break;
        uint64_t upTo = frames;
        for (size_t b = 0; b < m_players.size(); ++b)
            if (drawing[b] && b != first) upTo = std::min(upTo, next[b] + (first < b ? 1 : 0));
        BankPlayer<T>& p = m_players[first];
        int64_t turn = static_cast<int64_t>(upTo - at[first]);
        // A turn inside a note the memo cannot take (frequency noise, as a
        // rule about one boundary long) goes to the boundary loop at once:
        // fastSeek's way there costs as much as the turn itself.
        bool steadyTurn = false;
        if (!p.seekNoteRepeats()) {
            const int64_t walked = p.skipSteadyNote(turn);
            steadyTurn = walked > 0;
            turn -= walked;
        }
        if (turn > 0) (void)p.fastSeek(static_cast<uint64_t>(turn), false, marker);
        at[first] = upTo;
        look(first);
        if (steadyTurn && first == waitFor) {
            waitFor = BankPlayer<T>::skipSteadyInTurn(steady, frames, at);
            for (size_t b = 0; b < m_players.size(); ++b)
                if (drawing[b]) look(b);
        }
    }
    for (size_t b = 0; b < m_players.size(); ++b) {
        if (!drawing[b]) continue;
        BankPlayer<T>& p = m_players[b];
        p.m_keepSeekClocks = false;
        if (at[b] < frames) {
            (void)p.fastSeek(frames - at[b], false, marker);
        } else {
            p.flushSeekClocks();
            p.publishIndex();  // a turn taken by the boundary loop alone moved it
        }
    }
}

// `frames` frames inside the current notes of noise-wave banks of one
// cutoff each (`waves`) and of banks that draw only at their half-cycle
// boundaries (`boundary`, maybe none). A noise bank's draws only feed its
// filter, whose steps are owed, so nothing else of its state depends on
// their values: each skips first on a generator of its own, which tells
// how many frames draw (all up to its silent tail, if it reaches one), so
// many per frame. The boundary banks then skip in turn on the shared
// generator, and before each of their draws the noise banks' draws the
// mixer takes first are placed (see NeighbourDraws::placeTo); the rest at
// the end.
//
//   boundary bank   .....x.......x......x...    x: draws
//   noise banks     nnnnn|nnnnnnn|nnnnnn|nnn    placed at each x, and at the end
template <EngineNumType T>
void BankSet<T>::skipBesideNoiseWaves(uint64_t frames, const std::array<bool, kBanks>& waves,
                                      const std::array<bool, kBanks>& boundary) noexcept {
    typename BankPlayer<T>::NeighbourDraws group;
    group.random = &m_random;
    bool marker = false;
    for (size_t b = 0; b < m_players.size(); ++b) {
        if (!waves[b]) continue;
        BankPlayer<T>& p = m_players[b];
        if (p.m_noiseDebt.size() >= BankPlayer<T>::kMaxNoiseRuns) p.payNoiseDebt();  // room for the trial run, unpaid
        const size_t owed = p.m_noiseDebt.size();
        // a state the last run does not end at, so the trial run stays apart
        RandomSource trial;
        trial.reset(owed == 0 ? 0u : p.m_noiseDebt.back().toState + 1u);
        p.m_random = &trial;
        (void)p.fastSeek(frames, false, marker);
        p.m_random = &m_random;
        if (p.m_noiseDebt.size() > owed) {
            // one run: one set of coefficients, one generator, one skip
            const NoiseRun<T> run = p.m_noiseDebt.back();
            p.m_noiseDebt.pop_back();
            group.waves[group.count++] = {&p, run.coefficients, run.skip + 1, run.samples, b};
        }
    }
    for (size_t b = 0; b < m_players.size(); ++b) {
        if (!boundary[b]) continue;
        m_players[b].m_neighbour = &group;
        m_players[b].m_neighbourFrom = m_players[b].m_elapsed;
        m_players[b].m_neighbourSlot = b;
    }
    skipInTurn(frames, boundary);
    group.placeTo(static_cast<int64_t>(frames), 0);
    for (size_t b = 0; b < m_players.size(); ++b) m_players[b].m_neighbour = nullptr;
}

// `frames` frames of the banks marked in `among` (a song that does not
// loop; the others have been skipped apart): inside their current notes
// side by side, and a frame where one of them is between notes (its next
// note starts, and may draw) bank by bank, A to E, as the mixer takes it.
template <EngineNumType T>
void BankSet<T>::skipDrawingBanks(const std::array<bool, kBanks>& among, uint64_t frames) noexcept {
    bool marker = false;
    for (uint64_t done = 0; done < frames;) {
        int64_t stretch = INT64_MAX;
        bool anyPlaying = false;
        for (size_t b = 0; b < m_players.size(); ++b) {
            const BankPlayer<T>& p = m_players[b];
            if (!among[b] || p.eventCount() == 0 || !p.eventsLeftLocal()) continue;
            anyPlaying = true;
            stretch = std::min(stretch, p.samplesLeftInNote());
        }
        if (!anyPlaying) return;  // finished banks stay where they are
        if (stretch <= 0) {
            for (size_t b = 0; b < m_players.size(); ++b)
                if (among[b] && m_players[b].eventCount() != 0) (void)m_players[b].fastSeek(1, false, marker);
            ++done;
            continue;
        }
        const uint64_t n = std::min<uint64_t>(frames - done, static_cast<uint64_t>(stretch));
        skipDrawingSideBySide(n, among);
        done += n;
    }
}

template <EngineNumType T>
void BankSet<T>::settleSkipDebt(bool remember) const noexcept {
    for (const auto& p : m_players) {
        if (remember) p.settleNoiseDebtRemembered();
        else p.settleNoiseDebtBeforeRender();
    }
}

template class BankSet<Fix>;
template class BankSet<float>;
template class BankSet<double>;

}  // namespace tavolin
