// SPDX-License-Identifier: MIT
// What an outside editor asks of a document, answered on tab texts and byte offsets: the
// compile's errors, and (below) macros, outline and colour ranges. No protocol here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/DocumentFormat.h"
#include "music/MmlClasses.h"
#include "music/Transpose.h"
#include "output/SongMap.h"

namespace tavolin::music {

// A stretch of one tab: bytes [begin, end) of tab `tab` (0 common, 1..5 A..E).
struct TabRange {
    int tab = 0;
    uint32_t begin = 0;
    uint32_t end = 0;
    friend bool operator==(const TabRange&, const TabRange&) = default;
};

// One compile error as a problem of the text: the command it names, the
// code ("0x80000014") and the message in the display language. An error in
// the internal code (no tab of the document) lies at the start of tab 0.
struct CompileProblem {
    TabRange range;
    std::string code;
    std::string message;
    friend bool operator==(const CompileProblem&, const CompileProblem&) = default;
};

// Every failing bank's first error of `map`, compiled from `tabs`.
std::vector<CompileProblem> compileProblems(const output::SongMap& map, const document::TabTexts& tabs);

// What a note under the caret is, as Markdown lines in the display language:
// its name with octave and frequency (or "rest") and its bank, when it first
// sounds (m:ss.mmm) and in how many passes, its length in frames and in
// 1/256 of a whole note. `ref` names a note of `timeline`.
std::string noteHoverText(const SongTimeline& timeline, TimelineRef ref);

// The stretch of text under `at` that produced note `ref` (its command, or
// the macro call that replayed it); nullopt when neither holds `at`.
std::optional<TabRange> noteSourceAt(const SongTimeline& timeline, TimelineRef ref, int tab, uint32_t offset);

// At the start of each line of a bank, where its first note sounds: the
// song time (m:ss.mmm) and the bar (4/4, counted from 1): "0:12.345 |17".
// Lines that produce no note get none.
struct LineHint {
    TabRange at;  // empty range at the line's first byte
    std::string label;
    friend bool operator==(const LineHint&, const LineHint&) = default;
};
std::vector<LineHint> lineStartHints(const SongTimeline& timeline, const TimelineIndex& index, const document::TabTexts& tabs);

// What may be typed at a place: after "!" the macros recorded where the
// place can see them, after "@E" the envelopes defined (@ED), after "@" the
// tones defined (@W) and the @ commands, elsewhere every command. Commands
// come as snippets with their fields ("W${1:n}:${2:wave}:${3:duty}"); the
// text already typed ("!", "@", "@E") is not repeated. None in a comment.
struct Completion {
    enum class Kind { Command, Macro, Tone, Envelope };
    Kind kind = Kind::Command;
    std::string label;   // as shown: "@W", "!A", "@3", "@E1"
    std::string insert;  // snippet for commands, plain text otherwise
    friend bool operator==(const Completion&, const Completion&) = default;
};
std::vector<Completion> completionsAt(const document::TabTexts& tabs, int tab, uint32_t offset);

// A command's snippet as the text an editor without snippets inserts: each field
// its default ("T${1:120}" -> "T120"), with the first field selected so that
// typing replaces it, or the caret where $0 stands when there is no field.
struct ExpandedSnippet {
    std::string text;
    uint32_t selectBegin = 0;  // bytes of text
    uint32_t selectEnd = 0;
    friend bool operator==(const ExpandedSnippet&, const ExpandedSnippet&) = default;
};
ExpandedSnippet expandSnippet(std::string_view snippet);

// Rests that fill the bar (4/4) after note `ref` to its end, written after
// the note's command in tab `tab`: "R4R8". nullopt when the note ends on a
// bar line, sounds more than once (a loop's passes end in different
// places), or was not written in that tab.
std::optional<std::pair<uint32_t, std::string>> restsToBarEnd(const SongTimeline& timeline, TimelineRef ref, int tab);

// The notes written in tab `tab` (0 common, 1..5 A..E) as `map`'s compile
// played them: each command's first sounding (a note of the common text, the
// earliest bank's). `map` must outlive the answer.
NoteTimeAt writtenNoteTimes(const output::SongMap& map, int tab);

// The text of each note sounding at `frames` (a rest counts): its command
// and, for a macro replay, its call, with its bank (0..4). A stretch two
// banks play (the common text) is listed once, for the lower bank.
struct SoundingSource {
    int bank = 0;
    TabRange range;  // tab 0 common, 1..5 A..E
    friend bool operator==(const SoundingSource&, const SoundingSource&) = default;
};
std::vector<SoundingSource> soundingSources(const SongTimeline& timeline, const BankFrames& frames);

// Where a stretch of the text `before` lies in `after` when one stretch
// between them changed: before the change where it was, after it moved by
// the change in length, in it (or reaching into it) nowhere.
class TextShift {
public:
    TextShift(std::string_view before, std::string_view after);
    std::optional<uint64_t> place(uint64_t offset, uint64_t length) const;
    // The changed stretch: where it starts, the bytes it held and holds.
    uint64_t position() const noexcept { return m_prefix; }
    uint64_t removed() const noexcept { return m_before - m_prefix - m_suffix; }
    uint64_t inserted() const noexcept { return m_after - m_prefix - m_suffix; }

private:
    size_t m_prefix = 0;
    size_t m_suffix = 0;
    size_t m_before = 0;
    size_t m_after = 0;
};

// soundingSources placed in the texts as they stand now: each moved from
// `compiled` (the texts the song was compiled from) into `now`, tab by tab
// (TextShift); one in a stretch edited since, or past its text's end, is
// left out.
std::vector<SoundingSource> soundingSourcesIn(const SongTimeline& timeline, const BankFrames& frames,
                                              const document::TabTexts& compiled,
                                              const std::array<std::string_view, document::kTabCount>& now);

// The colour classes of every tab, as the compile reads them: a bank goes on
// from what the common text leaves open (a comment, a recording). Calls
// `fn(tab, range)` tab by tab, ranges in order.
template <typename Fn>
void forEachClassRange(const document::TabTexts& tabs, Fn&& fn) {
    MmlClassState common;
    for (int tab = 0; tab < document::kTabCount; ++tab) {
        MmlClassState state = tab == 0 ? MmlClassState{} : common;
        for (const MmlClassRange& r : classifyMml(tabs[static_cast<size_t>(tab)], state)) fn(tab, r);
        if (tab == 0) common = state;
    }
}

// The coloured stretches of every tab (white space and refused bytes left
// out), cut at line breaks so that no piece spans two lines.
struct ClassPiece {
    TabRange range;
    MmlClass cls = MmlClass::Plain;
    friend bool operator==(const ClassPiece&, const ClassPiece&) = default;
};
std::vector<ClassPiece> classPieces(const document::TabTexts& tabs);

// A macro mark: "@!A" starts recording A, "!A" calls it, "!" ends a recording.
enum class MacroMarkKind { Record, Call, End };
struct MacroMark {
    MacroMarkKind kind = MacroMarkKind::Call;
    char letter = 0;  // 0 for End and for a mark without its letter
    TabRange range;   // the whole mark
    TabRange name;    // the letter (empty when there is none)
    friend bool operator==(const MacroMark&, const MacroMark&) = default;
};

// Every macro mark of the document, tab by tab in text order.
std::vector<MacroMark> macroMarks(const document::TabTexts& tabs);

// The mark with a letter under (or just after) `offset` of `tab`.
std::optional<MacroMark> macroMarkAt(const std::vector<MacroMark>& marks, int tab, uint32_t offset);

// The recording a call replays: the last recording of its letter before it
// in the text the compile reads (the common text, then the call's bank).
std::optional<MacroMark> macroDefinition(const std::vector<MacroMark>& marks, const MacroMark& call);

// Recordings and calls of `letter` that can see each other from `tab`: the
// common text with every bank for a mark in the common text, the common
// text with that bank for a mark in a bank.
std::vector<MacroMark> macroOccurrences(const std::vector<MacroMark>& marks, char letter, int tab);

// The outline: the common text and each bank, and in each its macro
// recordings (to their closing ! or the tab's end) and tone and envelope
// definitions (@W, @ED).
enum class OutlineKind { Tab, Macro, Tone, Envelope };
struct OutlineItem {
    OutlineKind kind = OutlineKind::Tab;
    std::string name;  // "共通" (display language), "A".."E", "@!A", "@W3", "@ED1"
    TabRange range;
    std::vector<OutlineItem> children;
    friend bool operator==(const OutlineItem&, const OutlineItem&) = default;
};
std::vector<OutlineItem> documentOutline(const document::TabTexts& tabs);

}  // namespace tavolin::music
