// SPDX-License-Identifier: MIT
// File access of the document commands and the recovery files, behind an interface so
// tests can make reads and writes fail with any reason.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tavolin::document {

// The largest document Open, the command line and tavolin-cli read. Loading
// into the editor takes about half a second per megabyte on a busy two-core
// machine, nearly all of it in the toolkit's text document (its blocks and
// formats), and a window opening a file shows only once it is loaded. MML
// songs are a few kilobytes; a megabyte is already very long.
inline constexpr uint64_t kMaxDocumentBytes = uint64_t{2} << 20;

// Why a file operation failed, as the system reported it.
enum class FileError {
    None,
    NotFound,           // ENOENT, ENOTDIR: the file or a folder on its way is missing
    AccessDenied,       // EACCES: the permissions forbid it
    NotPermitted,       // EPERM: forbidden whatever the permissions (an immutable file)
    ReadOnlyFileSystem, // EROFS
    DiskFull,           // ENOSPC, EDQUOT
    NotAFile,           // a folder or device where a file was expected
    Other,              // any other system error; its number is kept
};

struct FileFailure {
    FileError error = FileError::None;
    int systemCode = 0;  // errno as reported (0 when the reason is not a system error)
    bool operator==(const FileFailure&) const = default;
};

// The failure that errno value `code` stands for.
FileFailure failureFromErrno(int code) noexcept;

// `path` made absolute against `currentFolder` (itself absolute) and stripped of
// "." and ".." steps and doubled separators; empty stays empty.
std::string absolutePathIn(std::string_view path, std::string_view currentFolder);

struct ReadResult {
    std::string bytes;   // the whole file when ok()
    FileFailure failure;
    bool ok() const noexcept { return failure.error == FileError::None; }
};

enum class WriteOutcome {
    Written,     // the file now holds exactly the bytes
    CannotOpen,  // nothing written: missing folder, read-only file or folder, not a file
    WriteFailed, // opened but the bytes could not all be stored (disk full, I/O error)
};

struct WriteResult {
    WriteOutcome outcome = WriteOutcome::Written;
    FileFailure failure;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // The whole file as raw bytes, or why it cannot be read.
    virtual ReadResult readFile(const std::string& path) = 0;
    // Replaces the file at `path` with `bytes`. Whatever the outcome other than
    // Written, a file that was there before is left exactly as it was.
    virtual WriteResult replaceFile(const std::string& path, std::string_view bytes) = 0;
    // Names (not paths) of the entries of `folder`; empty when it does not exist.
    virtual std::vector<std::string> listFolder(const std::string& folder) = 0;
    // Removes a file; false when it was not there or could not be removed.
    virtual bool removeFile(const std::string& path) = 0;
    // Creates `folder` and its parents, readable by the user only.
    virtual FileFailure makeFolder(const std::string& folder) = 0;
    // Moves `from` to `to` in one step; false when `from` is not there (someone
    // else moved it first) or it cannot be moved.
    virtual bool renameFile(const std::string& from, const std::string& to) = 0;
    // The path a document is known by, whatever folder the program was started
    // in: absolute and without "." or ".." steps (see absolutePathIn). Relative
    // paths are taken from the root here; the disk takes them from the current folder.
    virtual std::string absolutePath(const std::string& path) { return absolutePathIn(path, "/"); }
};

// The disk. replaceFile writes a temporary file in the target's folder, flushes
// and syncs it, then renames it over the target, so a failed save never leaves a
// truncated document behind. Where the folder refuses new files but the file
// itself may be written, the file is rewritten in place after its space is
// reserved, and read back. A symbolic link is followed and the file it names is
// replaced; an existing file keeps its permissions. The temporary file is locked
// while it is written, so a later save can tell one left by a killed save (no
// lock) from one being written and remove it.
class RealFileSystem : public FileSystem {
public:
    ReadResult readFile(const std::string& path) override;
    WriteResult replaceFile(const std::string& path, std::string_view bytes) override;
    std::vector<std::string> listFolder(const std::string& folder) override;
    bool removeFile(const std::string& path) override;
    FileFailure makeFolder(const std::string& folder) override;
    bool renameFile(const std::string& from, const std::string& to) override;
    // From the current folder, with symbolic links in the folders on the way
    // resolved; the file's own name is kept (a link keeps its name).
    std::string absolutePath(const std::string& path) override;

protected:
    // Stores the bytes into the open file; false on any failure (errno tells why).
    // Tests override it to simulate a full disk.
    virtual bool writeBytes(std::FILE* file, std::string_view bytes);
    // Creates the temporary file new ("x": never reusing someone else's); nullptr
    // with errno set when it cannot. Tests override it to simulate a locked folder.
    virtual std::FILE* createTemporary(const std::filesystem::path& path);

private:
    WriteResult writeInPlace(const std::filesystem::path& target, std::string_view bytes);
};

}  // namespace tavolin::document
