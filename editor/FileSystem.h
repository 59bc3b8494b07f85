// File access of the document commands, behind an interface so tests can make reads and writes fail.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace tavolin::editor {

enum class WriteOutcome {
    Written,     // the file now holds exactly the bytes
    CannotOpen,  // nothing written: missing folder, read-only file or folder, not a file
    WriteFailed, // opened but the bytes could not all be stored (disk full, I/O error)
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // The whole file as raw bytes; nullopt when it cannot be opened or read.
    virtual std::optional<std::string> readFile(const std::string& path) = 0;
    // Replaces the file at `path` with `bytes`. Whatever the outcome other than
    // Written, a file that was there before is left exactly as it was.
    virtual WriteOutcome replaceFile(const std::string& path, std::string_view bytes) = 0;
};

// The disk. replaceFile writes a temporary file in the target's folder,
// flushes and syncs it, then renames it over the target, so a failed save
// never leaves a truncated document behind. A symbolic link is followed and
// the file it names is replaced; an existing file keeps its permissions.
class RealFileSystem : public FileSystem {
public:
    std::optional<std::string> readFile(const std::string& path) override;
    WriteOutcome replaceFile(const std::string& path, std::string_view bytes) override;

protected:
    // Stores the bytes into the open temporary file; false on any failure.
    // Tests override it to simulate a full disk.
    virtual bool writeBytes(std::FILE* file, std::string_view bytes);
};

}  // namespace tavolin::editor
