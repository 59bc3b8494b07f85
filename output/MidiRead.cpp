// SPDX-License-Identifier: MIT
// The MIDI reader. Every length is checked against the bytes that are really
// there before anything is read or allocated, so a damaged file ends in one
// MidiReadError and never in a long loop or a large reservation.
#include "output/MidiRead.h"

#include <algorithm>
#include <array>
#include <memory>

#include "compiler/UiText.h"

namespace tavolin::output {
namespace {

struct Fail {
    MidiReadError error;
};

class Bytes {
public:
    Bytes(std::string_view bytes, size_t at, size_t end) : m_b(bytes), m_at(at), m_end(end) {}
    size_t at() const noexcept { return m_at; }
    size_t left() const noexcept { return m_end - m_at; }
    bool done() const noexcept { return m_at >= m_end; }
    uint8_t peek() const noexcept { return static_cast<uint8_t>(m_b[m_at]); }
    uint8_t u8(MidiFault fault) {
        if (m_at >= m_end) throw Fail{{fault, m_at}};
        return static_cast<uint8_t>(m_b[m_at++]);
    }
    uint8_t data(MidiFault pastEnd) {
        const size_t here = m_at;
        const uint8_t v = u8(pastEnd);
        if (v & 0x80) throw Fail{{MidiFault::BadData, here}};
        return v;
    }
    uint32_t be(int n, MidiFault fault) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = v << 8 | u8(fault);
        return v;
    }
    uint32_t varLen(MidiFault pastEnd) {
        const size_t here = m_at;
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t c = u8(pastEnd);
            v = v << 7 | (c & 0x7F);
            if (!(c & 0x80)) return v;
        }
        throw Fail{{MidiFault::BadLength, here}};
    }
    std::string_view take(size_t n, MidiFault pastEnd) {
        if (n > left()) throw Fail{{pastEnd, m_at}};
        const std::string_view s = m_b.substr(m_at, n);
        m_at += n;
        return s;
    }

private:
    std::string_view m_b;
    size_t m_at;
    size_t m_end;
};

// Open notes of one track: per channel and key, the notes still waiting for
// their note-off, oldest first (a note-off ends the oldest).
class OpenNotes {
public:
    void push(int channel, int key, size_t note) { slot(channel, key).notes.push_back(note); }
    // The oldest open note of that key, taken off the list; false when none.
    bool pop(int channel, int key, size_t& note) {
        Queue& q = slot(channel, key);
        if (q.head == q.notes.size()) return false;
        note = q.notes[q.head++];
        if (q.head == q.notes.size()) q.notes.clear(), q.head = 0;
        return true;
    }
    template <typename Fn>
    void drain(Fn fn) {
        for (Queue& q : m_open) {
            for (size_t i = q.head; i < q.notes.size(); ++i) fn(q.notes[i]);
            q.notes.clear();
            q.head = 0;
        }
    }

private:
    struct Queue {
        std::vector<size_t> notes;
        size_t head = 0;
    };
    Queue& slot(int channel, int key) { return m_open[static_cast<size_t>(channel * 128 + key)]; }
    std::array<Queue, 16 * 128> m_open;
};

void readTrack(Bytes& in, int32_t track, MidiData& out, OpenNotes& open) {
    std::array<int32_t, 16> program{};
    std::array<int32_t, 16> volume;
    volume.fill(100);
    uint64_t tick = 0;
    uint8_t running = 0;
    bool named = false;
    while (!in.done()) {
        tick += in.varLen(MidiFault::EventPastTrack);
        if (in.done()) throw Fail{{MidiFault::EventPastTrack, in.at()}};
        uint8_t status = running;
        if (in.peek() & 0x80) {
            status = in.u8(MidiFault::EventPastTrack);
        } else if (running == 0) {
            throw Fail{{MidiFault::NoStatus, in.at()}};
        }
        if (status == 0xFF) {
            running = 0;  // meta events and SysEx cancel running status
            const uint8_t type = in.data(MidiFault::EventPastTrack);
            const uint32_t length = in.varLen(MidiFault::EventPastTrack);
            const std::string_view d = in.take(length, MidiFault::EventPastTrack);
            if (type == 0x2F) break;  // end of track: anything after it in the chunk is ignored
            if (type == 0x03 && !named) {
                out.trackNames[static_cast<size_t>(track)] = std::string(d);
                named = true;
            } else if (type == 0x51 && d.size() >= 3) {
                const uint32_t us = static_cast<uint32_t>(static_cast<uint8_t>(d[0])) << 16 |
                                    static_cast<uint32_t>(static_cast<uint8_t>(d[1])) << 8 | static_cast<uint8_t>(d[2]);
                out.tempos.push_back({tick, std::max<uint32_t>(us, 1)});
            } else if (type == 0x06 && (d == "loopStart" || d == "loopEnd")) {
                std::optional<uint64_t>& mark = d == "loopStart" ? out.loopStart : out.loopEnd;
                mark = std::min(mark.value_or(tick), tick);
            } else if (type == 0x58 && d.size() >= 2) {
                const int32_t num = std::max<int32_t>(static_cast<uint8_t>(d[0]), 1);
                const int32_t power = std::min<int32_t>(static_cast<uint8_t>(d[1]), 6);  // up to 1/64
                out.meters.push_back({tick, num, 1 << power});
            }
            continue;
        }
        if (status == 0xF0 || status == 0xF7) {
            running = 0;
            in.take(in.varLen(MidiFault::EventPastTrack), MidiFault::EventPastTrack);
            ++out.dropped.sysex;
            continue;
        }
        if (status >= 0xF0) throw Fail{{MidiFault::BadStatus, in.at() - 1}};
        running = status;
        const int ch = status & 0x0F;
        const auto chi = static_cast<size_t>(ch);
        switch (status & 0xF0) {
        case 0x80:
        case 0x90: {
            const uint8_t key = in.data(MidiFault::EventPastTrack);
            const uint8_t velocity = in.data(MidiFault::EventPastTrack);
            size_t note = 0;
            if ((status & 0xF0) == 0x90 && velocity > 0) {
                open.push(ch, key, out.notes.size());
                out.notes.push_back({tick, tick, track, ch, key, velocity, program[chi], volume[chi]});
            } else if (open.pop(ch, key, note)) {
                out.notes[note].end = tick;
            } else {
                ++out.dropped.strayNoteOffs;
            }
            break;
        }
        case 0xA0:
            in.data(MidiFault::EventPastTrack);
            in.data(MidiFault::EventPastTrack);
            ++out.dropped.aftertouch;
            break;
        case 0xB0: {
            const uint8_t cc = in.data(MidiFault::EventPastTrack);
            const uint8_t value = in.data(MidiFault::EventPastTrack);
            if (cc == 7) volume[chi] = value;
            else if (cc == 111) out.loopStart = std::min(out.loopStart.value_or(tick), tick);
            else ++out.dropped.controllers;
            break;
        }
        case 0xC0: program[chi] = in.data(MidiFault::EventPastTrack); break;
        case 0xD0:
            in.data(MidiFault::EventPastTrack);
            ++out.dropped.aftertouch;
            break;
        case 0xE0:
            in.data(MidiFault::EventPastTrack);
            in.data(MidiFault::EventPastTrack);
            ++out.dropped.pitchBends;
            break;
        }
    }
    open.drain([&](size_t i) {
        out.notes[i].end = tick;
        ++out.dropped.unendedNotes;
    });
    out.endTick = std::max(out.endTick, tick);
}

// Keeps the last change read at each tick, in tick order.
template <typename Change>
void lastPerTick(std::vector<Change>& changes) {
    std::stable_sort(changes.begin(), changes.end(), [](const Change& a, const Change& b) { return a.tick < b.tick; });
    std::vector<Change> kept;
    for (const Change& c : changes) {
        if (!kept.empty() && kept.back().tick == c.tick) kept.back() = c;
        else kept.push_back(c);
    }
    changes = std::move(kept);
}

MidiData readFile(std::string_view bytes) {
    if (bytes.size() < 4 || bytes.substr(0, 4) != "MThd") throw Fail{{MidiFault::NoHeader, 0}};
    Bytes head(bytes, 4, bytes.size());
    const uint32_t headLength = head.be(4, MidiFault::Truncated);
    if (headLength < 6) throw Fail{{MidiFault::BadHeaderLength, 4}};
    if (headLength > head.left()) throw Fail{{MidiFault::Truncated, 8}};
    MidiData out;
    out.format = static_cast<int32_t>(head.be(2, MidiFault::Truncated));
    if (out.format == 2) throw Fail{{MidiFault::Format2, 8}};
    if (out.format > 2) throw Fail{{MidiFault::UnknownFormat, 8}};
    const uint32_t trackCount = head.be(2, MidiFault::Truncated);
    const uint32_t division = head.be(2, MidiFault::Truncated);
    if (division & 0x8000) throw Fail{{MidiFault::Smpte, 12}};
    if (division == 0) throw Fail{{MidiFault::ZeroDivision, 12}};
    out.ticksPerQuarter = static_cast<int32_t>(division);

    size_t at = 8 + headLength;
    const auto open = std::make_unique<OpenNotes>();  // 2,048 queues: not on the stack
    int32_t track = 0;
    while (static_cast<uint32_t>(track) < trackCount) {
        if (bytes.size() - at < 8) throw Fail{{at == bytes.size() ? MidiFault::MissingTracks : MidiFault::Truncated, at}};
        Bytes chunk(bytes, at + 4, bytes.size());
        const uint32_t length = chunk.be(4, MidiFault::Truncated);
        if (length > chunk.left()) throw Fail{{MidiFault::Truncated, at + 4}};
        const bool isTrack = bytes.substr(at, 4) == "MTrk";
        if (isTrack) {
            out.trackNames.emplace_back();
            Bytes body(bytes, at + 8, at + 8 + length);
            readTrack(body, track, out, *open);
            ++track;
        }
        at += 8 + length;  // chunks of other types are skipped
    }
    std::stable_sort(out.notes.begin(), out.notes.end(), [](const MidiNote& a, const MidiNote& b) {
        if (a.start != b.start) return a.start < b.start;
        if (a.track != b.track) return a.track < b.track;
        if (a.channel != b.channel) return a.channel < b.channel;
        return a.key < b.key;
    });
    const size_t before = out.notes.size();
    std::erase_if(out.notes, [](const MidiNote& n) { return n.end <= n.start; });
    out.dropped.emptyNotes = before - out.notes.size();
    lastPerTick(out.tempos);
    lastPerTick(out.meters);
    return out;
}

}  // namespace

std::string midiReadErrorText(const MidiReadError& error) {
    const char* what = "";
    switch (error.fault) {
    case MidiFault::NoHeader: what = TAVOLIN_TR_NOOP("Texts", "MIDIファイルではありません（先頭にMThdがない）"); break;
    case MidiFault::BadHeaderLength: what = TAVOLIN_TR_NOOP("Texts", "ヘッダーの長さが不正です"); break;
    case MidiFault::Truncated: what = TAVOLIN_TR_NOOP("Texts", "チャンクがファイルの終わりを越えています（途中で切れたファイル）"); break;
    case MidiFault::Format2: what = TAVOLIN_TR_NOOP("Texts", "フォーマット2のMIDIファイルは読めません"); break;
    case MidiFault::UnknownFormat: what = TAVOLIN_TR_NOOP("Texts", "未知のフォーマット番号です"); break;
    case MidiFault::Smpte: what = TAVOLIN_TR_NOOP("Texts", "SMPTEタイムコードの分解能は読めません"); break;
    case MidiFault::ZeroDivision: what = TAVOLIN_TR_NOOP("Texts", "四分音符あたりのティック数が0です"); break;
    case MidiFault::MissingTracks: what = TAVOLIN_TR_NOOP("Texts", "ヘッダーが示す数のトラックがありません"); break;
    case MidiFault::BadLength: what = TAVOLIN_TR_NOOP("Texts", "可変長の数値が4バイトを超えています"); break;
    case MidiFault::NoStatus: what = TAVOLIN_TR_NOOP("Texts", "ステータスのないデータバイトです"); break;
    case MidiFault::BadStatus: what = TAVOLIN_TR_NOOP("Texts", "トラック内で使えないステータスバイトです"); break;
    case MidiFault::BadData: what = TAVOLIN_TR_NOOP("Texts", "データバイトが0x80以上です"); break;
    case MidiFault::EventPastTrack: what = TAVOLIN_TR_NOOP("Texts", "イベントがトラックの終わりを越えています"); break;
    }
    std::string text = uiText(TAVOLIN_TR_NOOP("Texts", "{what}（バイトオフセット{offset}）"));
    const std::string offset = std::to_string(error.offset);
    for (const auto& [key, value] : {std::pair<std::string_view, std::string>{"{what}", uiText(what)}, {"{offset}", offset}})
        if (const size_t p = text.find(key); p != std::string::npos) text.replace(p, key.size(), value);
    return text;
}

std::variant<MidiData, MidiReadError> readMidiFile(std::string_view bytes) {
    try {
        return readFile(bytes);
    } catch (const Fail& f) {
        return f.error;
    }
}

}  // namespace tavolin::output
