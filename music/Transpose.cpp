// SPDX-License-Identifier: MIT
// Transposing MML text: notes rewritten one by one, the octave carried with the fewest marks.
#include "music/Transpose.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "music/MmlClasses.h"

namespace tavolin::music {
namespace {

enum class ChunkKind { Pitch, Other, AbsoluteOctave, Barrier };

struct Chunk {
    uint32_t begin;
    uint32_t end;
    uint32_t nameEnd;  // Pitch: where the note's name (letter and accidental, or N and number) ends
    ChunkKind kind;
    MmlClass cls = MmlClass::Plain;  // Note for notes, rests and X frequencies
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::vector<Chunk> chunks(std::string_view text) {
    std::vector<Chunk> out;
    MmlClassState state;
    const std::vector<MmlClassRange> ranges = classifyMml(text, state);
    for (size_t k = 0; k < ranges.size(); ++k) {
        const MmlClassRange& r = ranges[k];
        const uint32_t end = r.begin + r.length;
        if (r.cls == MmlClass::Note) {
            for (uint32_t i = r.begin; i < end;) {
                const char c = text[i];
                uint32_t j = i + 1;
                if (c == 'N' || c == 'X') {
                    while (j < end && (isDigit(text[j]) || (c == 'X' && text[j] == '.'))) ++j;
                } else if (c != 'R' && j < end && (text[j] == '#' || text[j] == '+' || text[j] == '-')) {
                    ++j;
                }
                const uint32_t nameEnd = j;
                if (j < end && text[j] == ':') ++j;
                // The length range that follows belongs to the last note of the run.
                if (j == end && k + 1 < ranges.size() && ranges[k + 1].cls == MmlClass::Length && ranges[k + 1].begin == end) {
                    j = end + ranges[k + 1].length;
                    ++k;
                }
                out.push_back({i, j, nameEnd, (c == 'R' || c == 'X') ? ChunkKind::Other : ChunkKind::Pitch, MmlClass::Note});
                i = j;
            }
            continue;
        }
        if (r.cls == MmlClass::Octave) {
            for (uint32_t i = r.begin; i < end;) {
                uint32_t j = i + 1;
                if (text[i] == 'O' || text[i] == 'L') {
                    while (j < end && isDigit(text[j])) ++j;
                    if (text[i] == 'L')
                        while (j < end && text[j] == '.') ++j;
                }
                out.push_back({i, j, j, text[i] == 'O' ? ChunkKind::AbsoluteOctave : ChunkKind::Other, MmlClass::Octave});
                i = j;
            }
            continue;
        }
        const bool barrier = r.cls == MmlClass::Loop || r.cls == MmlClass::Macro;
        out.push_back({r.begin, end, end, barrier ? ChunkKind::Barrier : ChunkKind::Other, r.cls});
    }
    return out;
}

int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Lengths as fractions of 1/256 differ by far more than this; Fix truncates
// far less.
constexpr double kUnitTolerance = 1e-4;

struct WrittenLength {
    double units;
    std::string text;
};

// Every length one note can write ("3", "4.", "512..."), sorted by units;
// of lengths equal in time only the shortest text ("4" rather than "6.").
const std::vector<WrittenLength>& singleLengths() {
    static const std::vector<WrittenLength> table = [] {
        std::vector<WrittenLength> all;
        for (int n = 1; n <= 512; ++n) {
            std::string text = std::to_string(n);
            double units = 256.0 / n, add = units;
            // Dots only on the plain lengths: "3." is a time no one writes that way.
            const int maxDots = (n & (n - 1)) == 0 ? 3 : 0;
            for (int dots = 0; dots <= maxDots; ++dots) {
                all.push_back({units, text});
                add /= 2;
                units += add;
                text += '.';
            }
        }
        std::stable_sort(all.begin(), all.end(), [](const WrittenLength& a, const WrittenLength& b) {
            return a.units < b.units - kUnitTolerance || (std::abs(a.units - b.units) <= kUnitTolerance && a.text.size() < b.text.size());
        });
        std::vector<WrittenLength> kept;
        for (WrittenLength& w : all)
            if (kept.empty() || w.units > kept.back().units + kUnitTolerance) kept.push_back(std::move(w));
        return kept;
    }();
    return table;
}

const WrittenLength* singleLength(double units) {
    const auto& table = singleLengths();
    const auto it = std::lower_bound(table.begin(), table.end(), units - kUnitTolerance,
                                     [](const WrittenLength& w, double u) { return w.units < u; });
    return it != table.end() && std::abs(it->units - units) <= kUnitTolerance ? &*it : nullptr;
}

// The parts before the last of a tie chain: whole notes to 1/256, dotted up
// to three times, longest first.
const std::vector<WrittenLength>& leadingLengths() {
    static const std::vector<WrittenLength> table = [] {
        std::vector<WrittenLength> out;
        for (int n = 1; n <= 256; n *= 2)
            for (int dots = 3; dots >= 0; --dots) {
                const double base = 256.0 / n;
                out.push_back({base * (2 - std::ldexp(1.0, -dots)), std::to_string(n) + std::string(static_cast<size_t>(dots), '.')});
            }
        std::stable_sort(out.begin(), out.end(), [](const WrittenLength& a, const WrittenLength& b) { return a.units > b.units; });
        return out;
    }();
    return table;
}

// The shortest text of `parts` lengths adding up to `units` into `best`
// (the longest first part among equals); `out` holds the parts so far.
void splitInto(double units, int parts, std::vector<std::string>& out, std::vector<std::string>& best, size_t& bestChars) {
    auto chars = [](const std::vector<std::string>& v) {
        size_t n = 0;
        for (const std::string& s : v) n += s.size();
        return n;
    };
    if (parts == 1) {
        const WrittenLength* w = singleLength(units);
        if (!w) return;
        out.push_back(w->text);
        if (const size_t n = chars(out); best.empty() || n < bestChars) {
            best = out;
            bestChars = n;
        }
        out.pop_back();
        return;
    }
    for (const WrittenLength& w : leadingLengths()) {
        if (w.units >= units - kUnitTolerance) continue;
        out.push_back(w.text);
        splitInto(units - w.units, parts - 1, out, best, bestChars);
        out.pop_back();
    }
}

// The note or rest holding `offset`, else the one ending there.
const Chunk* noteChunkAt(const std::vector<Chunk>& all, uint32_t offset) {
    const Chunk* ending = nullptr;
    for (const Chunk& c : all) {
        if (c.cls != MmlClass::Note) continue;
        if (c.begin <= offset && offset < c.end) return &c;
        if (c.end == offset) ending = &c;
    }
    return ending;
}

bool inTuplet(std::string_view text, const std::vector<Chunk>& all, const Chunk& note) {
    bool open = false;
    for (const Chunk& c : all) {
        if (c.begin >= note.begin) break;
        if (c.cls == MmlClass::Tuplet)
            for (uint32_t i = c.begin; i < c.end; ++i) open = text[i] == '{';
    }
    return open;
}

// What each part repeats: the letter with its accidental, or N and X with
// their number and the colon a length needs after it.
std::string noteName(std::string_view text, const Chunk& c) {
    std::string name(text.substr(c.begin, c.nameEnd - c.begin));
    if (text[c.begin] == 'N' || text[c.begin] == 'X') name += ':';
    return name;
}

std::string tiedText(const std::string& name, const std::vector<std::string>& lengths, bool rest) {
    std::string out;
    for (const std::string& length : lengths) {
        if (!out.empty() && !rest) out += '&';
        out += name + length;
    }
    return out;
}

}  // namespace

std::optional<TextReplacement> transposeSelection(std::string_view text, uint32_t from, uint32_t to, int semitones) {
    const std::vector<Chunk> all = chunks(text);
    if (to < from) std::swap(from, to);
    // Whole commands: from the one holding `from` to the one holding the
    // last byte (an empty stretch: the command under `from`).
    uint32_t a = from, b = to > from ? to : from + 1;
    for (const Chunk& c : all) {
        if (c.begin <= from && from < c.end) a = c.begin;
        if (c.begin <= b - 1 && b - 1 < c.end) b = c.end;
    }
    static constexpr int kBase[] = {9, 11, 0, 2, 4, 5, 7};  // A..G
    static constexpr const char* kNames[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    std::string out;
    int shift = 0;  // octaves the written text stands away from the original here
    bool moved = false;
    auto settle = [&](int want) {
        for (; shift < want; ++shift) out += '>';
        for (; shift > want; --shift) out += '<';
    };
    uint32_t at = a;
    for (const Chunk& c : all) {
        if (c.end <= a || c.begin >= b) continue;
        out.append(text.substr(at, c.begin - at));  // bytes no chunk holds (none expected)
        at = c.end;
        const std::string_view whole = text.substr(c.begin, c.end - c.begin);
        switch (c.kind) {
        case ChunkKind::Pitch: {
            const std::string_view rest = text.substr(c.nameEnd, c.end - c.nameEnd);
            if (text[c.begin] == 'N') {
                int n = 0;
                for (uint32_t i = c.begin + 1; i < c.nameEnd; ++i) n = n * 10 + (text[i] - '0');
                if (c.nameEnd == c.begin + 1 || c.nameEnd - c.begin > 4 || n + semitones < 0 || n + semitones > 95) return std::nullopt;
                out += "N" + std::to_string(n + semitones);
                out.append(rest);
                moved = true;
                break;
            }
            int pitch = kBase[text[c.begin] - 'A'];
            if (c.nameEnd > c.begin + 1) pitch += text[c.begin + 1] == '-' ? -1 : 1;
            pitch += semitones;
            settle(floorDiv(pitch, 12));
            out += kNames[pitch - 12 * floorDiv(pitch, 12)];
            out.append(rest);
            moved = true;
            break;
        }
        case ChunkKind::AbsoluteOctave:
            out.append(whole);
            shift = 0;
            break;
        case ChunkKind::Barrier:
            settle(0);
            out.append(whole);
            break;
        case ChunkKind::Other: out.append(whole); break;
        }
    }
    settle(0);
    if (!moved) return std::nullopt;
    return TextReplacement{a, b, out};
}

std::vector<std::string> lengthParts(double units) {
    std::vector<std::string> out;
    if (!(units > kUnitTolerance) || units > 1e6) return out;
    std::vector<std::string> best;
    size_t bestChars = 0;
    for (int parts = 1; parts <= 4 && best.empty(); ++parts) splitInto(units, parts, out, best, bestChars);
    return best;
}

std::optional<TextReplacement> splitNote(std::string_view text, uint32_t offset, const NoteTimeAt& timeAt) {
    const std::vector<Chunk> all = chunks(text);
    const Chunk* note = noteChunkAt(all, offset);
    if (!note || inTuplet(text, all, *note)) return std::nullopt;
    const std::optional<NoteTime> time = timeAt(note->begin);
    if (!time || !(time->units > 0)) return std::nullopt;
    // The first bar line after the note's start, if it falls inside the note.
    const double bar = 256.0 * (std::floor(time->unitStart / 256.0 + 1e-9) + 1);
    const double first = bar < time->unitStart + time->units - kUnitTolerance ? bar - time->unitStart : time->units / 2;
    std::vector<std::string> lengths = lengthParts(first);
    const std::vector<std::string> second = lengthParts(time->units - first);
    if (lengths.empty() || second.empty()) return std::nullopt;
    lengths.insert(lengths.end(), second.begin(), second.end());
    return TextReplacement{note->begin, note->end, tiedText(noteName(text, *note), lengths, text[note->begin] == 'R')};
}

std::optional<TextReplacement> joinTiedNotes(std::string_view text, uint32_t from, const NoteTimeAt& timeAt) {
    const std::vector<Chunk> all = chunks(text);
    const Chunk* at = noteChunkAt(all, from);
    if (!at || text[at->begin] == 'R' || inTuplet(text, all, *at)) return std::nullopt;
    const std::string name = noteName(text, *at);
    // The chain: notes of this name, each joined to the next by one "&" with
    // nothing but white space around it.
    std::vector<const Chunk*> chain;
    bool tie = false;
    for (const Chunk& c : all) {
        if (c.cls == MmlClass::Plain) continue;
        const bool sameNote = c.cls == MmlClass::Note && text[c.begin] != 'R' && noteName(text, c) == name;
        if (c.cls == MmlClass::Slur && c.end == c.begin + 1 && !chain.empty() && !tie) {
            tie = true;
            continue;
        }
        if (sameNote && tie) {
            chain.push_back(&c);
        } else {
            if (chain.size() > 0 && chain.front()->begin <= at->begin && at->begin <= chain.back()->begin) break;
            chain.clear();
            if (sameNote) chain.push_back(&c);
        }
        tie = false;
    }
    if (chain.size() < 2 || at->begin < chain.front()->begin || at->begin > chain.back()->begin) return std::nullopt;
    double units = 0;
    for (const Chunk* c : chain) {
        const std::optional<NoteTime> time = timeAt(c->begin);
        if (!time) return std::nullopt;
        units += time->units;
    }
    const std::vector<std::string> lengths = lengthParts(units);
    if (lengths.empty() || lengths.size() >= chain.size()) return std::nullopt;
    return TextReplacement{chain.front()->begin, chain.back()->end, tiedText(name, lengths, false)};
}

std::string restsFor(double units) {
    const double whole = std::round(units);
    if (whole < 1 || std::abs(units - whole) > 1e-6 || whole > 1e6) return {};
    auto left = static_cast<int64_t>(whole);
    std::string out;
    for (int n = 1; n <= 256; n *= 2) {
        const int64_t length = 256 / n;
        for (; left >= length; left -= length) out += "R" + std::to_string(n);
    }
    return out;
}

}  // namespace tavolin::music
