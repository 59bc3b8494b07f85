// SPDX-License-Identifier: MIT
// JSON shapes of positions, ranges and replies.
#include "app/lsp/Protocol.h"

#include <algorithm>
#include <limits>

#include "session/SongSettings.h"

namespace tavolin::lsp {

Arith arithmeticOf(const std::string& name) {
    if (const std::optional<Arith> a = session::parseArith(name)) return *a;
    throw RpcError(ErrorCode::InvalidParams, "arithmetic must be Fix, Float or Double");
}

uint32_t sampleRateOf(const json& rate) {
    // A rate the engine cannot run at is kept as none (0): every check then
    // says so at the document's top, as the window says so at Play.
    if (rate.is_number_integer()) return session::sampleRateOf(rate.get<int64_t>()).value_or(0);
    if (rate.is_string()) return session::parseSampleRate(rate.get<std::string>()).value_or(0);
    throw RpcError(ErrorCode::InvalidParams, "sampleRate must be a number");
}

json toJson(document::FilePosition p) { return {{"line", p.line}, {"character", p.column}}; }

json rangeJson(const document::DocumentMap& map, const music::TabRange& r) {
    return {{"start", toJson(map.positionOf(document::TabOffset{r.tab, r.begin}))},
            {"end", toJson(map.positionOf(document::TabOffset{r.tab, r.end}))}};
}

const json& member(const json& j, const char* name) {
    if (!j.is_object() || !j.contains(name)) throw RpcError(ErrorCode::InvalidParams, std::string("missing '") + name + "'");
    return j[name];
}

std::string stringMember(const json& j, const char* name) {
    const json& v = member(j, name);
    if (!v.is_string()) throw RpcError(ErrorCode::InvalidParams, std::string("'") + name + "' is not a string");
    return v.get<std::string>();
}

document::FilePosition positionFrom(const json& j) {
    auto number = [&](const char* name) {
        const json& v = member(j, name);
        // Parsed text gives unsigned numbers, JSON built in code signed ones.
        if (!v.is_number_integer() || v.get<int64_t>() < 0 || v.get<int64_t>() > std::numeric_limits<uint32_t>::max())
            throw RpcError(ErrorCode::InvalidParams, std::string("'") + name + "' is no position number");
        return static_cast<uint32_t>(v.get<int64_t>());
    };
    return {number("line"), number("character")};
}

namespace {

// Standard types, so that every editor's theme colours them.
constexpr const char* kTokenTypes[] = {"enumMember", "number", "type", "property", "function", "keyword", "operator", "macro", "comment"};

}  // namespace

json semanticTokensLegend() { return {{"tokenTypes", kTokenTypes}, {"tokenModifiers", json::array()}}; }

int semanticTokenType(music::MmlClass cls) noexcept {
    using music::MmlClass;
    switch (cls) {
    case MmlClass::Note: return 0;
    case MmlClass::Length: return 1;
    case MmlClass::Octave: return 2;
    case MmlClass::Setting: return 3;
    case MmlClass::Sound: return 4;
    case MmlClass::Loop: return 5;
    case MmlClass::Tuplet: return 6;
    case MmlClass::Slur: return 6;
    case MmlClass::Macro: return 7;
    case MmlClass::Comment: return 8;
    case MmlClass::Plain:
    case MmlClass::Unknown:
    case MmlClass::Count: break;
    }
    return -1;
}

json errorReply(const json& id, ErrorCode code, const std::string& message) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", static_cast<int>(code)}, {"message", message}}}};
}

json resultReply(const json& id, json result) { return {{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}}; }

json notification(const char* method, json params) {
    return {{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
}

}  // namespace tavolin::lsp
