// SPDX-License-Identifier: MIT
// Recovery files: a running window's unsaved document kept in the user's state
// folder, so a crash or a killed process loses at most a few seconds of work.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/DocumentFormat.h"
#include "document/FileSystem.h"

namespace tavolin::document {

// What one recovery file holds.
struct RecoveryRecord {
    int64_t pid = 0;          // the process of the window that wrote it
    int64_t savedAt = 0;      // seconds since 1970 (UTC)
    int selectedTab = 0;
    std::string documentPath; // UTF-8; empty for an untitled document
    TabTexts tabTexts;        // exactly as the window held them (CP932, CR LF)
    std::string file;         // path of the recovery file itself (not stored in it)
    std::string claimedFrom;  // its name before this window claimed it; empty when unclaimed
};

// The stored form: a header line, then length-prefixed fields, so every byte of
// the texts comes back as it was (the document format cannot carry ";" or ",").
std::string encodeRecovery(const RecoveryRecord& record);
std::optional<RecoveryRecord> decodeRecovery(std::string_view bytes);

// $XDG_STATE_HOME/tavolin, else $HOME/.local/state/tavolin (a relative
// XDG_STATE_HOME is ignored, as the base-directory rules say); empty when neither
// is set. `env` looks up an environment variable (nullptr when unset).
std::string recoveryFolder(const std::function<const char*(const char*)>& env);

// Whether the process `pid` is still a running tavolin (the real check asks the system).
using ProcessProbe = std::function<bool(int64_t pid)>;
bool isTavolinRunning(int64_t pid);
// From the text of /proc/PID/stat: false for a process that has ended and only
// waits for its parent (a zombie, state Z or X) or for text that is no such line.
bool statSaysRunning(std::string_view stat) noexcept;
int64_t currentProcessId();

class RecoveryStore {
public:
    // `window` tells the windows of one process apart; `clock` gives seconds since 1970.
    RecoveryStore(FileSystem& files, std::string folder, int64_t pid, int window, ProcessProbe isRunning,
                  std::function<int64_t()> clock);

    // Writes this window's recovery file (temporary file + rename). The failure when it could not.
    FileFailure save(const TabTexts& tabs, const std::string& documentPath, int selectedTab);
    // Removes this window's file, if it wrote one.
    void remove();
    bool hasOwnFile() const noexcept { return m_written; }
    const std::string& ownFile() const noexcept { return m_ownFile; }
    const std::string& folder() const noexcept { return m_folder; }

    // Files left by windows whose process no longer runs, newest first. Files that
    // cannot be read as recovery files are left alone and not offered.
    std::vector<RecoveryRecord> orphans();
    // Takes `record` for this window by renaming its file to one of this process,
    // which other windows skip while this one runs. False when another window took
    // it first (or it is gone): then it must not be offered. On success the record
    // holds the file's content as claimed.
    bool claim(RecoveryRecord& record);
    // Gives a claimed record back under its old name, for a later start.
    void release(RecoveryRecord& record);
    void discard(const RecoveryRecord& record);

private:
    FileSystem& m_files;
    std::string m_folder;
    std::string m_ownFile;
    int64_t m_pid;
    int m_window;
    int m_claims = 0;
    ProcessProbe m_isRunning;
    std::function<int64_t()> m_clock;
    bool m_written = false;
};

}  // namespace tavolin::document
