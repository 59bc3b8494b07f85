// SPDX-License-Identifier: MIT
// The MML reader: one left-to-right pass from a bank's joined text to its event list.
#include "compiler/ParseMml.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "compiler/DecimalText.h"
#include "compiler/ErrorTable.h"

namespace tavolin {
namespace {

constexpr uint64_t kPassed = std::numeric_limits<uint64_t>::max();

// Past this many dots every further share is zero in all three types; the
// counter stops here so that no run of dots can overflow it.
constexpr int kDotLimit = 2000;

template <size_t N>
constexpr std::array<int32_t, N> filledArray(int32_t v) noexcept {
    std::array<int32_t, N> a{};
    a.fill(v);
    return a;
}

constexpr bool isDigit(int c) noexcept { return c >= '0' && c <= '9'; }

// The arithmetic that differs between 16.16 and floating point, in one place.
template <EngineNumType T>
struct LengthMath {
    // 256 / n units: Fix divides the 16.16 whole note (2^24) as an integer.
    static T wholeOver(int64_t n) noexcept {
        if constexpr (std::is_same_v<T, Fix>) return Fix::fromRaw((int64_t{1} << 24) / n);
        else return T(256) / static_cast<T>(n);
    }
    // v / n, truncated in Fix.
    static T divInt(T v, int64_t n) noexcept {
        if constexpr (std::is_same_v<T, Fix>) return Fix::fromRaw(v.raw() / n);
        else return v / static_cast<T>(n);
    }
    // v / 2^k for the k-th dot (always of the undotted base).
    static T dotShare(T base, int k) noexcept {
        if constexpr (std::is_same_v<T, Fix>) return k >= 63 ? Fix::fromRaw(0) : Fix::fromRaw(base.raw() / (int64_t{1} << k));
        else return k >= kDotLimit ? T(0) : std::ldexp(base, -k);
    }
    // 1 / v for v >= 1: Fix divides 2^32 by the 16.16 value.
    static T reciprocal(T v) noexcept {
        if constexpr (std::is_same_v<T, Fix>) return Fix::fromRaw((int64_t{1} << 32) / v.raw());
        else return T(1) / v;
    }
};

template <EngineNumType T>
class MmlParser {
public:
    using Ev = MmlEvent<T>;
    using Math = LengthMath<T>;

    MmlParser(int32_t maxLevel, std::string_view text, uint64_t startPosition, SourceSpans* spans)
        : m_text(text.substr(0, text.find('\0'))), m_maxLevel(maxLevel), m_startPos(startPosition),
          m_defaultLength(Num<T>::fromInt(4)), m_target(&m_bank), m_spansOut(spans), m_targetSpans(&m_bankSpans) {}

    bool run(EventList<T>& out, uint64_t& errorPosition, int32_t& code) {
        // An empty caller list lends its storage (it is empty again on failure).
        const bool borrowed = out.empty();
        if (borrowed) m_bank.swap(out);
        writePrologue();
        if (!parseText() || !finish()) {
            errorPosition = m_errPos;
            code = m_code;
            if (borrowed) {
                m_bank.clear();
                m_bank.swap(out);
            }
            if (m_spansOut) m_spansOut->clear();
            return false;
        }
        out = std::move(m_bank);
        if (m_spansOut) *m_spansOut = std::move(m_bankSpans);
        return true;
    }

private:
    // ---- scanning -------------------------------------------------------
    int peek() const noexcept { return m_pos < m_text.size() ? static_cast<unsigned char>(m_text[m_pos]) : -1; }

    bool fail(int32_t code) noexcept {
        m_code = code;
        m_errPos = m_pos;
        return false;
    }

    // A missing separator is reported after the character that stands in its place.
    bool expectColon(int32_t code) noexcept {
        if (peek() == ':') {
            ++m_pos;
            return true;
        }
        if (m_pos < m_text.size()) ++m_pos;
        return fail(code);
    }

    // Digits at the read position (at least one), saturating at kMaxTextNumber.
    int64_t scanDigits() noexcept {
        int64_t v = 0;
        while (isDigit(peek())) {
            v = v * 10 + (m_text[m_pos] - '0');
            if (v > kMaxTextNumber) v = kMaxTextNumber;
            ++m_pos;
        }
        return v;
    }

    bool readInt(int64_t& v) noexcept {
        if (!isDigit(peek())) return fail(err::NumberExpected);
        v = scanDigits();
        return true;
    }

    // Digits with at most one point ("12", "12.5", "12."). Without a point the
    // number is an integer (exact in Fix); with one it is read as a double,
    // which Fix truncates to 16.16 and Float rounds.
    bool readDecimal(T& v) noexcept {
        if (!isDigit(peek())) return fail(err::NumberExpected);
        const size_t start = m_pos;
        const int64_t whole = scanDigits();
        if (peek() != '.') {
            v = Num<T>::fromInt(whole);
            return true;
        }
        ++m_pos;
        while (isDigit(peek())) ++m_pos;
        double d = 0.0;
        if (!decimalToDouble(m_text.substr(start, m_pos - start), d) || d > static_cast<double>(kMaxTextNumber))
            d = static_cast<double>(kMaxTextNumber);
        v = Num<T>::fromDouble(d);
        return true;
    }

    // A decimal argument stored in a float field (ToneDef, LfoDef).
    bool readFloatField(float& f) noexcept {
        T v;
        if (!readDecimal(v)) return false;
        f = Num<T>::toFloat(v);
        return true;
    }

    // ---- list building --------------------------------------------------
    // The command being read: from its first byte to the read position.
    RecordSource currentSource() const noexcept {
        RecordSource src;
        if (m_pos < TextSpan::kNone) src.command = TextSpan{static_cast<uint32_t>(m_cmdStart), static_cast<uint32_t>(m_pos - m_cmdStart)};
        return src;
    }

    bool append(const Ev& e) {
        if (m_total >= kMaxEvents) return fail(err::TooManyEvents);
        ++m_total;
        m_target->push_back(e);
        if (m_spansOut) [[unlikely]] recordSource();
        return true;
    }
    // Kept out of line: a compile that does not ask for sources never gets here.
    [[gnu::noinline]] void recordSource() { m_targetSpans->push_back(currentSource()); }
    int32_t targetSize() const noexcept { return static_cast<int32_t>(m_target->size()); }

    void writePrologue() {
        // Songs hold about one record per three bytes of text; reserving that
        // up front spares the copies of a growing list.
        m_bank.reserve(std::min(kMaxEvents, 32 + m_text.size() / 3));
        m_bank.push_back(Ev::makeInt(EventKind::Volume, m_maxLevel >> 1));
        m_bank.push_back(Ev::makeInt(EventKind::Tempo, 120));
        m_bank.push_back(Ev::makeInt(EventKind::ToneSelect, 0));
        Ev porta = Ev::blank(EventKind::Portamento);
        porta.ratio = Math::divInt(Num<T>::fromInt(1), 4);
        m_bank.push_back(porta);
        Ev env = Ev::blank(EventKind::EnvelopeDef);
        env.envelopeDef = {Num<T>::fromInt(20), Num<T>::fromInt(20), Num<T>::fromInt(20), m_maxLevel,
                           static_cast<int32_t>(m_maxLevel * 0.8), -1};
        m_bank.push_back(env);
        m_bank.push_back(Ev::makeInt(EventKind::EnvelopeSelect, 0));
        m_bank.push_back(Ev::makeInt(EventKind::Pan, 128));
        for (int32_t mode : {0, 1}) {
            Ev lfo = Ev::blank(EventKind::LfoDef);
            lfo.lfo.mode = mode;
            lfo.lfo.pointCount = 1;
            lfo.lfo.points[0] = LfoPoint{0.0f, 0, 20.0f, 0.0f};
            m_bank.push_back(lfo);
        }
        m_total = m_bank.size();
        if (m_spansOut) {
            m_bankSpans.reserve(m_bank.capacity());
            m_bankSpans.assign(m_bank.size(), RecordSource{});
        }
    }

    // While a macro is recorded its records are not yet anywhere in the song,
    // so a cursor inside the recording marks the bank list's last record: the
    // place the recording sits in the song. Marking the macro instead would
    // copy the marker into every call (or into none when it is never called).
    void updateStartMarker() noexcept {
        if (m_startPos >= m_pos || m_startPos == kPassed) return;
        EventList<T>& list = m_recording >= 0 ? m_bank : *m_target;
        if (list.empty()) return;
        list.back().startMarker = 1;
        m_startPos = kPassed;
    }

    // The cursor lies after everything read so far: the start marker will
    // land on a later record.
    bool cursorAfter() const noexcept { return m_startPos != kPassed && m_startPos >= m_pos; }

    // ---- main loop ------------------------------------------------------
    bool parseText() {
        while (m_pos < m_text.size()) {
            m_cmdStart = m_pos;
            const int c = static_cast<unsigned char>(m_text[m_pos++]);
            switch (c) {
            case '*': {
                const size_t close = m_text.find('*', m_pos);
                if (close != std::string_view::npos) {
                    m_pos = close + 1;
                    continue; // a closed comment is not a command
                }
                m_pos = m_text.size();
                break;
            }
            case ' ': case '\r': case '\n': continue;
            case '{': if (!tupletStart()) return false; break;
            case '}': if (!tupletEnd()) return false; break;
            case '[': if (!loopStart()) return false; break;
            case ']': if (!loopEnd()) return false; break;
            case ':': if (!loopBreak()) return false; break;
            case 'C': case 'D': case 'E': case 'F': case 'G': case 'A': case 'B':
            case 'N': case 'X': case 'R':
                if (!note(c)) return false;
                break;
            case 'O': {
                int64_t n;
                if (!readInt(n)) return false;
                m_octave = n;
                break;
            }
            case '<': --m_octave; break;
            case '>': ++m_octave; break;
            default:
                if (m_tupletCount >= 0) return fail(err::InTuplet);
                if (!otherCommand(c)) return false;
                break;
            }
            updateStartMarker();
        }
        return true;
    }

    // Rows after the tuplet check: slur and L pass a pending slur, the rest do not.
    bool otherCommand(int c) {
        if (c == '&') {
            if (m_lastNote >= 0) m_pendingSlur = m_lastNote;
            return true;
        }
        if (c == 'L') return defaultLength();
        if (m_pendingSlur >= 0) return fail(err::AfterSlur);
        int64_t n;
        switch (c) {
        case 'P':
            if (!readInt(n)) return false;
            if (n > 256) return fail(err::PanRange);
            return append(Ev::makeInt(EventKind::Pan, static_cast<int32_t>(n)));
        case 'V':
            if (!readInt(n)) return false;
            if (n > 255) return fail(err::VolumeRange);
            return append(Ev::makeInt(EventKind::Volume, static_cast<int32_t>(n)));
        case 'T':
            if (!readInt(n)) return false;
            if (n == 0) return fail(err::BadTempo);
            return append(Ev::makeInt(EventKind::Tempo, static_cast<int32_t>(n)));
        case '!': return macroBang();
        case '@': return atCommand();
        default: return fail(err::UnknownCommand);
        }
    }

    // ---- notes ----------------------------------------------------------
    static int semitoneOf(int c) noexcept {
        switch (c) {
        case 'C': return 0; case 'D': return 2; case 'E': return 4; case 'F': return 5;
        case 'G': return 7; case 'A': return 9; default: return 11; // B
        }
    }

    bool readLength(T& length) noexcept {
        const bool inTuplet = m_tupletCount >= 0;
        T base = m_defaultLength;
        if (isDigit(peek())) {
            const int64_t n = scanDigits();
            if (n > 0) {
                if (inTuplet) return fail(err::InTuplet);
                base = Math::wholeOver(n);
            }
        }
        length = base;
        for (int k = 1; peek() == '.'; k += k < kDotLimit ? 1 : 0) {
            ++m_pos;
            if (inTuplet) return fail(err::InTuplet);
            length += Math::dotShare(base, k);
        }
        return true;
    }

    bool note(int c) {
        T frequency = Num<T>::zero();
        if (c == 'R') {
            // rest
        } else if (c == 'N') {
            int64_t n;
            if (!readInt(n)) return false;
            if (n >= kNoteCount) return fail(err::PitchTooHigh);
            frequency = noteFrequency<T>(static_cast<int>(n));
            if (peek() == ':') ++m_pos;
        } else if (c == 'X') {
            if (!readDecimal(frequency)) return false;
            if (peek() == ':') ++m_pos;
        } else {
            int64_t index = m_octave * 12 + semitoneOf(c);
            if (index < 0) return fail(err::PitchTooLow);
            const int acc = peek();
            if (acc == '#' || acc == '+') { ++m_pos; ++index; }
            else if (acc == '-') { ++m_pos; --index; }
            if (index < 0) return fail(err::PitchTooLow);
            if (index >= kNoteCount) return fail(err::PitchTooHigh);
            frequency = noteFrequency<T>(static_cast<int>(index));
        }
        if (m_pendingSlur >= 0 && frequency == Num<T>::zero()) return fail(err::AfterSlur);
        T length;
        if (!readLength(length)) return false;

        const int32_t index = targetSize();
        Ev e = Ev::makeNote(frequency, length);
        if (m_tupletCount >= 0) {
            if (m_tupletCount >= kMaxTupletNotes) return fail(err::TupletTooLong);
            // The partner of a slur pending before { is the tuplet's first
            // note; it is linked when the tuplet is appended, so a tuplet
            // dropped at the end of the text leaves no link into nothing.
            if (m_pendingSlur >= 0) {
                m_tupletSlurSource = m_pendingSlur;
                m_pendingSlur = -1;
            }
            if (m_spansOut) m_tupletSources[static_cast<size_t>(m_tupletCount)] = currentSource();
            m_tuplet[static_cast<size_t>(m_tupletCount++)] = e;
            m_lastNote = index;
            return true;
        }
        if (m_pendingSlur >= 0) {
            (*m_target)[static_cast<size_t>(m_pendingSlur)].note.slurTarget = index;
            m_pendingSlur = -1;
        }
        if (!append(e)) return false;
        m_lastNote = index;
        m_lastNoteRecord = index;
        return true;
    }

    bool defaultLength() noexcept {
        int64_t n;
        if (!readInt(n)) return false;
        if (n == 0) return fail(err::BadLength);
        const T base = Math::wholeOver(n);
        T length = base;
        for (int k = 1; peek() == '.'; k += k < kDotLimit ? 1 : 0) {
            ++m_pos;
            length += Math::dotShare(base, k);
        }
        m_defaultLength = length;
        return true;
    }

    // ---- tuplets --------------------------------------------------------
    bool tupletStart() noexcept {
        if (m_tupletCount >= 0) return fail(err::TupletEmpty);
        m_tupletCount = 0;
        return true;
    }

    bool tupletEnd() {
        if (m_tupletCount < 0) return fail(err::TupletNotOpen);
        if (m_tupletCount == 0) return fail(err::TupletEmpty);
        const int32_t first = targetSize();
        const T length = Math::divInt(m_tuplet[0].note.length, m_tupletCount);
        for (int32_t i = 0; i < m_tupletCount; ++i) {
            Ev e = m_tuplet[static_cast<size_t>(i)];
            e.note.length = length;
            if (!append(e)) return false;
            if (m_spansOut) m_targetSpans->back() = m_tupletSources[static_cast<size_t>(i)];
        }
        if (m_tupletSlurSource >= 0) {
            (*m_target)[static_cast<size_t>(m_tupletSlurSource)].note.slurTarget = first;
            m_tupletSlurSource = -1;
        }
        // A slur written after } continues from the tuplet's last note.
        m_lastNote = first + m_tupletCount - 1;
        m_lastNoteRecord = m_lastNote;
        m_tupletCount = -1;
        return true;
    }

    // ---- loops ----------------------------------------------------------
    bool loopStart() {
        if (m_tupletCount >= 0) return fail(err::LoopInTuplet);
        if (m_loopLevel + 1 >= kMaxLoopLevels) return fail(err::LoopTooDeep);
        ++m_loopLevel;
        m_loopStack[static_cast<size_t>(m_loopLevel)] = targetSize();
        return append(Ev::makeLoop(LoopOp::LoopStart, 0, 0, m_loopLevel));
    }

    bool loopEnd() {
        if (m_tupletCount >= 0) return fail(err::LoopInTuplet);
        if (m_loopLevel < 0) return fail(err::LoopNotOpen);
        int32_t count = -1;
        if (isDigit(peek())) {
            const int64_t n = scanDigits();
            if (n < 1) return fail(err::LoopCount);
            count = static_cast<int32_t>(n);
        }
        const int32_t s = m_loopStack[static_cast<size_t>(m_loopLevel)];
        if (m_lastNoteRecord <= s) return fail(err::LoopWithoutNote);
        // Playback can only miss the cursor behind an endless loop it never
        // leaves: counted loops end and a break leaves an endless one on its
        // first pass, so only an endless loop without a break of its own may
        // not end before the cursor. A ] at or after the cursor is reached on
        // the first pass (the cursor then marks this very record). In a
        // recording nothing is played yet: the calls are checked instead.
        if (count < 0 && !loopHasBreak(s)) {
            if (m_recording >= 0) {
                int32_t& first = m_macroTraps[static_cast<size_t>(m_recording)];
                if (first < 0) first = targetSize();
            } else if (cursorAfter()) {
                return fail(err::CursorAfterLoop);
            }
        }
        auto& start = (*m_target)[static_cast<size_t>(s)].loop;
        start.partner = targetSize();
        start.count = count;
        if (!append(Ev::makeLoop(LoopOp::LoopEnd, count, s, m_loopLevel))) return false;
        --m_loopLevel;
        return true;
    }

    // The body of the loop whose LoopStart is record s of the target list
    // holds a break of that loop (not of a loop nested in it).
    bool loopHasBreak(int32_t s) const {
        const auto& list = *m_target;
        for (size_t i = static_cast<size_t>(s) + 1; i < list.size(); ++i) {
            const auto& e = list[i];
            if (e.kind == EventKind::LoopControl && e.loop.op == LoopOp::LoopBreak && e.loop.partner == s) return true;
        }
        return false;
    }

    // A break outside every loop would have no loop to leave; it is refused
    // with the "loop end without loop start" error rather than dropped, so the
    // slip is shown to the writer.
    bool loopBreak() {
        if (m_tupletCount >= 0) return fail(err::LoopInTuplet);
        if (m_loopLevel < 0) return fail(err::LoopNotOpen);
        return append(Ev::makeLoop(LoopOp::LoopBreak, 0, m_loopStack[static_cast<size_t>(m_loopLevel)], m_loopLevel));
    }

    // ---- macros ---------------------------------------------------------
    static int macroIndex(int c) noexcept { return (c >= 'A' && c <= 'Z') ? c - 'A' : -1; }

    // The slur state names positions of one list; a change of target list
    // starts afresh, so a & right after the switch links nothing (as at the
    // start of a text) instead of writing into the wrong list.
    void switchTarget(EventList<T>* list, SourceSpans* spans) noexcept {
        m_target = list;
        m_targetSpans = spans;
        m_lastNote = -1;
        m_lastNoteRecord = -1;
    }

    bool macroBang() {
        if (m_recording >= 0) {
            if (m_loopLevel >= 0) return fail(err::MacroEndInLoop);
            m_recording = -1;
            switchTarget(&m_bank, &m_bankSpans);
            return true;
        }
        const int x = macroIndex(peek());
        if (x < 0) return fail(err::MacroLetter);
        ++m_pos;
        return callMacro(static_cast<size_t>(x));
    }

    bool recordMacro() {
        ++m_pos; // the '!'
        if (m_loopLevel >= 0) return fail(err::MacroInLoop);
        if (m_recording >= 0) return fail(err::MacroNested);
        const int x = macroIndex(peek());
        if (x < 0) return fail(err::MacroLetter);
        ++m_pos;
        auto& list = m_macros[static_cast<size_t>(x)];
        m_total -= list.size();
        list.clear();
        m_macroSpans[static_cast<size_t>(x)].clear();
        m_macroTraps[static_cast<size_t>(x)] = -1;
        m_recording = x;
        switchTarget(&list, &m_macroSpans[static_cast<size_t>(x)]);
        return true;
    }

    // Appends copies of a macro's records with their links moved to the
    // copies. Loops in the copy are shifted below the loops open at the call,
    // so they get loop counters of their own; a copy that would need more than
    // 32 levels is refused like a 33rd nested [.
    bool callMacro(size_t letter) {
        const EventList<T>& macro = m_macros[letter];
        const size_t n = macro.size();
        if (n == 0) return true;
        if (m_total + n > kMaxEvents) return fail(err::TooManyEvents);
        const int32_t b = targetSize();
        // (A call is never recorded: a ! always ends a recording.) A cursor
        // after the call is never reached past an endless loop in the copy;
        // a cursor on the call marks the copy's last record, which is
        // reached only when it is that loop's end.
        const int32_t trap = m_macroTraps[letter];
        if (trap >= 0 && m_startPos != kPassed && (cursorAfter() || trap < static_cast<int32_t>(n) - 1))
            return fail(err::CursorAfterLoop);
        const int32_t shift = m_loopLevel + 1;
        // Grow geometrically: an exact reserve per call would copy the whole
        // list on every call.
        if (m_target->capacity() < m_target->size() + n) m_target->reserve(std::max(m_target->capacity() * 2, m_target->size() + n));
        int32_t lastNote = -1;
        for (size_t i = 0; i < n; ++i) {
            Ev e = macro[i];
            if (e.kind == EventKind::LoopControl) {
                e.loop.partner += b;
                e.loop.level += shift;
                if (e.loop.level >= kMaxLoopLevels) return fail(err::LoopTooDeep);
            } else if (e.kind == EventKind::Note) {
                if (e.note.slurTarget != -1) e.note.slurTarget += b;
                lastNote = b + static_cast<int32_t>(i);
            }
            m_target->push_back(e);
        }
        m_total += n;
        if (m_spansOut) {
            // The copies keep where they were recorded and name this call.
            const TextSpan call = currentSource().command;
            for (RecordSource src : m_macroSpans[letter]) {
                src.call = call;
                m_targetSpans->push_back(src);
            }
        }
        // A & right after the call continues from the macro's last note,
        // which is the note that sounds last before it.
        if (lastNote >= 0) {
            m_lastNote = lastNote;
            m_lastNoteRecord = lastNote;
        }
        return true;
    }

    // ---- @-commands -----------------------------------------------------
    bool atCommand() {
        const int c = peek();
        if (isDigit(c)) {
            const int64_t n = scanDigits() % 256;
            if (n > 31) return fail(err::ToneRange);
            return append(Ev::makeInt(EventKind::ToneSelect, static_cast<int32_t>(n)));
        }
        switch (c) {
        case '!': return recordMacro();
        case 'S': {
            ++m_pos;
            T v;
            if (!readDecimal(v)) return false;
            if (v < Num<T>::fromInt(1)) return fail(err::BadValue);
            Ev e = Ev::blank(EventKind::Portamento);
            e.ratio = Math::reciprocal(v);
            return append(e);
        }
        case 'L': ++m_pos; return lfoDef();
        case 'E':
            ++m_pos;
            if (peek() == 'D') {
                ++m_pos;
                return envelopeDef();
            }
            return envelopeSelect();
        case 'W': ++m_pos; return toneDef();
        default: return true; // a lone @ is dropped; the next byte is read as a command
        }
    }

    bool readLevel(int64_t& v) noexcept {
        if (!readInt(v)) return false;
        if (v > 255) return fail(err::ParamRange);
        return true;
    }

    bool envelopeDef() {
        int64_t slot, attackLevel, sustainLevel;
        T attack, decay, release;
        if (!readLevel(slot) || !expectColon(err::EnvelopeFormat)) return false;
        if (!readDecimal(attack) || !expectColon(err::EnvelopeFormat)) return false;
        if (!readDecimal(decay) || !expectColon(err::EnvelopeFormat)) return false;
        if (!readDecimal(release) || !expectColon(err::EnvelopeFormat)) return false;
        if (!readLevel(attackLevel) || !expectColon(err::EnvelopeFormat)) return false;
        if (!readLevel(sustainLevel)) return false;
        Ev e = Ev::blank(EventKind::EnvelopeDef);
        e.envelopeDef = {attack, decay, release, static_cast<int32_t>(attackLevel),
                         static_cast<int32_t>(sustainLevel), static_cast<int32_t>(slot)};
        return append(e);
    }

    bool envelopeSelect() {
        int64_t n;
        if (!readLevel(n)) return false;
        return append(Ev::makeInt(EventKind::EnvelopeSelect, static_cast<int32_t>(n)));
    }

    bool readPercentOption(int letter, float& value, float maxValue, int32_t code) noexcept {
        if (peek() != letter) return true;
        ++m_pos;
        if (!readFloatField(value)) return false;
        if (!(value >= 0.0f && value <= maxValue)) return fail(code);
        return true;
    }

    bool toneDef() {
        int64_t tone, wave;
        if (!readInt(tone)) return false;
        if (tone > 31) return fail(err::ToneDefNumber);
        if (!expectColon(err::EnvelopeFormat)) return false;
        if (!readInt(wave)) return false;
        if (wave > 4) return fail(err::WaveType);
        Ev e = Ev::blank(EventKind::ToneDef);
        ToneDefPayload& p = e.toneDef;
        p.tone = static_cast<int32_t>(tone);
        p.wave = static_cast<int32_t>(wave);
        if (!readPercentOption('R', p.freqNoise, 100.0f, err::FreqNoiseRange)) return false;
        if (!readPercentOption('N', p.levelNoise, 100.0f, err::LevelNoiseRange)) return false;
        if (!readPercentOption('C', p.dutySwitchMs, 1000.0f, err::DutySwitchRange)) return false;
        if (peek() != ':') return expectColon(err::NoDuty);
        do {
            ++m_pos; // the ':'
            if (p.dutyCount == kMaxDuties) return fail(err::TooManyDuties);
            float duty;
            if (!readFloatField(duty)) return false;
            if (!(duty >= 0.0f && duty <= 99.0f)) return fail(err::DutyRange);
            p.duties[static_cast<size_t>(p.dutyCount++)] = duty;
        } while (peek() == ':');
        return append(e);
    }

    bool lfoDef() {
        Ev e = Ev::blank(EventKind::LfoDef);
        LfoDefPayload& p = e.lfo;
        const int kind = peek();
        if (kind < 0) return fail(err::LfoType);
        ++m_pos;
        if (kind == 'T') p.mode = 1;
        else if (kind == 'V') p.mode = 0;
        else return fail(err::LfoType);
        if (peek() == 'P') {
            ++m_pos;
            p.mode += 2;
        }
        float previous = -1.0f;
        for (;;) {
            LfoPoint point{};
            if (!readFloatField(point.time)) return false;
            point.interpolate = 1;
            if (peek() == 'S') { ++m_pos; point.interpolate = 0; }
            else if (peek() == 'L') ++m_pos;
            if (!expectColon(err::LfoFormat)) return false;
            if (!(point.time > previous)) return fail(err::LfoTimeOrder);
            previous = point.time;
            if (!readFloatField(point.periodMs) || !expectColon(err::LfoFormat)) return false;
            T depth;
            if (!readDecimal(depth)) return false;
            point.depth = Num<T>::toFloat(Math::divInt(depth, 100));
            p.points[static_cast<size_t>(p.pointCount++)] = point;
            if (peek() != ':') break;
            ++m_pos;
            if (p.pointCount == kMaxLfoPoints) break;
        }
        return append(e);
    }

    // ---- end of text ----------------------------------------------------
    bool finish() {
        if (m_pendingSlur >= 0 || m_tupletSlurSource >= 0) return fail(err::SlurAtEnd);
        // Loops left open in the song: the body plays once (count 0). A break
        // inside one leaves to the end of the text, so its LoopStart names the
        // text's last record as its partner (a partner of 0 would send the
        // break back to the second record of the list).
        if (m_recording < 0) {
            const int32_t last = static_cast<int32_t>(m_bank.size()) - 1;
            for (int32_t level = 0; level <= m_loopLevel; ++level)
                m_bank[static_cast<size_t>(m_loopStack[static_cast<size_t>(level)])].loop.partner = last;
        }
        // Slur targets always lie later in the list, so one backward pass
        // sums each run from its end.
        for (size_t i = m_bank.size(); i-- > 0;) {
            auto& n = m_bank[i];
            if (n.kind != EventKind::Note) continue;
            n.note.groupLength = n.note.length;
            if (n.note.slurTarget >= 0) n.note.groupLength += m_bank[static_cast<size_t>(n.note.slurTarget)].note.groupLength;
        }
        if (m_startPos != kPassed) {
            Ev end = Ev::blank(EventKind::EndMarker);
            end.startMarker = 1;
            m_bank.push_back(end);
            if (m_spansOut) m_bankSpans.push_back(RecordSource{});
        }
        return true;
    }

    std::string_view m_text;
    size_t m_pos = 0;
    int32_t m_maxLevel;
    uint64_t m_startPos;
    int64_t m_octave = 4; // wide: O and < > have no range of their own
    T m_defaultLength;
    int32_t m_lastNote = -1;       // index of the last note read (in the target list)
    int32_t m_lastNoteRecord = -1; // index of the last Note record appended to the target list
    int32_t m_pendingSlur = -1;
    int32_t m_tupletSlurSource = -1;
    EventList<T> m_bank;
    std::array<EventList<T>, kMacroCount> m_macros;
    // Per macro, the index of its first endless loop end that no break of its
    // own leaves (-1: none): a call the cursor comes after never gets past it.
    std::array<int32_t, kMacroCount> m_macroTraps = filledArray<kMacroCount>(-1);
    EventList<T>* m_target;
    int m_recording = -1;
    int32_t m_loopLevel = -1;
    std::array<int32_t, kMaxLoopLevels> m_loopStack{};
    int32_t m_tupletCount = -1;
    std::array<Ev, kMaxTupletNotes> m_tuplet;
    size_t m_total = 0;
    size_t m_cmdStart = 0;  // first byte of the command being read
    // Record sources, kept only when the caller asks: one list per event list.
    SourceSpans* m_spansOut;
    SourceSpans m_bankSpans;
    std::array<SourceSpans, kMacroCount> m_macroSpans;
    SourceSpans* m_targetSpans;
    std::array<RecordSource, kMaxTupletNotes> m_tupletSources;
    int32_t m_code = 0;
    size_t m_errPos = 0;
};

}  // namespace

template <EngineNumType T>
bool ParseMml(int32_t maxLevel, std::string_view text, EventList<T>& out, uint64_t& errorPosition, int32_t& code,
              uint64_t startPosition, SourceSpans* spans) {
    MmlParser<T> parser(maxLevel, text, startPosition, spans);
    return parser.run(out, errorPosition, code);
}

template bool ParseMml<Fix>(int32_t, std::string_view, EventList<Fix>&, uint64_t&, int32_t&, uint64_t, SourceSpans*);
template bool ParseMml<float>(int32_t, std::string_view, EventList<float>&, uint64_t&, int32_t&, uint64_t, SourceSpans*);
template bool ParseMml<double>(int32_t, std::string_view, EventList<double>&, uint64_t&, int32_t&, uint64_t, SourceSpans*);

}  // namespace tavolin
