// SPDX-License-Identifier: MIT
// WAV header bytes and the temporary-file-then-rename writer.
#include "output/WavFile.h"

#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <random>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavolin::output {
namespace {

void put16(uint8_t* p, uint16_t v) noexcept {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) noexcept {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool writeAll(int fd, const uint8_t* data, size_t size) noexcept {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

class AtomicFile final : public OutputFile {
public:
    AtomicFile(int fd, std::string tempPath, std::string finalPath)
        : m_fd(fd), m_tempPath(std::move(tempPath)), m_finalPath(std::move(finalPath)) {}
    ~AtomicFile() override {
        if (m_fd >= 0) ::close(m_fd);
        if (!m_committed) ::unlink(m_tempPath.c_str());
    }
    bool write(std::span<const uint8_t> bytes) override {
        if (m_failed || m_fd < 0) return false;
        if (!writeAll(m_fd, bytes.data(), bytes.size())) fail();
        return !m_failed;
    }
    bool writeAtStart(std::span<const uint8_t> bytes) override {
        if (m_failed || m_fd < 0) return false;
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::pwrite(m_fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                fail();
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }
    bool commit() override {
        if (m_failed || m_fd < 0) return false;
        // fsync before the rename: after a crash the path holds either the old
        // file or the complete new one, never a file of zero length.
        bool ok = ::fsync(m_fd) == 0;
        if (!ok) fail();
        if (::close(m_fd) != 0) {
            fail();
            ok = false;
        }
        m_fd = -1;
        if (!ok) return false;
        if (::rename(m_tempPath.c_str(), m_finalPath.c_str()) != 0) {
            fail();
            return false;
        }
        m_committed = true;
        return true;
    }
    int descriptor() const noexcept override { return m_failed ? -1 : m_fd; }
    int systemError() const noexcept override { return m_error; }

private:
    // Keeps the reason of the first failure.
    void fail() noexcept {
        if (!m_failed) m_error = errno;
        m_failed = true;
    }

    int m_fd;
    std::string m_tempPath;
    std::string m_finalPath;
    bool m_failed = false;
    bool m_committed = false;
    int m_error = 0;
};

}  // namespace

std::array<uint8_t, kWavHeaderBytes> wavHeader(const WaveFormat& format, uint32_t dataBytes) noexcept {
    std::array<uint8_t, kWavHeaderBytes> h{};
    uint8_t* p = h.data();
    std::memcpy(p + 0, "RIFF", 4);
    put32(p + 4, dataBytes + 36u);
    std::memcpy(p + 8, "WAVE", 4);
    std::memcpy(p + 12, "fmt ", 4);
    put32(p + 16, 16);
    put16(p + 20, 1);
    put16(p + 22, format.channels);
    put32(p + 24, format.samplesPerSec);
    put32(p + 28, format.avgBytesPerSec);
    put16(p + 32, format.blockAlign);
    put16(p + 34, format.bitsPerSample);
    std::memcpy(p + 36, "data", 4);
    put32(p + 40, dataBytes);
    return h;
}

void appendSamplesLe(std::span<const int16_t> samples, std::string& out) {
    size_t at = out.size();
    out.resize(at + samples.size() * 2);
    if constexpr (std::endian::native == std::endian::little) {
        if (!samples.empty()) std::memcpy(out.data() + at, samples.data(), samples.size() * 2);
        return;
    }
    for (int16_t s : samples) {
        auto u = static_cast<uint16_t>(s);
        out[at++] = static_cast<char>(u & 0xFF);
        out[at++] = static_cast<char>(u >> 8);
    }
}

std::unique_ptr<OutputFile> openAtomicFile(const std::string& path) {
    if (path.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    std::string_view pv(path);
    size_t slash = pv.find_last_of('/');
    std::string dir = slash == std::string_view::npos ? std::string() : std::string(pv.substr(0, slash + 1));
    std::string base = std::string(slash == std::string_view::npos ? pv : pv.substr(slash + 1));
    if (base.empty()) {
        errno = EISDIR;
        return nullptr;
    }
    // A path that names a folder would make rename() fail only at the end,
    // after the whole song was rendered; one that names a device or a pipe
    // (/dev/null, /dev/full) would be replaced by a plain file where the
    // rename is allowed. Both are refused up front, as "not a file".
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        errno = EISDIR;
        return nullptr;
    }

    static std::atomic<uint32_t> counter{0};
    std::random_device rd;
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string temp = dir + "." + base + "." + std::to_string(::getpid()) + "-" +
                           std::to_string(counter.fetch_add(1)) + "-" + std::to_string(rd() & 0xFFFF) + ".tmp";
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return std::make_unique<AtomicFile>(fd, std::move(temp), path);
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

}  // namespace tavolin::output
