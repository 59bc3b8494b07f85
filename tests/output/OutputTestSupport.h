// SPDX-License-Identifier: MIT
// Shared pieces of the output tests: a recording window host, song snapshots,
// reference renders and temporary folders.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "document/DocumentFormat.h"
#include "document/UserTexts.h"
#include "output/WavExport.h"

namespace tavolin::testing {

// The three arithmetic types every typed suite of this area runs in.
using ArithTypes = ::testing::Types<Fix, float, double>;

// Records everything the builder and the exporter ask of the window, in order.
class RecordingHost : public output::ExportHost {
public:
    std::vector<std::string> calls;     // "message:...", "tab:N", "text:A-B", "save", "progress"
    std::vector<std::string> messages;
    std::optional<std::string> savePath;  // answer of the save dialog (nullopt: cancel)
    std::optional<output::SaveDialogRequest> lastRequest;
    uint64_t cancelAfterFrames = UINT64_MAX;
    int progressCalls = 0;

    void messageBox(const std::string& text) override {
        messages.push_back(text);
        calls.push_back("message:" + text);
    }
    void selectTab(int tab) override { calls.push_back("tab:" + std::to_string(tab)); }
    void selectText(uint64_t from, uint64_t to) override {
        calls.push_back("text:" + std::to_string(from) + "-" + std::to_string(to));
    }
    std::optional<std::string> askSavePath(const output::SaveDialogRequest& request) override {
        lastRequest = request;
        calls.push_back("save");
        return savePath;
    }
    // A file failure as the tests compare it: what failed, where, and errno.
    void exportFileFailed(const output::ExportFileFailure& f) override {
        messages.push_back(failureNote(f.opening, f.path, f.systemCode));
        calls.push_back("message:" + messages.back());
    }
    static std::string failureNote(bool opening, const std::string& path, int code) {
        return (opening ? "cannot create " : "cannot write ") + path + " (errno " + std::to_string(code) + ")";
    }
    bool exportProgress(uint64_t framesDone, double) override {
        ++progressCalls;
        return framesDone < cancelAfterFrames;
    }
};

// `bar` written out `n` times: a song's notes one by one, without a loop.
inline std::string times(std::string_view bar, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += bar;
    return text;
}

// A snapshot with the given texts (common, then banks A..E), all banks mode.
inline output::BuildInputs songInputs(std::string common, std::vector<std::string> banks, int arith = 1,
                                      uint32_t rateHz = 48000) {
    output::BuildInputs in;
    in.tabTexts[0] = std::move(common);
    for (size_t i = 0; i < banks.size() && i < 5; ++i) in.tabTexts[i + 1] = std::move(banks[i]);
    in.arith = static_cast<Arith>(arith);
    in.sampleRateHz = rateHz;
    return in;
}

// Builds quietly; fails the test when the build does not succeed.
inline std::shared_ptr<output::GeneratorWrapper> buildOrFail(const output::BuildInputs& in, bool testMode = false,
                                                             output::WaveFormat* format = nullptr) {
    RecordingHost host;
    output::WaveFormat f;
    auto song = output::MakeGenerator(in, testMode, host, f);
    EXPECT_TRUE(song) << "build failed: " << (host.messages.empty() ? "(no message)" : host.messages[0]);
    if (format) *format = f;
    return song;
}

// The reference export: one frame per Render call until finished, whole buffer.
inline std::vector<int16_t> renderToEnd(output::GeneratorWrapper& song, uint64_t maxFrames = 48000ull * 600) {
    song.SetLoop(false);
    song.SetExportMode();
    std::vector<int16_t> out;
    for (uint64_t n = 0; !song.IsFinished() && n < maxFrames; ++n) {
        std::vector<int16_t> frame = song.Render(1);
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<int16_t> samplesOf(std::string_view bytesLe) {
    std::vector<int16_t> out(bytesLe.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint8_t>(bytesLe[2 * i])) |
                                      static_cast<uint16_t>(static_cast<uint8_t>(bytesLe[2 * i + 1])) << 8);
    return out;
}

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir() {
        std::random_device rd;
        m_path = std::filesystem::temp_directory_path() /
                 ("tavolin-output-test-" + std::to_string(rd()) + "-" + std::to_string(rd()));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
    // Names of the files in the folder, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_path)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path m_path;
};

// The document of an example file, as Open would read it.
inline document::TabTexts readDocument(const std::filesystem::path& path) {
    return document::readDocumentBytes(readFile(path));
}

// The first index where two sample arrays differ, as text for a failure message.
inline std::string firstDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return "sample " + std::to_string(i) + ": " + std::to_string(a[i]) + " vs " + std::to_string(b[i]) +
                   " (sizes " + std::to_string(a.size()) + ", " + std::to_string(b.size()) + ")";
    if (a.size() != b.size()) return "sizes differ: " + std::to_string(a.size()) + " vs " + std::to_string(b.size());
    return "equal";
}

}  // namespace tavolin::testing
