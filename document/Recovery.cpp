// SPDX-License-Identifier: MIT
// Recovery files: their stored form, their folder, and the store of one window.
#include "document/Recovery.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>

#include <csignal>
#include <unistd.h>

namespace tavolin::document {
namespace {

constexpr std::string_view kMagic = "TAVOLIN-RECOVERY 1\n";
constexpr std::string_view kPrefix = "window-";
constexpr std::string_view kSuffix = ".recovery";

void putNumber(std::string& out, std::string_view key, int64_t value) {
    out += key;
    out += ' ';
    out += std::to_string(value);
    out += '\n';
}

void putBytes(std::string& out, std::string_view key, std::string_view bytes) {
    putNumber(out, key, static_cast<int64_t>(bytes.size()));
    out += bytes;
    out += '\n';
}

// Reads "key N\n" at `pos`.
std::optional<int64_t> takeNumber(std::string_view in, size_t& pos, std::string_view key) {
    if (in.substr(pos, key.size()) != key || pos + key.size() >= in.size() || in[pos + key.size()] != ' ')
        return std::nullopt;
    const size_t start = pos + key.size() + 1;
    const size_t end = in.find('\n', start);
    if (end == std::string_view::npos) return std::nullopt;
    int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(in.data() + start, in.data() + end, value);
    if (ec != std::errc() || ptr != in.data() + end) return std::nullopt;
    pos = end + 1;
    return value;
}

std::optional<std::string> takeBytes(std::string_view in, size_t& pos, std::string_view key) {
    const auto length = takeNumber(in, pos, key);
    if (!length || *length < 0 || static_cast<uint64_t>(*length) + 1 > in.size() - pos) return std::nullopt;
    const size_t n = static_cast<size_t>(*length);
    if (in[pos + n] != '\n') return std::nullopt;
    std::string bytes(in.substr(pos, n));
    pos += n + 1;
    return bytes;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The pid in "window-<pid>-<n>.recovery"; nullopt for any other name.
std::optional<int64_t> pidOfName(std::string_view name) {
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return std::nullopt;
    name.remove_prefix(kPrefix.size());
    int64_t pid = 0;
    const auto [ptr, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (ec != std::errc() || ptr == name.data() + name.size() || *ptr != '-') return std::nullopt;
    return pid;
}

}  // namespace

std::string encodeRecovery(const RecoveryRecord& r) {
    std::string out(kMagic);
    putNumber(out, "pid", r.pid);
    putNumber(out, "saved", r.savedAt);
    putNumber(out, "tab", r.selectedTab);
    putBytes(out, "path", r.documentPath);
    for (const std::string& text : r.tabTexts) putBytes(out, "text", text);
    return out;
}

std::optional<RecoveryRecord> decodeRecovery(std::string_view in) {
    if (!in.starts_with(kMagic)) return std::nullopt;
    size_t pos = kMagic.size();
    RecoveryRecord r;
    const auto pid = takeNumber(in, pos, "pid");
    const auto saved = pid ? takeNumber(in, pos, "saved") : std::nullopt;
    const auto tab = saved ? takeNumber(in, pos, "tab") : std::nullopt;
    auto path = tab ? takeBytes(in, pos, "path") : std::nullopt;
    if (!path || *tab < 0 || *tab >= kTabCount) return std::nullopt;
    r.pid = *pid;
    r.savedAt = *saved;
    r.selectedTab = static_cast<int>(*tab);
    r.documentPath = std::move(*path);
    for (std::string& text : r.tabTexts) {
        auto bytes = takeBytes(in, pos, "text");
        if (!bytes) return std::nullopt;
        text = std::move(*bytes);
    }
    if (pos != in.size()) return std::nullopt;
    return r;
}

std::string recoveryFolder(const std::function<const char*(const char*)>& env) {
    const char* state = env("XDG_STATE_HOME");
    if (state && state[0] == '/') return joinPath(state, "tavolin");
    const char* home = env("HOME");
    if (home && home[0] != '\0') return joinPath(joinPath(home, ".local/state"), "tavolin");
    return {};
}

int64_t currentProcessId() { return static_cast<int64_t>(::getpid()); }

bool statSaysRunning(std::string_view stat) noexcept {
    // "PID (NAME) STATE ...": the name may hold ")" itself, so the last one ends it.
    const size_t close = stat.rfind(')');
    if (close == std::string_view::npos || close + 2 >= stat.size() || stat[close + 1] != ' ') return false;
    const char state = stat[close + 2];
    return state != 'Z' && state != 'X' && state != 'x';
}

bool isTavolinRunning(int64_t pid) {
    if (pid <= 0) return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
    // An ended process that its parent has not yet waited for still answers kill().
    {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string stat;
        if (in && std::getline(in, stat) && !statSaysRunning(stat)) return false;
    }
    // A reused process id belongs to some other program: compare the names.
    auto name = [](const std::string& file) {
        std::ifstream in(file);
        std::string line;
        std::getline(in, line);
        return line;
    };
    const std::string theirs = name("/proc/" + std::to_string(pid) + "/comm");
    const std::string ours = name("/proc/self/comm");
    return theirs.empty() || ours.empty() || theirs == ours;
}

RecoveryStore::RecoveryStore(FileSystem& files, std::string folder, int64_t pid, int window, ProcessProbe isRunning,
                             std::function<int64_t()> clock)
    : m_files(files),
      m_folder(std::move(folder)),
      m_ownFile(joinPath(m_folder, std::string(kPrefix) + std::to_string(pid) + "-" + std::to_string(window) +
                                       std::string(kSuffix))),
      m_pid(pid),
      m_window(window),
      m_isRunning(std::move(isRunning)),
      m_clock(std::move(clock)) {}

FileFailure RecoveryStore::save(const TabTexts& tabs, const std::string& documentPath, int selectedTab) {
    if (m_folder.empty()) return failureFromErrno(ENOENT);
    if (FileFailure f = m_files.makeFolder(m_folder); f.error != FileError::None) return f;
    RecoveryRecord r;
    r.pid = m_pid;
    r.savedAt = m_clock ? m_clock() : 0;
    r.selectedTab = std::clamp(selectedTab, 0, kTabCount - 1);
    r.documentPath = documentPath;
    r.tabTexts = tabs;
    const WriteResult w = m_files.replaceFile(m_ownFile, encodeRecovery(r));
    if (w.outcome != WriteOutcome::Written) return w.failure;
    m_written = true;
    return {};
}

void RecoveryStore::remove() {
    if (!m_written) return;
    m_files.removeFile(m_ownFile);
    m_written = false;
}

std::vector<RecoveryRecord> RecoveryStore::orphans() {
    std::vector<RecoveryRecord> found;
    if (m_folder.empty()) return found;
    for (const std::string& name : m_files.listFolder(m_folder)) {
        const auto pid = pidOfName(name);
        const std::string file = joinPath(m_folder, name);
        if (!pid || file == m_ownFile) continue;
        if (m_isRunning && m_isRunning(*pid)) continue;
        const ReadResult read = m_files.readFile(file);
        if (!read.ok()) continue;
        auto record = decodeRecovery(read.bytes);
        if (!record) continue;
        record->file = file;
        found.push_back(std::move(*record));
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const RecoveryRecord& a, const RecoveryRecord& b) {
                         return a.savedAt != b.savedAt ? a.savedAt > b.savedAt : a.file < b.file;
                     });
    return found;
}

bool RecoveryStore::claim(RecoveryRecord& record) {
    if (record.file.empty()) return false;
    // The name says this process holds it; a new name per claim, so no rename overwrites.
    const std::string target = joinPath(m_folder, std::string(kPrefix) + std::to_string(m_pid) + "-" +
                                                      std::to_string(m_window) + "-claimed-" +
                                                      std::to_string(++m_claims) + std::string(kSuffix));
    if (!m_files.renameFile(record.file, target)) return false;
    // What the file holds now: it may have changed since the folder was read.
    const ReadResult read = m_files.readFile(target);
    auto claimed = read.ok() ? decodeRecovery(read.bytes) : std::nullopt;
    if (!claimed) {
        m_files.renameFile(target, record.file);
        return false;
    }
    claimed->claimedFrom = record.file;
    claimed->file = target;
    record = std::move(*claimed);
    return true;
}

void RecoveryStore::release(RecoveryRecord& record) {
    if (record.claimedFrom.empty()) return;
    if (m_files.renameFile(record.file, record.claimedFrom)) {
        record.file = record.claimedFrom;
        record.claimedFrom.clear();
    }
}

void RecoveryStore::discard(const RecoveryRecord& record) {
    if (!record.file.empty()) m_files.removeFile(record.file);
}

}  // namespace tavolin::document
