// SPDX-License-Identifier: MIT
// libFuzzer target: the language server's framing and dispatch on arbitrary input bytes.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "app/lsp/Server.h"
#include "app/lsp/Transport.h"

namespace {

using namespace tavolin::lsp;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// A body the server must answer exactly once: a JSON-RPC request other than exit.
bool isRequest(const std::string& body) {
    const json m = json::parse(body, nullptr, false);
    if (m.is_discarded()) return true;  // answered with a parse error
    if (!m.is_object() || m.value("jsonrpc", json()) != "2.0") return true;  // invalid request
    if (!m.contains("method")) return false;  // a reply: nothing comes back
    if (!m["method"].is_string()) return true;
    if (!m.contains("id")) return false;
    return m["method"] != "exit";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    int replies = 0;
    Server server([&replies](const json& m) {
        // Everything sent is a well-formed JSON-RPC message that serialises.
        check(m.is_object() && m.value("jsonrpc", json()) == "2.0");
        (void)m.dump();  // throws (and aborts the run) on text that is no UTF-8
        if (m.contains("id")) {
            ++replies;
            check(m.contains("result") != m.contains("error"));
        } else {
            check(m.contains("method") && m.contains("params"));
        }
    });
    auto now = Server::Clock::time_point{};
    for (int n = 0; n < 64 && !server.exited(); ++n) {
        const Frame f = readFrame(in, 1u << 16);
        if (f.kind == Frame::Kind::End || f.kind == Frame::Kind::Broken) break;
        if (f.kind != Frame::Kind::Message) continue;
        // A render writes where its argument says: a fuzzed path could land anywhere.
        if (f.body.find("tavolin.render") != std::string::npos) continue;
        replies = 0;
        server.handleBody(f.body, now);
        check(replies == (isRequest(f.body) ? 1 : 0) || server.exited());
        now += std::chrono::milliseconds(100);
        replies = 0;
        server.poll(now);
        check(replies == 0);
    }
    server.poll(now + std::chrono::seconds(1));
    return 0;
}
