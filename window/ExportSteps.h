// SPDX-License-Identifier: MIT
// What the window's exports ask and tell: the export dialog's choice, the save
// dialog for each file type, and the confirmation texts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "compiler/UiText.h"
#include "output/AudioFile.h"
#include "output/WavExport.h"

namespace tavolin::window {

// The export dialog's fields. The window keeps the last choice for the next export.
struct ExportChoice {
    output::AudioFileType type = output::AudioFileType::Wav;
    int32_t loops = 1;        // passes of every endless loop, 1..kMaxExportLoops
    double fadeSeconds = 0;   // 0..kMaxFadeSeconds; 0: no fade
    bool perBank = false;     // one file per audible bank that sounds (stems)
    // The intro and one loop, the loop marked for games (loops and fade then
    // unused); not with perBank, which clampedChoice clears it for.
    bool loopPoints = false;
    friend bool operator==(const ExportChoice&, const ExportChoice&) = default;
};
inline constexpr int32_t kMaxExportLoops = 99;
inline constexpr double kMaxFadeSeconds = 600;

// The dialog's file type list, in AudioFileType order.
inline constexpr std::array<const char*, 4> kExportTypeItems = {"WAV (*.wav)", "FLAC (*.flac)", "Ogg Vorbis (*.ogg)",
                                                                "Opus (*.opus)"};
inline constexpr const char* kExportDialogTitle = TAVOLIN_TR_NOOP("Texts", "書き出し");
inline constexpr const char* kExportTypeLabel = TAVOLIN_TR_NOOP("Texts", "ファイル形式");
inline constexpr const char* kExportLoopsLabel = TAVOLIN_TR_NOOP("Texts", "ループ回数");
inline constexpr const char* kExportFadeLabel = TAVOLIN_TR_NOOP("Texts", "フェードアウト (秒)");
inline constexpr const char* kExportLoopPointsLabel = TAVOLIN_TR_NOOP("Texts", "ループ情報を書き込む（ゲーム用）");
inline constexpr const char* kExportLoopPointsTip = TAVOLIN_TR_NOOP(
    "Texts", "前奏と1回分のループだけを書き出し、ゲームが読むループ位置を記録します（WAVはsmplチャンク、FLAC・Ogg・OpusはLOOPSTART/LOOPLENGTH）");

// The choice with its fields brought into range.
ExportChoice clampedChoice(ExportChoice choice) noexcept;

// The save dialog for a type: WAV keeps the button's own parameters.
output::SaveDialogRequest saveRequestFor(output::AudioFileType type);

// The stems' paths for the path the save dialog chose: the bank's letter
// before the extension ("song.wav" -> "song_A.wav"; "song" -> "song_A").
std::array<std::string, kBankCount> stemPaths(const std::string& path);

// "m:ss.mmm" of a frame count at a rate.
std::string clockText(uint64_t frames, uint32_t rateHz);

// The confirmation after a written audio file: its path and its length.
std::string exportDoneText(const std::string& path, uint64_t frames, uint32_t rateHz);
// The same after stems: every file written, one per line.
std::string stemsDoneText(const std::vector<std::string>& paths, uint64_t frames, uint32_t rateHz);
// The message after an export could not create or write its file: the file and
// the system's reason, as the document commands say it.
std::string exportFailureMessage(const output::ExportFileFailure& failure);

// The confirmation after a written MIDI file, with its warnings.
std::string midiDoneText(const std::string& path, const std::vector<std::string>& warnings);

}  // namespace tavolin::window
