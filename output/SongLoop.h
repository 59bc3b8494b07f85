// SPDX-License-Identifier: MIT
// Where a song repeats for ever: the loop a game plays after the intro, worked
// out from the banks' endless loops before anything is rendered.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "compiler/UiText.h"
#include "synth/Timeline.h"

namespace tavolin::output {

class GeneratorWrapper;

// In output frames from the song's start.
struct SongLoop {
    uint64_t start = 0;   // the first frame of the loop
    uint64_t length = 0;  // frames after which every bank is back at the same place
    friend bool operator==(const SongLoop&, const SongLoop&) = default;
};

enum class LoopRefusal { None, NoEndlessLoop, EndedByBreak, TooLong };

struct LoopAnalysis {
    std::optional<SongLoop> loop;         // set exactly when refusal is None
    LoopRefusal refusal = LoopRefusal::NoEndlessLoop;
};

// The longest loop the analysis accepts: ten minutes of frames.
inline constexpr uint64_t kMaxLoopSeconds = 600;

// Passes of every endless loop the analysis walks to measure a pass's length.
inline constexpr int32_t kLoopMeasurePasses = 1024;

// The common length of passes given as mean frames (see analyseLoop), or
// nullopt when it would pass `maxFrames`. The timing ledger truncates a
// running total, so a pass whose exact length is not whole lasts one frame
// more now and then (at T132 a bar is 87272.7 frames: 87272, 87273, ...),
// and per-bank whole lengths would have an absurd common multiple. So the
// passes are compared as the mean frames they take: the common length is
// the shortest whole number of the longest pass that every other bank's pass
// divides to within a frame (plus what the means may be off by), rounded to
// the nearest frame. Whole pass lengths give their exact least common
// multiple; fractional ones a loop whose banks wrap at most a frame or so
// away from where the song would have them, never drifting, since the loop
// region is cut from one continuous render and repeats as it is.
std::optional<uint64_t> commonPassFrames(const std::vector<double>& meanPasses, int32_t measuredPasses, uint64_t maxFrames);

// The loop of a song from its timeline walked with `measuredPasses` passes of
// every endless loop, the end of the last one marked (markPasses the same):
//   start  = the latest frame at which a bank enters its endless loop, or a
//            bank without one ends, whichever is later (from there on every
//            bank repeats or is silent); a bank whose first pass lasts longer
//            or shorter than the later ones (a tempo set inside the loop holds
//            into the next pass) counts from the end of its first pass;
//   length = the least common multiple of the banks' pass lengths
//            (commonPassFrames).
// Refused when no bank comes round in an endless loop that takes time, when
// a break ends a bank's endless loop, or when the length would pass
// kMaxLoopSeconds at `timeline.sampleRate`.
LoopAnalysis analyseLoop(const SongTimeline& timeline, int32_t measuredPasses);

// The loop of a built song (its players' lists, its arithmetic and rate),
// with the frames its start cursor skipped taken off: a start inside the
// loop moves the loop's start to the file's first frame (any frame past the
// entry repeats with the same length).
LoopAnalysis songLoopOf(const GeneratorWrapper& song);

inline constexpr std::string_view kNoLoopMessage =
    TAVOLIN_TR_NOOP("Texts", "この曲には終わりのないループがないため、ループ情報を書き込めません");
inline constexpr std::string_view kLoopBreakMessage =
    TAVOLIN_TR_NOOP("Texts", "終わりのないループが「:」で抜けられるため、ループ情報を書き込めません");
inline constexpr std::string_view kLoopTooLongMessage =
    TAVOLIN_TR_NOOP("Texts", "全パートが揃って繰り返すまでが10分を超えるため、ループ情報を書き込めません");

// The user's message for a refusal (empty for None).
std::string_view loopRefusalMessage(LoopRefusal refusal) noexcept;

}  // namespace tavolin::output
