// WAV export: build the song, ask for a path, render it to its end and write
// it behind a 44-byte header, streaming block by block into a temporary file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "output/SongBuilder.h"
#include "output/WavFile.h"

namespace tavolin::output {

// The save dialog's parameters.
struct SaveDialogRequest {
    std::string defaultExtension = "wav";   // appended to a name typed without one
    std::string initialFileName = "output.wav";
    std::string filter = "Wave File(*.wav)|*.wav||";
    bool hideReadOnly = true;
    bool overwritePrompt = true;            // confirm before replacing a file
};

// What the exporter needs of the window, on the user-interface thread.
class ExportHost : public BuildHost {
public:
    // The chosen path, or nothing when the user cancels.
    virtual std::optional<std::string> askSavePath(const SaveDialogRequest& request) = 0;
    // Called every few thousand frames with the frames rendered so far and the
    // song time they represent; false cancels the export (no file is left).
    virtual bool exportProgress(uint64_t framesDone, double secondsDone) = 0;
};

inline constexpr std::string_view kOpenFailedMessage = "出力ファイルが開けなかった";
inline constexpr std::string_view kWriteFailedMessage = "出力ファイルの書き込みに失敗しました";
inline constexpr std::string_view kTooLargeMessage = "曲が長すぎるためWAVファイルに書き出せません";

enum class ExportOutcome { Written, NotBuilt, Cancelled, OpenFailed, WriteFailed, TooLarge };

struct ExportOptions {
    OutputFileOpener openFile = openAtomicFile;  // tests inject failing files
    uint64_t maxDataBytes = kMaxWavDataBytes;     // WAV's 32-bit size limit
    uint32_t framesPerBlock = 4096;               // rendered and written at a time
};

// Renders `song` (built, SetLoop(false) and SetExportMode() are applied here)
// to `path`. Frame by frame, so the data ends at the first frame after which
// IsFinished() holds; written in blocks, so memory does not grow with the song.
ExportOutcome writeSongToWav(GeneratorWrapper& song, const WaveFormat& format, const std::string& path,
                             ExportHost& host, const ExportOptions& options = {});

// The "Wav出力" button: build, ask for the path, write. Every failure is told
// to the user through `host`.
ExportOutcome OnWavExport(const BuildInputs& inputs, ExportHost& host, const ExportOptions& options = {});

}  // namespace tavolin::output
