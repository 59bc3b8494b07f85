// SPDX-License-Identifier: MIT
// The web engine's calls as JavaScript sees them (embind). Bytes come in as
// Uint8Array (embind copies them into a std::string); results go out as JSON
// texts, and samples as views of the engine's own memory that the module
// copies or hands on before the next call.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include "app/web/WebEngine.h"
#include "session/SongSettings.h"

namespace tavolin::web {
namespace {

using emscripten::val;

Settings settingsOf(int arith, uint32_t rateHz, bool english, int cursorBank, double cursorOffset, int currentBank = -2) {
    Settings s;
    s.currentBank = currentBank;
    s.arith = session::arithAt(arith).value_or(Arith::Count);
    s.rateHz = rateHz;
    s.english = english;
    s.cursorBank = cursorBank;
    s.cursorOffset = static_cast<uint64_t>(cursorOffset);
    return s;
}

std::string check(const std::string& bytes, int arith, bool english, int cursorBank, double cursorOffset, int currentBank) {
    return checkDocument(bytes, settingsOf(arith, 48000, english, cursorBank, cursorOffset, currentBank));
}

std::string timeline(const std::string& bytes, int arith, uint32_t rateHz, bool english) {
    return timelineDocument(bytes, settingsOf(arith, rateHz, english, -2, 0));
}

// The last render's file, kept until the next render so that JavaScript can
// copy it out of a view.
std::vector<uint8_t> g_wav;
std::string g_error;

bool render(const std::string& bytes, int arith, uint32_t rateHz, bool english, int cursorBank, double cursorOffset,
            int currentBank) {
    g_wav = renderDocument(bytes, settingsOf(arith, rateHz, english, cursorBank, cursorOffset, currentBank), g_error);
    return g_error.empty();
}
val renderedBytes() { return val(emscripten::typed_memory_view(g_wav.size(), g_wav.data())); }
std::string lastError() { return g_error; }
void releaseRendered() { std::vector<uint8_t>().swap(g_wav); }

// The window's export dialog: the files wait in g_export for JavaScript to
// copy out, one by one, as the rendered WAV does. The engine's in-memory file
// system holds each file only while it is written.
ExportedAudio g_export;
bool exportAudio(const std::string& bytes, int arith, uint32_t rateHz, bool english, int cursorBank, double cursorOffset,
                 int currentBank, int type, int loops, double fadeSeconds, bool perBank, int audible, const std::string& name) {
    window::ExportChoice choice;
    if (type < 0 || type > static_cast<int>(output::AudioFileType::Opus)) {
        g_error = R"j({"message":"format must be 0 (WAV), 1 (FLAC), 2 (Ogg Vorbis) or 3 (Opus)"})j";
        return false;
    }
    choice.type = static_cast<output::AudioFileType>(type);
    choice.loops = loops;
    choice.fadeSeconds = fadeSeconds;
    choice.perBank = perBank;
    g_export = exportDocument(bytes, settingsOf(arith, rateHz, english, cursorBank, cursorOffset, currentBank), choice,
                              static_cast<BankMask>(audible & kAllBanks), name, "/tmp", g_error);
    return g_error.empty();
}
size_t exportedCount() { return g_export.files.size(); }
std::string exportedName(size_t i) { return i < g_export.files.size() ? g_export.files[i].name : std::string(); }
val exportedBytes(size_t i) {
    if (i >= g_export.files.size()) return val(emscripten::typed_memory_view(size_t{0}, static_cast<const uint8_t*>(nullptr)));
    return val(emscripten::typed_memory_view(g_export.files[i].bytes.size(), g_export.files[i].bytes.data()));
}
std::string exportedMessage() { return g_export.message; }
double exportedFrames() { return static_cast<double>(g_export.frames); }
void releaseExported() { g_export = {}; }

std::string decode(const std::string& bytes, bool english) { return decodeDocument(bytes, english); }

std::string g_encoded;
bool encode(const std::string& a, const std::string& b, const std::string& c, const std::string& d, const std::string& e,
            const std::string& f, bool english) {
    g_encoded = encodeDocument({a, b, c, d, e, f}, english, g_error);
    return g_error.empty();
}
val encodedBytes() { return val(emscripten::typed_memory_view(g_encoded.size(), reinterpret_cast<const uint8_t*>(g_encoded.data()))); }

std::string classes(const std::string& utf8) { return classifyText(utf8); }

// MIDI: the imported document and the exported file wait in g_midi for
// JavaScript to copy out, as the rendered WAV does.
std::string g_midi;
std::string importMidi(const std::string& bytes, int grid, bool newest, const std::string& map, bool english) {
    return importMidiDocument(bytes, {grid, newest, map, english}, g_midi);
}
std::string g_warnings;
bool exportMidi(const std::string& bytes, int arith, bool english) {
    std::vector<std::string> warnings;
    g_midi = exportMidiDocument(bytes, settingsOf(arith, 48000, english, -2, 0), g_error, warnings);
    g_warnings.clear();
    for (const std::string& w : warnings) g_warnings += w + "\n";
    return g_error.empty();
}
val midiBytes() { return val(emscripten::typed_memory_view(g_midi.size(), reinterpret_cast<const uint8_t*>(g_midi.data()))); }
std::string midiWarnings() { return g_warnings; }

Stream* openStream(const std::string& bytes, int arith, uint32_t rateHz, bool english, int cursorBank, double cursorOffset,
                   bool loop, const std::string& from, const std::string& to, int currentBank) {
    return new Stream(bytes, settingsOf(arith, rateHz, english, cursorBank, cursorOffset, currentBank), loop, from, to);
}
// A selection looped: bytes [fromByte, toByte) of tab `tab` (0 common, 1..5
// A..E); `playhead` the song frame heard now, or negative for none.
Stream* openLoop(const std::string& bytes, int arith, uint32_t rateHz, bool english, int tab, double fromByte,
                 double toByte, double playhead, int currentBank) {
    session::LoopPick pick;
    pick.tab = tab;
    pick.fromByte = static_cast<uint64_t>(fromByte);
    pick.toByte = static_cast<uint64_t>(toByte);
    const std::optional<uint64_t> head = playhead < 0 ? std::nullopt : std::optional<uint64_t>(static_cast<uint64_t>(playhead));
    return new Stream(bytes, settingsOf(arith, rateHz, english, -2, 0, currentBank), pick, head);
}
val streamNext(Stream& s, uint32_t frames) {
    const std::span<const int16_t> block = s.next(frames);
    return val(emscripten::typed_memory_view(block.size(), block.data()));
}
void streamSeek(Stream& s, double frame) { s.seek(static_cast<uint64_t>(frame)); }
std::string streamSwap(Stream& s, const std::string& bytes, int arith, uint32_t rateHz, bool english, int currentBank) {
    return s.swap(bytes, settingsOf(arith, rateHz, english, -2, 0, currentBank));
}
double streamFrame(const Stream& s) { return static_cast<double>(s.frame()); }
double streamSongFrame(const Stream& s) { return static_cast<double>(s.songFrame()); }
std::string streamPassageStatus(const Stream& s) { return s.passageStatus(); }
void streamSetAudible(Stream& s, int mask) { s.setAudible(static_cast<BankMask>(mask)); }
void streamTapBanks(Stream& s) { s.tapBanks(); }
val streamScopes(Stream& s, double heardFrame, double nowSeconds) {
    // A negative frame: nothing is heard (stopped, paused).
    const std::span<const float> out =
        s.scopes(heardFrame < 0 ? std::nullopt : std::optional<uint64_t>(static_cast<uint64_t>(heardFrame)), nowSeconds);
    return val(emscripten::typed_memory_view(out.size(), out.data()));
}
// embind binds no noexcept member functions: these go through free ones.
bool streamOk(const Stream& s) { return s.ok(); }
std::string streamError(const Stream& s) { return s.error(); }
bool streamFinished(const Stream& s) { return s.finished(); }

}  // namespace

EMSCRIPTEN_BINDINGS(tavolin_engine) {
    using namespace emscripten;
    function("check", &check);
    function("timeline", &timeline);
    function("render", &render);
    function("renderedBytes", &renderedBytes);
    function("exportAudio", &exportAudio);
    function("exportedCount", &exportedCount);
    function("exportedName", &exportedName);
    function("exportedBytes", &exportedBytes);
    function("exportedMessage", &exportedMessage);
    function("exportedFrames", &exportedFrames);
    function("releaseExported", &releaseExported);
    function("releaseRendered", &releaseRendered);
    function("lastError", &lastError);
    function("decode", &decode);
    function("encode", &encode);
    function("encodedBytes", &encodedBytes);
    function("classes", &classes);
    function("importMidi", &importMidi);
    function("exportMidi", &exportMidi);
    function("midiBytes", &midiBytes);
    function("midiWarnings", &midiWarnings);
    class_<Stream>("Stream")
        .function("ok", &streamOk)
        .function("error", &streamError)
        .function("next", &streamNext)
        .function("seek", &streamSeek)
        .function("swap", &streamSwap)
        .function("frame", &streamFrame)
        .function("songFrame", &streamSongFrame)
        .function("passageStatus", &streamPassageStatus)
        .function("setAudible", &streamSetAudible)
        .function("tapBanks", &streamTapBanks)
        .function("scopes", &streamScopes)
        .function("finished", &streamFinished);
    function("openStream", &openStream, allow_raw_pointers());
    function("openLoop", &openLoop, allow_raw_pointers());
}

}  // namespace tavolin::web
