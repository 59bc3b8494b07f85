// SPDX-License-Identifier: MIT
// MIDI import: lines, banks, grid, and the MML text of each bank.
#include "music/MidiImport.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <map>
#include <numeric>
#include <queue>
#include <set>

#include "compiler/UiText.h"
#include "document/UserTexts.h"
#include "output/MidiRead.h"

namespace tavolin::music {
namespace {

using output::MidiData;
using output::MidiNote;

constexpr std::string_view kCrLf = "\r\n";
constexpr int32_t kLowestIndex = 0;
constexpr int32_t kHighestIndex = 95;
constexpr int32_t kDefaultTempo = 120;

// The tones and envelopes every imported song defines in its common text.
constexpr std::string_view kCommonSounds =
    "*TONES: 0 SQUARE LEAD  1 TRIANGLE BASS  2 SAWTOOTH  3 SINE PAD  4 NOISE DRUMS*\r\n"
    "@W0:0:50\r\n@W1:1:50\r\n@W2:2:50\r\n@W3:3:50\r\n@W4:4:0\r\n"
    "*ENVELOPES: 0 NOTES  1 DRUMS*\r\n"
    "@ED0:15:15:30:255:200\r\n@ED1:1:60:20:255:0";
constexpr int32_t kNoteEnvelope = 0;
constexpr int32_t kDrumEnvelope = 1;
constexpr int32_t kDrumChannel = 9;

// A note of one line, on the grid, with what it needs written before it.
struct Placed {
    uint64_t start = 0;  // steps
    uint64_t end = 0;
    uint64_t tickStart = 0;  // the file's times (tickEnd: where it was cut)
    uint64_t tickEnd = 0;
    int32_t index = 0;  // note table index
    int32_t tone = 0;
    int32_t envelope = 0;
    int32_t volume = 0;
};

struct Line {
    MidiLineRef ref;
    std::string name;
    std::vector<Placed> notes;
    std::array<uint64_t, 16> channelNotes{};
    uint64_t sounding = 0;
    double keySum = 0;
    int32_t bank = -1;

    int32_t channel() const { return static_cast<int32_t>(std::max_element(channelNotes.begin(), channelNotes.end()) - channelNotes.begin()); }
    bool drums() const { return !notes.empty() && channel() == kDrumChannel; }
    double averageKey() const { return notes.empty() ? 0 : keySum / static_cast<double>(notes.size()); }
};

uint64_t toStep(uint64_t tick, int32_t grid, int32_t ticksPerQuarter) {
    // Whole notes apart from the rest, so that no product can overflow.
    const uint64_t whole = 4 * static_cast<uint64_t>(ticksPerQuarter);
    const uint64_t g = static_cast<uint64_t>(grid);
    return tick / whole * g + ((tick % whole) * g * 2 + whole) / (2 * whole);
}

// Printable ASCII of a track name, upper case, without the characters that
// end a comment or split a document.
std::string commentSafe(std::string_view name) {
    std::string s;
    for (char c : name) {
        if (c < 0x20 || c > 0x7E) continue;
        if (c == '*' || c == ',' || c == ';' || c == '@') c = ' ';
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c == ' ' && (s.empty() || s.back() == ' ')) continue;
        s.push_back(c);
        if (s.size() >= 40) break;
    }
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// One written length: 256/k units with `dots` dots, `steps` grid steps long.
struct Token {
    uint64_t steps;
    int32_t k;
    int32_t dots;
};

std::vector<Token> tokensFor(int32_t grid) {
    std::vector<Token> t;
    const auto add = [&](int64_t k, int32_t dots) {
        const int64_t num = static_cast<int64_t>(grid) * ((int64_t{2} << dots) - 1);
        const int64_t den = k << dots;
        if (k > grid || num % den != 0) return;
        for (const Token& x : t)
            if (x.k == k && x.dots == dots) return;
        t.push_back({static_cast<uint64_t>(num / den), static_cast<int32_t>(k), dots});
    };
    for (int64_t k = 1; k <= grid; k *= 2)
        for (int32_t d = 0; d <= 2; ++d) add(k, d);
    for (int64_t k = 3; k <= grid; k *= 2) add(k, 0);
    add(grid, 0);  // one step: every length can be written
    std::stable_sort(t.begin(), t.end(), [](const Token& a, const Token& b) { return a.steps > b.steps; });
    return t;
}

struct TempoAt {
    uint64_t step;
    int32_t tempo;
};

// Seconds at a position of a piecewise-constant rate.
class Clock {
public:
    void add(uint64_t pos, double secondsPerPos) {
        if (!m_pos.empty()) {
            if (m_pos.back() == pos) {
                m_rate.back() = secondsPerPos;
                return;
            }
            m_seconds.push_back(m_seconds.back() + static_cast<double>(pos - m_pos.back()) * m_rate.back());
        } else {
            m_seconds.push_back(static_cast<double>(pos) * secondsPerPos);
        }
        m_pos.push_back(pos);
        m_rate.push_back(secondsPerPos);
    }
    double at(uint64_t pos) const {
        size_t i = static_cast<size_t>(std::upper_bound(m_pos.begin(), m_pos.end(), pos) - m_pos.begin());
        i = i == 0 ? 0 : i - 1;
        if (pos < m_pos[i]) return static_cast<double>(pos) * m_rate[i];
        return m_seconds[i] + static_cast<double>(pos - m_pos[i]) * m_rate[i];
    }

private:
    std::vector<uint64_t> m_pos;
    std::vector<double> m_seconds;
    std::vector<double> m_rate;
};

const char* const kNoteNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

// The MML text of one bank.
class BankWriter {
public:
    // `loop`: the steps [start, end) written as an endless loop; the line has
    // no note across either and none after the end (loopFits).
    BankWriter(const std::vector<uint64_t>& bars, const std::vector<TempoAt>& tempos, int32_t grid, const std::vector<Token>& tokens,
               std::optional<std::pair<uint64_t, uint64_t>> loop = std::nullopt, int32_t firstTempo = kDefaultTempo)
        : m_bars(bars), m_tempos(tempos), m_grid(grid), m_tokens(tokens), m_loop(loop), m_firstTempo(firstTempo) {}

    std::string write(const Line& line, std::string_view header) {
        m_out = header;
        m_out += kCrLf;
        struct Item {
            uint64_t start, end;
            const Placed* note;  // null: a rest
        };
        std::vector<Item> items;
        uint64_t at = 0;
        for (const Placed& n : line.notes) {
            if (n.start > at) items.push_back({at, n.start, nullptr});
            items.push_back({n.start, n.end, &n});
            at = n.end;
        }
        // The loop lasts to its end even where the line falls silent before.
        if (m_loop && at < m_loop->second) items.push_back({at, m_loop->second, nullptr});
        // The default length: the plain length most items have, when at least
        // four have it (a quarter on a tie).
        std::map<int32_t, size_t> plain;
        for (const Item& item : items)
            for (const Token& t : m_tokens)
                if (t.steps == item.end - item.start && t.dots == 0 && (t.k & (t.k - 1)) == 0) ++plain[t.k];
        for (const auto& [k, count] : plain)
            if (count >= 4 && count > plain[m_wantedLength]) m_wantedLength = k;
        for (size_t i = 0; i < items.size();) {
            if (tupletFits(items[i].start, items, i)) {
                writeTuplet(items[i].note, items[i + 1].note, items[i + 2].note, items[i].start, items[i].end - items[i].start);
                i += 3;
                continue;
            }
            writeSpan(items[i].start, items[i].end, items[i].note);
            ++i;
        }
        if (m_loop) m_out += "]";
        return std::move(m_out);
    }

private:
    // Next bar start or tempo change after `pos`, or UINT64_MAX.
    uint64_t nextSplit(uint64_t pos) const {
        uint64_t next = UINT64_MAX;
        const auto b = std::upper_bound(m_bars.begin(), m_bars.end(), pos);
        if (b != m_bars.end()) next = *b;
        const auto t = std::upper_bound(m_tempos.begin(), m_tempos.end(), pos, [](uint64_t p, const TempoAt& x) { return p < x.step; });
        if (t != m_tempos.end()) next = std::min(next, t->step);
        if (m_loop && m_loop->first > pos) next = std::min(next, m_loop->first);
        return next;
    }

    // The tie sign, bar lines and tempo changes due at `pos`. A tie ends its
    // bar's line, unless a tempo changes there: then the T comes first (a T
    // between a note and its & keeps the tie, an & followed by a T does not).
    void boundary(uint64_t pos, bool tie) {
        const bool tempoHere = m_tempo < m_tempos.size() && m_tempos[m_tempo].step <= pos;
        if (tie && !tempoHere) m_out += "&";
        while (m_bar < m_bars.size() && m_bars[m_bar] <= pos) {
            if (m_bar > 0) m_out += kCrLf;
            if (m_bar % 4 == 0) m_out += "*BAR " + std::to_string(m_bar + 1) + "* ";
            if (m_bar == 0 && m_wantedLength != m_defaultLength) m_out += "L" + std::to_string(m_defaultLength = m_wantedLength);
            ++m_bar;
        }
        // The loop opens before a tempo change at its start, so that every
        // pass sets that tempo again.
        if (m_loop && !m_loopOpen && m_loop->first <= pos) {
            m_out += "[";
            m_loopOpen = true;
            // A later pass starts with what the loop's end left: the first
            // note in the loop sets its sound again, and a tempo that changes
            // inside the loop is set again at its start.
            m_tone = m_envelope = m_volume = -1;
            const bool tempoHere = m_tempo < m_tempos.size() && m_tempos[m_tempo].step <= pos;
            const bool tempoInside = std::any_of(m_tempos.begin(), m_tempos.end(),
                                                 [&](const TempoAt& t) { return t.step > pos && t.step < m_loop->second; });
            if (tempoInside && !tempoHere) m_out += "T" + std::to_string(m_tempo > 0 ? m_tempos[m_tempo - 1].tempo : m_firstTempo);
        }
        while (m_tempo < m_tempos.size() && m_tempos[m_tempo].step <= pos) {
            m_out += "T" + std::to_string(m_tempos[m_tempo].tempo);
            ++m_tempo;
        }
        if (tie && tempoHere) m_out += "&";
    }

    void sound(const Placed& n) {
        if (n.tone != m_tone) m_out += "@" + std::to_string(m_tone = n.tone);
        if (n.envelope != m_envelope) m_out += "@E" + std::to_string(m_envelope = n.envelope);
        if (n.volume != m_volume) m_out += "V" + std::to_string(m_volume = n.volume);
    }
    void pitch(int32_t index) {
        const int32_t octave = index / 12;
        if (octave == m_octave + 1) m_out += ">";
        else if (octave == m_octave - 1) m_out += "<";
        else if (octave != m_octave) m_out += "O" + std::to_string(octave);
        m_octave = octave;
        m_out += kNoteNames[index % 12];
    }
    void length(const Token& t) {
        if (t.k != m_defaultLength) m_out += std::to_string(t.k);
        m_out.append(static_cast<size_t>(t.dots), '.');
    }

    void writeSpan(uint64_t start, uint64_t end, const Placed* note) {
        bool first = true;
        for (uint64_t pos = start; pos < end;) {
            const uint64_t pieceEnd = std::min(end, nextSplit(pos));
            boundary(pos, note != nullptr && !first);
            if (first && note) sound(*note);
            uint64_t left = pieceEnd - pos;
            bool firstToken = true;
            while (left > 0) {
                const Token& t = *std::find_if(m_tokens.begin(), m_tokens.end(), [&](const Token& x) { return x.steps <= left; });
                if (note == nullptr) {
                    m_out += "R";
                } else if (first && firstToken) {
                    pitch(note->index);
                } else {
                    if (!firstToken) m_out += "&";
                    m_out += kNoteNames[note->index % 12];
                }
                length(t);
                left -= t.steps;
                firstToken = false;
            }
            first = false;
            pos = pieceEnd;
        }
    }

    // Three equal items that make up a plain note length (a half down to a
    // sixteenth), inside one bar and one tempo, at least one of them a note,
    // all notes with one sound.
    template <typename Items>
    bool tupletFits(uint64_t start, const Items& items, size_t i) const {
        if (i + 2 >= items.size()) return false;
        const uint64_t d = items[i].end - items[i].start;
        if (items[i + 1].end - items[i + 1].start != d || items[i + 2].end - items[i + 2].start != d) return false;
        if (!items[i].note && !items[i + 1].note && !items[i + 2].note) return false;
        bool plain = false;
        for (int32_t k = 2; k <= 16; k *= 2)
            plain = plain || (m_grid % k == 0 && static_cast<uint64_t>(m_grid / k) == 3 * d);
        if (!plain || nextSplit(start) < start + 3 * d) return false;
        // One sound for all three: it is written before the {.
        const Placed* first = nullptr;
        for (size_t j = i; j <= i + 2; ++j) {
            const Placed* n = items[j].note;
            if (n == nullptr) continue;
            if (first == nullptr) first = n;
            else if (n->tone != first->tone || n->envelope != first->envelope || n->volume != first->volume) return false;
        }
        return true;
    }

    void writeTuplet(const Placed* a, const Placed* b, const Placed* c, uint64_t start, uint64_t each) {
        boundary(start, false);
        for (const Placed* n : {a, b, c})
            if (n) {
                sound(*n);
                break;
            }
        const int32_t k = static_cast<int32_t>(static_cast<uint64_t>(m_grid) / (3 * each));
        if (k != m_defaultLength) m_out += "L" + std::to_string(m_defaultLength = k);
        m_out += "{";
        for (const Placed* n : {a, b, c}) {
            if (n) pitch(n->index);
            else m_out += "R";
        }
        m_out += "}";
    }

    const std::vector<uint64_t>& m_bars;
    const std::vector<TempoAt>& m_tempos;
    int32_t m_grid;
    const std::vector<Token>& m_tokens;
    std::optional<std::pair<uint64_t, uint64_t>> m_loop;
    bool m_loopOpen = false;
    std::string m_out;
    size_t m_bar = 0;
    size_t m_tempo = 0;
    // What the internal default code leaves; the first note writes its sound anyway.
    int32_t m_octave = 4;
    int32_t m_defaultLength = 4;
    int32_t m_wantedLength = 4;
    int32_t m_tone = -1;
    int32_t m_envelope = -1;
    int32_t m_volume = -1;
    int32_t m_firstTempo = kDefaultTempo;
};

// Splits a group's notes (sorted by start, highest key first) into lines.
void splitLines(const std::vector<const MidiNote*>& notes, int32_t track, std::string_view name, const MidiImportOptions& o,
                int32_t ticksPerQuarter, std::vector<Line>& lines, MidiImportReport& report) {
    const size_t first = lines.size();
    // first: lines that have ended wait in `busy` (by their end) until a note
    // starts at or after it, then in `free` (by number). newest: the i-th note
    // to start at a step takes line i, cutting what sounds there.
    using Busy = std::pair<uint64_t, size_t>;
    std::priority_queue<Busy, std::vector<Busy>, std::greater<>> busy;
    std::set<size_t> free;
    uint64_t step = UINT64_MAX;
    size_t atStep = 0;
    for (const MidiNote* n : notes) {
        const uint64_t start = toStep(n->start, o.grid, ticksPerQuarter);
        const uint64_t end = std::max(start + 1, toStep(n->end, o.grid, ticksPerQuarter));
        size_t chosen = SIZE_MAX;
        if (o.overlap == MidiOverlap::First) {
            while (!busy.empty() && busy.top().first <= start) {
                free.insert(busy.top().second);
                busy.pop();
            }
            if (!free.empty()) {
                chosen = *free.begin();
                free.erase(free.begin());
            }
        } else {
            atStep = start == step ? atStep + 1 : 0;
            step = start;
            if (first + atStep < lines.size()) chosen = first + atStep;
        }
        if (chosen == SIZE_MAX) {
            chosen = lines.size();
            lines.emplace_back();
            lines.back().ref = {track, static_cast<int32_t>(chosen - first + 1)};
            lines.back().name = commentSafe(name);
        } else if (Placed& last = lines[chosen].notes.back(); last.end > start) {
            lines[chosen].sounding -= last.end - start;
            last.end = start;
            last.tickEnd = std::max(last.tickStart, n->start);
            ++report.cutNotes;
        }
        Line* line = &lines[chosen];
        if (o.overlap == MidiOverlap::First) busy.push({end, chosen});
        int32_t index = n->key - 12;
        while (index < kLowestIndex) index += 12, ++report.octaveMoved;
        while (index > kHighestIndex) index -= 12, ++report.octaveMoved;
        const bool drum = n->channel == kDrumChannel;
        line->notes.push_back({start, end, n->start, n->end, index, drum ? kMidiDrumTone : midiToneOfProgram(n->program),
                               drum ? kDrumEnvelope : kNoteEnvelope, midiVolumeToV(n->velocity, n->volume)});
        ++line->channelNotes[static_cast<size_t>(n->channel)];
        line->sounding += end - start;
        line->keySum += n->key;
    }
}

// Default choice: the five busiest lines; the melody (highest average key
// among them, drums aside) in A, drums last.
std::vector<size_t> chooseLines(const std::vector<Line>& lines) {
    std::vector<size_t> order(lines.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return lines[a].sounding > lines[b].sounding; });
    order.resize(std::min<size_t>(order.size(), 5));
    std::stable_partition(order.begin(), order.end(), [&](size_t i) { return !lines[i].drums(); });
    const auto melodic = std::find_if(order.begin(), order.end(), [&](size_t i) { return lines[i].drums(); });
    const auto melody = std::max_element(order.begin(), melodic, [&](size_t a, size_t b) { return lines[a].averageKey() < lines[b].averageKey(); });
    if (melody != melodic) std::rotate(order.begin(), melody, melody + 1);
    return order;
}

std::string lineName(const MidiLineRef& r) { return std::to_string(r.track) + "." + std::to_string(r.line); }

}  // namespace

int32_t midiToneOfProgram(int32_t program) noexcept {
    if (program == 79) return 1;                     // ocarina: the triangle our export writes it as
    if (program >= 32 && program <= 39) return 1;    // basses: triangle
    if (program == 81) return 2;                     // sawtooth lead
    if ((program >= 40 && program <= 51) || (program >= 55 && program <= 71)) return 2;  // strings, brass, reeds
    if ((program >= 52 && program <= 54) || (program >= 72 && program <= 78) || (program >= 88 && program <= 95)) return 3;  // voices, pipes, pads
    if (program >= 119 && program <= 127) return kMidiDrumTone;  // reverse cymbal and sound effects
    return 0;                                        // pianos, organs, guitars, square leads, ...: square
}

int32_t midiVolumeToV(int32_t velocity, int32_t volume) noexcept {
    const int64_t v = (int64_t{255} * velocity * volume + 6350) / 12700;
    return static_cast<int32_t>(std::clamp<int64_t>(v, 0, 255));
}

std::optional<std::string> parseMidiMap(std::string_view text, MidiImportOptions& options) {
    options.mapGiven = true;
    options.map = {};
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        const auto bad = [&] { return "--map: expected BANK=TRACK.LINE (as A=2.1), got '" + std::string(item) + "'"; };
        if (item.size() < 5 || item[1] != '=') return bad();
        const char bank = static_cast<char>(item[0] >= 'a' ? item[0] - 'a' + 'A' : item[0]);
        if (bank < 'A' || bank > 'E') return bad();
        const size_t dot = item.find('.', 2);
        if (dot == std::string_view::npos) return bad();
        MidiLineRef ref;
        const auto number = [](std::string_view s, int32_t& v) {
            const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
            return !s.empty() && r.ec == std::errc{} && r.ptr == s.data() + s.size() && v > 0;
        };
        if (!number(item.substr(2, dot - 2), ref.track) || !number(item.substr(dot + 1), ref.line)) return bad();
        options.map[static_cast<size_t>(bank - 'A')] = ref;
    }
    return std::nullopt;
}

std::variant<MidiImportResult, std::string> importMidi(std::string_view fileBytes, const MidiImportOptions& o) {
    if (o.grid < 1 || o.grid > kMidiMaxGrid) return "--grid: steps per whole note must be 1 to " + std::to_string(kMidiMaxGrid);
    auto read = output::readMidiFile(fileBytes);
    if (const auto* e = std::get_if<output::MidiReadError>(&read)) return output::midiReadErrorText(*e);
    const MidiData& d = std::get<MidiData>(read);
    const int32_t tpq = d.ticksPerQuarter;

    MidiImportResult result;
    MidiImportReport& report = result.report;
    report.format = d.format;
    report.grid = o.grid;
    report.pitchBends = d.dropped.pitchBends;
    report.controllers = d.dropped.controllers;
    report.otherDropped = d.dropped.aftertouch + d.dropped.sysex + d.dropped.strayNoteOffs + d.dropped.emptyNotes;

    uint64_t lastTick = 0;
    for (const MidiNote& n : d.notes) lastTick = std::max(lastTick, n.end);
    const uint64_t songEnd = toStep(lastTick, o.grid, tpq) + 1;
    if (songEnd > static_cast<uint64_t>(o.grid) * kMidiMaxWholeNotes)
        return uiText(TAVOLIN_TR_NOOP("Texts", "曲が長すぎるため読み込めません（全音符4096個まで）"));

    // Groups: the tracks, or the channels of a format 0 file.
    std::map<int32_t, std::vector<const MidiNote*>> groups;
    for (const MidiNote& n : d.notes) groups[d.format == 0 ? n.channel + 1 : n.track + 1].push_back(&n);
    std::vector<Line> lines;
    for (auto& [track, notes] : groups) {
        std::stable_sort(notes.begin(), notes.end(), [](const MidiNote* a, const MidiNote* b) { return a->start != b->start ? a->start < b->start : a->key > b->key; });
        const int32_t fileTrack = d.format == 0 ? 0 : track - 1;
        const std::string_view name =
            static_cast<size_t>(fileTrack) < d.trackNames.size() ? std::string_view(d.trackNames[static_cast<size_t>(fileTrack)]) : std::string_view();
        splitLines(notes, track, name, o, tpq, lines, report);
    }

    std::vector<size_t> chosen;
    if (o.mapGiven) {
        for (const auto& ref : o.map) {
            if (!ref) {
                chosen.push_back(SIZE_MAX);
                continue;
            }
            const auto it = std::find_if(lines.begin(), lines.end(), [&](const Line& l) { return l.ref == *ref; });
            if (it == lines.end()) return "--map: the file has no line " + lineName(*ref);
            chosen.push_back(static_cast<size_t>(it - lines.begin()));
        }
    } else {
        chosen = chooseLines(lines);
    }

    // Tempo: one map on the grid with whole T values; the first in the common text.
    std::vector<TempoAt> tempos{{0, kDefaultTempo}};
    Clock fileClock;
    fileClock.add(0, 0.5 / tpq);
    for (const auto& t : d.tempos) {
        fileClock.add(t.tick, t.microsPerQuarter / 1e6 / tpq);
        const uint64_t step = toStep(t.tick, o.grid, tpq);
        const auto tempo = static_cast<int32_t>(std::max<long long>(1, std::llround(60e6 / t.microsPerQuarter)));
        if (step >= songEnd) break;
        if (tempos.back().step == step) tempos.back().tempo = tempo;
        else tempos.push_back({step, tempo});
    }
    std::vector<TempoAt> changes;
    for (const TempoAt& t : tempos)
        if (t.step > 0 && t.tempo != (changes.empty() ? tempos.front().tempo : changes.back().tempo)) changes.push_back(t);
    report.tempoChanges = changes.size();
    Clock gridClock;
    gridClock.add(0, 240.0 / tempos.front().tempo / o.grid);
    for (const TempoAt& t : changes) gridClock.add(t.step, 240.0 / t.tempo / o.grid);

    // Bars from the time signatures; a change inside a bar starts a new one there.
    std::vector<uint64_t> bars;
    {
        const auto barSteps = [&](const output::MidiMeterChange& m) {
            return std::max<uint64_t>(1, static_cast<uint64_t>(std::llround(static_cast<double>(o.grid) * m.numerator / m.denominator)));
        };
        std::vector<std::pair<uint64_t, uint64_t>> meters{{0, static_cast<uint64_t>(o.grid)}};
        for (const auto& m : d.meters) {
            const uint64_t step = toStep(m.tick, o.grid, tpq);
            if (meters.back().first == step) meters.back().second = barSteps(m);
            else meters.push_back({step, barSteps(m)});
        }
        size_t m = 0;
        for (uint64_t pos = 0; pos < songEnd;) {
            while (m + 1 < meters.size() && meters[m + 1].first <= pos) ++m;
            bars.push_back(pos);
            uint64_t next = pos + meters[m].second;
            if (m + 1 < meters.size()) next = std::min(next, meters[m + 1].first);
            pos = next;
        }
    }

    // A game loop marked in the file: an endless loop in every bank written,
    // where no note of theirs crosses its ends or follows it.
    std::optional<std::pair<uint64_t, uint64_t>> loop;
    if (d.loopStart) {
        const uint64_t from = toStep(*d.loopStart, o.grid, tpq);
        const uint64_t to = d.loopEnd ? toStep(*d.loopEnd, o.grid, tpq) : songEnd - 1;
        bool fits = to > from;
        for (size_t bank = 0; fits && bank < chosen.size() && bank < 5; ++bank) {
            if (chosen[bank] == SIZE_MAX) continue;
            for (const Placed& n : lines[chosen[bank]].notes)
                if ((n.start < from && n.end > from) || (n.start < to && n.end > to) || n.start >= to) fits = false;
        }
        report.loop = fits ? MidiLoopOutcome::Placed : MidiLoopOutcome::NotPlaced;
        if (fits) loop = std::pair{from, to};
    }

    result.tabs[0] = "T" + std::to_string(tempos.front().tempo) + std::string(kCrLf) + std::string(kCommonSounds);
    const std::vector<Token> tokens = tokensFor(o.grid);
    for (size_t bank = 0; bank < chosen.size() && bank < 5; ++bank) {
        if (chosen[bank] == SIZE_MAX) continue;
        Line& line = lines[chosen[bank]];
        if (line.bank < 0) line.bank = static_cast<int32_t>(bank);
        std::string header = "*";
        if (d.format != 0) header += "TRACK " + std::to_string(line.ref.track) + " ";
        if (!line.name.empty()) header += line.name + " ";
        header += "CH " + std::to_string(line.channel() + 1) + (line.drums() ? " DRUMS" : "") + " LINE " + std::to_string(line.ref.line) + "*";
        BankWriter writer(bars, changes, o.grid, tokens, loop, tempos.front().tempo);
        result.tabs[bank + 1] = writer.write(line, header);
        for (const Placed& n : line.notes)
            report.maxTimingErrorMs = std::max({report.maxTimingErrorMs, 1000 * std::abs(gridClock.at(n.start) - fileClock.at(n.tickStart)),
                                                1000 * std::abs(gridClock.at(n.end) - fileClock.at(n.tickEnd))});
    }
    for (const Line& l : lines)
        report.lines.push_back({l.ref, l.name, l.channel() + 1, l.drums(), l.notes.size(), l.sounding, l.averageKey(), l.bank});
    return result;
}

std::string midiReportText(const MidiImportReport& r) {
    const auto lineText = [](const MidiLineReport& l) {
        std::string s = uiText(TAVOLIN_TR_NOOP("Texts", "トラック{track} ライン{line}（ch{channel}{name}、音符{notes}）"));
        s = document::fillIn(s, "track", std::to_string(l.ref.track));
        s = document::fillIn(s, "line", std::to_string(l.ref.line));
        s = document::fillIn(s, "channel", std::to_string(l.channel) + (l.drums ? " DRUMS" : ""));
        s = document::fillIn(s, "name", l.trackName.empty() ? "" : " " + l.trackName);
        return document::fillIn(s, "notes", std::to_string(l.notes));
    };
    std::string out;
    const auto add = [&](const std::string& line) { out += line + "\n"; };
    for (int32_t bank = 0; bank < 5; ++bank)
        for (const MidiLineReport& l : r.lines)
            if (l.bank == bank)
                add(document::fillIn(uiText(TAVOLIN_TR_NOOP("Texts", "バンク{bank}: ")), "bank", std::string(1, static_cast<char>('A' + bank))) + lineText(l));
    if (std::any_of(r.lines.begin(), r.lines.end(), [](const MidiLineReport& l) { return l.bank < 0; })) {
        add(uiText(TAVOLIN_TR_NOOP("Texts", "入らなかったライン:")));
        // A file of many lines would fill the screen: the first ones, then a sum.
        constexpr size_t kListed = 16;
        size_t listed = 0;
        uint64_t moreLines = 0;
        uint64_t moreNotes = 0;
        for (const MidiLineReport& l : r.lines) {
            if (l.bank >= 0) continue;
            if (listed++ < kListed) {
                add("  " + lineText(l));
            } else {
                ++moreLines;
                moreNotes += l.notes;
            }
        }
        if (moreLines > 0)
            add("  " + document::fillIn(document::fillIn(uiText(TAVOLIN_TR_NOOP("Texts", "…ほか{lines}ライン（音符{notes}）")), "lines", std::to_string(moreLines)), "notes",
                              std::to_string(moreNotes)));
    }
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.1f", r.maxTimingErrorMs);
    add(document::fillIn(document::fillIn(uiText(TAVOLIN_TR_NOOP("Texts", "グリッド: 全音符の1/{grid}、最大のタイミング誤差: {ms} ms")), "grid", std::to_string(r.grid)), "ms", ms));
    if (r.tempoChanges > 0)
        add(document::fillIn(uiText(TAVOLIN_TR_NOOP("Texts", "テンポ変化: {count}")), "count", std::to_string(r.tempoChanges)));
    if (r.pitchBends + r.controllers + r.otherDropped > 0) {
        std::string s = uiText(TAVOLIN_TR_NOOP("Texts", "捨てたイベント: ピッチベンド{bends}、コントローラー{controllers}、その他{other}"));
        s = document::fillIn(s, "bends", std::to_string(r.pitchBends));
        s = document::fillIn(s, "controllers", std::to_string(r.controllers));
        add(document::fillIn(s, "other", std::to_string(r.otherDropped)));
    }
    if (r.octaveMoved > 0)
        add(document::fillIn(uiText(TAVOLIN_TR_NOOP("Texts", "音域外のためオクターブを移した音符: {count}")), "count", std::to_string(r.octaveMoved)));
    if (r.loop == MidiLoopOutcome::Placed) add(uiText(TAVOLIN_TR_NOOP("Texts", "ループ: ファイルのループ印を終わりのないループ [...] にしました")));
    if (r.loop == MidiLoopOutcome::NotPlaced)
        add(uiText(TAVOLIN_TR_NOOP("Texts", "ループ: 音符がループの境目をまたぐか後に続くため、ファイルのループ印をループにできませんでした")));
    if (r.cutNotes > 0)
        add(document::fillIn(uiText(TAVOLIN_TR_NOOP("Texts", "次の音符に切られた音符: {count}")), "count", std::to_string(r.cutNotes)));
    return out;
}

}  // namespace tavolin::music
