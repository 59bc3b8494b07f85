// SPDX-License-Identifier: MIT
// MIDI export: files read back by a small independent reader (tracks, tempo,
// keys, ticks, bends, controllers), the tempo map rule, failures and refusals.
#include <map>

#include <gtest/gtest.h>

#include "output/MidiExport.h"
#include "output/MidiFile.h"
#include "tests/output/OutputTestSupport.h"

namespace tavolin::testing {
namespace {

using output::ExportOutcome;

// A file read back as text, one string per track:
//   track 0: "tempo=US@TICK ..." (and "end@TICK")
//   bank tracks: "NAME range=2 p=PROGRAM v=CC7 c=CC10 b=BEND KEY@TICK+LENGTH ..."
// where controllers at tick 0 omit "@0", and notes on another channel than
// the track's own (track n plays on channel n - 1) are written "chN:KEY@TICK+LENGTH".
struct ReadMidi {
    int format = -1;
    int division = 0;
    std::vector<std::string> tracks;
    std::string error;
};

ReadMidi readMidi(const std::string& b) {
    ReadMidi out;
    size_t at = 0;
    auto need = [&](size_t n) { return at + n <= b.size(); };
    auto u8 = [&]() { return static_cast<uint32_t>(static_cast<uint8_t>(b[at++])); };
    auto be = [&](int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = v << 8 | u8();
        return v;
    };
    auto vlq = [&](size_t end) {
        uint32_t v = 0;
        for (int i = 0; i < 4 && at < end; ++i) {
            const uint32_t c = u8();
            v = v << 7 | (c & 0x7F);
            if (!(c & 0x80)) return v;
        }
        out.error = "bad delta";
        return v;
    };
    if (!need(14) || b.compare(0, 4, "MThd") != 0) return out.error = "no header", out;
    at = 4;
    if (be(4) != 6) return out.error = "header size", out;
    out.format = static_cast<int>(be(2));
    const uint32_t count = be(2);
    out.division = static_cast<int>(be(2));
    for (uint32_t t = 0; t < count; ++t) {
        if (!need(8) || b.compare(at, 4, "MTrk") != 0) return out.error = "no track " + std::to_string(t), out;
        at += 4;
        const size_t end = at + be(4);
        if (end > b.size()) return out.error = "track runs past the file", out;
        std::string text;
        auto add = [&](const std::string& s) { text += (text.empty() ? "" : " ") + s; };
        auto when = [](uint64_t tick) { return tick ? "@" + std::to_string(tick) : std::string(); };
        uint64_t tick = 0;
        uint32_t status = 0;
        const int ownChannel = static_cast<int>(t) - 1;
        std::map<std::pair<int, int>, uint64_t> sounding;  // (channel, key) -> start
        std::array<int, 16> rpnMsb{}, rpnLsb{};
        bool ended = false;
        while (at < end && out.error.empty()) {
            tick += vlq(end);
            if (static_cast<uint8_t>(b[at]) & 0x80) status = u8();
            if (status == 0xFF) {
                const uint32_t type = u8();
                const uint32_t len = vlq(end);
                const std::string data = b.substr(at, len);
                at += len;
                if (type == 0x03) add(data);
                else if (type == 0x51 && len == 3)
                    add("tempo=" + std::to_string((static_cast<uint8_t>(data[0]) << 16) | (static_cast<uint8_t>(data[1]) << 8) |
                                                  static_cast<uint8_t>(data[2])) + "@" + std::to_string(tick));
                else if (type == 0x2F) ended = true;
                continue;
            }
            const int ch = static_cast<int>(status & 0x0F);
            const uint32_t kind = status & 0xF0;
            if (kind == 0xC0) {
                add("p=" + std::to_string(u8()) + when(tick));
                continue;
            }
            const uint32_t d1 = u8(), d2 = u8();
            const std::string prefix = ch != ownChannel ? "ch" + std::to_string(ch) + ":" : "";
            if (kind == 0x90 && d2 > 0) {
                sounding[{ch, static_cast<int>(d1)}] = tick;
            } else if (kind == 0x80 || kind == 0x90) {
                auto it = sounding.find({ch, static_cast<int>(d1)});
                if (it == sounding.end()) return out.error = "note-off without note-on", out;
                add(prefix + std::to_string(d1) + "@" + std::to_string(it->second) + "+" + std::to_string(tick - it->second));
                sounding.erase(it);
            } else if (kind == 0xE0) {
                add("b=" + std::to_string(d1 | d2 << 7) + when(tick));
            } else if (kind == 0xB0) {
                if (d1 == 101) rpnMsb[static_cast<size_t>(ch)] = static_cast<int>(d2);
                else if (d1 == 100) rpnLsb[static_cast<size_t>(ch)] = static_cast<int>(d2);
                else if (d1 == 6 && rpnMsb[static_cast<size_t>(ch)] == 0 && rpnLsb[static_cast<size_t>(ch)] == 0)
                    add("range=" + std::to_string(d2));
                else if (d1 == 7) add("v=" + std::to_string(d2) + when(tick));
                else if (d1 == 10) add("c=" + std::to_string(d2) + when(tick));
            }
        }
        if (!ended) return out.error = "track without its end", out;
        if (!sounding.empty()) return out.error = "a note never ends", out;
        at = end;
        out.tracks.push_back(text);
    }
    if (at != b.size()) out.error = "bytes after the last track";
    return out;
}

struct Exported {
    ExportOutcome outcome;
    ReadMidi midi;
    std::vector<std::string> warnings;
};

class MidiHost : public RecordingHost {
public:
    std::vector<std::string> warnings;
    void exportWarning(const std::string& text) override { warnings.push_back(text); }
};

Exported exportMidi(const output::BuildInputs& in) {
    TempDir dir;
    MidiHost host;
    host.savePath = (dir / "song.mid").string();
    Exported e;
    e.outcome = output::OnMidiExport(in, host);
    e.midi = readMidi(readFile(*host.savePath));
    e.warnings = host.warnings;
    if (!host.messages.empty()) e.warnings.push_back("message: " + host.messages[0]);
    return e;
}

TEST(MidiExport, SongsReadBackAsTheirNotes) {
    struct Row {
        const char* name;
        std::string common;
        std::vector<std::string> banks;
        std::vector<std::string> tracks;  // as readMidi writes them
        std::string warning;              // a part of the one warning, or empty for none
    };
    const std::string head = "range=2 p=80 v=64 c=64 ";
    const Row rows[] = {
        {"two banks, one tempo", "T150", {"O4CD8E", "O3C2"},
         {"tempo=400000@0", "A " + head + "60@0+480 62@480+240 64@720+480", "B " + head + "48@0+960"}, ""},
        {"loops unrolled, rests as gaps", "", {"[CR]2D"}, {"tempo=500000@0", "A " + head + "60@0+480 60@960+480 62@1920+480"}, ""},
        {"an endless loop written to its end, macros expanded", "@!AE8!", {"C!A[D]"}, {"tempo=500000@0", "A " + head + "60@0+480 64@480+240 62@720+480"}, ""},
        {"tuplets on exact running totals", "", {"{CDE}L12{CDEFG}C"},
         {"tempo=500000@0", "A " + head + "60@0+160 62@160+160 64@320+160 60@480+32 62@512+32 64@544+32 65@576+32 67@608+32 60@640+160"}, ""},
        {"off-grid frequencies bend, on-grid ones do not", "", {"X450 C X200 N57"},
         {"tempo=500000@0", "A " + head + "b=9786 69@0+480 b=8192@480 60@480+480 b=9625@960 55@960+480 b=8192@1440 69@1440+480"}, ""},
        {"volume and pan", "", {"V255P0C V0P256D P128V100E"},
         {"tempo=500000@0", "A range=2 p=80 v=127 c=0 60@0+480 v=0@480 c=127@480 62@480+480 v=50@960 c=64@960 64@960+480"}, ""},
        {"waves choose programs, noise plays drums", "@W1:1:50 @W2:2:50 @W3:3:50 @W4:4:0", {"@1C @2D @3E @0F @4 O1C O4C O7C"},
         {"tempo=500000@0", "A range=2 p=79 v=64 c=64 60@0+480 p=81@480 62@480+480 p=73@960 64@960+480 p=80@1440 65@1440+480 "
                            "v=64@1920 c=64@1920 ch9:36@1920+480 ch9:38@2400+480 ch9:42@2880+480"}, ""},
        {"a tie or slur onto the same pitch is one note, onto another pitch two", "", {"G2&G4 C&C8&C8 R C&D @4 C&C C&D"},
         {"tempo=500000@0", "A " + head + "67@0+1440 60@1440+960 60@2880+480 62@3360+480 v=64@3840 c=64@3840 ch9:38@3840+960 ch9:38@4800+480 ch9:38@5280+480"}, ""},
        {"one channel per bank, silent banks left out", "", {"C", "", "D", "R"},
         {"tempo=500000@0", "A " + head + "60@0+480", "C range=2 p=80 v=64 c=64 62@0+480"}, ""},
        {"tempo changes shared by banks that end early", "", {"C T240 C T60 C", "C T240 C"},
         {"tempo=500000@0 tempo=250000@480 tempo=1000000@960", "A " + head + "60@0+480 60@480+480 60@960+480",
          "B " + head + "60@0+480 60@480+480"}, ""},
        {"different tempi go through seconds", "", {"T150 C C", "T100 C C"},
         {"tempo=400000@0", "A " + head + "60@0+480 60@480+480", "B " + head + "60@0+720 60@720+720"},
         "テンポマップはバンクAのものを使い、バンクBの音符は秒単位の時刻から配置しました"},
        {"the map keeps the later changes of the banks that agree", "", {"C", "C C T60 C", "T90 C"},
         {"tempo=500000@0 tempo=1000000@960", "A " + head + "60@0+480", "B " + head + "60@0+480 60@480+480 60@960+480",
          "C " + head + "60@0+640"},
         "バンクAのものを使い、バンクCの音符は"},
    };
    for (const Row& r : rows) {
        const Exported e = exportMidi(songInputs(r.common, r.banks));
        ASSERT_EQ(e.outcome, ExportOutcome::Written) << r.name;
        ASSERT_EQ(e.midi.error, "") << r.name;
        EXPECT_EQ(e.midi.format, 1) << r.name;
        EXPECT_EQ(e.midi.division, 480) << r.name;
        EXPECT_EQ(e.midi.tracks, r.tracks) << r.name;
        if (r.warning.empty()) {
            EXPECT_EQ(e.warnings, std::vector<std::string>{}) << r.name;
        } else {
            ASSERT_EQ(e.warnings.size(), 1u) << r.name;
            EXPECT_NE(e.warnings[0].find(r.warning), std::string::npos) << r.name << ": " << e.warnings[0];
        }
    }
}

// The same song in the three arithmetic types gives the same file: ticks come
// from musical time, not from rounded frames.
TEST(MidiExport, EveryArithmeticWritesTheSameFile) {
    const auto song = [](int arith) {
        const Exported e = exportMidi(songInputs("T133", {"{CDE}L24{CDEFGAB}[C16D32]3", "O3{CC}L3{DDD}"}, arith));
        EXPECT_EQ(e.outcome, ExportOutcome::Written);
        return e.midi.tracks;
    };
    const auto fix = song(0);
    ASSERT_EQ(fix.size(), 3u);
    EXPECT_EQ(song(1), fix);
    EXPECT_EQ(song(2), fix);
}

TEST(MidiExport, MappingOfPitchAndLevels) {
    EXPECT_EQ(output::midiPitchOf(440.0, 57).key, 69);
    const struct {
        double hz;
        int key;
        int bend;
    } pitches[] = {{440.0, 69, 8192}, {466.1637615, 70, 8192}, {455.5166, 70, 6554}, {8.0, 0, 6651}, {20000.0, 127, 16383}};
    for (const auto& p : pitches) {
        const output::MidiPitch m = output::midiPitchOf(p.hz, -1);
        EXPECT_EQ(m.key, p.key) << p.hz;
        EXPECT_NEAR(m.bend, p.bend, 1) << p.hz;
    }
    EXPECT_EQ(std::make_tuple(output::midiVolumeOf(0), output::midiVolumeOf(128), output::midiVolumeOf(255)), std::make_tuple(0, 64, 127));
    EXPECT_EQ(std::make_tuple(output::midiPanOf(0), output::midiPanOf(128), output::midiPanOf(256)), std::make_tuple(0, 64, 127));
}

// Failures leave nothing; a song whose ticks cannot be written is refused
// before any file is created.
TEST(MidiExport, FailuresAndRefusalsLeaveNothing) {
    struct Row {
        const char* name;
        std::string bank;
        bool dialogCancelled;
        bool failCommit;
        ExportOutcome outcome;
        std::string message;
        int opens;
    };
    // At 1,920 ticks per whole note, 0x0FFFFFFF ticks take 139,811 whole
    // notes: the loop plays 195,075.
    const Row rows[] = {
        {"cancelled dialog", "C", true, false, ExportOutcome::Cancelled, "", 0},
        {"rename fails", "C", false, true, ExportOutcome::WriteFailed, "cannot write {file} (errno 0)", 1},
        {"too long for delta times", "[[[[C1]255]255]3]", false, false, ExportOutcome::TooLarge, std::string(output::kMidiTooLongMessage), 0},
    };
    for (const Row& r : rows) {
        TempDir dir;
        writeFile(dir / "take.mid", "old");
        MidiHost host;
        if (!r.dialogCancelled) host.savePath = (dir / "take.mid").string();
        int opens = 0;
        output::ExportOptions o;
        o.openFile = [&opens, fail = r.failCommit](const std::string& path) -> std::unique_ptr<output::OutputFile> {
            ++opens;
            auto inner = output::openAtomicFile(path);
            struct CommitFails : output::OutputFile {
                std::unique_ptr<output::OutputFile> f;
                bool write(std::span<const uint8_t> b) override { return f->write(b); }
                bool writeAtStart(std::span<const uint8_t> b) override { return f->writeAtStart(b); }
                bool commit() override { return false; }
            };
            if (!fail || !inner) return inner;
            auto c = std::make_unique<CommitFails>();
            c->f = std::move(inner);
            return c;
        };
        EXPECT_EQ(output::OnMidiExport(songInputs("", {r.bank}), host, o), r.outcome) << r.name;
        const std::string message = document::fillIn(r.message, "file", (dir / "take.mid").string());
        EXPECT_EQ(host.messages, message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message}) << r.name;
        EXPECT_EQ(opens, r.opens) << r.name;
        EXPECT_EQ(readFile(dir / "take.mid"), "old") << r.name;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"take.mid"}) << r.name;
    }
}

}  // namespace
}  // namespace tavolin::testing
