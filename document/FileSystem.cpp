// SPDX-License-Identifier: MIT
// Real file access: whole-file reads, replace-by-rename writes (in place where the
// folder is locked), and the folder operations of the recovery files.
#include "document/FileSystem.h"

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavolin::document {
namespace fs = std::filesystem;

FileFailure failureFromErrno(int code) noexcept {
    switch (code) {
    case 0: return {FileError::None, 0};
    case ENOENT:
    case ENOTDIR: return {FileError::NotFound, code};
    case EACCES: return {FileError::AccessDenied, code};
    case EPERM: return {FileError::NotPermitted, code};
    case EROFS: return {FileError::ReadOnlyFileSystem, code};
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return {FileError::DiskFull, code};
    case EISDIR: return {FileError::NotAFile, code};
    default: return {FileError::Other, code};
    }
}

std::string absolutePathIn(std::string_view path, std::string_view currentFolder) {
    if (path.empty()) return {};
    fs::path p(path);
    if (p.is_relative()) p = fs::path(currentFolder) / p;
    return p.lexically_normal().string();
}

namespace {

// ".NAME.saving-N", the temporary file of a save of NAME.
bool isTemporaryOf(std::string_view entry, std::string_view name) {
    std::string head(1, '.');  // piecewise: GCC 12 warns falsely on "literal" + std::string
    head += name;
    head += ".saving-";
    if (!entry.starts_with(head) || entry.size() == head.size()) return false;
    return entry.substr(head.size()).find_first_not_of("0123456789") == std::string_view::npos;
}

// Temporary files of earlier saves of `name` whose writer is gone (nobody holds
// their lock): a save killed between creating and renaming one.
void removeLeftoverTemporaries(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!isTemporaryOf(it->path().filename().string(), name)) continue;
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(it->path().c_str());
        ::close(fd);
    }
}

// errno of a failed call, or `fallback` when the call left none.
int lastError(int fallback) noexcept { return errno != 0 ? errno : fallback; }

WriteResult failed(WriteOutcome outcome, int code) { return {outcome, failureFromErrno(code)}; }

bool readAll(int fd, std::string& out) {
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        out.append(buf, static_cast<size_t>(n));
    }
}

}  // namespace

ReadResult RealFileSystem::readFile(const std::string& path) {
    ReadResult r;
    if (path.empty()) {
        r.failure = failureFromErrno(ENOENT);
        return r;
    }
    errno = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        r.failure = failureFromErrno(lastError(EIO));
        return r;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
        ::close(fd);
        r.failure = failureFromErrno(EISDIR);
        return r;
    }
    if (!readAll(fd, r.bytes)) {
        r.failure = failureFromErrno(lastError(EIO));
        r.bytes.clear();
    }
    ::close(fd);
    return r;
}

bool RealFileSystem::writeBytes(std::FILE* file, std::string_view bytes) {
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

std::FILE* RealFileSystem::createTemporary(const fs::path& path) { return std::fopen(path.c_str(), "wbx"); }

WriteResult RealFileSystem::replaceFile(const std::string& path, std::string_view bytes) {
    std::error_code ec;
    fs::path target(path);
    if (path.empty()) return failed(WriteOutcome::CannotOpen, ENOENT);
    if (target.filename().empty()) return failed(WriteOutcome::CannotOpen, EISDIR);  // a name ending in "/"
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        fs::path resolved = fs::canonical(target, ec);
        if (ec) return failed(WriteOutcome::CannotOpen, ec.value());
        target = resolved;
    }
    fs::file_status status = fs::status(target, ec);
    const bool exists = fs::exists(status);
    if (exists && !fs::is_regular_file(status)) return failed(WriteOutcome::CannotOpen, EISDIR);
    if (exists) {
        // Opening for append changes nothing but tells whether the file may be written.
        errno = 0;
        std::FILE* probe = std::fopen(target.c_str(), "ab");
        if (!probe) return failed(WriteOutcome::CannotOpen, lastError(EACCES));
        std::fclose(probe);
    }

    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    if (!fs::is_directory(folder, ec)) return failed(WriteOutcome::CannotOpen, ENOENT);

    fs::path temp;
    std::FILE* file = nullptr;
    int createError = 0;
    for (int attempt = 0; attempt < 100 && !file; ++attempt) {
        std::string name(1, '.');  // piecewise: GCC 12 warns falsely on "literal" + std::string
        name += target.filename().string();
        name += ".saving-";
        name += std::to_string(attempt);
        temp = folder / name;
        errno = 0;
        file = createTemporary(temp);
        createError = file ? 0 : lastError(EACCES);
        // Held until the file is closed: the mark of a save in progress.
        if (file) ::flock(::fileno(file), LOCK_EX | LOCK_NB);
        if (!file && createError != EEXIST) break;
    }
    if (!file) {
        // A folder that takes no new files may still hold a file its owner may write.
        if (exists && (createError == EACCES || createError == EPERM)) return writeInPlace(target, bytes);
        return failed(WriteOutcome::CannotOpen, createError);
    }

    errno = 0;
    bool ok = writeBytes(file, bytes);
    int writeError = ok ? 0 : lastError(ENOSPC);
    if (std::fflush(file) != 0 && ok) {
        ok = false;
        writeError = lastError(EIO);
    }
    if (::fsync(::fileno(file)) != 0 && ok) {
        ok = false;
        writeError = lastError(EIO);
    }
    // Renamed while still open (and locked), so no other save takes it for a leftover;
    // the bytes are on the disk already (fsync), so closing can no longer lose them.
    if (ok && exists) fs::permissions(temp, status.permissions(), fs::perm_options::replace, ec);
    if (ok) {
        fs::rename(temp, target, ec);
        if (ec) {
            ok = false;
            writeError = ec.value();
        }
    }
    std::fclose(file);
    if (!ok) {
        fs::remove(temp, ec);
        return failed(WriteOutcome::WriteFailed, writeError);
    }
    removeLeftoverTemporaries(folder, target.filename().string());
    return {WriteOutcome::Written, {}};
}

// The fallback for a locked folder. The space for the new content is reserved
// before the first byte changes, so a full disk leaves the old file as it was;
// afterwards the file is read back to verify what was stored.
WriteResult RealFileSystem::writeInPlace(const fs::path& target, std::string_view bytes) {
    errno = 0;
    const int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return failed(WriteOutcome::CannotOpen, lastError(EACCES));
    const off_t size = static_cast<off_t>(bytes.size());
    if (size > 0) {
        const int reserve = ::posix_fallocate(fd, 0, size);
        // File systems without preallocation say EOPNOTSUPP or EINVAL; write anyway.
        if (reserve != 0 && reserve != EOPNOTSUPP && reserve != EINVAL) {
            ::close(fd);
            return failed(WriteOutcome::WriteFailed, reserve);
        }
    }
    std::FILE* file = ::fdopen(fd, "r+b");
    if (!file) {
        const int e = lastError(EIO);
        ::close(fd);
        return failed(WriteOutcome::CannotOpen, e);
    }
    errno = 0;
    bool ok = writeBytes(file, bytes);
    int e = ok ? 0 : lastError(ENOSPC);
    if (ok && std::fflush(file) != 0) { ok = false; e = lastError(EIO); }
    if (ok && ::ftruncate(fd, size) != 0) { ok = false; e = lastError(EIO); }
    if (ok && ::fsync(fd) != 0) { ok = false; e = lastError(EIO); }
    std::fclose(file);
    if (!ok) return failed(WriteOutcome::WriteFailed, e);
    const ReadResult back = readFile(target.string());
    if (!back.ok() || back.bytes != bytes) return failed(WriteOutcome::WriteFailed, EIO);
    return {WriteOutcome::Written, {}};
}

std::vector<std::string> RealFileSystem::listFolder(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    return names;
}

bool RealFileSystem::removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool RealFileSystem::renameFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

std::string RealFileSystem::absolutePath(const std::string& path) {
    if (path.empty()) return {};
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    if (ec) cwd = "/";
    fs::path full = fs::path(path).is_relative() ? cwd / path : fs::path(path);
    const fs::path name = full.filename();
    if (name.empty() || name == "." || name == "..") {
        fs::path resolved = fs::weakly_canonical(full, ec);
        return ec ? absolutePathIn(path, cwd.string()) : resolved.string();
    }
    const fs::path folder = fs::weakly_canonical(full.parent_path(), ec);
    if (ec) return absolutePathIn(path, cwd.string());
    return (folder / name).string();
}

FileFailure RealFileSystem::makeFolder(const std::string& folder) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return {};
    fs::create_directories(folder, ec);
    if (ec) return failureFromErrno(ec.value());
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
    return {};
}

}  // namespace tavolin::document
