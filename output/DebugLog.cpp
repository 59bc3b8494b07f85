// SPDX-License-Identifier: MIT
// Debug output to standard error, or to a sink a test installs.
#include "output/DebugLog.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace tavolin::output {
namespace {
std::mutex& logMutex() {
    static std::mutex m;
    return m;
}
std::function<void(std::string_view)>& logSink() {
    static std::function<void(std::string_view)> s;
    return s;
}
}  // namespace

void debugLog(std::string_view message) {
    std::lock_guard lock(logMutex());
    if (logSink()) {
        logSink()(message);
        return;
    }
    std::string line = "tavolin: ";
    line += message;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void setDebugLogSink(std::function<void(std::string_view)> sink) {
    std::lock_guard lock(logMutex());
    logSink() = std::move(sink);
}

}  // namespace tavolin::output
