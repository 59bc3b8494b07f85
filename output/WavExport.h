// SPDX-License-Identifier: MIT
// Audio export: build the song, ask for a path, render it to its end (endless
// loops played a chosen number of times, optionally fading out) and write it,
// block by block into a temporary file: WAV behind a 44-byte header, or FLAC,
// Ogg Vorbis or Opus through libsndfile.
#pragma once

#include <cstdint>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/UiText.h"
#include "output/AudioFile.h"
#include "output/SongBuilder.h"
#include "output/SongLoop.h"
#include "synth/Timeline.h"
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

// A file an export could not create, or created but could not write or move
// into place, with the system's reason; the host words it for the user.
struct ExportFileFailure {
    bool opening = true;  // true: not created; false: writing or moving it failed
    std::string path;     // as the user chose it
    int systemCode = 0;   // errno; 0 when the system gave none
    bool operator==(const ExportFileFailure&) const = default;
};

// What the exporter needs of the window, on the user-interface thread.
class ExportHost : public BuildHost {
public:
    // Tells the user that a file could not be created or written; nothing was
    // left at its path.
    virtual void exportFileFailed(const ExportFileFailure& failure) = 0;
    // The chosen path, or nothing when the user cancels.
    virtual std::optional<std::string> askSavePath(const SaveDialogRequest& request) = 0;
    // Called every few thousand frames with the frames rendered so far and the
    // song time they represent; false cancels the export (no file is left).
    virtual bool exportProgress(uint64_t framesDone, double secondsDone) = 0;
    // Non-fatal remarks of an export (the MIDI tempo map), UTF-8.
    virtual void exportWarning(const std::string& utf8Text) { (void)utf8Text; }
};

inline constexpr std::string_view kTooLargeMessage = TAVOLIN_TR_NOOP("Texts", "曲が長すぎるためWAVファイルに書き出せません");
inline constexpr std::string_view kTooLargeForTypeMessage = TAVOLIN_TR_NOOP("Texts", "曲が長すぎるためこの形式では書き出せません");
inline constexpr std::string_view kOpusRateMessage =
    TAVOLIN_TR_NOOP("Texts", "Opusで書き出せるサンプリングレートは8000, 12000, 16000, 24000, 48000 Hzだけです");

enum class ExportOutcome { Written, NotBuilt, Cancelled, OpenFailed, WriteFailed, TooLarge, BadRate, NoLoop };

// An export for a game: the intro and exactly one loop region, the loop
// marked in the file (WAV `smpl` chunk, FLAC/Ogg/Opus LOOPSTART and
// LOOPLENGTH comments), or written as two files.
//
// The loop region is the song's second pass of its loop, rendered on from
// the first: frames [start + length, start + 2 * length) of the song playing
// its endless loops on. Its first frames carry the tails of the loop's own
// end, so the wrap from its end back to its start is what the song plays at
// every later pass boundary. Only where the intro's last notes still ring
// into the loop's start does the first pass after the intro differ from the
// song (it carries the loop's tails instead of the intro's); every later
// pass is the song's own:
//
//   file:  [intro 0..start) [loop region = song frames start+len..start+2len)
//   song:  [intro] [pass 1] [pass 2] [pass 3] ...
//                    ^ differs only by the tail ringing in from the intro
struct LoopExport {
    SongLoop loop;       // in the file's frames (songLoopOf)
    bool split = false;  // two files instead: splitLoopPaths(path)
};

// NAME_intro.EXT and NAME_loop.EXT beside NAME.EXT.
std::pair<std::string, std::string> splitLoopPaths(const std::string& path);

struct ExportOptions {
    OutputFileOpener openFile = openAtomicFile;  // tests inject failing files (nullptr with errno set)
    uint64_t maxDataBytes = 0;                    // 0: the file type's own limit; tests set less
    uint32_t framesPerBlock = 4096;               // rendered and written at a time
    int32_t loops = 1;                            // passes of every endless loop (at least 1)
    double fadeSeconds = 0;                       // fade-out length; 0: none
    std::optional<AudioFileType> type;            // nullopt: by the path's extension
    std::optional<LoopExport> loopPoints;         // the intro and one marked loop (loops and fade unused)
};

// The passes an export with a fade gives every endless loop: the song goes on
// looping while it fades and is cut where the fade ends.
inline constexpr int32_t kFadeLoopPasses = 1 << 30;

// The timeline of a built song, from its players' lists, in its arithmetic
// and at its rate: every endless loop played `passes` times, the end of the
// `markPasses`-th pass marked (see TimelineOptions).
SongTimeline timelineOf(const GeneratorWrapper& song, int32_t passes = 1, int32_t markPasses = 0);
// The same with lengths and marks only (no note kept), so its bounds can be
// far wider than a listing's.
SongTimeline lengthOf(const GeneratorWrapper& song, int32_t passes, int32_t markPasses);

// What an export will write, worked out from the song's timeline before
// anything is rendered or created.
struct ExportPlan {
    uint64_t frames = 0;      // the file's length
    bool lengthKnown = true;  // false: the timeline was cut at its bounds; the song is at least `frames` long
    uint64_t fadeStart = 0;   // first frame of the fade
    uint64_t fadeFrames = 0;  // 0: no fade
    int32_t renderPasses = 1; // SetExportMode's pass count
};

// The plan for `song` (as built, before rendering). With a fade and an
// endless loop, the song plays through the `loops`-th pass of its endless
// loops (the latest bank's) and goes on looping for the fade; without one,
// the fade covers the song's last seconds.
ExportPlan planExport(const GeneratorWrapper& song, int32_t loops, double fadeSeconds);

// The gain of a fade applied to one sample: linear from 1 at `fadeStart` to
// 0 at fadeStart + fadeFrames, in integers so that every arithmetic type's
// render fades the same way.
int16_t fadeSample(int16_t sample, uint64_t frame, uint64_t fadeStart, uint64_t fadeFrames) noexcept;

// Renders `song` (built; SetLoop(false) and SetExportMode(passes) are applied
// here) to `path`. Refuses a song too long for the file type, or a rate the
// type cannot take, before any file is created. Frame by frame near the end,
// so the data ends at the first frame after which IsFinished() holds (or
// where the fade ends); written in blocks, so memory does not grow with the song.
ExportOutcome writeSongToFile(GeneratorWrapper& song, const WaveFormat& format, const std::string& path,
                              ExportHost& host, const ExportOptions& options = {});
// The stems: one file per bank that sounds and is audible (mute and solo
// pick them), at paths[bank], all as long as the mix, rendered in one pass
// with every bank running, so that the stems summed with the mixer's
// saturation are the mix. The type is options.type or the first path's
// extension. `written`, when given, receives the banks written, in order.
// Nothing sounding: Written with no file.
ExportOutcome writeStems(GeneratorWrapper& song, const WaveFormat& format, const std::array<std::string, kBankCount>& paths,
                         ExportHost& host, const ExportOptions& options = {}, std::vector<int>* written = nullptr);
// The same, always a WAV file.
ExportOutcome writeSongToWav(GeneratorWrapper& song, const WaveFormat& format, const std::string& path,
                             ExportHost& host, const ExportOptions& options = {});

// The same with loop points: the song's loop (songLoopOf) marked in the file,
// or written as intro and loop files. A song without a loop is told so
// (NoLoop) before any file is created.
ExportOutcome writeSongWithLoop(GeneratorWrapper& song, const WaveFormat& format, const std::string& path,
                                ExportHost& host, bool split, const ExportOptions& options = {});

// The "Wav出力" button: build, ask for the path, write. Every failure is told
// to the user through `host`.
ExportOutcome OnWavExport(const BuildInputs& inputs, ExportHost& host, const ExportOptions& options = {});

}  // namespace tavolin::output
