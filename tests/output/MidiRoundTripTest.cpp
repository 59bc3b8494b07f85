// SPDX-License-Identifier: MIT
// Export then import: every example and a few hundred random songs on the
// grid come back with the same notes per bank (start frame within one frame,
// frequency, order), a tie or slur onto the same pitch counted as one note.
#include <filesystem>

#include <gtest/gtest.h>

#include "music/MidiImport.h"
#include "output/MidiExport.h"
#include "output/MidiFile.h"
#include "output/SongLoop.h"
#include "output/SongMap.h"
#include "tests/output/OutputTestSupport.h"
#include "tests/output/SongGenerator.h"

namespace tavolin::testing {
namespace {

struct Heard {
    uint64_t start;
    double frequency;  // -1 for noise, whose pitch becomes a drum key
};

// The notes a MIDI file carries, per bank. `joinTies`: a slur onto the same
// frequency continues one note (the import writes notes across bar lines so).
std::array<std::vector<Heard>, kBankCount> heard(const SongTimeline& t, bool joinTies) {
    std::array<std::vector<Heard>, kBankCount> out;
    for (int b = 0; b < kBankCount; ++b) {
        const TimelineNote* previous = nullptr;
        for (const TimelineNote& n : t.banks[static_cast<size_t>(b)].notes) {
            if (n.frequency <= 0 || n.units <= 0) continue;
            const bool tie = joinTies && previous && previous->slurred && previous->frequency == n.frequency;
            previous = &n;
            if (!tie) out[static_cast<size_t>(b)].push_back({n.start, n.wave == 4 ? -1.0 : n.frequency});
        }
    }
    return out;
}

// The first difference, or "" when every bank matches.
std::string difference(const std::array<std::vector<Heard>, kBankCount>& want, const std::array<std::vector<Heard>, kBankCount>& got) {
    for (size_t b = 0; b < kBankCount; ++b) {
        const std::string bank(1, static_cast<char>('A' + b));
        if (want[b].size() != got[b].size())
            return bank + ": " + std::to_string(want[b].size()) + " notes, imported " + std::to_string(got[b].size());
        for (size_t i = 0; i < want[b].size(); ++i) {
            const Heard& w = want[b][i];
            const Heard& g = got[b][i];
            const uint64_t apart = w.start > g.start ? w.start - g.start : g.start - w.start;
            if (apart > 1 || std::abs(w.frequency - g.frequency) > 1e-3)
                return bank + " note " + std::to_string(i) + ": frame " + std::to_string(w.start) + " " + std::to_string(w.frequency) +
                       " Hz, imported frame " + std::to_string(g.start) + " " + std::to_string(g.frequency) + " Hz";
        }
    }
    return "";
}

// Exports `in`, imports the file with each sounding bank mapped back to its
// own track, and compares. Returns "" or the difference with both songs.
std::string roundTrip(const output::BuildInputs& in) {
    const auto original = output::buildSongMap(in, false);
    if (!original->ok()) return "skip";
    const auto midi = output::midiFromTimeline(original->timeline);
    if (!midi) return "the export refused the song";
    music::MidiImportOptions options;
    options.mapGiven = true;
    int32_t track = 2;  // track 1 holds the tempo map
    for (size_t b = 0; b < kBankCount; ++b)
        if (!heard(original->timeline, false)[b].empty()) options.map[b] = music::MidiLineRef{track++, 1};
    const auto imported = music::importMidi(midi->bytes, options);
    if (const auto* e = std::get_if<std::string>(&imported)) return "import failed: " + *e;
    output::BuildInputs back = in;
    back.tabTexts = std::get<music::MidiImportResult>(imported).tabs;
    const auto result = output::buildSongMap(back, false);
    const auto dump = [&] {
        std::string s = "\noriginal:";
        for (const auto& t : in.tabTexts) s += "\n  " + t;
        s += "\nimported:";
        for (const auto& t : back.tabTexts) s += "\n  " + t;
        return s;
    };
    if (!result->ok()) return "the imported song does not compile: code " + std::to_string(result->result.code) + dump();
    const std::string d = difference(heard(original->timeline, true), heard(result->timeline, true));
    return d.empty() ? d : d + dump();
}

TEST(MidiRoundTrip, ExamplesComeBackWithTheirNotes) {
    int songs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TAVOLIN_SOURCE_DIR) + "/examples")) {
        if (entry.path().extension() != ".mml") continue;
        output::BuildInputs in;
        in.tabTexts = document::readDocumentBytes(readFile(entry.path().string()));
        EXPECT_EQ(roundTrip(in), "") << entry.path();
        ++songs;
    }
    EXPECT_GE(songs, 5);
}

// What the random songs do not reach: tempo changes shared by the banks
// (mid-bar and mid-note), tuplets, notes across bar lines, wide leaps.
TEST(MidiRoundTrip, TempoChangesTupletsAndLeapsComeBack) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> songs = {
        {"T100", {"C4T150D8E8T90F2. G1&G8", "O3C4T150C4T90C1R8C"}},
        {"L8", {"{CDE}{FGA}B2 L16{CDE}>C4.<C8", "O2C2.{C>C<C}"}},
        {"T75", {"O1C O7B O0C+ O4A< <C >>>D", "@4 O2C8C8 O6C8R8 C2"}},
    };
    for (const auto& [common, banks] : songs) EXPECT_EQ(roundTrip(songInputs(common, banks)), "") << common;
}

TEST(MidiRoundTrip, RandomSongsOnTheGridComeBackWithTheirNotes) {
    int compared = 0;
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        SongGenerator gen(seed, false);
        const std::string common = gen.common();
        std::vector<std::string> banks;
        for (int b = gen.pick(1, 5); b > 0; --b) banks.push_back(gen.bank());
        const std::string d = roundTrip(songInputs(common, banks));
        if (d == "skip") continue;
        ++compared;
        ASSERT_EQ(d, "") << "seed " << seed;
    }
    EXPECT_GE(compared, 200);
}

// A song's loop goes into the file as controller 111 and the markers
// "loopStart" and "loopEnd", and comes back from import-midi as an endless
// loop in every bank, repeating at the same frames; where a note crosses the
// loop's start, the import says so and writes no loop.
TEST(MidiRoundTrip, GameLoopComesBackAsAnEndlessLoop) {
    struct Row {
        const char* name;
        std::vector<std::string> banks;
        music::MidiLoopOutcome outcome;
    };
    const Row rows[] = {
        {"intro and a common loop", {"C[DE]", "[EFG]"}, music::MidiLoopOutcome::Placed},
        {"eighths and a tied note", {"L8 CDE [FG&G AB]", "R4. [C2 R2]"}, music::MidiLoopOutcome::Placed},
        {"loop from the start, drums", {"[@4 C8C8 R4]", "[O3 C1]"}, music::MidiLoopOutcome::Placed},
        {"tempo change inside the loop", {"T100 C [D T150 E]", "T100 R [F T150 G]"}, music::MidiLoopOutcome::Placed},
        {"a note across the loop's start", {"C[D2]", "C2[E]"}, music::MidiLoopOutcome::NotPlaced},
    };
    for (const Row& r : rows) {
        TempDir dir;
        output::WaveFormat format;
        auto song = buildOrFail(songInputs("", r.banks), false, &format);
        const auto loop = output::songLoopOf(*song).loop;
        ASSERT_TRUE(loop) << r.name;
        RecordingHost host;
        const std::string path = (dir / "song.mid").string();
        ASSERT_EQ(output::writeSongToMidi(*song, path, host), output::ExportOutcome::Written) << r.name;
        const std::string bytes = readFile(path);
        // The marks as a reader finds them in the bytes: two marker metas and
        // controller 111 on the first bank's channel.
        EXPECT_NE(bytes.find(std::string("\xFF\x06\x09loopStart", 12)), std::string::npos) << r.name;
        EXPECT_NE(bytes.find(std::string("\xFF\x06\x07loopEnd", 10)), std::string::npos) << r.name;
        EXPECT_NE(bytes.find(std::string("\xB0\x6F\x00", 3)), std::string::npos) << r.name;
        const auto imported = music::importMidi(bytes);
        ASSERT_TRUE(std::holds_alternative<music::MidiImportResult>(imported)) << r.name;
        const auto& result = std::get<music::MidiImportResult>(imported);
        EXPECT_EQ(result.report.loop, r.outcome) << r.name;
        output::BuildInputs back = songInputs("", {});
        back.tabTexts = result.tabs;
        auto again = buildOrFail(back);
        if (!again) continue;
        const output::LoopAnalysis a = output::songLoopOf(*again);
        std::string text;
        for (const auto& t : result.tabs) text += t + "\n";
        if (r.outcome == music::MidiLoopOutcome::Placed) {
            ASSERT_TRUE(a.loop) << r.name << "\n" << text;
            EXPECT_EQ(*a.loop, *loop) << r.name << "\n" << text;
        } else {
            EXPECT_EQ(a.refusal, output::LoopRefusal::NoEndlessLoop) << r.name << "\n" << text;
        }
    }
}

}  // namespace
}  // namespace tavolin::testing
