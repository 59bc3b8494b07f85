// SPDX-License-Identifier: MIT
// The language server on a 200 KB document: diagnostics of a change once its debounce has passed
// (Play's compile and the reply), the change itself (text conversion, the position map), and a
// hover on a note. And a typing session while the ten-minute song plays on a virtual device.
#include <algorithm>
#include <random>
#include <thread>

#include <benchmark/benchmark.h>

#include "app/lsp/Server.h"
#include "bench/output/TenMinuteSong.h"
#include "document/DocumentFormat.h"
#include "output/VirtualAudioDevice.h"
#include "session/PlaySession.h"

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

// The window's typing session (bench/output/SwapBench.cpp, BM_TypingSession) through the language
// server: the ten-minute song played from 9:55 by tavolin.play on a virtual device that plays in
// real time; single changes of bank A's last note and runs of three to five keys 40-120 ms apart,
// each sent as the editor sends it (didChange, the whole text) and the server polled as its run
// loop polls it. From the last key of each to its version's first block at the device.
void BM_LspTypingSession(benchmark::State& state) {
    using tavolin::output::VirtualAudioDevice;
    Server server([](const json&) {}, std::chrono::milliseconds(150),
                  VirtualAudioDevice::factory({.realTime = true}, std::make_shared<tavolin::output::VirtualDeviceLog>()));
    tavolin::document::TabTexts tabs = tavolin::bench::tenMinuteSong(1, false).tabTexts;
    const std::string uri = "file:///ten.mml";
    server.handle({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", json::object()}}, Clock::now());
    server.handle({{"jsonrpc", "2.0"}, {"method", "textDocument/didOpen"},
                   {"params", {{"textDocument", {{"uri", uri}, {"languageId", "mml"}, {"version", 1}, {"text", tavolin::document::formatDocument(tabs)}}}}}},
                  Clock::now());
    const json play = {{"jsonrpc", "2.0"}, {"id", 2}, {"method", "workspace/executeCommand"},
                       {"params", {{"command", "tavolin.play"}, {"arguments", {{{"uri", uri}, {"from", "9:55"}}}}}}};
    const json stop = {{"jsonrpc", "2.0"}, {"id", 3}, {"method", "workspace/executeCommand"}, {"params", {{"command", "tavolin.stop"}}}};
    std::mt19937 rng(7);
    std::vector<double> ms;
    int version = 1;
    // The run loop: polls until `until`, sleeping as the transport's wait would.
    const auto runUntil = [&](Clock::time_point until) {
        while (Clock::now() < until) {
            server.poll(Clock::now());
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    };
    for (auto _ : state) {
        for (int round = 0; round < 24; ++round) {
            server.handle(play, Clock::now());
            const tavolin::session::PlaySession* session = server.playSession();
            if (!session || !session->player().isPlaying()) {
                state.SkipWithError("tavolin.play did not play");
                return;
            }
            runUntil(Clock::now() + std::chrono::milliseconds(200));
            const uint64_t before = session->player().lastSwitch().count;
            const int keys = round % 2 ? 1 : 3 + round % 3;
            Clock::time_point lastKey;
            for (int k = 0; k < keys; ++k) {
                tabs[1].back() = "CDEFGAB"[(round + k) % 7];
                lastKey = Clock::now();
                server.handle({{"jsonrpc", "2.0"}, {"method", "textDocument/didChange"},
                               {"params", {{"textDocument", {{"uri", uri}, {"version", ++version}}},
                                           {"contentChanges", {{{"text", tavolin::document::formatDocument(tabs)}}}}}}},
                              lastKey);
                if (k + 1 < keys) runUntil(lastKey + std::chrono::milliseconds(std::uniform_int_distribution<int>(40, 120)(rng)));
            }
            // The last key's version is the last switch: poll until the switches have been still
            // for 300 ms (one in flight may land first).
            uint64_t seen = before;
            auto changed = Clock::now();
            while (Clock::now() - changed < std::chrono::milliseconds(300) && Clock::now() - lastKey < std::chrono::seconds(3)) {
                server.poll(Clock::now());
                if (const uint64_t c = session->player().lastSwitch().count; c != seen) {
                    seen = c;
                    changed = Clock::now();
                }
                if (seen == before) changed = Clock::now();
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
            const auto r = session->player().lastSwitch();
            if (r.count == before || !r.firstBlockSubmitted) {
                state.SkipWithError("the last key's version never reached the device");
                return;
            }
            ms.push_back(std::chrono::duration<double, std::milli>(*r.firstBlockSubmitted - lastKey).count());
            server.handle(stop, Clock::now());
        }
    }
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p95_ms"] = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
    state.counters["max_ms"] = ms.back();
    state.counters["edits"] = static_cast<double>(ms.size());
}
BENCHMARK(BM_LspTypingSession)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
