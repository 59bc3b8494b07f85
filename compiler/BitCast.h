// SPDX-License-Identifier: MIT
// The bits of one value read as another type of the same size.
#pragma once

#include <type_traits>

namespace tavolin {

// std::bit_cast, spelled through the compiler builtin it is made of, because
// the C++ library of the WebAssembly build does not have it yet.
template <typename To, typename From>
constexpr To bitCast(const From& from) noexcept {
    static_assert(sizeof(To) == sizeof(From) && std::is_trivially_copyable_v<To> && std::is_trivially_copyable_v<From>);
    return __builtin_bit_cast(To, from);
}

}  // namespace tavolin
