// SPDX-License-Identifier: MIT
// The web engine's operations in plain C++: what tavolin-cli's check, render and
// timeline do, and the page's document helpers, with JSON texts as results.
// EngineBindings.cpp hands them to JavaScript; tavolin-engine.mjs shapes them.
// Single-threaded: one call at a time (a page runs one engine per worker).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "output/SongBuilder.h"
#include "document/DocumentFormat.h"
#include "music/BankScope.h"
#include "session/Passage.h"
#include "session/SongStream.h"
#include "window/ExportSteps.h"
#include "window/PianoRoll.h"

namespace tavolin::web {

// The settings every call takes, as the page passes them.
struct Settings {
    Arith arith = Arith::Float;  // another value (a number the page sent that names none) is refused
    uint32_t rateHz = 48000;
    bool english = false;    // messages in English (else Japanese)
    int64_t cursorBank = -2; // -1 common, 0..4 banks A..E; -2: no cursor
    uint64_t cursorOffset = 0;
    int64_t currentBank = -2;  // Current Bank Play: 0..4 banks A..E (-1 common, which the builder refuses); -2 off
};

// {"ok":true} or {"ok":false,"error":{...}}: the error of `check --json`
// (code, bank, position, message) with its place in the editor (tab, line,
// column, start, end in UTF-16 units, status), or {"document":true,
// "message":...} when the bytes are no readable document.
std::string checkDocument(std::string_view fileBytes, const Settings& settings);

// The checkpoints of the latest song the page compiled, shared by every
// stream's seeks (a passage's start, a swap's place): the worker sets them
// out after each compile and takes them a step at a time in its idle time.
// Kept when the shelf already holds (or is taking) exactly that song in
// that mode; false when the document does not build.
bool beginCheckpoints(std::string_view fileBytes, const Settings& settings, bool loop, bool passage);
// At most `frames` frames of song further; false once nothing is left to do.
bool stepCheckpoints(uint64_t frames);
const session::CheckpointShelf& pageCheckpoints();

// The object `tavolin-cli timeline --json` prints (its compile error object
// on an error, a document error as checkDocument gives it).
std::string timelineDocument(std::string_view fileBytes, const Settings& settings);

// {"tabs":[six editor texts]} (the window's text: "\n" breaks, one character
// per stored character), with "warning" when a save would lose part of the
// file, or {"error":message} for a file that cannot be opened.
std::string decodeDocument(std::string_view fileBytes, bool english);

// Six editor texts -> the .mml file the window saves (CP932, CR LF). Empty
// with `error` set when a character has no CP932 form.
std::string encodeDocument(const std::vector<std::string>& tabs, bool english, std::string& error);

// The colour runs of one tab's editor text (UTF-8), in UTF-16 positions:
// [[start, length, class], ...] with the classes of editor/MmlClasses.h.
std::string classifyText(std::string_view utf8);

// `tavolin-cli render -o x.wav`: the WAV file's bytes, or empty with `error`
// set to a JSON object as checkDocument's error (or {"message":...}).
std::vector<uint8_t> renderDocument(std::string_view fileBytes, const Settings& settings, std::string& error);

// The window's export dialog carried out: the file (or one per sounding bank)
// as the window writes it for `choice`, named from `name` as its save
// dialog's answer ("song" -> song.flac, or song_A.flac... for stems), with
// the window's confirmation text. Banks outside `audible` run but are left
// out, as the window's muted banks. The files are written through the
// desktop's own writers into `folder` (a folder of the engine's in-memory
// file system in the browser), read back and removed. On failure no file and
// `error` as renderDocument's.
struct ExportedFile {
    std::string name;
    std::vector<uint8_t> bytes;
};
struct ExportedAudio {
    std::vector<ExportedFile> files;  // none when no audible bank sounds (stems)
    std::string message;              // "書き出しました\n..." as the window says it
    uint64_t frames = 0;              // every file's length
};
ExportedAudio exportDocument(std::string_view fileBytes, const Settings& settings, const window::ExportChoice& choice,
                             BankMask audible, std::string_view name, const std::string& folder, std::string& error);

// A MIDI file arranged as `tavolin-cli import-midi` arranges it: {"ok":true,
// "report": the window's report text, "json": import-midi --json's report},
// the document's bytes (as the CLI writes them) in `document`; or
// {"ok":false,"error":message} when the options or the file are refused.
struct MidiImportSettings {
    int32_t grid = 0;     // steps per whole note; 0: the default
    bool newest = false;  // --overlap newest
    std::string map;      // --map, empty for none
    bool english = false;
};
std::string importMidiDocument(std::string_view midiBytes, const MidiImportSettings& settings, std::string& document);
// The song as `tavolin-cli export-midi` writes it; on failure nothing and
// `error` (as render's). `warnings` what the CLI prints as warnings.
std::string exportMidiDocument(std::string_view fileBytes, const Settings& settings, std::string& error,
                               std::vector<std::string>& warnings);

// The window's Test: the test phrase (the editor's UTF-8 text) in bank A after the tone
// command the helper composed, with the document's common text, as the WAV
// file render gives; empty with `error` set (as render's) when it fails.
std::vector<uint8_t> renderTestPhrase(std::string_view fileBytes, const Settings& settings, std::string_view toneCommand,
                                      std::string_view phrase, std::string& error);

// The piano roll of the page: the window's model over the latest document
// that compiled, and the notes that sound at a song frame, in the roll and in
// the editor. Coordinates are the canvas's CSS pixels.
class Roll {
public:
    // The document as the live check last saw it; one that does not compile
    // leaves the last song in place, stale. Empty when it compiled, else the
    // error (as check's).
    std::string setDocument(std::string_view fileBytes, const Settings& settings);
    window::PianoRoll& model() noexcept { return m_roll; }
    const window::PianoRoll& model() const noexcept { return m_roll; }
    // What to draw, as JSON: the lanes, the passage, the highlighted note
    // and, while `songFrame` is heard (negative: nothing plays), the
    // playheads and the notes lit; with `still`, also what changes only with
    // the song and the view (each lane's visible notes, grid and octaves, the
    // ruler's ticks), which the page draws once into a layer of its own.
    // `loopSong` is Play's Loop.
    std::string scene(double songFrame, bool loopSong, bool still) const;
    // The editor range a click at (x, y) selects: {"tab","start","end"} or null.
    std::string selectionAt(double x, double y) const;
    // The keys' step from the highlighted note (window::PianoRoll::Step: 0 previous, 1 next,
    // 2 bank above, 3 bank below), highlighted and scrolled into view; with `extend`, the
    // selection stretches from where the stretch began. {tab, start, end} to select, or null.
    std::string step(int how, bool extend);
    // The editor ranges of the notes sounding at `songFrame`: [[tab, start, end], ...].
    // Shift+F8's sentence: where the banks stand at `songFrame` (negative: nothing plays).
    std::string playheadSpeech(double songFrame, bool loopSong) const;
    std::string lit(double songFrame, bool loopSong) const;
    // The passage the one rule names for `pick` (under `playhead` when it is
    // not negative), shaded in the roll: [from, to] in song frames, or null.
    std::string showPassage(const session::LoopPick& pick, double playhead);
    void clearPassage() { m_roll.setPassage(std::nullopt); }

private:
    BankFrames framesAt(double songFrame, bool loopSong) const;

    window::PianoRoll m_roll;
    document::TabTexts m_tabs;  // the texts of the song shown
};

// A song being played: rendered block by block into one reused buffer.
class Stream {
public:
    // Builds the song as Play does (endless loops go on unless `loop` is
    // false and they end...; `from`/`to` a passage as render's --from/--to,
    // empty for the whole song). Check ok() and error() after.
    Stream(std::string_view fileBytes, const Settings& settings, bool loop, std::string_view from, std::string_view to);
    // A selection looped, as the window's "選択範囲をループ再生" (Ctrl+L):
    // the passage the one rule names for `pick` (the pass under `playhead`,
    // a frame of the song heard now, when given), over and over. A pick
    // that names no note gives error() {"noNote":true,"message":...}.
    Stream(std::string_view fileBytes, const Settings& settings, const session::LoopPick& pick,
           std::optional<uint64_t> playhead);

    bool ok() const noexcept { return m_stream && m_stream->ok(); }
    const std::string& error() const noexcept { return m_error; }

    // Renders up to `frames` frames (interleaved stereo) into the stream's
    // buffer and returns them; the buffer grows only when a call asks for
    // more than any before. After the song's end, silence.
    std::span<const int16_t> next(uint32_t frames);
    // Moves to `frame` frames after the stream's start (rebuilds when going back).
    void seek(uint64_t frame) { if (m_stream) m_stream->seek(frame); }
    // Goes on with the document `fileBytes` at the same place in the music
    // (session::SongStream::swap). Empty when it did; else the error, as
    // open's, and the old song plays on. The arithmetic and rate stay the
    // stream's.
    std::string swap(std::string_view fileBytes, const Settings& settings);
    void setAudible(BankMask mask) { if (m_stream) m_stream->setAudible(mask); }
    // The banks' scopes as the window draws them: tapBanks() before the
    // first next(), then scopes(heard, now) reads every bank's ring up to the
    // stream frame `heard` (music::BankScope; none: nothing is heard, the
    // traces go flat and the meters fall) and returns, as floats, the
    // five meters' level and hold (0..1) followed by the five traces of
    // `window` samples each (-1..1; flat when a ring could not be read).
    void tapBanks() { if (m_stream) m_stream->tapBanks(); }
    std::span<const float> scopes(std::optional<uint64_t> heardFrame, double nowSeconds);
    uint64_t frame() const noexcept { return m_stream ? m_stream->frame() : 0; }
    // The frame of the song's timeline next() renders first (the playhead).
    uint64_t songFrame() const noexcept { return m_stream ? m_stream->songFrame() : 0; }
    // While a passage loops, the window's status line for it ("ループ再生中: 0:01.000 – 0:01.750"); else empty.
    std::string passageStatus() const;
    bool finished() const noexcept { return !ok() || m_stream->finished(); }

private:
    void start(const output::BuildInputs& inputs, bool loop, std::optional<session::LivePassage> passage,
               const document::TabTexts& tabs);

    std::unique_ptr<session::SongStream> m_stream;
    std::vector<int16_t> m_silence;  // what a stream that could not open plays
    std::array<music::BankScope, 5> m_scopes;
    std::vector<float> m_scopeOut;
    std::string m_error;
};

}  // namespace tavolin::web
