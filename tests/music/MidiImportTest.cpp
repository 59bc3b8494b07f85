// SPDX-License-Identifier: MIT
// MIDI import: lines, bank choice, rhythm, tempo and report, one table row per
// situation; every imported song must also compile.
#include <gtest/gtest.h>

#include "music/MidiImport.h"
#include "output/SongMap.h"
#include "tests/output/MidiBytes.h"

namespace tavolin::testing {
namespace {

using music::MidiImportOptions;

std::string slashes(std::string s) {
    for (size_t at; (at = s.find("\r\n")) != std::string::npos;) s.replace(at, 2, "/");
    return s;
}

// "A:text | B:text ... | lines 1.1>A(3) 1.2>-(1) | T120 changes 0 cut 0 moved 0", or "error: ...".
std::string describe(const std::variant<music::MidiImportResult, std::string>& outcome) {
    if (const auto* e = std::get_if<std::string>(&outcome)) return "error: " + *e;
    const auto& r = std::get<music::MidiImportResult>(outcome);
    std::string s;
    for (int bank = 0; bank < 5; ++bank)
        if (!r.tabs[static_cast<size_t>(bank + 1)].empty()) s += std::string(1, static_cast<char>('A' + bank)) + ":" + slashes(r.tabs[static_cast<size_t>(bank + 1)]) + " | ";
    s += "lines";
    for (const auto& l : r.report.lines)
        s += " " + std::to_string(l.ref.track) + "." + std::to_string(l.ref.line) + ">" + (l.bank < 0 ? '-' : static_cast<char>('A' + l.bank)) + "(" +
             std::to_string(l.notes) + ")";
    s += " | " + r.tabs[0].substr(0, r.tabs[0].find('\r')) + " changes " + std::to_string(r.report.tempoChanges) + " cut " +
         std::to_string(r.report.cutNotes) + " moved " + std::to_string(r.report.octaveMoved);
    return s;
}

const std::string kSound = "@0@E0V201";  // square, note envelope, velocity 100 at volume 100

TEST(MidiImport, ArrangesLinesRhythmAndTempo) {
    struct Row {
        const char* name;
        std::string file;
        std::string options;  // "newest", or a --map text
        std::string expected;
    };
    const std::vector<TestNote> chord = {{0, 60, 0, 96}, {0, 64, 0, 96}, {0, 67, 0, 96}};
    const std::string conductor = track(events({}, {{0, tempoMeta(500000)}}));
    const Row rows[] = {
        {"a chord splits into lines, the highest note in line 1 and in bank A", header(0, 1) + track(events(chord)), "",
         "A:*CH 1 LINE 1*/*BAR 1* " + kSound + "G | B:*CH 1 LINE 2*/*BAR 1* " + kSound + "E | C:*CH 1 LINE 3*/*BAR 1* " + kSound +
             "C | lines 1.1>A(1) 1.2>B(1) 1.3>C(1) | T120 changes 0 cut 0 moved 0"},
        {"the melody stays whole over its accompaniment", header(0, 1) + track(events({{0, 76, 0, 96}, {0, 60, 0, 192}, {0, 77, 96, 192}, {0, 55, 96, 192}})), "",
         "A:*CH 1 LINE 1*/*BAR 1* " + kSound + ">EF | B:*CH 1 LINE 2*/*BAR 1* " + kSound + "C2 | C:*CH 1 LINE 3*/*BAR 1* R" + kSound +
             "<G | lines 1.1>A(2) 1.2>B(1) 1.3>C(1) | T120 changes 0 cut 0 moved 0"},
        {"drums on channel 10 go to the last bank used, on the noise tone",
         header(1, 3) + conductor + track(events({{0, 72, 0, 384}})) + track(events({{9, 36, 0, 96}, {9, 38, 96, 192}, {9, 36, 192, 288}, {9, 38, 288, 384}})), "",
         "A:*TRACK 2 CH 1 LINE 1*/*BAR 1* " + kSound + ">C1 | B:*TRACK 3 CH 10 DRUMS LINE 1*/*BAR 1* @4@E1V201O2CDCD | lines 2.1>A(1) 3.1>B(4) | T120 changes 0 cut 0 moved 0"},
        {"overlapping notes of one key: the second takes a line of its own", header(0, 1) + track(events({{0, 60, 0, 96}, {0, 60, 48, 144}})), "",
         "A:*CH 1 LINE 1*/*BAR 1* " + kSound + "C | B:*CH 1 LINE 2*/*BAR 1* R8" + kSound + "C | lines 1.1>A(1) 1.2>B(1) | T120 changes 0 cut 0 moved 0"},
        {"overlapping notes of one key, newest: the second cuts the first", header(0, 1) + track(events({{0, 60, 0, 96}, {0, 60, 48, 144}})), "newest",
         "A:*CH 1 LINE 1*/*BAR 1* " + kSound + "C8C | lines 1.1>A(2) | T120 changes 0 cut 1 moved 0"},
        {"triplets become tuplets, the default length follows",
         header(0, 1) + track(events({{0, 60, 0, 32}, {0, 62, 32, 64}, {0, 64, 64, 96}, {0, 65, 96, 192}, {0, 67, 192, 208}, {0, 69, 208, 224}, {0, 71, 224, 240}})), "",
         "A:*CH 1 LINE 1*/*BAR 1* " + kSound + "{CDE}FL8{GAB} | lines 1.1>A(7) | T120 changes 0 cut 0 moved 0"},
        {"dotted notes, ties inside a bar and across the bar line",
         header(0, 1) + track(events({{0, 60, 0, 144}, {0, 62, 144, 192}, {0, 64, 192, 288}, {0, 67, 288, 480}, {0, 57, 480, 720}})), "",
         "A:*CH 1 LINE 1*/*BAR 1* " + kSound + "C.D8EG&/G<A2&A8 | lines 1.1>A(5) | T120 changes 0 cut 0 moved 0"},
        {"tempo changes mid-bar and mid-note, in every bank",
         header(1, 2) + track(events({}, {{0, tempoMeta(500000)}, {48, tempoMeta(400000)}, {192, tempoMeta(1000000)}})) + track(events({{0, 60, 0, 192}, {0, 62, 192, 288}})), "",
         "A:*TRACK 2 CH 1 LINE 1*/*BAR 1* " + kSound + "C8T150&C.T60D | lines 2.1>A(2) | T120 changes 2 cut 0 moved 0"},
        {"a tempo map in format 0 reaches the line of every channel",
         header(0, 1) + track(events({{0, 60, 0, 192}, {1, 64, 96, 192}}, {{0, tempoMeta(300000)}, {96, tempoMeta(1000000)}})), "",
         "A:*CH 2 LINE 1*/*BAR 1* RT60" + kSound + "E | B:*CH 1 LINE 1*/*BAR 1* " + kSound + "CT60&C | lines 1.1>B(1) 2.1>A(1) | T200 changes 1 cut 0 moved 0"},
        {"empty tracks give no line; a file without notes gives empty banks",
         header(1, 3) + conductor + track(b({0, 0xFF, 0x03, 4, 'p', 'a', 'd', '*'})) + track(b({0, 0xFF, 0x03, 3, 'a', ',', 'b'}) + events({{0, 48, 0, 96}})), "",
         "A:*TRACK 3 A B CH 1 LINE 1*/*BAR 1* " + kSound + "<C | lines 3.1>A(1) | T120 changes 0 cut 0 moved 0"},
        {"no notes at all", header(1, 2) + conductor + track(""), "", "lines | T120 changes 0 cut 0 moved 0"},
        {"lines beyond five are reported with their notes",
         header(0, 1) + track(events({{0, 60, 0, 96}, {0, 62, 0, 96}, {0, 64, 0, 96}, {0, 65, 0, 96}, {0, 67, 0, 96}, {0, 69, 0, 96}, {0, 71, 0, 96}})), "",
         "A:*CH 1 LINE 1*/*BAR 1* " + kSound + "B | B:*CH 1 LINE 2*/*BAR 1* " + kSound + "A | C:*CH 1 LINE 3*/*BAR 1* " + kSound +
             "G | D:*CH 1 LINE 4*/*BAR 1* " + kSound + "F | E:*CH 1 LINE 5*/*BAR 1* " + kSound +
             "E | lines 1.1>A(1) 1.2>B(1) 1.3>C(1) 1.4>D(1) 1.5>E(1) 1.6>-(1) 1.7>-(1) | T120 changes 0 cut 0 moved 0"},
        {"a map chooses the lines; keys outside the table move by octaves", header(0, 1) + track(events({{0, 60, 0, 96}, {0, 64, 0, 96}, {0, 120, 0, 96}, {0, 5, 0, 96}})), "A=1.4,C=1.1",
         "A:*CH 1 LINE 4*/*BAR 1* " + kSound + "O0F | C:*CH 1 LINE 1*/*BAR 1* " + kSound + "O7C | lines 1.1>C(1) 1.2>-(1) 1.3>-(1) 1.4>A(1) | T120 changes 0 cut 0 moved 3"},
        {"a map naming a missing line", header(0, 1) + track(events(chord)), "B=1.9", "error: --map: the file has no line 1.9"},
        {"a damaged file gives the reader's message", header(0, 1).substr(0, 10), "", "error: チャンクがファイルの終わりを越えています（途中で切れたファイル）（バイトオフセット8）"},
    };
    for (const Row& r : rows) {
        MidiImportOptions options;
        if (r.options == "newest") options.overlap = music::MidiOverlap::Newest;
        else if (!r.options.empty()) ASSERT_EQ(music::parseMidiMap(r.options, options), std::nullopt) << r.name;
        const auto outcome = music::importMidi(r.file, options);
        EXPECT_EQ(describe(outcome), r.expected) << r.name;
        if (const auto* result = std::get_if<music::MidiImportResult>(&outcome)) {
            output::BuildInputs in;
            in.tabTexts = result->tabs;
            const auto map = output::buildSongMap(in, false);
            EXPECT_TRUE(map->ok()) << r.name << ": code " << map->result.code << " bank " << map->result.bank;
        }
    }
}

TEST(MidiImport, MapTextsAndReport) {
    struct Row {
        const char* text;
        std::string expected;  // the map as "A=t.l ..." or the error
    };
    const Row rows[] = {
        {"A=2.1,b=3.12", "A=2.1 B=3.12"},
        {"E=16.1", "E=16.1"},
        {"F=1.1", "--map: expected BANK=TRACK.LINE (as A=2.1), got 'F=1.1'"},
        {"A=2", "--map: expected BANK=TRACK.LINE (as A=2.1), got 'A=2'"},
        {"A=0.1", "--map: expected BANK=TRACK.LINE (as A=2.1), got 'A=0.1'"},
        {"A=1.1,,B=1.2", "--map: expected BANK=TRACK.LINE (as A=2.1), got ''"},
        {"A=1.x", "--map: expected BANK=TRACK.LINE (as A=2.1), got 'A=1.x'"},
    };
    for (const Row& r : rows) {
        MidiImportOptions o;
        std::string got;
        if (const auto e = music::parseMidiMap(r.text, o)) got = *e;
        else
            for (size_t bank = 0; bank < 5; ++bank)
                if (o.map[bank]) got += (got.empty() ? "" : " ") + std::string(1, static_cast<char>('A' + bank)) + "=" + std::to_string(o.map[bank]->track) + "." + std::to_string(o.map[bank]->line);
        EXPECT_EQ(got, r.expected) << r.text;
    }
    // The report names the banks, the lines left out, the error and what was dropped.
    music::MidiImportReport report;
    report.lines = {{{2, 1}, "LEAD", 1, false, 10, 100, 70, 0}, {{3, 2}, "", 10, true, 4, 40, 36, -1}};
    report.maxTimingErrorMs = 12.34;
    report.pitchBends = 3;
    report.cutNotes = 2;
    EXPECT_EQ(music::midiReportText(report),
              "バンクA: トラック2 ライン1（ch1 LEAD、音符10）\n入らなかったライン:\n  トラック3 ライン2（ch10 DRUMS、音符4）\n"
              "グリッド: 全音符の1/192、最大のタイミング誤差: 12.3 ms\n捨てたイベント: ピッチベンド3、コントローラー0、その他0\n次の音符に切られた音符: 2\n");
}

}  // namespace
}  // namespace tavolin::testing
