// SPDX-License-Identifier: MIT
// Colour classes of MML text: which bytes are notes, lengths, settings, structure or comments.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tavolin::music {

// What a stretch of text is, for colouring. A view maps each class to a style.
enum class MmlClass : uint8_t {
    Plain,    // white space
    Note,     // C D E F G A B R with accidentals, N and X with their pitch
    Length,   // a note's length number and dots
    Octave,   // O, <, >, and the default length L with its number and dots
    Setting,  // T, V, P with their numbers
    Sound,    // @ commands: tone select and definition, envelopes, LFOs, portamento
    Loop,     // [, :, ] and its count
    Tuplet,   // { and }
    Macro,    // @!X recording start, !X call, ! recording end
    Slur,     // &
    Comment,  // *...*, Japanese included
    Unknown,  // bytes the compiler refuses (lower case, tabs, stray digits...)
    Count
};
inline constexpr int kMmlClassCount = static_cast<int>(MmlClass::Count);
static_assert(kMmlClassCount == 12);

struct MmlClassRange {
    uint32_t begin;
    uint32_t length;
    MmlClass cls;
    friend bool operator==(const MmlClassRange&, const MmlClassRange&) = default;
};

// What a piece of text leaves open for the next one: a comment without its
// closing *, a macro being recorded (its closing ! is a Macro mark). Lets a
// view classify line by line. `toInt`/`fromInt` carry it through an int.
struct MmlClassState {
    bool inComment = false;
    bool recording = false;
    int toInt() const noexcept { return (inComment ? 1 : 0) | (recording ? 2 : 0); }
    static MmlClassState fromInt(int v) noexcept { return v < 0 ? MmlClassState{} : MmlClassState{(v & 1) != 0, (v & 2) != 0}; }
    friend bool operator==(const MmlClassState&, const MmlClassState&) = default;
};

// Classifies `text` from `state` on and leaves in `state` what stays open at
// its end. Every byte falls in exactly one range; ranges are in order. The
// text is either stored CP932 bytes (a trail byte is never read as a command)
// or the editor's characters one byte each, every non-ASCII character as the
// byte 0x80, so that offsets are character positions. Non-ASCII text is
// comment text inside a comment and Unknown elsewhere. Only colours: the text
// is never changed.
std::vector<MmlClassRange> classifyMml(std::string_view text, MmlClassState& state);

// One letter per class (" nlos@[{!&*?"), for tests and debug output.
char mmlClassLetter(MmlClass cls) noexcept;

}  // namespace tavolin::music
