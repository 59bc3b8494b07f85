// SPDX-License-Identifier: MIT
// The protocol's shapes that the server reads and writes: error codes, positions and ranges as JSON.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "compiler/EngineNum.h"
#include "music/DocumentFeatures.h"
#include "document/DocumentMap.h"

namespace tavolin::lsp {

using json = nlohmann::json;

// JSON-RPC and protocol error codes.
enum class ErrorCode : int {
    ParseError = -32700,
    InvalidRequest = -32600,
    MethodNotFound = -32601,
    InvalidParams = -32602,
    InternalError = -32603,
    ServerNotInitialized = -32002,
    RequestFailed = -32803,
};

// Raised by a handler for a request it cannot answer; the dispatcher turns it
// into the error reply. Never leaves the dispatcher.
struct RpcError : std::runtime_error {
    ErrorCode code;
    RpcError(ErrorCode c, const std::string& message) : std::runtime_error(message), code(c) {}
};

json toJson(document::FilePosition p);
json rangeJson(const document::DocumentMap& map, const music::TabRange& r);
// {"line": n, "character": n}; RpcError(InvalidParams) when malformed.
document::FilePosition positionFrom(const json& j);

// A member of `j` of the given type; RpcError(InvalidParams) when missing or mistyped.
const json& member(const json& j, const char* name);
std::string stringMember(const json& j, const char* name);

// The arithmetic a name gives in any case; RpcError(InvalidParams) otherwise.
Arith arithmeticOf(const std::string& name);
// A rate given as a number or as text ("48,000"); 0 when the engine cannot
// run at it (the build then refuses it with its message).
uint32_t sampleRateOf(const json& rate);

// The token types the colour classes map to, in legend order, and the index of
// a class (-1: not sent).
json semanticTokensLegend();
int semanticTokenType(music::MmlClass cls) noexcept;

json errorReply(const json& id, ErrorCode code, const std::string& message);
json resultReply(const json& id, json result);
json notification(const char* method, json params);

}  // namespace tavolin::lsp
