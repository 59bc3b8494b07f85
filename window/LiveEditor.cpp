// SPDX-License-Identifier: MIT
// The live editor model: check results applied, caret times, lit notes.
#include "window/LiveEditor.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "document/CaretMapping.h"
#include "music/DocumentFeatures.h"
#include "window/WindowLayers.h"

namespace tavolin::window {

std::string songClock(uint64_t frames, uint32_t rate) {
    const uint64_t cs = rate ? frames * 100 / rate : 0;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%" PRIu64 ":%02" PRIu64 ".%02" PRIu64, cs / 6000, cs / 100 % 60, cs % 100);
    return buf;
}

LiveEditor::LiveEditor(session::LiveCheck::Compile compile, session::LiveCheck::Clock::duration longest) : m_check(std::move(compile), longest) {}

session::LiveCheck::Compile LiveEditor::defaultCompile() {
    return [](const output::BuildInputs& inputs) { return output::buildSongMap(inputs, false); };
}

void LiveEditor::changed(const WindowSnapshot& snapshot, session::LiveCheck::Clock::time_point now) {
    m_pendingTexts = snapshot.inputs.tabTexts;
    m_pendingInputs = snapshot.inputs;
    m_pendingLoop = snapshot.loop;
    m_check.edited(m_pendingInputs, now);
}

bool LiveEditor::poll(session::LiveCheck::Clock::time_point now, std::optional<session::LiveCheck::Clock::time_point>* nextPoll) {
    const auto next = m_check.poll(now);
    if (nextPoll) *nextPoll = next;
    auto map = m_check.takeResult(now);
    if (!map || !m_pendingTexts) return false;
    // A result is only handed over for the latest edit, whose texts these are.
    m_texts = *m_pendingTexts;
    m_inputs = m_pendingInputs;
    m_loop = m_pendingLoop;
    m_map = std::move(map);
    m_error = music::placeCompileError(m_map->result, m_texts);
    m_errors.clear();
    for (const CompileResult& r : m_map->errors)
        if (auto place = music::placeCompileError(r, m_texts)) m_errors.push_back(*place);
    return true;
}

std::optional<music::ErrorPlace> LiveEditor::errorIn(int tab) const {
    for (const music::ErrorPlace& e : m_errors)
        if (e.tab == tab) return e;
    return std::nullopt;
}

std::string LiveEditor::errorText() const { return m_error && m_map ? music::errorStatusText(m_map->result, *m_error) : std::string(); }

namespace {

// Line and column of a caret (UTF-16 position) and the byte it stands at, in
// one walk (it runs per keystroke).
struct CaretWalk {
    uint64_t line = 1;
    uint64_t column = 1;
    uint64_t byte = 0;
};

CaretWalk walkToCaret(std::string_view tabBytes, size_t caretUnit) {
    CaretWalk w;
    size_t i = 0;
    for (size_t u = 0; u < caretUnit && i < tabBytes.size(); ++u) {
        const auto c = static_cast<unsigned char>(tabBytes[i]);
        if (c == '\r' || c == '\n') {
            ++w.line;
            w.column = 1;
        } else {
            ++w.column;
        }
        i += c < 0x80 && c != '\r' ? 1 : document::unitLengthAt(tabBytes, i);
    }
    w.byte = i;
    return w;
}

}  // namespace

std::string LiveEditor::caretStatus(int /*tab*/, std::string_view tabBytes, size_t caretUnit, std::optional<TimelineRef> note) const {
    const CaretWalk w = walkToCaret(tabBytes, caretUnit);
    std::string s = std::to_string(w.line) + ":" + std::to_string(w.column);
    if (m_map && m_map->ok() && m_map->index) {
        const SongTimeline& t = m_map->timeline;
        s += "  ";
        if (note && note->bank >= 0 && note->bank < kBankCount && note->note < t.banks[static_cast<size_t>(note->bank)].notes.size())
            s += songClock(t.banks[static_cast<size_t>(note->bank)].notes[note->note].start, t.sampleRate);
        else
            s += "-";
        s += " / " + songClock(t.frames, t.sampleRate);
    }
    const output::SongMap* played = litMap();
    if (m_played && played && played->ok()) {
        const SongTimeline& t = played->timeline;
        const bool wraps = m_playLoop && t.frames > 0 && !repeatsEndlessly(t);
        s += "  \u25b6 " + songClock(wraps ? *m_played % t.frames : *m_played, t.sampleRate);
    }
    return s;
}

std::string LiveEditor::caretStatus(int tab, std::string_view tabBytes, size_t caretUnit) const {
    const std::optional<TimelineRef> note = m_map ? caretNote(*m_map, tab, walkToCaret(tabBytes, caretUnit).byte) : std::nullopt;
    return caretStatus(tab, tabBytes, caretUnit, note);
}

std::optional<BankFrames> LiveEditor::playingFrames(std::optional<uint64_t> heard, bool paused) {
    const output::SongMap* map = litMap();
    if (heard) m_played = m_playStart + *heard;
    else if (!paused) m_played.reset();
    if (!m_played || !map || !map->ok()) return std::nullopt;
    return playbackFrames(map->timeline, *m_played, m_playLoop);
}

std::optional<uint64_t> LiveEditor::caretFrame(int tab, std::string_view tabBytes, size_t caretUnit) const {
    return frameAtByte(tab, document::unitToByteOffset(tabBytes, caretUnit));
}

std::optional<uint64_t> LiveEditor::frameAtByte(int tab, uint64_t byte) const {
    if (!m_map || !m_map->ok() || !m_map->index) return std::nullopt;
    const auto ref = m_map->index->noteAtOrAfter(tab - 1, byte);
    if (!ref) return std::nullopt;
    return m_map->timeline.banks[static_cast<size_t>(ref->bank)].notes[ref->note].start;
}

std::vector<EditorRange> LiveEditor::playingRanges(int tab, std::string_view tabBytes, uint64_t songFrame) const {
    BankFrames frames;
    frames.fill(songFrame);
    return playingRanges(tab, tabBytes, frames);
}

std::vector<EditorRange> LiveEditor::playingRanges(int tab, std::string_view tabBytes, const BankFrames& frames) const {
    const output::SongMap* map = litMap();
    if (!map || !map->ok()) return {};
    const SongTimeline& t = map->timeline;
    // The compile saw `old`; the editor may hold an edit since. Spans before the
    // first changed byte and after the last keep their place (shifted); a span in
    // the changed stretch is not lit.
    const document::TabTexts& compiled = m_playMap ? m_playTexts : m_texts;
    std::array<std::string_view, document::kTabCount> now;
    for (size_t i = 0; i < now.size(); ++i) now[i] = compiled[i];
    now[static_cast<size_t>(tab)] = tabBytes;
    const std::vector<music::SoundingSource> lit = music::soundingSourcesIn(t, frames, compiled, now);
    return litRanges(tab, tabBytes, lit);
}

std::vector<EditorRange> LiveEditor::litRanges(int tab, std::string_view tabBytes, const std::vector<music::SoundingSource>& lit) {
    std::vector<EditorRange> out;
    for (const music::SoundingSource& source : lit) {
        if (source.range.tab != tab || source.range.begin >= tabBytes.size()) continue;
        const EditorRange r{document::byteOffsetToUnit(tabBytes, source.range.begin), document::byteOffsetToUnit(tabBytes, source.range.end, true)};
        if (std::find(out.begin(), out.end(), r) == out.end()) out.push_back(r);
    }
    return out;
}

}  // namespace tavolin::window
