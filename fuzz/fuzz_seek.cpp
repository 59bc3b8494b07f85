// SPDX-License-Identifier: MIT
// libFuzzer target: arbitrary documents compiled with an arbitrary caret, moved
// there by the fast seek and by the stepping seek in all three types; the two
// must leave the same song behind (the same next frames and random state).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "document/DocumentFormat.h"
#include "output/SongBuilder.h"

namespace {

using namespace tavolin;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

template <EngineNumType T>
void seekBothWays(const document::TabTexts& tabs, uint32_t rate, int64_t cursorBank, uint64_t caret) {
    std::array<std::string_view, kBankCount> banks;
    for (int b = 0; b < kBankCount; ++b) banks[static_cast<size_t>(b)] = tabs[static_cast<size_t>(b + 1)];
    BankSet<T> stepped, fast;
    if (output::CompileSong<T>(stepped, tabs[0], banks, rate, cursorBank, caret).code != 0) return;
    check(output::CompileSong<T>(fast, tabs[0], banks, rate, cursorBank, caret).code == 0);
    // The stepping reference renders every sample: a bound keeps each input
    // quick (both seeks honour it the same way).
    const uint64_t bound = uint64_t{rate};
    const uint64_t n = output::seekToCursor(stepped, bound, output::SeekMethod::Stepping);
    check(output::seekToCursor(fast, bound, output::SeekMethod::Fast) == n);
    check(fast.random().state() == stepped.random().state());
    for (int b = 0; b < kBankCount; ++b) {
        check(fast.player(b).eventIndex() == stepped.player(b).eventIndex());
        check(fast.player(b).elapsedSamples() == stepped.player(b).elapsedSamples());
        // the filter steps the fast seek owes are paid by this reader
        const auto& f = fast.player(b).noiseFilter();
        const auto& g = stepped.player(b).noiseFilter();
        check(std::memcmp(&f, &g, sizeof f) == 0);
    }
    check(fast.Render(int64_t{3000}) == stepped.Render(int64_t{3000}));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    // Byte 0: caret bank (A..E); bytes 1-2: caret offset; byte 3: rate; the
    // rest is a document.
    const int64_t cursorBank = data[0] % kBankCount;
    const uint64_t caret = uint64_t{data[1]} | uint64_t{data[2]} << 8;
    static constexpr uint32_t kRates[] = {8000, 11025, 22050, 48000};
    const uint32_t rate = kRates[data[3] % 4];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 4), size - 4);
    document::TabTexts tabs = document::readDocumentBytes(bytes);
    if (tabs[0].empty() && tabs[1].empty()) tabs[1] = std::string(bytes);  // a bare phrase plays in bank A
    seekBothWays<Fix>(tabs, rate, cursorBank, caret);
    seekBothWays<float>(tabs, rate, cursorBank, caret);
    seekBothWays<double>(tabs, rate, cursorBank, caret);
    return 0;
}
