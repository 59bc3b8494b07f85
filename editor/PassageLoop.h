// Looping a passage of the song: which stretch of it a selection in a tab, or
// a drag across the roll's ruler, names. Toolkit-free; the window plays what
// it says and the roll shades it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "compiler/UiText.h"
#include "synth/Timeline.h"

namespace tavolin::editor {

inline constexpr const char* kMsgLoopNoNote =
    TAVOLIN_TR_NOOP("Texts", "選択範囲に音符がないため、ループ再生できません");
inline constexpr const char* kMsgLoopPlaying = TAVOLIN_TR_NOOP("Texts", "ループ再生中: {from} – {to}");

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
    std::optional<std::pair<double, double>> frames;
};

// From the start of the first note the pick touches to the end of the last
// one, in any bank and on any pass (a note inside a loop sounds once per
// pass; the common text's notes sound in every bank). A note touches a
// selection when its command, or the macro call that replayed it, overlaps
// it. Rests inside that stretch belong to it, but a pick that touches no
// sounding note names nothing. A ruler drag is taken as it is, within the
// song. nullopt: nothing to loop.
std::optional<LoopSpan> loopSpanOf(const SongTimeline& timeline, const LoopPick& pick);

// The status line shown while a passage loops ("ループ再生中: 0:01.000 – 0:03.000").
std::string loopStatusText(const LoopSpan& span, uint32_t rate);

}  // namespace tavolin::editor
