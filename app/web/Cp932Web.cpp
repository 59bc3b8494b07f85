// SPDX-License-Identifier: MIT
// The WebAssembly build's CP932 conversion: the tables of glibc's (the
// desktop program's compiler/Cp932.cpp converts through glibc iconv).
#include "app/web/Cp932Table.h"
#include "compiler/Cp932.h"

namespace tavolin {

std::optional<std::string> utf8ToCp932(std::string_view utf8) { return cp932table::fromUtf8(utf8); }
std::string cp932ToUtf8(std::string_view cp932) { return cp932table::toUtf8(cp932); }

}  // namespace tavolin
