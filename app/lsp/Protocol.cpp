// JSON shapes of positions, ranges and replies.
#include "app/lsp/Protocol.h"

#include <limits>

namespace tavolin::lsp {

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
        if (!v.is_number_unsigned() || v.get<uint64_t>() > std::numeric_limits<uint32_t>::max())
            throw RpcError(ErrorCode::InvalidParams, std::string("'") + name + "' is no position number");
        return static_cast<uint32_t>(v.get<uint64_t>());
    };
    return {number("line"), number("character")};
}

json errorReply(const json& id, ErrorCode code, const std::string& message) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", static_cast<int>(code)}, {"message", message}}}};
}

json resultReply(const json& id, json result) { return {{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}}; }

json notification(const char* method, json params) {
    return {{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
}

}  // namespace tavolin::lsp
