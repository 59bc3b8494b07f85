// BankSet: the five bank players of one song, the start cursor and the mixer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "synth/BankPlayer.h"

namespace tavolin {

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
    // 2 * frames samples; empty for frames <= 0.
    std::vector<int16_t> Render(int64_t frames);

    // True when no bank loops and every bank has consumed its event list.
    bool IsFinished() const noexcept;
    void SetLoop(bool on) noexcept;
    // Every endless loop plays `passes` times (at least once).
    void SetExportMode(int32_t passes = 1) noexcept;

private:
    RandomSource m_random{};
    std::array<BankPlayer<T>, kBanks> m_players;
};

extern template class BankSet<Fix>;
extern template class BankSet<float>;
extern template class BankSet<double>;

}  // namespace tavolin
