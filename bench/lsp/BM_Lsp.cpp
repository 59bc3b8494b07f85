// SPDX-License-Identifier: MIT
// The language server on a 200 KB document: diagnostics of a change once its debounce has passed
// (Play's compile and the reply), the change itself (text conversion, the position map), and a
// hover on a note.
#include <benchmark/benchmark.h>

#include "app/lsp/Server.h"

namespace {

using namespace tavolin::lsp;
using Clock = Server::Clock;

// Five banks of eight-note lines with Japanese comments, about 200 KB as UTF-8.
std::string bigDocument() {
    std::string doc = "SMML@T150 @W1:0:50 L8 *共通の設定*;MML@";
    for (int bank = 0; bank < 5; ++bank) {
        if (bank) doc += ',';
        while (doc.size() < static_cast<size_t>(bank + 1) * 40000) doc += "O4CDEFGAB>C<BAGFEDC *メロディ* V100\r\n";
    }
    return doc + ';';
}

json changeMessage(const std::string& text, int version) {
    return {{"jsonrpc", "2.0"}, {"method", "textDocument/didChange"},
            {"params", {{"textDocument", {{"uri", "file:///big.mml"}, {"version", version}}}, {"contentChanges", {{{"text", text}}}}}}};
}

void openBig(Server& server, const std::string& text) {
    server.handle({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", json::object()}}, Clock::now());
    server.handle({{"jsonrpc", "2.0"}, {"method", "textDocument/didOpen"},
                   {"params", {{"textDocument", {{"uri", "file:///big.mml"}, {"languageId", "mml"}, {"version", 1}, {"text", text}}}}}},
                  Clock::now());
}

void BM_DiagnosticsAfterDebounce(benchmark::State& state) {
    const std::string text = bigDocument();
    size_t published = 0;
    Server server([&](const json& m) { published += m.contains("method") ? 1 : 0; });
    openBig(server, text);
    const json change = changeMessage(text, 2);
    auto now = Clock::time_point{};
    for (auto _ : state) {
        state.PauseTiming();  // the change itself (text conversion, position map) is not the diagnostics' time
        server.handle(change, now);
        now += std::chrono::seconds(1);
        state.ResumeTiming();
        server.poll(now);  // the debounce has passed: compile and publish
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["bytes"] = static_cast<double>(text.size());
    if (published < static_cast<size_t>(state.iterations())) state.SkipWithError("no diagnostics published");
}
BENCHMARK(BM_DiagnosticsAfterDebounce)->Unit(benchmark::kMillisecond);

void BM_ChangeOfWholeText(benchmark::State& state) {
    const std::string text = bigDocument();
    Server server([](const json&) {});
    openBig(server, text);
    const json change = changeMessage(text, 2);
    for (auto _ : state) server.handle(change, Clock::time_point{});
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ChangeOfWholeText)->Unit(benchmark::kMillisecond);

void BM_HoverOnNote(benchmark::State& state) {
    const std::string text = bigDocument();
    bool answered = false;
    Server server([&](const json& m) { answered = m.contains("result") && !m["result"].is_null(); });
    openBig(server, text);
    // A note in the middle of bank C.
    const json hover = {{"jsonrpc", "2.0"}, {"id", 2}, {"method", "textDocument/hover"},
                        {"params", {{"textDocument", {{"uri", "file:///big.mml"}}}, {"position", {{"line", 2500}, {"character", 3}}}}}};
    for (auto _ : state) server.handle(hover, Clock::now());
    if (!answered) state.SkipWithError("the hover found no note");
}
BENCHMARK(BM_HoverOnNote)->Unit(benchmark::kMicrosecond);

}  // namespace
