// libFuzzer target: arbitrary bytes through ParseMml and CompileBanks in all three arithmetic types.
//
// Input layout: byte 0 picks the start position mode and the cursor bank,
// bytes 1..2 a start offset; the rest is the text. For CompileBanks the text
// is split at ';' into common, A, B, C, D, E. Every successful list must keep
// the model's guarantees (eventListViolations); any violation aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "compiler/ErrorTable.h"
#include "compiler/EventListCheck.h"
#include "compiler/ParseMml.h"

namespace {

using namespace tavolin;

[[noreturn]] void broken(const char* what, const std::string& why) {
    std::fprintf(stderr, "%s: %s\n", what, why.c_str());
    std::abort();
}

template <EngineNumType T>
void parseOne(std::string_view text, uint64_t start) {
    EventList<T> list;
    uint64_t position = 0;
    int32_t code = 0;
    if (ParseMml<T>(kMaxLevel, text, list, position, code, start)) {
        const std::string why = eventListViolations(list, start != UINT64_MAX);
        if (!why.empty()) broken("ParseMml", why);
        return;
    }
    const size_t end = text.find('\0') == std::string_view::npos ? text.size() : text.find('\0');
    if (position == 0 || position > end) broken("ParseMml", "error position outside the text");
    if (errorMessage(code).empty()) broken("ParseMml", "error code without a message");
    if (!list.empty()) broken("ParseMml", "failed parse changed the list");
}

template <EngineNumType T>
void compileSong(std::string_view text, int64_t cursorBank, uint64_t cursorOffset) {
    std::array<std::string_view, 6> parts{};
    size_t n = 0;
    while (n < 5) {
        const size_t semi = text.find(';');
        if (semi == std::string_view::npos) break;
        parts[n++] = text.substr(0, semi);
        text.remove_prefix(semi + 1);
    }
    parts[n] = text;
    const std::array<std::string_view, kBankCount> banks{parts[1], parts[2], parts[3], parts[4], parts[5]};
    std::array<EventList<T>, kBankCount> lists;
    const CompileResult r = CompileBanks<T>(parts[0], banks, cursorBank, cursorOffset, lists);
    if (r.code != 0) {
        if (r.bank < -2 || r.bank > 4 || r.position == 0) broken("CompileBanks", "error location");
        for (const auto& l : lists)
            if (!l.empty()) broken("CompileBanks", "lists left after an error");
        return;
    }
    for (const auto& l : lists) {
        if (l.empty()) continue;
        const std::string why = eventListViolations(l, true);
        if (!why.empty()) broken("CompileBanks", why);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t mode = data[0];
    const uint64_t offset = static_cast<uint64_t>(data[1]) | static_cast<uint64_t>(data[2]) << 8;
    const std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);
    const uint64_t start = (mode & 3) == 0 ? UINT64_MAX : (mode & 3) == 1 ? 0 : offset;
    parseOne<Fix>(text, start);
    parseOne<float>(text, start);
    parseOne<double>(text, start);
    const int64_t cursorBank = static_cast<int64_t>((mode >> 2) % 7) - 1; // -1 .. 5 (5: none)
    compileSong<Fix>(text, cursorBank, offset);
    compileSong<float>(text, cursorBank, offset);
    compileSong<double>(text, cursorBank, offset);
    return 0;
}
