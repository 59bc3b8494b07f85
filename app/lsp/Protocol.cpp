// JSON shapes of positions, ranges and replies.
#include "app/lsp/Protocol.h"

#include <algorithm>
#include <limits>

namespace tavolin::lsp {

int arithmeticIndex(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name == "fix") return 0;
    if (name == "float") return 1;
    if (name == "double") return 2;
    throw RpcError(ErrorCode::InvalidParams, "arithmetic must be Fix, Float or Double");
}

json toJson(editor::FilePosition p) { return {{"line", p.line}, {"character", p.column}}; }

json rangeJson(const editor::DocumentMap& map, const editor::TabRange& r) {
    return {{"start", toJson(map.positionOf(editor::TabOffset{r.tab, r.begin}))},
            {"end", toJson(map.positionOf(editor::TabOffset{r.tab, r.end}))}};
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

editor::FilePosition positionFrom(const json& j) {
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

int semanticTokenType(editor::MmlClass cls) noexcept {
    using editor::MmlClass;
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
