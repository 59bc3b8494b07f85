// SPDX-License-Identifier: MIT
// Which banks the mix lets through: mute and solo flags of banks A..E as bit masks.
#pragma once

#include <cstdint>

namespace tavolin {

// Bit b stands for bank b (0 = A .. 4 = E).
using BankMask = uint8_t;
inline constexpr BankMask kAllBanks = 0x1F;

constexpr BankMask bankBit(int bank) noexcept { return static_cast<BankMask>(1u << bank); }

// The usual convention: any solo -> only the soloed banks are heard;
// otherwise every bank that is not muted.
struct MuteSolo {
    BankMask muted = 0;
    BankMask soloed = 0;

    constexpr BankMask audible() const noexcept {
        return static_cast<BankMask>((soloed & kAllBanks) != 0 ? (soloed & kAllBanks) : (~muted & kAllBanks));
    }
    // Some bank that would otherwise be heard is left out.
    constexpr bool anySilenced() const noexcept { return audible() != kAllBanks; }
    friend constexpr bool operator==(const MuteSolo&, const MuteSolo&) = default;
};

}  // namespace tavolin
