// Transposing MML text: notes rewritten one by one, the octave carried with the fewest marks.
#include "editor/Transpose.h"

#include <cmath>
#include <vector>

#include "editor/MmlClasses.h"

namespace tavolin::editor {
namespace {

enum class ChunkKind { Pitch, Other, AbsoluteOctave, Barrier };

struct Chunk {
    uint32_t begin;
    uint32_t end;
    uint32_t nameEnd;  // Pitch: where the note's name (letter and accidental, or N and number) ends
    ChunkKind kind;
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
                out.push_back({i, j, nameEnd, (c == 'R' || c == 'X') ? ChunkKind::Other : ChunkKind::Pitch});
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
                out.push_back({i, j, j, text[i] == 'O' ? ChunkKind::AbsoluteOctave : ChunkKind::Other});
                i = j;
            }
            continue;
        }
        const bool barrier = r.cls == MmlClass::Loop || r.cls == MmlClass::Macro;
        out.push_back({r.begin, end, end, barrier ? ChunkKind::Barrier : ChunkKind::Other});
    }
    return out;
}

int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

std::optional<TextEdit> transposeSelection(std::string_view text, uint32_t from, uint32_t to, int semitones) {
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
    return TextEdit{a, b, out};
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

}  // namespace tavolin::editor
