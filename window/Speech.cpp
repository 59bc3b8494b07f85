// SPDX-License-Identifier: MIT
// The spoken sentences: the caret's note and the playhead's bar.
#include "window/Speech.h"

#include <cmath>
#include <cstdio>

#include "compiler/UiText.h"
#include "document/UserTexts.h"

namespace tavolin::window {
namespace {

constexpr const char* kCaretSentence = TAVOLIN_TR_NOOP("Texts", "{tab}, 小節 {bar} 拍 {beat}, {note}");
constexpr const char* kNoNote = TAVOLIN_TR_NOOP("Texts", "{tab}, 音符なし");
constexpr const char* kNotCompiled = TAVOLIN_TR_NOOP("Texts", "{tab}, エラーのため位置がわかりません");
constexpr const char* kCommonTab = TAVOLIN_TR_NOOP("Texts", "共通");
constexpr const char* kPlayhead = TAVOLIN_TR_NOOP("Texts", "再生中 小節 {bar} 拍 {beat}");
constexpr const char* kNotPlaying = TAVOLIN_TR_NOOP("Texts", "再生していません");
constexpr const char* kOctave = TAVOLIN_TR_NOOP("Texts", "{note}, オクターブ {octave}");
constexpr const char* kFrequency = TAVOLIN_TR_NOOP("Texts", "{hz} Hz の音");

// C to B; a sharp is the name with kSharp.
constexpr const char* kNames[7] = {TAVOLIN_TR_NOOP("Texts", "ド"), TAVOLIN_TR_NOOP("Texts", "レ"),
                                   TAVOLIN_TR_NOOP("Texts", "ミ"), TAVOLIN_TR_NOOP("Texts", "ファ"),
                                   TAVOLIN_TR_NOOP("Texts", "ソ"), TAVOLIN_TR_NOOP("Texts", "ラ"),
                                   TAVOLIN_TR_NOOP("Texts", "シ")};
constexpr const char* kSharp = TAVOLIN_TR_NOOP("Texts", "{name}♯");
// Semitone → (name, sharp).
constexpr std::pair<int, bool> kSemitones[12] = {{0, false}, {0, true}, {1, false}, {1, true}, {2, false}, {3, false},
                                                 {3, true},  {4, false}, {4, true}, {5, false}, {5, true}, {6, false}};

// Lengths by the note value they are written with (units of 1/256 whole note).
struct LengthName {
    int units;
    const char* name;
};
constexpr LengthName kLengths[] = {
    {256, TAVOLIN_TR_NOOP("Texts", "全")},      {128, TAVOLIN_TR_NOOP("Texts", "2分")},
    {64, TAVOLIN_TR_NOOP("Texts", "4分")},      {32, TAVOLIN_TR_NOOP("Texts", "8分")},
    {16, TAVOLIN_TR_NOOP("Texts", "16分")},     {8, TAVOLIN_TR_NOOP("Texts", "32分")},
    {4, TAVOLIN_TR_NOOP("Texts", "64分")},
};
// The forms a note value takes: its own length, dotted, double-dotted, a third of two (triplet).
struct LengthForm {
    double factor;
    const char* note;
    const char* rest;
};
constexpr LengthForm kForms[] = {
    {1.0, TAVOLIN_TR_NOOP("Texts", "{length}音符"), TAVOLIN_TR_NOOP("Texts", "{length}休符")},
    {1.5, TAVOLIN_TR_NOOP("Texts", "付点{length}音符"), TAVOLIN_TR_NOOP("Texts", "付点{length}休符")},
    {1.75, TAVOLIN_TR_NOOP("Texts", "複付点{length}音符"), TAVOLIN_TR_NOOP("Texts", "複付点{length}休符")},
    {2.0 / 3.0, TAVOLIN_TR_NOOP("Texts", "3連{length}音符"), TAVOLIN_TR_NOOP("Texts", "3連{length}休符")},
};
constexpr const char* kOtherNote = TAVOLIN_TR_NOOP("Texts", "長さ {units}/256 の音符");
constexpr const char* kOtherRest = TAVOLIN_TR_NOOP("Texts", "長さ {units}/256 の休符");

std::string fill(const char* pattern, std::initializer_list<std::pair<const char*, std::string>> values) {
    std::string out = uiText(pattern);
    for (const auto& [key, value] : values) out = document::fillIn(out, key, value);
    return out;
}

std::string number(double v) {
    char out[32];
    std::snprintf(out, sizeof out, "%.2f", v);
    std::string s(out);
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}

std::string lengthSpeech(double units, bool rest) {
    for (const LengthForm& form : kForms)
        for (const LengthName& length : kLengths)
            if (std::abs(units - length.units * form.factor) < 1e-6)
                return fill(rest ? form.rest : form.note, {{"length", uiText(length.name)}});
    return fill(rest ? kOtherRest : kOtherNote, {{"units", number(units)}});
}

std::string tabName(int tab) { return tab <= 0 ? uiText(kCommonTab) : std::string(1, static_cast<char>('A' + tab - 1)); }

}  // namespace

BarBeat barBeatAt(double units) noexcept {
    // A tuplet's running total can fall a hair short of the beat it ends on.
    const double whole = std::floor(units / 256 + 1e-9);
    const double within = std::max(0.0, units - whole * 256);
    return {static_cast<int>(whole) + 1, static_cast<int>(std::floor(within / 64 + 1e-9)) + 1};
}

std::string noteSpeech(const TimelineNote& note) {
    const bool rest = note.frequency <= 0;
    const std::string length = lengthSpeech(note.units, rest);
    if (rest) return length;
    std::string pitch;
    if (note.noteIndex >= 0) {
        const auto [name, sharp] = kSemitones[note.noteIndex % 12];
        pitch = sharp ? fill(kSharp, {{"name", uiText(kNames[name])}}) : uiText(kNames[name]);
        return fill(kOctave, {{"note", pitch + " " + length}, {"octave", std::to_string(note.noteIndex / 12)}});
    }
    return fill(kFrequency, {{"hz", number(note.frequency)}}) + " " + length;
}

std::string caretSpeech(const output::SongMap* map, int tab, std::optional<TimelineRef> note) {
    if (!map || !map->ok()) return fill(kNotCompiled, {{"tab", tabName(tab)}});
    if (!note || note->bank < 0 || note->bank >= kBankCount) return fill(kNoNote, {{"tab", tabName(tab)}});
    const auto& notes = map->timeline.banks[static_cast<size_t>(note->bank)].notes;
    if (note->note >= notes.size()) return fill(kNoNote, {{"tab", tabName(tab)}});
    const TimelineNote& n = notes[note->note];
    const BarBeat at = barBeatAt(n.unitStart);
    return fill(kCaretSentence, {{"tab", tabName(note->bank + 1)},
                                 {"bar", std::to_string(at.bar)},
                                 {"beat", std::to_string(at.beat)},
                                 {"note", noteSpeech(n)}});
}

std::string playheadSpeech(const SongTimeline* timeline, const std::optional<BankFrames>& frames) {
    if (!timeline || !frames) return uiText(kNotPlaying);
    const auto sounding = notesSoundingAt(*timeline, *frames);
    for (size_t b = 0; b < sounding.size(); ++b) {
        if (!sounding[b] || !(*frames)[b]) continue;
        const TimelineNote& n = timeline->banks[b].notes[*sounding[b]];
        // Where inside the note the bank stands, in the note's own units.
        const double into = n.frames ? n.units * static_cast<double>(*(*frames)[b] - n.start) / n.frames : 0;
        const BarBeat at = barBeatAt(n.unitStart + into);
        return fill(kPlayhead, {{"bar", std::to_string(at.bar)}, {"beat", std::to_string(at.beat)}});
    }
    return uiText(kNotPlaying);
}

}  // namespace tavolin::window
