// SPDX-License-Identifier: MIT
// libFuzzer target: arbitrary bytes through the MIDI reader and the import.
//
// Byte 0 picks the grid, the overlap rule and a bank map; the rest is the
// file. Whatever the bytes, the import ends (an error text or a document);
// every document it gives must compile without error in all banks and come
// back unchanged through the document file format; any violation aborts.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "compiler/ParseMml.h"
#include "document/DocumentFormat.h"
#include "music/MidiImport.h"

namespace {

using namespace tavolin;

[[noreturn]] void broken(const std::string& why) {
    std::fprintf(stderr, "midi import: %s\n", why.c_str());
    std::abort();
}

constexpr int32_t kGrids[] = {192, 96, 48, 1, 7, 64, 384, 1536};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    music::MidiImportOptions options;
    options.grid = kGrids[data[0] & 7];
    options.overlap = data[0] & 8 ? music::MidiOverlap::Newest : music::MidiOverlap::First;
    if (data[0] & 16) (void)music::parseMidiMap("A=1.2,C=2.1,E=1.1", options);
    const std::string_view file(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto outcome = music::importMidi(file, options);
    const auto* result = std::get_if<music::MidiImportResult>(&outcome);
    if (!result) {
        if (std::get<std::string>(outcome).empty()) broken("an error without a text");
        return 0;
    }
    if (!std::isfinite(result->report.maxTimingErrorMs) || result->report.maxTimingErrorMs < 0) broken("timing error not a number");
    if (document::readDocumentBytes(document::writeDocumentBytes(result->tabs)) != result->tabs) broken("the document does not read back");
    std::array<std::string_view, kBankCount> banks;
    for (size_t b = 0; b < kBankCount; ++b) banks[b] = result->tabs[b + 1];
    std::array<EventList<float>, kBankCount> lists;
    const CompileResult r = CompileBanks<float>(result->tabs[0], banks, -1, 0, lists);
    if (r.code != 0)
        broken("code " + std::to_string(r.code) + " in bank " + std::to_string(r.bank) + " at " + std::to_string(r.position) + ":\n" +
               (r.bank >= 0 ? result->tabs[static_cast<size_t>(r.bank + 1)] : result->tabs[0]));
    return 0;
}
