// SPDX-License-Identifier: MIT
// CP932 <-> UTF-8 by tables generated from glibc's conversion: the same
// results as compiler/Cp932.cpp, for the WebAssembly build, whose C library
// has no CP932.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavolin::cp932table {

// As utf8ToCp932: nullopt for invalid UTF-8 or a character CP932 cannot hold.
std::optional<std::string> fromUtf8(std::string_view utf8);

// As cp932ToUtf8: U+FFFD for what is no CP932 character (a lead byte with a
// bad second byte counts as one).
std::string toUtf8(std::string_view cp932);

}  // namespace tavolin::cp932table
