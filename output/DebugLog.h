// SPDX-License-Identifier: MIT
// The one channel for English diagnostics that the user never sees (standard error).
#pragma once

#include <functional>
#include <string_view>

namespace tavolin::output {

// Writes one line of English debug output. Thread-safe; callable from the
// device callback and the worker.
void debugLog(std::string_view message);

// Routes debug output elsewhere (tests capture it); an empty function
// restores standard error. Not to be called while streams are running.
void setDebugLogSink(std::function<void(std::string_view)> sink);

}  // namespace tavolin::output
