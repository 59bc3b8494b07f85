// SPDX-License-Identifier: MIT
// Shared pieces of tavolin-cli: exit codes, the subcommand registry, input reading.
#pragma once

#include <functional>
#include <string>

#include <CLI/CLI.hpp>

namespace tavolin::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitCompileError = 1;
inline constexpr int kExitUsage = 2;

// Each subcommand file registers itself with a static CommandRegistrar; the
// callback adds its subcommand to the app.
using RegisterFn = std::function<void(CLI::App&)>;
struct CommandRegistrar {
    explicit CommandRegistrar(RegisterFn fn);
};
void registerAll(CLI::App& app);

// The status main() returns, set by the subcommand that ran.
int exitStatus();
void setExitStatus(int status);

// Raised for I/O failures; main reports it and exits with kExitUsage.
struct CliError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The bytes of FILE, or of standard input for "-". Throws CliError.
std::string readInputBytes(const std::string& path);

// readInputBytes, then as the window opens a document: a UTF-8 file is converted to
// CP932 (with a note on standard error); one holding characters CP932 cannot store
// is refused with their lines. With `asDocument` (not for text taken as the
// clipboard's), a file that is no document (NUL bytes, bytes that form no CP932
// character) is refused too, and text the document record leaves out is warned
// about on standard error. Throws CliError.
std::string readDocumentFileBytes(const std::string& path, bool asDocument = true);

}  // namespace tavolin::cli
