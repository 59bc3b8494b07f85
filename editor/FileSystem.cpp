// Real file access for documents: whole-file reads and replace-by-rename writes.
#include "editor/FileSystem.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#if __has_include(<unistd.h>)
#include <unistd.h>
#define TAVOLIN_HAVE_FSYNC 1
#endif

namespace tavolin::editor {
namespace fs = std::filesystem;

std::optional<std::string> RealFileSystem::readFile(const std::string& path) {
    std::error_code ec;
    if (path.empty() || fs::is_directory(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

bool RealFileSystem::writeBytes(std::FILE* file, std::string_view bytes) {
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

WriteOutcome RealFileSystem::replaceFile(const std::string& path, std::string_view bytes) {
    std::error_code ec;
    fs::path target(path);
    if (target.filename().empty()) return WriteOutcome::CannotOpen; // "" or a name ending in "/"
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        fs::path resolved = fs::canonical(target, ec);
        if (ec) return WriteOutcome::CannotOpen;
        target = resolved;
    }
    fs::file_status status = fs::status(target, ec);
    bool exists = fs::exists(status);
    if (exists && !fs::is_regular_file(status)) return WriteOutcome::CannotOpen;
    if (exists) {
        // Opening for append changes nothing but tells whether the file may be written.
        std::FILE* probe = std::fopen(target.c_str(), "ab");
        if (!probe) return WriteOutcome::CannotOpen;
        std::fclose(probe);
    }

    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    if (!fs::is_directory(folder, ec)) return WriteOutcome::CannotOpen;

    // "x": the temporary file is created new, never reusing someone else's file.
    fs::path temp;
    std::FILE* file = nullptr;
    for (int attempt = 0; attempt < 100 && !file; ++attempt) {
        temp = folder / ("." + target.filename().string() + ".saving-" + std::to_string(attempt));
        file = std::fopen(temp.c_str(), "wbx");
    }
    if (!file) return WriteOutcome::CannotOpen;

    bool ok = writeBytes(file, bytes);
    ok = std::fflush(file) == 0 && ok;
#ifdef TAVOLIN_HAVE_FSYNC
    ok = ::fsync(::fileno(file)) == 0 && ok;
#endif
    ok = std::fclose(file) == 0 && ok;
    if (ok && exists) fs::permissions(temp, status.permissions(), fs::perm_options::replace, ec);
    if (ok) {
        fs::rename(temp, target, ec);
        ok = !ec;
    }
    if (!ok) {
        fs::remove(temp, ec);
        return WriteOutcome::WriteFailed;
    }
    return WriteOutcome::Written;
}

}  // namespace tavolin::editor
