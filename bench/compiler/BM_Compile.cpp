// SPDX-License-Identifier: MIT
// Compile throughput per arithmetic type on a long, realistic MML text (bytes of text per second).
#include <benchmark/benchmark.h>

#include <string>

#include "compiler/ParseMml.h"

namespace tavolin {
namespace {

// A song body as people write it: melody with lengths, dots, accidentals and
// slurs, loops with breaks, tuplets, macros, tone/envelope/LFO commands and
// comments. Repeated to about `bytes` bytes.
std::string realisticText(size_t bytes) {
    const std::string head =
        "*BENCH SONG*\r\nT132 @W10:0C90:50:25:12.5 @W11:1R1.5:50 @ED1:4:90:60:255:170 @S3\r\n"
        "@!M O5 L8 E G >C4 <B G E4 F A >C4 <B4 G4 E G >C E D4 C4 !\r\n@!N O5 L8 B >C D <B >C2 !\r\n";
    const std::string phrase =
        "@10 @E1 V130 P112 @LT0S:120:0:350L:120:18\r\n"
        "[!M : !N]2 O5 L8 A4. G F4 E4 D4. E L4{FGA}L8 G4 A4. B >C4 <A4 G2&G4 R4\r\n"
        "O4 L16 C D E F G A B >C< B A G F E D C8 C#8 D-8 E+4.. R8 N57:8 X440.5:8\r\n"
        "*CHORUS* V150 [O3 C8 C8 >C8 <C8 E8 E8 >E8 <E8]2 @LVP0:200:0:70L:160:25 O4 E1&E2 R2\r\n";
    std::string text = head;
    while (text.size() < bytes) text += phrase;
    return text;
}

template <EngineNumType T>
void BM_ParseMml(benchmark::State& state) {
    const std::string text = std::string(kInternalDefaultCode) + realisticText(static_cast<size_t>(state.range(0)));
    EventList<T> list;
    uint64_t position = 0;
    int32_t code = 0;
    const bool reuse = state.range(1) != 0; // compile into the caller's cleared list, as a recompile would
    SourceSpans spans;
    SourceSpans* map = state.range(2) != 0 ? &spans : nullptr; // record sources asked for
    for (auto _ : state) {
        if (reuse) list.clear();
        const bool ok = ParseMml<T>(kMaxLevel, text, list, position, code, 0, map);
        if (!ok) state.SkipWithError("compile failed");
        benchmark::DoNotOptimize(list.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["events"] = static_cast<double>(list.size());
}
// Args: text bytes, whether the list is reused (1) or fresh memory each time
// (0), and whether the record sources are kept (1) or not (0).
BENCHMARK_TEMPLATE(BM_ParseMml, Fix)->Args({1 << 20, 0, 0})->Args({1 << 20, 1, 0})->Args({1 << 16, 1, 0})->Args({1 << 20, 1, 1})->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ParseMml, float)->Args({1 << 20, 0, 0})->Args({1 << 20, 1, 0})->Args({1 << 16, 1, 0})->Args({1 << 20, 1, 1})->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ParseMml, double)->Args({1 << 20, 0, 0})->Args({1 << 20, 1, 0})->Args({1 << 16, 1, 0})->Args({1 << 20, 1, 1})->Unit(benchmark::kMillisecond);

// The whole compile of a song: common text plus five bank texts.
template <EngineNumType T>
void BM_CompileBanks(benchmark::State& state) {
    const std::string common = "T132 @W10:0C90:50:25 @ED1:4:90:60:255:170 @!M O5 L8 E G >C4 <B G E4 !";
    const std::string bank = realisticText(static_cast<size_t>(state.range(0)));
    const std::array<std::string_view, kBankCount> banks{bank, bank, bank, bank, bank};
    std::array<EventList<T>, kBankCount> lists;
    std::array<SourceSpans, kBankCount> spans;
    auto* map = state.range(1) != 0 ? &spans : nullptr;
    for (auto _ : state) {
        const CompileResult r = CompileBanks<T>(common, banks, -1, 0, lists, map);
        if (r.code != 0) state.SkipWithError("compile failed");
        benchmark::DoNotOptimize(lists[4].data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(kBankCount * (kInternalDefaultCode.size() + common.size() + bank.size())));
}
// Args: bank text bytes, and whether the record sources are kept.
BENCHMARK_TEMPLATE(BM_CompileBanks, Fix)->Args({200000, 0})->Args({200000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_CompileBanks, float)->Args({200000, 0})->Args({200000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_CompileBanks, double)->Args({200000, 0})->Args({200000, 1})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavolin
