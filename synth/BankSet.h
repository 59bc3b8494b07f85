// SPDX-License-Identifier: MIT
// BankSet: the five bank players of one song, the start cursor and the mixer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "synth/BankMask.h"
#include "synth/BankPlayer.h"

namespace tavolin {

// Where each bank's own output goes besides the mix, for the same frames:
// a span per bank, empty for a bank nobody listens to, else as long as the
// mix's span. A bank's samples are its own 16-bit output, so saturating the
// sum of the five gives the full mix (every bank audible) sample for sample.
struct BankTaps {
    std::array<std::span<int16_t>, 5> banks{};
};

// Owns five players (banks A..E) and the random generator they share. Not
// copyable or movable (the players point at the generator): hold it by
// unique_ptr. Render and the players are used by one thread at a time;
// IsFinished may be called from any thread while another renders.
template <EngineNumType T>
class BankSet {
public:
    static constexpr int kBanks = 5;

    BankSet() noexcept;
    BankSet(const BankSet&) = delete;
    BankSet& operator=(const BankSet&) = delete;

    BankPlayer<T>& player(int bank) noexcept { return m_players[static_cast<size_t>(bank)]; }
    const BankPlayer<T>& player(int bank) const noexcept { return m_players[static_cast<size_t>(bank)]; }
    RandomSource& random() noexcept { return m_random; }

    int64_t cursorBank = 0;     // -1 common tab, 0..4 bank A..E
    uint64_t cursorOffset = 0;  // caret offset inside that tab's text; 0 = from the start

    // Renders size/2 frames of interleaved stereo into the caller's buffer
    // (an odd trailing element is set to 0). Allocates nothing. The five
    // banks are summed with saturation to -32768..32767.
    void Render(std::span<int16_t> interleaved) noexcept;
    // The same, with every bank's own samples also written to its tap (all
    // banks run and fill their taps whether audible or not). Allocates nothing.
    void Render(std::span<int16_t> interleaved, const BankTaps* taps) noexcept;
    // 2 * frames samples; empty for frames <= 0.
    std::vector<int16_t> Render(int64_t frames);

    // The banks the mix lets through (BankMask bits; all at construction).
    // A left-out bank still runs: its timing, loops and random draws are
    // untouched, so leaving one out never changes another's sound. Set by the
    // rendering thread between Render calls.
    void setAudible(BankMask mask) noexcept { m_audible = static_cast<BankMask>(mask & kAllBanks); }
    BankMask audible() const noexcept { return m_audible; }

    // Advances the song by `frames` frames exactly as Render would, without
    // making the samples. When at most one bank can select a tone with
    // noise, every bank skips the whole stretch on its own (the fast seek);
    // otherwise so does every bank without one, and the banks with one skip
    // note by note: side by side wherever at most one of them draws, each
    // whole where the two that draw are a noise wave and a bank drawing only
    // at its boundaries (the noise wave's draws placed between the other's),
    // and frame by frame, in bank order, elsewhere. A looping song is skipped the
    // same way up to its end; only a stretch that crosses the end goes to
    // the mixer. Allocates (the fast seek's
    // bounded note memo, a copy of the state for a looping song): on the
    // building thread, never in the audio loop. `remember`: the owed noise
    // steps are paid from, and leave, filter states shared with later skips
    // of a song whose noise bank begins the same (it takes a lock).
    void Skip(uint64_t frames, bool remember = false) noexcept;
    // Takes `other`'s whole state but the mask of banks heard: a checkpoint of the same song to start
    // again from. Allocates nothing when this set has played on from that
    // very checkpoint (its lists are then at least as long).
    void copyStateFrom(const BankSet& other) noexcept;
    // Starts this song, built and set up but not yet played, from the state
    // `other` (a checkpoint of another song, its owed steps settled) has,
    // when every bank would stand exactly there after playing as long (see
    // BankPlayer::canAdoptStateOf); the banks' shared random sequence comes
    // along. False, and nothing changed, otherwise. How an edited song that
    // only differs after the checkpoint skips the minutes before it at once.
    bool adoptStateOf(const BankSet& other) noexcept;
    // A copy kept only to be adopted: see BankPlayer::dropUnreadRecords.
    void dropUnreadRecords() {
        for (auto& p : m_players) p.dropUnreadRecords();
    }
    // Pays every bank's owed steps, so that the state can be adopted.
    void settleForCheckpoint() const noexcept;

    // True when no bank loops and every bank has consumed its event list.
    bool IsFinished() const noexcept;
    void SetLoop(bool on) noexcept;
    // Every endless loop plays `passes` times (at least once).
    void SetExportMode(int32_t passes = 1) noexcept;

private:
    // Skip for a looping song while it does not reach its end; false (state
    // untouched) when the stretch crosses it.
    bool skipBeforeRestart(uint64_t frames, bool remember);
    // Skip for the banks in `among` that may draw, with the others
    // skipped apart, in a song that does not loop.
    void skipDrawingBanks(const std::array<bool, kBanks>& among, uint64_t frames) noexcept;
    // Skip inside the current notes of the banks in `among` while more than
    // one of them may draw.
    void skipDrawingSideBySide(uint64_t frames, const std::array<bool, kBanks>& among) noexcept;
    // The same, the drawing banks taking turns where two may draw at once.
    void skipInTurn(uint64_t frames, const std::array<bool, kBanks>& drawing) noexcept;
    // The same for noise waves of one cutoff each (`waves`), beside banks
    // that draw only at their half-cycle boundaries: each skips the stretch
    // whole.
    void skipBesideNoiseWaves(uint64_t frames, const std::array<bool, kBanks>& waves,
                              const std::array<bool, kBanks>& boundary) noexcept;
    // The noise steps a skip owes for every bank that plays on.
    void settleSkipDebt(bool remember) const noexcept;
    // kSplit: some bank is left out of the mix or tapped; false is the plain
    // path every bank adds straight into the mix.
    template <bool kSplit>
    void renderMix(std::span<int16_t> interleaved, const BankTaps* taps) noexcept;

    RandomSource m_random{};
    BankMask m_audible = kAllBanks;
    std::array<BankPlayer<T>, kBanks> m_players;
};

extern template class BankSet<Fix>;
extern template class BankSet<float>;
extern template class BankSet<double>;

}  // namespace tavolin
