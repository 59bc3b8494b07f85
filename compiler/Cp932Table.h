// CP932 <-> UTF-8 by tables taken from glibc's iconv, for C libraries without CP932 (the
// WebAssembly engine's). Behaves as the iconv conversion in Cp932.h does, byte for byte.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavolin {

std::optional<std::string> utf8ToCp932ByTable(std::string_view utf8);
std::string cp932ToUtf8ByTable(std::string_view cp932);

}  // namespace tavolin
