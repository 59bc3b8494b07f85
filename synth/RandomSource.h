// SPDX-License-Identifier: MIT
// RandomSource: the engine's reproducible generator with the C rand() interface.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace tavolin {

// The classic linear congruential generator behind many C runtimes' rand():
// state = state * 214013 + 2531011 (32-bit unsigned, wrapping), value =
// (state >> 16) & 0x7FFF, so values run 0..32767. One instance per BankSet,
// shared by its five banks in the order they render; it starts at 1 so that
// every render of a song draws the same sequence in any thread. Never the C
// library's rand(), whose state is global and not thread-safe.
class RandomSource {
public:
    static constexpr int kMax = 32767;
    static constexpr uint32_t kInitialState = 1;

    int next() noexcept {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFFu);
    }
    // Skips `count` values (the state after that many next() calls), in
    // O(log count): the k-fold step is again an affine map of the state.
    void discard(uint64_t count) noexcept {
        uint32_t mul = 1, add = 0;
        stepsMap(count, mul, add);
        m_state = m_state * mul + add;
    }
    uint32_t state() const noexcept { return m_state; }
    // The map of `count` steps, state -> state * mul + add: the maps of the
    // powers of two in `count`, one after the other (they commute).
    static void stepsMap(uint64_t count, uint32_t& mul, uint32_t& add) noexcept {
        mul = 1, add = 0;  // the map accumulated so far
        while (count != 0) {
            const Map& m = kPowerMaps[static_cast<size_t>(std::countr_zero(count))];
            mul *= m.mul;
            add = add * m.mul + m.add;
            count &= count - 1;
        }
    }
    void reset(uint32_t state = kInitialState) noexcept { m_state = state; }

private:
    struct Map {
        uint32_t mul, add;
    };
    // the map of 2^i steps, for every i
    static constexpr std::array<Map, 64> kPowerMaps = [] {
        std::array<Map, 64> maps{};
        Map m{214013u, 2531011u};
        for (Map& out : maps) {
            out = m;
            m = Map{m.mul * m.mul, m.add * m.mul + m.add};
        }
        return maps;
    }();

    uint32_t m_state = kInitialState;
};

}  // namespace tavolin
