// SPDX-License-Identifier: MIT
// Compile errors as ranges of tab text.
#include "music/DocumentFeatures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "compiler/ErrorTable.h"
#include "compiler/UiText.h"
#include "document/CaretMapping.h"
#include "music/ErrorPlace.h"
#include "music/Transpose.h"
#include "document/UserTexts.h"
#include "output/Passage.h"

namespace tavolin::music {

std::vector<CompileProblem> compileProblems(const output::SongMap& map, const document::TabTexts& tabs) {
    std::vector<CompileProblem> out;
    for (const CompileResult& r : map.errors.empty() && map.result.code != 0 ? std::vector<CompileResult>{map.result} : map.errors) {
        const std::optional<ErrorPlace> place = placeCompileError(r, tabs);
        if (!place) continue;
        CompileProblem p;
        if (place->tab >= 0) {
            // The window underlines editor units; the same command in bytes.
            const std::string_view bytes = tabs[static_cast<size_t>(place->tab)];
            p.range = {place->tab, static_cast<uint32_t>(document::unitToByteOffset(bytes, place->underlineStart)),
                       static_cast<uint32_t>(document::unitToByteOffset(bytes, place->underlineEnd))};
        }
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(r.code));
        p.code = code;
        p.message = uiText(errorMessage(r.code));
        if (p.message.empty()) p.message = p.code;  // a code the table has no text for
        out.push_back(std::move(p));
    }
    return out;
}

}  // namespace tavolin::music

namespace tavolin::music {
namespace {

bool holds(const TabRange& r, int tab, uint32_t offset) { return r.tab == tab && r.begin <= offset && offset <= r.end; }
bool before(const TabRange& a, const TabRange& b) { return a.tab < b.tab || (a.tab == b.tab && a.begin < b.begin); }

}  // namespace

namespace {

std::string fixed(double value, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::string out = buf;
    if (out.find('.') != std::string::npos) {
        while (out.back() == '0') out.pop_back();
        if (out.back() == '.') out.pop_back();
    }
    return out;
}

}  // namespace

std::string noteHoverText(const SongTimeline& timeline, TimelineRef ref) {
    const BankTimeline& bank = timeline.banks[static_cast<size_t>(ref.bank)];
    const TimelineNote& note = bank.notes[ref.note];
    static constexpr const char* kNames[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    std::string name;
    if (note.frequency == 0) name = uiText(TAVOLIN_TR_NOOP("Texts", "休符"));
    else if (note.noteIndex >= 0) name = std::string(kNames[note.noteIndex % 12]) + std::to_string(note.noteIndex / 12);
    std::string head = name.empty() ? std::string() : "**" + name + "** ";
    if (note.frequency != 0) head += fixed(note.frequency, 2) + " Hz ";
    const std::string bankName = document::fillIn(uiText(TAVOLIN_TR_NOOP("Texts", "バンク {bank}")), "bank", std::string(1, static_cast<char>('A' + ref.bank)));
    // Every time the same command (through the same call) sounds.
    const auto passes = std::count_if(bank.notes.begin(), bank.notes.end(), [&](const TimelineNote& n) { return n.source == note.source; });
    const std::string time = output::songTimeText(note.start, timeline.sampleRate);
    const std::string when = passes > 1
        ? document::fillIn(document::fillIn(uiText(TAVOLIN_TR_NOOP("Texts", "{time} に鳴ります（{passes} 回のうち 1 回目）")), "time", time), "passes", std::to_string(passes))
        : document::fillIn(uiText(TAVOLIN_TR_NOOP("Texts", "{time} に鳴ります")), "time", time);
    const std::string length = document::fillIn(document::fillIn(uiText(TAVOLIN_TR_NOOP("Texts", "長さ {frames} フレーム、全音符の {units}/256")), "frames",
                                             std::to_string(note.frames)), "units", fixed(note.units, 2));
    return head + "(" + bankName + ")\n\n" + when + "\n\n" + length;
}

std::optional<TabRange> noteSourceAt(const SongTimeline& timeline, TimelineRef ref, int tab, uint32_t offset) {
    const TimelineNote& note = timeline.banks[static_cast<size_t>(ref.bank)].notes[ref.note];
    for (const TextSpan span : {note.source.call, note.source.command}) {
        if (!span.valid()) continue;
        const TabSpan where = timeline.tabSpan(span, ref.bank);
        if (where.tab + 1 != tab || offset < where.offset || offset > where.offset + where.length) continue;
        return TabRange{tab, static_cast<uint32_t>(where.offset), static_cast<uint32_t>(where.offset + where.length)};
    }
    return std::nullopt;
}

std::optional<std::pair<uint32_t, std::string>> restsToBarEnd(const SongTimeline& timeline, TimelineRef ref, int tab) {
    const BankTimeline& bank = timeline.banks[static_cast<size_t>(ref.bank)];
    const TimelineNote& note = bank.notes[ref.note];
    if (std::count_if(bank.notes.begin(), bank.notes.end(), [&](const TimelineNote& n) { return n.source == note.source; }) != 1)
        return std::nullopt;
    if (!note.source.command.valid() || note.source.call.valid()) return std::nullopt;
    const TabSpan where = timeline.tabSpan(note.source.command, ref.bank);
    if (where.tab + 1 != tab) return std::nullopt;
    const double end = note.unitStart + note.units;
    const std::string rests = restsFor(256.0 * std::ceil(end / 256.0 - 1e-9) - end);
    if (rests.empty()) return std::nullopt;
    return std::make_pair(static_cast<uint32_t>(where.offset + where.length), rests);
}

NoteTimeAt writtenNoteTimes(const output::SongMap& map, int tab) {
    return [&map, tab](uint32_t begin) -> std::optional<NoteTime> {
        if (!map.ok() || !map.index) return std::nullopt;
        const auto ref = map.index->noteAt(tab - 1, begin);
        if (!ref) return std::nullopt;
        const TimelineNote& note = map.timeline.banks[static_cast<size_t>(ref->bank)].notes[ref->note];
        // A call replays notes written elsewhere: only a note's own command counts.
        const TabSpan where = map.timeline.tabSpan(note.source.command, ref->bank);
        if (!note.source.command.valid() || where.tab + 1 != tab || where.offset != begin) return std::nullopt;
        return NoteTime{note.unitStart, note.units};
    };
}

std::vector<SoundingSource> soundingSources(const SongTimeline& timeline, const BankFrames& frames) {
    std::vector<SoundingSource> out;
    const auto sounding = notesSoundingAt(timeline, frames);
    for (int b = 0; b < kBankCount; ++b) {
        const auto& i = sounding[static_cast<size_t>(b)];
        if (!i) continue;
        const TimelineNote& n = timeline.banks[static_cast<size_t>(b)].notes[*i];
        for (const TextSpan span : {n.source.command, n.source.call}) {
            if (!span.valid()) continue;
            const TabSpan at = timeline.tabSpan(span, b);
            if (at.tab < -1) continue;  // the internal code has no text to light
            const TabRange r{at.tab + 1, static_cast<uint32_t>(at.offset), static_cast<uint32_t>(at.offset + at.length)};
            if (std::none_of(out.begin(), out.end(), [&](const SoundingSource& s) { return s.range == r; })) out.push_back({b, r});
        }
    }
    return out;
}

TextShift::TextShift(std::string_view before, std::string_view after) : m_before(before.size()), m_after(after.size()) {
    const size_t shorter = std::min(before.size(), after.size());
    while (m_prefix < shorter && before[m_prefix] == after[m_prefix]) ++m_prefix;
    while (m_suffix < shorter - m_prefix && before[before.size() - 1 - m_suffix] == after[after.size() - 1 - m_suffix]) ++m_suffix;
}

std::optional<uint64_t> TextShift::place(uint64_t offset, uint64_t length) const {
    if (offset + length <= m_prefix) return offset;
    if (offset >= m_before - m_suffix) return offset + m_after - m_before;
    return std::nullopt;
}

std::vector<LineHint> lineStartHints(const SongTimeline& timeline, const TimelineIndex& index, const document::TabTexts& tabs) {
    std::vector<LineHint> out;
    for (int bank = 0; bank < kBankCount; ++bank) {
        const int tab = bank + 1;
        const std::string_view text = tabs[static_cast<size_t>(tab)];
        for (size_t start = 0; start <= text.size();) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            if (const auto ref = index.noteAtOrAfter(bank, start)) {
                const TimelineNote& note = timeline.banks[static_cast<size_t>(bank)].notes[ref->note];
                // Only a note written on this line (or replayed by a call on it).
                bool onLine = false;
                for (const TextSpan span : {note.source.call, note.source.command}) {
                    if (!span.valid()) continue;
                    const TabSpan where = timeline.tabSpan(span, bank);
                    onLine = onLine || (where.tab == bank && where.offset >= start && where.offset < end);
                }
                if (onLine) {
                    const auto bar = static_cast<uint64_t>(note.unitStart / 256.0) + 1;
                    out.push_back({{tab, static_cast<uint32_t>(start), static_cast<uint32_t>(start)},
                                   output::songTimeText(note.start, timeline.sampleRate) + " |" + std::to_string(bar)});
                }
            }
            start = end + 1;
        }
    }
    return out;
}

std::vector<Completion> completionsAt(const document::TabTexts& tabs, int tab, uint32_t offset) {
    using Kind = Completion::Kind;
    std::vector<Completion> out;
    const std::string_view text = tabs[static_cast<size_t>(std::clamp(tab, 0, document::kTabCount - 1))];
    offset = std::min<uint32_t>(offset, static_cast<uint32_t>(text.size()));
    // Nothing inside a comment: the byte before the place is comment text.
    bool inComment = false;
    forEachClassRange(tabs, [&](int t, const MmlClassRange& r) {
        if (t == tab && r.cls == MmlClass::Comment && r.begin < offset && offset <= r.begin + r.length) {
            const bool closed = r.length >= 2 && text[r.begin + r.length - 1] == '*';
            inComment = !(closed && offset == r.begin + r.length);
        }
    });
    if (inComment) return out;
    const std::string_view before = text.substr(0, offset);
    auto visible = [&](int t) { return t == tab || t == 0 || tab == 0; };
    auto addUnique = [&](Completion c) {
        if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(std::move(c));
    };
    if (before.ends_with("!") && !before.ends_with("@!")) {
        for (const MacroMark& m : macroMarks(tabs))
            if (m.kind == MacroMarkKind::Record && m.letter && visible(m.range.tab))
                addUnique({Kind::Macro, std::string("!") + m.letter, std::string(1, m.letter)});
        return out;
    }
    const bool afterE = before.ends_with("@E");
    if (afterE || before.ends_with("@")) {
        for (const OutlineItem& t : documentOutline(tabs)) {
            if (!visible(t.range.tab)) continue;
            for (const OutlineItem& d : t.children) {
                const bool envelope = d.kind == OutlineKind::Envelope;
                if (afterE ? !envelope : d.kind != OutlineKind::Tone) continue;
                const std::string number = d.name.substr(envelope ? 3 : 2);
                if (!number.empty()) addUnique({envelope ? Kind::Envelope : Kind::Tone, (envelope ? "@E" : "@") + number, number});
            }
        }
        if (afterE) return out;
    }
    static const std::pair<const char*, const char*> kCommands[] = {
        {"@W", "@W${1:n}:${2:wave}:${3:duty}"},
        {"@ED", "@ED${1:n}:${2:attackMs}:${3:decayMs}:${4:releaseMs}:${5:attackLevel}:${6:sustainLevel}"},
        {"@E", "@E${1:n}"},
        {"@LT", "@LT${1:time}:${2:periodMs}:${3:depth}"},
        {"@LV", "@LV${1:time}:${2:periodMs}:${3:depth}"},
        {"@S", "@S${1:4}"},
        {"@!", "@!${1:A}$0!"},
        {"T", "T${1:120}"},
        {"V", "V${1:100}"},
        {"P", "P${1:128}"},
        {"O", "O${1:4}"},
        {"L", "L${1:8}"},
        {"[", "[$0]${1:2}"},
        {"{", "{$0}"},
    };
    const bool afterAt = before.ends_with("@");
    for (const auto& [label, snippet] : kCommands) {
        const bool at = label[0] == '@';
        if (afterAt && !at) continue;
        out.push_back({Kind::Command, label, afterAt ? std::string(snippet + 1) : std::string(snippet)});
    }
    return out;
}

std::vector<ClassPiece> classPieces(const document::TabTexts& tabs) {
    std::vector<ClassPiece> out;
    forEachClassRange(tabs, [&](int tab, const MmlClassRange& r) {
        if (r.cls == MmlClass::Plain || r.cls == MmlClass::Unknown) return;
        const std::string_view text = tabs[static_cast<size_t>(tab)];
        uint32_t from = r.begin;
        const uint32_t end = r.begin + r.length;
        while (from < end) {
            uint32_t to = from;
            while (to < end && text[to] != '\r' && text[to] != '\n') ++to;
            if (to > from) out.push_back({{tab, from, to}, r.cls});
            from = to;
            while (from < end && (text[from] == '\r' || text[from] == '\n')) ++from;
        }
    });
    return out;
}

std::vector<MacroMark> macroMarks(const document::TabTexts& tabs) {
    std::vector<MacroMark> marks;
    bool recording = false;
    bool commonRecording = false;
    int currentTab = 0;
    forEachClassRange(tabs, [&](int tab, const MmlClassRange& r) {
        if (tab != currentTab) {
            // Every bank goes on from where the common text ends.
            if (currentTab == 0) commonRecording = recording;
            recording = commonRecording;
            currentTab = tab;
        }
        if (r.cls != MmlClass::Macro) return;
        const std::string_view text = tabs[static_cast<size_t>(tab)];
        // A range may hold several marks run together ("@!A!").
        for (uint32_t i = r.begin, end = r.begin + r.length; i < end;) {
            MacroMark m;
            const uint32_t start = i;
            if (text[i] == '@') {
                i += 2;
                m.kind = MacroMarkKind::Record;
                recording = true;
            } else if (recording) {
                ++i;
                m.kind = MacroMarkKind::End;
                recording = false;
            } else {
                ++i;
                m.kind = MacroMarkKind::Call;
            }
            m.name = {tab, i, i};
            if (m.kind != MacroMarkKind::End && i < end && text[i] >= 'A' && text[i] <= 'Z') {
                m.letter = text[i];
                m.name.end = ++i;
            }
            m.range = {tab, start, i};
            marks.push_back(m);
        }
    });
    return marks;
}

std::optional<MacroMark> macroMarkAt(const std::vector<MacroMark>& marks, int tab, uint32_t offset) {
    for (const MacroMark& m : marks)
        if (m.letter != 0 && holds(m.range, tab, offset)) return m;
    return std::nullopt;
}

std::optional<MacroMark> macroDefinition(const std::vector<MacroMark>& marks, const MacroMark& call) {
    std::optional<MacroMark> found;
    for (const MacroMark& m : marks) {
        if (m.kind != MacroMarkKind::Record || m.letter != call.letter) continue;
        if (m.range.tab != 0 && m.range.tab != call.range.tab) continue;
        if (!before(m.range, call.range) && !(m.range == call.range)) break;
        found = m;
    }
    return found;
}

std::vector<MacroMark> macroOccurrences(const std::vector<MacroMark>& marks, char letter, int tab) {
    std::vector<MacroMark> out;
    for (const MacroMark& m : marks)
        if (m.letter == letter && m.kind != MacroMarkKind::End && (tab == 0 || m.range.tab == 0 || m.range.tab == tab))
            out.push_back(m);
    return out;
}

std::vector<OutlineItem> documentOutline(const document::TabTexts& tabs) {
    std::vector<OutlineItem> out;
    for (int tab = 0; tab < document::kTabCount; ++tab) {
        const std::string& text = tabs[static_cast<size_t>(tab)];
        OutlineItem item{OutlineKind::Tab,
                         tab == 0 ? uiText(TAVOLIN_TR_NOOP("Texts", "共通")) : std::string(1, static_cast<char>('A' + tab - 1)),
                         {tab, 0, static_cast<uint32_t>(text.size())},
                         {}};
        out.push_back(std::move(item));
    }
    // Recordings run to their closing ! (or the end of the tab they start in).
    std::optional<OutlineItem> open;
    for (const MacroMark& m : macroMarks(tabs)) {
        if (m.kind == MacroMarkKind::Call) continue;
        if (open && (m.kind == MacroMarkKind::End || m.kind == MacroMarkKind::Record)) {
            if (m.range.tab == open->range.tab) open->range.end = m.kind == MacroMarkKind::End ? m.range.end : m.range.begin;
            out[static_cast<size_t>(open->range.tab)].children.push_back(std::move(*open));
            open.reset();
        }
        if (m.kind == MacroMarkKind::Record) {
            open = OutlineItem{OutlineKind::Macro, "@!" + std::string(m.letter ? 1 : 0, m.letter), m.range, {}};
            open->range.end = static_cast<uint32_t>(tabs[static_cast<size_t>(m.range.tab)].size());
        }
    }
    if (open) out[static_cast<size_t>(open->range.tab)].children.push_back(std::move(*open));
    // Tone and envelope definitions: each @ of a sound range starts a command.
    forEachClassRange(tabs, [&](int tab, const MmlClassRange& r) {
        if (r.cls != MmlClass::Sound) return;
        const std::string_view text = std::string_view(tabs[static_cast<size_t>(tab)]).substr(r.begin, r.length);
        for (size_t at = text.find('@'); at != std::string_view::npos;) {
            const size_t next = text.find('@', at + 1);
            const std::string_view command = text.substr(at, next == std::string_view::npos ? text.size() - at : next - at);
            const bool tone = command.starts_with("@W"), envelope = command.starts_with("@ED");
            if (tone || envelope) {
                const size_t head = tone ? 2 : 3;
                size_t digits = head;
                while (digits < command.size() && command[digits] >= '0' && command[digits] <= '9') ++digits;
                const auto begin = static_cast<uint32_t>(r.begin + at);
                out[static_cast<size_t>(tab)].children.push_back(
                    {tone ? OutlineKind::Tone : OutlineKind::Envelope, std::string(command.substr(0, digits)),
                     {tab, begin, begin + static_cast<uint32_t>(command.size())}, {}});
            }
            at = next;
        }
    });
    for (OutlineItem& item : out)
        std::stable_sort(item.children.begin(), item.children.end(),
                         [](const OutlineItem& a, const OutlineItem& b) { return a.range.begin < b.range.begin; });
    return out;
}

std::vector<SoundingSource> soundingSourcesIn(const SongTimeline& timeline, const BankFrames& frames,
                                              const document::TabTexts& compiled,
                                              const std::array<std::string_view, document::kTabCount>& now) {
    std::vector<SoundingSource> out;
    std::array<std::optional<TextShift>, document::kTabCount> shifts;
    for (SoundingSource s : soundingSources(timeline, frames)) {
        const auto tab = static_cast<size_t>(s.range.tab);
        if (!shifts[tab]) shifts[tab].emplace(compiled[tab], now[tab]);
        const uint32_t length = s.range.end - s.range.begin;
        const std::optional<uint64_t> at = shifts[tab]->place(s.range.begin, length);
        if (!at || *at >= now[tab].size()) continue;
        s.range.begin = static_cast<uint32_t>(*at);
        s.range.end = s.range.begin + length;
        out.push_back(s);
    }
    return out;
}

ExpandedSnippet expandSnippet(std::string_view snippet) {
    ExpandedSnippet out;
    int firstField = 0;  // the lowest field number met so far, 0 for none
    std::optional<uint32_t> finalStop;
    for (size_t i = 0; i < snippet.size();) {
        if (snippet[i] != '$' || i + 1 == snippet.size()) {
            out.text += snippet[i++];
            continue;
        }
        // "$n" or "${n:default}".
        const bool braced = snippet[i + 1] == '{';
        size_t j = i + (braced ? 2 : 1);
        int number = 0;
        while (j < snippet.size() && snippet[j] >= '0' && snippet[j] <= '9') number = number * 10 + (snippet[j++] - '0');
        std::string_view value;
        if (braced) {
            const size_t close = snippet.find('}', j);
            if (close == std::string_view::npos) break;  // cut short: what came before stands
            if (j < close && snippet[j] == ':') value = snippet.substr(j + 1, close - j - 1);
            j = close + 1;
        }
        const auto begin = static_cast<uint32_t>(out.text.size());
        out.text += value;
        if (number == 0) finalStop = begin;
        else if (firstField == 0 || number < firstField) {
            firstField = number;
            out.selectBegin = begin;
            out.selectEnd = static_cast<uint32_t>(out.text.size());
        }
        i = j;
    }
    if (firstField == 0) out.selectBegin = out.selectEnd = finalStop.value_or(static_cast<uint32_t>(out.text.size()));
    return out;
}

}  // namespace tavolin::music
