// SPDX-License-Identifier: MIT
// The MIDI writer: tempo map, one track per sounding bank, notes at exact running-total ticks.
#include "output/MidiFile.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>

#include "compiler/UiText.h"

namespace tavolin::output {
namespace {

constexpr double kTicksPerUnit = kMidiTicksPerQuarter / 64.0;  // a quarter note is 64 units

uint64_t tickOfUnits(double units) noexcept { return units <= 0 ? 0 : static_cast<uint64_t>(std::llround(units * kTicksPerUnit)); }

struct TempoChange {
    uint64_t tick;
    int32_t tempo;
    friend bool operator==(const TempoChange&, const TempoChange&) = default;
};

bool bankSounds(const BankTimeline& bank) noexcept {
    return std::any_of(bank.notes.begin(), bank.notes.end(), [](const TimelineNote& n) { return n.frequency > 0; });
}

// The tempo changes of one bank, at the ticks of its own musical time.
std::vector<TempoChange> tempoChangesOf(const BankTimeline& bank) {
    std::vector<TempoChange> out;
    for (const TimelineNote& n : bank.notes)
        if (out.empty() || out.back().tempo != n.tempo) out.push_back({tickOfUnits(n.unitStart), n.tempo});
    return out;
}

uint64_t endTickOf(const BankTimeline& bank) noexcept {
    return bank.notes.empty() ? 0 : tickOfUnits(bank.notes.back().unitStart + bank.notes.back().units);
}

// Two banks follow the same tempo changes when one's list starts the other's
// and the longer list changes tempo only after the shorter bank has ended.
bool sameTempi(const std::vector<TempoChange>& a, uint64_t aEnd, const std::vector<TempoChange>& b, uint64_t bEnd) {
    const bool aShorter = a.size() <= b.size();
    const auto& shortList = aShorter ? a : b;
    const auto& longList = aShorter ? b : a;
    const uint64_t shortEnd = aShorter ? aEnd : bEnd;
    if (!std::equal(shortList.begin(), shortList.end(), longList.begin())) return false;
    return longList.size() == shortList.size() || longList[shortList.size()].tick >= shortEnd;
}

// Seconds to ticks through a tempo map: the exact tempo of each stretch, not
// the microseconds rounded for the file.
class SecondsToTicks {
public:
    explicit SecondsToTicks(const std::vector<TempoChange>& map) : m_map(map) {
        double seconds = 0;
        for (size_t i = 0; i < map.size(); ++i) {
            if (i > 0) seconds += static_cast<double>(map[i].tick - map[i - 1].tick) / kMidiTicksPerQuarter * 60.0 / map[i - 1].tempo;
            m_seconds.push_back(seconds);
        }
    }
    uint64_t operator()(double seconds) const noexcept {
        if (m_map.empty()) return 0;
        size_t i = static_cast<size_t>(std::upper_bound(m_seconds.begin(), m_seconds.end(), seconds) - m_seconds.begin());
        i = i == 0 ? 0 : i - 1;
        const double ticks = static_cast<double>(m_map[i].tick) + (seconds - m_seconds[i]) * m_map[i].tempo / 60.0 * kMidiTicksPerQuarter;
        return ticks <= 0 ? 0 : static_cast<uint64_t>(std::llround(ticks));
    }

private:
    const std::vector<TempoChange>& m_map;
    std::vector<double> m_seconds;
};

// One event of a track. At one tick, note-offs come first, then controllers
// and programs, then note-ons, each group in the order it was added.
struct Event {
    uint64_t tick;
    int order;
    std::string bytes;  // status and data, or FF type length data
};
enum : int { kOff = 0, kControl = 1, kOn = 2 };

void putVarLen(std::string& out, uint64_t v) {
    char buf[5];
    int n = 0;
    buf[n++] = static_cast<char>(v & 0x7F);
    while ((v >>= 7) != 0 && n < 5) buf[n++] = static_cast<char>(0x80 | (v & 0x7F));
    while (n > 0) out.push_back(buf[--n]);
}

void putBe(std::string& out, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string channelEvent(int status, int channel, int a, int b) {
    return {static_cast<char>(status | channel), static_cast<char>(a & 0x7F), static_cast<char>(b & 0x7F)};
}
std::string programEvent(int channel, int program) { return {static_cast<char>(0xC0 | channel), static_cast<char>(program & 0x7F)}; }
std::string metaEvent(int type, const std::string& data) {
    std::string e{'\xFF', static_cast<char>(type)};
    putVarLen(e, data.size());
    return e + data;
}

std::string trackChunk(std::vector<Event> events) {
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& x, const Event& y) { return x.tick != y.tick ? x.tick < y.tick : x.order < y.order; });
    std::string body;
    uint64_t at = 0;
    for (const Event& e : events) {
        putVarLen(body, e.tick - at);
        at = e.tick;
        body += e.bytes;
    }
    body += '\0';
    body += metaEvent(0x2F, "");
    std::string chunk = "MTrk";
    putBe(chunk, body.size(), 4);
    return chunk + body;
}

// The events of one bank. `tickOf` places a frame or a musical time.
struct ChannelState {
    int program = -1;
    int volume = -1;
    int pan = -1;
    int bend = -1;
};

template <typename TickOf>
std::string bankTrack(const BankTimeline& bank, int bankIndex, int channel, const TickOf& tickOf,
                      std::optional<uint64_t> loopController = std::nullopt) {
    std::vector<Event> events;
    if (loopController) events.push_back({*loopController, kControl, channelEvent(0xB0, channel, kMidiLoopController, 0)});
    events.push_back({0, kControl, metaEvent(0x03, std::string(1, static_cast<char>('A' + bankIndex)))});
    // The bend range, once, with RPN 0 (then the null RPN so that a later
    // data entry changes nothing).
    for (const auto& [cc, value] : {std::pair{101, 0}, {100, 0}, {6, kMidiBendRangeSemitones}, {38, 0}, {101, 127}, {100, 127}})
        events.push_back({0, kControl, channelEvent(0xB0, channel, cc, value)});
    std::array<ChannelState, 16> state{};
    // The note written last, while a tie or slur may still continue it: a
    // slur onto the same pitch is heard as one held note, so it is written as
    // one (a second note-on would strike it again).
    struct Held {
        bool on = false;       // a note may still be continued
        int channel = -1;
        double frequency = 0;  // a drum key stands for many: noise ties on its own pitch only
        uint64_t end = 0;
        size_t off = 0;  // its note-off in `events`
    } held;
    for (const TimelineNote& n : bank.notes) {
        if (n.frequency <= 0) {  // a rest is a gap
            held.on = false;
            continue;
        }
        const auto [start, end] = tickOf(n);
        if (end <= start) continue;      // too short to last a tick
        const bool noise = n.wave == 4;
        const int ch = noise ? kMidiPercussionChannel : channel;
        ChannelState& s = state[static_cast<size_t>(ch)];
        MidiPitch pitch = midiPitchOf(n.frequency, n.noteIndex);
        if (noise) pitch = MidiPitch{midiNoiseKey(pitch.key), 8192};
        if (!noise) {
            const int program = kMidiProgramOfWave[static_cast<size_t>(std::clamp(n.wave, 0, 3))];
            if (s.program != program) events.push_back({start, kControl, programEvent(ch, s.program = program)});
        }
        if (const int v = midiVolumeOf(n.volume); s.volume != v) events.push_back({start, kControl, channelEvent(0xB0, ch, 7, s.volume = v)});
        if (const int p = midiPanOf(n.pan); s.pan != p) events.push_back({start, kControl, channelEvent(0xB0, ch, 10, s.pan = p)});
        if (!noise && s.bend != pitch.bend && !(s.bend < 0 && pitch.bend == 8192)) {
            s.bend = pitch.bend;
            events.push_back({start, kControl, channelEvent(0xE0, ch, pitch.bend & 0x7F, pitch.bend >> 7)});
        }
        if (held.on && held.channel == ch && held.frequency == n.frequency && held.end == start) {
            events[held.off].tick = end;
        } else {
            events.push_back({start, kOn, channelEvent(0x90, ch, pitch.key, kMidiVelocity)});
            events.push_back({end, kOff, channelEvent(0x80, ch, pitch.key, 64)});
            held = Held{true, ch, n.frequency, end, events.size() - 1};
        }
        held.end = end;
        held.on = n.slurred;
    }
    return trackChunk(std::move(events));
}

// `marks`: loop markers (tick, text) to add to the conductor track.
std::string tempoTrack(const std::vector<TempoChange>& map, const std::vector<std::pair<uint64_t, std::string>>& marks = {}) {
    std::vector<Event> events;
    for (const auto& [tick, text] : marks) events.push_back({tick, kControl, metaEvent(0x06, text)});
    events.push_back({0, kControl, metaEvent(0x58, std::string{4, 2, 24, 8})});  // 4/4, a click per quarter
    for (const TempoChange& c : map) {
        const long long us = std::clamp<long long>(std::llround(60'000'000.0 / std::max(c.tempo, 1)), 1, 0xFFFFFF);
        std::string data;
        putBe(data, static_cast<uint64_t>(us), 3);
        events.push_back({c.tick, kControl, metaEvent(0x51, data)});
    }
    return trackChunk(std::move(events));
}

std::string bankList(const std::vector<int>& banks) {
    std::string s;
    const std::string separator = uiText(TAVOLIN_TR_NOOP("Texts", "・"));
    for (int b : banks) s += (s.empty() ? "" : separator) + std::string(1, static_cast<char>('A' + b));
    return s;
}

}  // namespace

int midiNoiseKey(int pitchKey) noexcept {
    if (pitchKey < 48) return 36;  // Bass Drum 1
    if (pitchKey < 72) return 38;  // Acoustic Snare
    return 42;                     // Closed Hi-Hat
}

MidiPitch midiPitchOf(double frequencyHz, int32_t noteIndex) noexcept {
    if (noteIndex >= 0) return MidiPitch{std::min(noteIndex + 12, 127), 8192};
    if (!(frequencyHz > 0)) return MidiPitch{0, 8192};
    const double exact = 69.0 + 12.0 * std::log2(frequencyHz / 440.0);
    const int key = static_cast<int>(std::clamp(std::lround(exact), 0L, 127L));
    const double semitones = std::clamp(exact - key, -double{kMidiBendRangeSemitones}, double{kMidiBendRangeSemitones});
    const long bend = std::lround(8192.0 + semitones / kMidiBendRangeSemitones * 8192.0);
    return MidiPitch{key, static_cast<int>(std::clamp(bend, 0L, 16383L))};
}

int midiVolumeOf(int32_t volume) noexcept { return static_cast<int>((std::clamp(volume, 0, 255) * 127 + 127) / 255); }

int midiPanOf(int32_t pan) noexcept { return std::min(std::clamp(pan, 0, 256) / 2, 127); }

std::optional<MidiSong> midiFromTimeline(const SongTimeline& timeline, const std::optional<MidiLoop>& loop) {
    MidiSong song;
    std::vector<int> sounding;
    for (int b = 0; b < kBankCount; ++b)
        if (bankSounds(timeline.banks[static_cast<size_t>(b)])) sounding.push_back(b);

    std::vector<TempoChange> map;
    uint64_t mapEnd = 0;
    std::vector<int> converted;  // banks placed through seconds
    for (int b : sounding) {
        const BankTimeline& bank = timeline.banks[static_cast<size_t>(b)];
        const auto changes = tempoChangesOf(bank);
        const uint64_t end = endTickOf(bank);
        if (b == sounding.front()) {
            map = changes;
            mapEnd = end;
        } else if (sameTempi(map, mapEnd, changes, end)) {
            if (changes.size() > map.size()) map = changes;
            mapEnd = std::max(mapEnd, end);
        } else {
            converted.push_back(b);
        }
    }
    if (!converted.empty()) {
        // The map stays the first bank's (with the later changes of the banks
        // that agree with it); the others keep their moments in seconds, each
        // rounded to the nearest tick.
        std::string warning = uiText(TAVOLIN_TR_NOOP(
            "Texts", "バンクごとのテンポ変化が異なるため、テンポマップはバンク{tempo}のものを使い、バンク{banks}の音符は秒単位の時刻から配置しました"));
        const std::pair<std::string_view, std::string> fills[] = {
            {"{tempo}", std::string(1, static_cast<char>('A' + sounding.front()))}, {"{banks}", bankList(converted)}};
        for (const auto& [key, value] : fills)
            if (const size_t at = warning.find(key); at != std::string::npos) warning.replace(at, key.size(), value);
        song.warnings.push_back(std::move(warning));
    }
    if (map.empty()) map.push_back({0, 120});
    if (timeline.truncated) song.warnings.push_back(uiText(TAVOLIN_TR_NOOP("Texts", "曲が長すぎるため途中までを書き出しました")));

    const SecondsToTicks toTicks(map);
    const double rate = timeline.sampleRate > 0 ? timeline.sampleRate : 1.0;
    // The loop's ends through the tempo map: the frames are the timing
    // ledger's truncated totals, well within a tick of the musical time.
    uint64_t loopStart = 0;
    uint64_t cut = UINT64_MAX;  // nothing sounds past the loop's end
    std::vector<std::pair<uint64_t, std::string>> marks;
    if (loop) {
        loopStart = toTicks(static_cast<double>(loop->startFrame) / rate);
        cut = toTicks(static_cast<double>(loop->endFrame) / rate);
        marks = {{loopStart, std::string(kMidiLoopStartMarker)}, {cut, std::string(kMidiLoopEndMarker)}};
        // The conductor track's tempo changes stop at the loop's end too.
        std::erase_if(map, [cut](const TempoChange& c) { return c.tick >= cut && c.tick > 0; });
    }
    std::vector<std::string> tracks{tempoTrack(map, marks)};
    uint64_t lastTick = loop ? cut : map.back().tick;
    for (size_t i = 0; i < sounding.size(); ++i) {
        const int b = sounding[i];
        const BankTimeline& bank = timeline.banks[static_cast<size_t>(b)];
        const bool bySeconds = std::find(converted.begin(), converted.end(), b) != converted.end();
        const auto tickOf = [&](const TimelineNote& n) {
            auto ticks = bySeconds ? std::pair{toTicks(static_cast<double>(n.start) / rate), toTicks(static_cast<double>(n.start + n.frames) / rate)}
                                   : std::pair{tickOfUnits(n.unitStart), tickOfUnits(n.unitStart + n.units)};
            ticks.first = std::min(ticks.first, cut);
            ticks.second = std::min(ticks.second, cut);
            return ticks;
        };
        if (!bank.notes.empty()) lastTick = std::max(lastTick, tickOf(bank.notes.back()).second);
        if (lastTick > kMaxMidiTick) return std::nullopt;
        // Controller 111 marks the loop's start once, on the first bank's channel.
        const std::optional<uint64_t> loopController = loop && i == 0 ? std::optional<uint64_t>(loopStart) : std::nullopt;
        tracks.push_back(bankTrack(bank, b, static_cast<int>(i), tickOf, loopController));
    }
    std::string& out = song.bytes;
    out = "MThd";
    putBe(out, 6, 4);
    putBe(out, 1, 2);
    putBe(out, tracks.size(), 2);
    putBe(out, kMidiTicksPerQuarter, 2);
    for (const std::string& t : tracks) out += t;
    return song;
}

}  // namespace tavolin::output
