// SPDX-License-Identifier: MIT
// The MIDI reader: what it keeps from well-formed files (running status, meta
// events, note pairing, dropped events) and the fault and offset of every
// kind of damage.
#include <gtest/gtest.h>

#include "output/MidiRead.h"
#include "tests/output/MidiBytes.h"

namespace tavolin::testing {
namespace {

using output::MidiData;
using output::MidiReadError;

// Notes as "tTRACK cCH KEY@START-END vVEL pPROG xCC7", then tempos, meters, names, dropped counts.
std::string describe(const MidiData& d) {
    std::string s = "f" + std::to_string(d.format) + " q" + std::to_string(d.ticksPerQuarter);
    for (const auto& n : d.notes)
        s += " t" + std::to_string(n.track) + "c" + std::to_string(n.channel) + " " + std::to_string(n.key) + "@" +
             std::to_string(n.start) + "-" + std::to_string(n.end) + " v" + std::to_string(n.velocity) + " p" +
             std::to_string(n.program) + " x" + std::to_string(n.volume);
    for (const auto& t : d.tempos) s += " tempo" + std::to_string(t.microsPerQuarter) + "@" + std::to_string(t.tick);
    for (const auto& m : d.meters) s += " " + std::to_string(m.numerator) + "/" + std::to_string(m.denominator) + "@" + std::to_string(m.tick);
    for (const auto& name : d.trackNames) s += " '" + name + "'";
    const auto& x = d.dropped;
    s += " drop " + std::to_string(x.pitchBends) + "," + std::to_string(x.controllers) + "," + std::to_string(x.aftertouch) + "," +
         std::to_string(x.sysex) + "," + std::to_string(x.strayNoteOffs) + "," + std::to_string(x.unendedNotes) + "," +
         std::to_string(x.emptyNotes) + " end" + std::to_string(d.endTick);
    return s;
}

std::string outcome(const std::string& bytes) {
    const auto r = output::readMidiFile(bytes);
    if (const auto* e = std::get_if<MidiReadError>(&r)) return "fault " + std::to_string(static_cast<int>(e->fault)) + "@" + std::to_string(e->offset);
    return describe(std::get<MidiData>(r));
}
std::string fault(output::MidiFault f, size_t at) { return "fault " + std::to_string(static_cast<int>(f)) + "@" + std::to_string(at); }

TEST(MidiRead, KeepsNotesTempoMetreAndNames) {
    struct Row {
        const char* name;
        std::string bytes;
        std::string expected;
    };
    const Row rows[] = {
        {"format 0, running status, note-on with velocity 0 ends a note", header(0, 1) + track(b({0, 0x90, 60, 100, 96, 60, 0, 0, 64, 90, 48, 64, 0})),
         "f0 q96 t0c0 60@0-96 v100 p0 x100 t0c0 64@96-144 v90 p0 x100 '' drop 0,0,0,0,0,0,0 end144"},
        {"format 1: tempo, metre and name in track 0, program and CC 7 before the note",
         header(1, 2, 480) + track(b({0, 0xFF, 0x03, 2, 'T', '0', 0, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20, 0, 0xFF, 0x58, 4, 3, 3, 24, 8, 100, 0xFF, 0x51, 3, 0x0F, 0x42, 0x40})) +
             track(b({0, 0xFF, 0x03, 1, 'M', 0, 0xC3, 33, 0, 0xB3, 7, 50, 0, 0x93, 40, 70, 0x81, 0x70, 0x83, 40, 0})),
         "f1 q480 t1c3 40@0-240 v70 p33 x50 tempo500000@0 tempo1000000@100 3/8@0 'T0' 'M' drop 0,0,0,0,0,0,0 end240"},
        {"SysEx skipped; bends, controllers and pressure counted",
         header(0, 1) + track(b({0, 0xF0, 2, 1, 0xF7, 0, 0xE0, 0, 64, 0, 0xB0, 10, 64, 0, 0xA0, 60, 5, 0, 0xD0, 3, 0, 0xF7, 1, 0,
                                 0, 0x90, 60, 100, 10, 0xFF, 0x01, 0, 10, 0x80, 60, 0})),
         "f0 q96 t0c0 60@0-20 v100 p0 x100 '' drop 1,1,2,2,0,0,0 end20"},
        {"overlapping notes of one key: a note-off ends the oldest",
         header(0, 1) + track(b({0, 0x90, 60, 100, 10, 60, 90, 10, 0x80, 60, 0, 10, 60, 0})),
         "f0 q96 t0c0 60@0-20 v100 p0 x100 t0c0 60@10-30 v90 p0 x100 '' drop 0,0,0,0,0,0,0 end30"},
        {"stray note-off counted, a note without its off ends with its track, an empty note dropped",
         header(0, 1) + track(b({0, 0x80, 50, 0, 0, 0x90, 61, 1, 0, 0x80, 61, 0, 5, 0x90, 62, 100, 7, 0x90, 63, 1})),
         "f0 q96 t0c0 62@5-12 v100 p0 x100 '' drop 0,0,0,0,1,2,2 end12"},
        {"chunks of other types skipped; tempos at one tick keep the last; end of track ends the chunk",
         header(1, 2) + "XTRA" + be32(2) + "zz" + track(b({0, 0xFF, 0x51, 3, 0, 0, 1, 0, 0xFF, 0x51, 3, 0, 0, 2})) +
             "MTrk" + be32(9) + b({0, 0xFF, 0x2F, 0, 0, 0x90, 60, 100, 0}) ,
         "f1 q96 tempo2@0 '' '' drop 0,0,0,0,0,0,0 end0"},
    };
    for (const Row& r : rows) EXPECT_EQ(outcome(r.bytes), r.expected) << r.name;
}

TEST(MidiRead, EveryDamageNamesItsFaultAndOffset) {
    using F = output::MidiFault;
    struct Row {
        const char* name;
        std::string bytes;
        std::string expected;
    };
    const std::string note = b({0, 0x90, 60, 100, 10, 0x80, 60, 0});
    const std::string ok = header(0, 1) + track(note);
    const Row rows[] = {
        {"empty file", "", fault(F::NoHeader, 0)},
        {"no MThd", "RIFF" + ok.substr(4), fault(F::NoHeader, 0)},
        {"header cut inside its length", ok.substr(0, 6), fault(F::Truncated, 6)},
        {"header length below 6", "MThd" + be32(4) + b({0, 0, 0, 1}), fault(F::BadHeaderLength, 4)},
        {"header length past the file", "MThd" + be32(60) + b({0, 0, 0, 1, 0, 96}), fault(F::Truncated, 8)},
        {"format 2 refused", header(2, 1) + track(note), fault(F::Format2, 8)},
        {"format 7 unknown", header(7, 1) + track(note), fault(F::UnknownFormat, 8)},
        {"SMPTE division refused", header(0, 1, 0xE728) + track(note), fault(F::Smpte, 12)},
        {"zero ticks per quarter", header(0, 1, 0) + track(note), fault(F::ZeroDivision, 12)},
        {"fewer tracks than announced", header(1, 3) + track(note) + track(note), fault(F::MissingTracks, 14 + 2 * 20)},
        {"chunk header cut short", header(1, 2) + track(note) + "MTr", fault(F::Truncated, 34)},
        {"chunk length past the file", header(0, 1) + "MTrk" + be32(100) + note, fault(F::Truncated, 18)},
        {"track cut in the middle of an event (chunk length matches)", header(0, 1) + "MTrk" + be32(3) + b({0, 0x90, 60}), fault(F::EventPastTrack, 25)},
        {"delta time of five bytes", header(0, 1) + track(b({0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 60, 100})), fault(F::BadLength, 22)},
        {"data byte with no status", header(0, 1) + track(b({0, 60, 100})), fault(F::NoStatus, 23)},
        {"system common status in a track", header(0, 1) + track(b({0, 0xF2, 0, 0})), fault(F::BadStatus, 23)},
        {"data byte of 0x80 or more", header(0, 1) + track(b({0, 0x90, 0x90, 100})), fault(F::BadData, 24)},
        {"meta length past its track", header(0, 1) + "MTrk" + be32(6) + b({0, 0xFF, 0x03, 0x7F, 'a', 'b'}), fault(F::EventPastTrack, 26)},
        {"SysEx length past its track", header(0, 1) + "MTrk" + be32(4) + b({0, 0xF0, 0x8F, 0x7F}), fault(F::EventPastTrack, 26)},
        {"huge meta length is refused, not reserved", header(0, 1) + "MTrk" + be32(7) + b({0, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F}), fault(F::EventPastTrack, 29)},
    };
    for (const Row& r : rows) EXPECT_EQ(outcome(r.bytes), r.expected) << r.name;
    // The message names the fault and the offset.
    const std::string text = output::midiReadErrorText({F::Truncated, 1234});
    EXPECT_NE(text.find("1234"), std::string::npos) << text;
    EXPECT_NE(output::midiReadErrorText({F::NoHeader, 0}).find("MThd"), std::string::npos);
}

}  // namespace
}  // namespace tavolin::testing
