// SPDX-License-Identifier: MIT
// The colour classifier: a scan that follows the compiler's reading of each command.
#include "music/MmlClasses.h"

namespace tavolin::music {
namespace {

constexpr bool isDigit(int c) noexcept { return c >= '0' && c <= '9'; }
constexpr bool isLetter(int c) noexcept { return c >= 'A' && c <= 'Z'; }
// A CP932 lead byte: the byte after it belongs to the same character.
constexpr bool isLeadByte(int c) noexcept { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

class Classifier {
public:
    Classifier(std::string_view text, MmlClassState& state) : m_text(text), m_state(state) {}

    std::vector<MmlClassRange> run() {
        if (m_state.inComment) comment(0);
        while (m_pos < m_text.size()) {
            const size_t start = m_pos;
            const int c = at(m_pos++);
            switch (c) {
            case '*': comment(start); continue;
            case ' ': case '\r': case '\n': emit(start, MmlClass::Plain); continue;
            case '{': case '}': emit(start, MmlClass::Tuplet); continue;
            case '[': case ':': emit(start, MmlClass::Loop); continue;
            case ']': digits(); emit(start, MmlClass::Loop); continue;
            case '&': emit(start, MmlClass::Slur); continue;
            case '<': case '>': emit(start, MmlClass::Octave); continue;
            case 'O': digits(); emit(start, MmlClass::Octave); continue;
            case 'L': digits(); dots(); emit(start, MmlClass::Octave); continue;
            case 'T': case 'V': case 'P': digits(); emit(start, MmlClass::Setting); continue;
            case '@': atCommand(start); continue;
            case '!': macroMark(start); continue;
            case 'C': case 'D': case 'E': case 'F': case 'G': case 'A': case 'B': case 'R': case 'N': case 'X':
                note(start, c);
                continue;
            default:
                if (isLeadByte(c) && m_pos < m_text.size()) ++m_pos;  // one character, never a command
                emit(start, MmlClass::Unknown);
                continue;
            }
        }
        return std::move(m_out);
    }

private:
    int at(size_t i) const noexcept { return i < m_text.size() ? static_cast<unsigned char>(m_text[i]) : -1; }
    int peek() const noexcept { return at(m_pos); }

    void emit(size_t start, MmlClass cls) {
        if (m_pos <= start) return;
        // Neighbours of one class become one range: fewer formats for a view to apply.
        if (!m_out.empty() && m_out.back().cls == cls && m_out.back().begin + m_out.back().length == start) {
            m_out.back().length += static_cast<uint32_t>(m_pos - start);
            return;
        }
        m_out.push_back(MmlClassRange{static_cast<uint32_t>(start), static_cast<uint32_t>(m_pos - start), cls});
    }

    void digits() noexcept {
        while (isDigit(peek())) ++m_pos;
    }
    void dots() noexcept {
        while (peek() == '.') ++m_pos;
    }
    // Digits with at most one point, as the compiler reads a decimal number.
    bool decimal() noexcept {
        if (!isDigit(peek())) return false;
        digits();
        if (peek() == '.') {
            ++m_pos;
            digits();
        }
        return true;
    }
    // ':' followed by a number: one more argument of the same command.
    bool colonDecimal() noexcept {
        if (peek() != ':' || !isDigit(at(m_pos + 1))) return false;
        ++m_pos;
        decimal();
        return true;
    }

    // From `start` (the opening *, or the text's start when a comment is
    // still open) to the closing *, or to the end of the text, where the
    // comment stays open for the next piece.
    void comment(size_t start) {
        m_state.inComment = true;
        while (m_pos < m_text.size()) {
            if (m_text[m_pos++] == '*') {
                m_state.inComment = false;
                break;
            }
        }
        emit(start, MmlClass::Comment);
    }

    void note(size_t start, int c) {
        if (c == 'N') {
            digits();
            if (peek() == ':') ++m_pos;
        } else if (c == 'X') {
            decimal();
            if (peek() == ':') ++m_pos;
        } else if (c != 'R' && (peek() == '#' || peek() == '+' || peek() == '-')) {
            ++m_pos;
        }
        emit(start, MmlClass::Note);
        const size_t length = m_pos;
        digits();
        dots();
        emit(length, MmlClass::Length);
    }

    void macroMark(size_t start) {
        if (m_state.recording) {
            m_state.recording = false;  // the ! ends the recording; the next byte is a command
        } else if (isLetter(peek())) {
            ++m_pos;
        }
        emit(start, MmlClass::Macro);
    }

    void atCommand(size_t start) {
        const int c = peek();
        if (isDigit(c)) {
            digits();
        } else if (c == '!') {
            ++m_pos;
            if (isLetter(peek())) ++m_pos;
            m_state.recording = true;
            emit(start, MmlClass::Macro);
            return;
        } else if (c == 'S') {
            ++m_pos;
            decimal();
        } else if (c == 'E') {
            ++m_pos;
            if (peek() == 'D') {
                ++m_pos;
                digits();
                while (colonDecimal()) {}
            } else {
                digits();
            }
        } else if (c == 'W') {
            ++m_pos;
            digits();
            if (colonDecimal()) {
                for (const char option : {'R', 'N', 'C'}) {
                    if (peek() == option && isDigit(at(m_pos + 1))) {
                        ++m_pos;
                        decimal();
                    }
                }
                while (colonDecimal()) {}
            }
        } else if (c == 'L') {
            ++m_pos;
            if (peek() == 'T' || peek() == 'V') {
                ++m_pos;
                if (peek() == 'P') ++m_pos;
                lfoPoints();
            }
        }
        emit(start, MmlClass::Sound);
    }

    // time[S|L]:period:depth, points joined by ':'.
    void lfoPoints() noexcept {
        while (decimal()) {
            if (peek() == 'S' || peek() == 'L') ++m_pos;
            if (!colonDecimal() || !colonDecimal()) return;
            if (peek() != ':' || !isDigit(at(m_pos + 1))) return;
            ++m_pos;
        }
    }

    std::string_view m_text;
    MmlClassState& m_state;
    size_t m_pos = 0;
    std::vector<MmlClassRange> m_out;
};

}  // namespace

std::vector<MmlClassRange> classifyMml(std::string_view text, MmlClassState& state) { return Classifier(text, state).run(); }

char mmlClassLetter(MmlClass cls) noexcept {
    constexpr char kLetters[] = " nlos@[{!&*?";
    static_assert(sizeof kLetters - 1 == kMmlClassCount);
    const int i = static_cast<int>(cls);
    return i >= 0 && i < kMmlClassCount ? kLetters[i] : '#';
}

}  // namespace tavolin::music
