// SPDX-License-Identifier: MIT
// The export dialog's choice, the save dialog per file type and the confirmation texts.
#include "window/ExportSteps.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "compiler/UiText.h"
#include "document/UserTexts.h"

namespace tavolin::window {

ExportChoice clampedChoice(ExportChoice choice) noexcept {
    choice.loops = std::clamp(choice.loops, int32_t{1}, kMaxExportLoops);
    choice.fadeSeconds = std::isfinite(choice.fadeSeconds) ? std::clamp(choice.fadeSeconds, 0.0, kMaxFadeSeconds) : 0.0;
    if (choice.perBank) choice.loopPoints = false;
    return choice;
}

output::SaveDialogRequest saveRequestFor(output::AudioFileType type) {
    output::SaveDialogRequest r;
    if (type == output::AudioFileType::Wav) return r;
    const std::string ext = output::audioFileExtension(type);
    static constexpr std::array<const char*, 4> kLabels = {"Wave File", "FLAC File", "Ogg Vorbis File", "Opus File"};
    r.defaultExtension = ext;
    r.initialFileName = "output." + ext;
    r.filter = std::string(kLabels[static_cast<size_t>(type)]) + "(*." + ext + ")|*." + ext + "||";
    return r;
}

std::array<std::string, kBankCount> stemPaths(const std::string& path) {
    // The extension is the last "." of the file name, not of a folder.
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = hasExtension ? path.substr(0, dot) : path;
    const std::string extension = hasExtension ? path.substr(dot) : "";
    std::array<std::string, kBankCount> out;
    for (int b = 0; b < kBankCount; ++b) out[static_cast<size_t>(b)] = stem + "_" + static_cast<char>('A' + b) + extension;
    return out;
}

std::string clockText(uint64_t frames, uint32_t rateHz) {
    const uint64_t ms = rateHz ? frames * 1000 / rateHz : 0;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%" PRIu64 ":%02" PRIu64 ".%03" PRIu64, ms / 60000, ms / 1000 % 60, ms % 1000);
    return buf;
}

std::string exportDoneText(const std::string& path, uint64_t frames, uint32_t rateHz) {
    std::string text = uiText(TAVOLIN_TR_NOOP("Texts", "書き出しました\n{file}\n長さ {time} ({frames} フレーム, {rate} Hz)"));
    text = document::fillIn(document::fillIn(text, "file", path), "time", clockText(frames, rateHz));
    return document::fillIn(document::fillIn(text, "frames", std::to_string(frames)), "rate", std::to_string(rateHz));
}

std::string stemsDoneText(const std::vector<std::string>& paths, uint64_t frames, uint32_t rateHz) {
    std::string files;
    for (const std::string& p : paths) files += "\n" + p;
    std::string text = uiText(TAVOLIN_TR_NOOP("Texts", "バンク別に書き出しました{files}\n長さ {time} ({frames} フレーム, {rate} Hz)"));
    text = document::fillIn(document::fillIn(text, "files", files), "time", clockText(frames, rateHz));
    return document::fillIn(document::fillIn(text, "frames", std::to_string(frames)), "rate", std::to_string(rateHz));
}

std::string exportFailureMessage(const output::ExportFileFailure& failure) {
    const char* pattern = failure.opening ? document::text::kExportCreateFailed : document::text::kExportWriteFailed;
    // Without a system reason the first line says all that is known.
    if (failure.systemCode == 0) return document::fillIn(uiText(pattern), "file", failure.path);
    return document::fileFailureMessage(pattern, failure.path, document::failureFromErrno(failure.systemCode));
}

std::string midiDoneText(const std::string& path, const std::vector<std::string>& warnings) {
    std::string text = uiText(TAVOLIN_TR_NOOP("Texts", "MIDIファイルを書き出しました")) + "\n" + path;
    const std::string note = uiText(TAVOLIN_TR_NOOP("Texts", "注意: "));
    for (const std::string& w : warnings) text += "\n" + note + w;
    return text;
}

}  // namespace tavolin::window
