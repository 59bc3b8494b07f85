// SPDX-License-Identifier: MIT
// Which stretch of the song a selection in a tab, or a drag across the roll's
// ruler, names: the one passage rule of the window (Ctrl+L, the ruler), the
// command line's carets, the language server and the page.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "compiler/UiText.h"
#include "output/Passage.h"
#include "synth/Timeline.h"

namespace tavolin::output {
class GeneratorWrapper;
struct SongMap;
}

namespace tavolin::session {

// A passage of the timeline played instead of the whole song: frames
// [from, to), repeated when `loop` is set.
struct LivePassage {
    uint64_t from = 0;
    uint64_t to = 0;
    bool loop = false;
    friend bool operator==(const LivePassage&, const LivePassage&) = default;
};

// The one recipe that puts a freshly built song where a play (or a render,
// or a swap) starts. Every front end goes through these two, so that a
// passage sounds the same wherever it is played:
//
//   setPlayMode    a passage plays the song as exported (endless loops once,
//                  so that each pass is the song's own samples, as
//                  `render --from --to` writes them); the whole song plays
//                  with Loop on or off
//   enterPassage   skipped to the passage's start (by `skip`: the live swap
//                  starts from a checkpoint), then [from, to), once or looping
//
// placeSong does both: the whole song stays where its build left it (the
// caret's note).
void setPlayMode(output::GeneratorWrapper& song, bool loop, bool passage) noexcept;
using SkipTo = std::function<void(output::GeneratorWrapper& song, uint64_t frame)>;
void enterPassage(output::GeneratorWrapper& song, const LivePassage& passage, const SkipTo& skip = {});
// Skips `song` to `frame` by `skip` when given, else by its own seek.
void skipSong(output::GeneratorWrapper& song, uint64_t frame, const SkipTo& skip = {});
void placeSong(output::GeneratorWrapper& song, bool loop, const std::optional<LivePassage>& passage,
               const SkipTo& skip = {});

// Frames [from, to) of the song's timeline (endless loops played once, as
// exported): the same song time for every bank.
struct LoopSpan {
    uint64_t from = 0;
    uint64_t to = 0;
    friend bool operator==(const LoopSpan&, const LoopSpan&) = default;
};

// What the musician picked: bytes [fromByte, toByte) of tab `tab` (0 common,
// 1..5 banks A..E; an empty selection names the character at the caret), or
// a stretch of song frames dragged across the ruler (either order).
struct LoopPick {
    int tab = 0;
    uint64_t fromByte = 0;
    uint64_t toByte = 0;
    std::optional<std::pair<double, double>> frames = std::nullopt;
};

// The stretch the picked notes occupy in one pass: from the start of the
// first note the pick touches to the end of the last, in any bank. A note
// inside a loop sounds once per pass, so the pick names one pass of them:
// the pass under `playhead` (a frame of the timeline: where the song is
// heard while it plays), otherwise the first that plays them.
//
// A pass of a bank ends with the touched record that stands last in its
// list: the walk reads a list forward and comes back only by a loop's jump,
// so within one pass of every loop around the pick it meets each touched
// record once, the last one last.
//
//   [C D E F G A B >C<]16, pick "G A B":   G A B | G A B | ... 16 passes
//   [[C D]2 E]2,           pick "D]2 E":   D D E | D D E
//
// A note touches a selection when its command, or the macro call that
// replayed it, overlaps it; the common text's notes sound in every bank.
// Rests inside the stretch belong to it, but a pick that touches no sounding
// note names nothing. A ruler drag is taken as it is, within the song.
// nullopt: nothing to loop.
std::optional<LoopSpan> loopSpanOf(const SongTimeline& timeline, const LoopPick& pick,
                                   std::optional<uint64_t> playhead = std::nullopt);

inline constexpr const char* kMsgLoopNoNote =
    TAVOLIN_TR_NOOP("Texts", "選択範囲に音符がないため、ループ再生できません");
inline constexpr const char* kMsgLoopPlaying = TAVOLIN_TR_NOOP("Texts", "ループ再生中: {from} – {to}");
// The status line shown while a passage loops ("ループ再生中: 0:01.000 – 0:03.000").
std::string loopStatusText(const LoopSpan& span, uint32_t rate);

// What became of a pick to loop (PlaySession::loopPick): the span that
// plays, or why nothing does.
struct PickedPassage {
    enum class Result { NotBuilt, NoNote, Playing };
    Result result = Result::NotBuilt;  // NotBuilt: the build's error has been shown, or the device failed
    LoopSpan span;
    uint32_t rate = 0;
};

// The passage two points name (the command line's --from and --to, the
// language server's and the page's from/to) in the song `map` describes:
// each a song time or a caret, or none (the song's start, its end). A caret
// stands where the note under or after it first sounds, so two carets around
// notes of one pass name the stretch a selection of them names, and two
// carets around a loop name all of its passes ("--from A:3 --to A:13" on
// "C [D E]3 T60 F" plays D E three times). span() is set only when the
// passage is usable: not empty, not past the song's end (the frames are given
// either way, for the message).
struct PassageBetween {
    enum class Problem { None, Empty, PastEnd };
    Problem problem = Problem::None;
    LoopSpan frames;
    uint64_t songFrames = 0;  // the song's length, for the message
    uint32_t rate = 0;
    std::optional<LoopSpan> span() const { return problem == Problem::None ? std::optional<LoopSpan>(frames) : std::nullopt; }
};
PassageBetween passageBetween(const output::SongMap& map, const std::optional<output::PassagePoint>& from,
                              const std::optional<output::PassagePoint>& to);

// Why the passage cannot be played, naming its points as the front end
// calls them ("--from" and "--to" on the command line, "from" and "to" in a
// request): "the passage is empty: --to (0:00.100) must come after --from
// (0:00.200)". Empty when it can be played.
std::string passageProblemText(const PassageBetween& passage, std::string_view fromName = "from",
                               std::string_view toName = "to");

// A point as typed ("1:23.5", "83.5", "A:120"), or why it is none:
// "--from wants a song time (1:23.5 or 83.5) or a caret TAB:OFFSET (A:120), not '1:75'".
struct TypedPoint {
    std::optional<output::PassagePoint> point;
    std::string problem;
};
TypedPoint passagePointNamed(std::string_view text, std::string_view name);

// The passage two typed points name in the song `map` describes (an empty
// text: the song's start, its end), as the command line's --from and --to
// and the page's from/to give them: the span, or why there is none.
struct NamedPassage {
    std::optional<LoopSpan> span;
    std::string problem;
};
NamedPassage passageNamed(const output::SongMap& map, std::string_view fromText, std::string_view toText,
                          std::string_view fromName = "from", std::string_view toName = "to");

}  // namespace tavolin::session
