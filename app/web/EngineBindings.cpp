// SPDX-License-Identifier: MIT
// The web engine's calls as JavaScript sees them (embind). Bytes come in as
// Uint8Array (embind copies them into a std::string); results go out as JSON
// texts, and samples as views of the engine's own memory that the module
// copies or hands on before the next call.
#include <algorithm>

#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <nlohmann/json.hpp>

#include "app/json/SongJson.h"
#include "app/texts/EnglishTexts.h"
#include "app/web/WebEngine.h"
#include "compiler/UiText.h"
#include "music/EnvelopeHelper.h"
#include "music/ToneHelper.h"
#include "session/CheckPace.h"
#include "session/SongSettings.h"
#include "window/Examples.h"
#include "window/FirstSteps.h"
#include "window/KeyMap.h"
#include "window/Speech.h"

namespace tavolin::web {
namespace {

using emscripten::val;
using Json = nlohmann::ordered_json;

void useLanguage(bool english) { setTranslator(english ? &texts::englishText : nullptr); }

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
                 int currentBank, int type, int loops, double fadeSeconds, bool perBank, bool loopPoints, int audible,
                 const std::string& name) {
    window::ExportChoice choice;
    if (type < 0 || type > static_cast<int>(output::AudioFileType::Opus)) {
        g_error = R"j({"message":"format must be 0 (WAV), 1 (FLAC), 2 (Ogg Vorbis) or 3 (Opus)"})j";
        return false;
    }
    choice.type = static_cast<output::AudioFileType>(type);
    choice.loops = loops;
    choice.fadeSeconds = fadeSeconds;
    choice.perBank = perBank;
    choice.loopPoints = loopPoints;
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

bool checkpointsBegin(const std::string& bytes, int arith, uint32_t rateHz, int cursorBank, int currentBank, bool loop,
                      bool passage) {
    return beginCheckpoints(bytes, settingsOf(arith, rateHz, false, cursorBank, 0, currentBank), loop, passage);
}
bool checkpointsStep(double frames) { return stepCheckpoints(static_cast<uint64_t>(std::max(0.0, frames))); }
double checkpointsCount() { return static_cast<double>(pageCheckpoints().count()); }

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
// A stretch dragged across the roll's ruler: song frames [fromFrame, toFrame) in either order.
Stream* openRulerLoop(const std::string& bytes, int arith, uint32_t rateHz, bool english, int tab, double fromFrame,
                      double toFrame, double playhead, int currentBank) {
    session::LoopPick pick;
    pick.tab = tab;
    pick.frames = std::pair<double, double>(fromFrame, toFrame);
    const std::optional<uint64_t> head = playhead < 0 ? std::nullopt : std::optional<uint64_t>(static_cast<uint64_t>(playhead));
    return new Stream(bytes, settingsOf(arith, rateHz, english, -2, 0, currentBank), pick, head);
}

bool testPhrase(const std::string& bytes, int arith, uint32_t rateHz, bool english, const std::string& toneCommand,
                const std::string& phrase) {
    g_wav = renderTestPhrase(bytes, settingsOf(arith, rateHz, english, -2, 0), toneCommand, phrase, g_error);
    return g_error.empty();
}

// The roll: the window's model, driven by the page's canvas.
std::string rollSetDocument(Roll& r, const std::string& bytes, int arith, uint32_t rateHz, bool english, int currentBank) {
    return r.setDocument(bytes, settingsOf(arith, rateHz, english, -2, 0, currentBank));
}
void rollResize(Roll& r, double w, double h) { r.model().resize(w, h); }
void rollZoomAt(Roll& r, double x, double factor) { r.model().zoomAt(x, factor); }
void rollScrollBy(Roll& r, double dx) { r.model().scrollBy(dx); }
void rollFitSong(Roll& r) { r.model().fitSong(); }
bool rollFollow(Roll& r, double frame) { return r.model().follow(static_cast<uint64_t>(frame)); }
double rollFrameAtX(const Roll& r, double x) { return r.model().frameAtX(x); }
bool rollSetCaret(Roll& r, int tab, double byte) { return r.model().setCaret(tab, static_cast<uint64_t>(byte)); }
std::string rollScene(const Roll& r, double songFrame, bool loop, bool still) { return r.scene(songFrame, loop, still); }
std::string rollSelectionAt(const Roll& r, double x, double y) { return r.selectionAt(x, y); }
std::string rollStep(Roll& r, int how, bool extend) { return r.step(how, extend); }
std::string rollLit(const Roll& r, double songFrame, bool loop) { return r.lit(songFrame, loop); }
std::string rollShowPassage(Roll& r, int tab, double fromByte, double toByte, double fromFrame, double toFrame, double playhead) {
    session::LoopPick pick;
    pick.tab = tab;
    pick.fromByte = static_cast<uint64_t>(fromByte);
    pick.toByte = static_cast<uint64_t>(toByte);
    if (fromFrame >= 0 && toFrame >= 0) pick.frames = std::pair<double, double>(fromFrame, toFrame);
    return r.showPassage(pick, playhead);
}
void rollClearPassage(Roll& r) { r.clearPassage(); }
// The window's Shift+F8 sentence for the song frame heard now (negative: nothing plays).
std::string rollPlayheadSpeech(const Roll& r, double songFrame, bool loopSong, bool english) {
    useLanguage(english);
    return r.playheadSpeech(songFrame, loopSong);
}
// The window's F8 sentence for the note the caret names (setCaret first), in the page's language.
std::string rollCaretSpeech(const Roll& r, int tab, bool english) {
    useLanguage(english);
    return window::caretSpeech(r.model().stale() ? nullptr : r.model().song(), tab, r.model().highlight());
}

// The tone-definition helper: the window's own state object, its texts in the page's language.
std::string toneAddDuty(music::ToneHelper& t, const std::string& duty, int waveType, bool english) {
    useLanguage(english);
    return t.addDuty(duty, waveType);
}
void toneDeleteDuty(music::ToneHelper& t, int selected) { t.deleteDuty(selected); }
void toneSetWaveType(music::ToneHelper& t, int index) { t.setWaveType(index); }
void toneSetFreqNoise(music::ToneHelper& t, const std::string& text) { t.setFreqNoiseText(text); }
void toneSetSwitch(music::ToneHelper& t, const std::string& text) { t.setSwitchText(text); }
std::string toneLines(const music::ToneHelper& t) { return Json(t.listLines()).dump(); }
// {"text": the command ("" when refused), "messages": what the window's boxes say}
std::string toneCommand(const music::ToneHelper& t, int tone, const std::string& levelNoise, bool english) {
    useLanguage(english);
    Json messages = Json::array();
    const std::string text = t.buildToneCommand(tone, levelNoise, [&](const std::string& m) { messages.push_back(m); });
    return Json{{"text", text}, {"messages", std::move(messages)}}.dump();
}

// The helpers' fixed texts: wave types, tone numbers, envelope templates with the fields they set.
std::string helperTexts(bool english) {
    useLanguage(english);
    Json waves = Json::array();
    for (const char* w : music::kToneWaveTypes) waves.push_back(uiText(w));
    Json templates = Json::array();
    for (int i = 0; i < music::kEnvelopeTemplateCount; ++i)
        templates.push_back(Json{{"caption", uiText(music::kEnvelopeTemplates[static_cast<size_t>(i)].caption)},
                                 {"fields", music::applyEnvelopeTemplate(i)}});
    return Json{{"waves", std::move(waves)}, {"toneNumberMax", music::kToneNumberMax}, {"templates", std::move(templates)}}.dump();
}
// The MML reference in the page's language (as `tavolin-cli reference --json`).
std::string reference(bool english) {
    useLanguage(english);
    return json::referenceJson().dump();
}
// The example songs of the window's File → "サンプル曲": [{file, title, about}] in the page's language.
std::string examples(bool english) {
    useLanguage(english);
    Json list = Json::array();
    for (const window::ExampleSong& song : window::kExamples)
        list.push_back({{"file", song.file}, {"title", uiText(song.title)}, {"about", uiText(song.about)}});
    return list.dump();
}
// The window's first steps: {title, steps: [{title, how}], more} in the page's language.
std::string firstSteps(bool english) {
    useLanguage(english);
    Json steps = Json::array();
    for (const window::FirstStep& step : window::kFirstSteps) steps.push_back({{"title", uiText(step.title)}, {"how", uiText(step.how)}});
    return Json{{"title", uiText(window::kFirstStepsTitle)}, {"steps", std::move(steps)}, {"more", uiText(window::kFirstStepsMore)}}.dump();
}
// The page's keys with the user's changes `saved` (as KeyMap::save writes them):
// [{id, caption, keys, defaultKeys}].
std::string keyCommands(const std::string& saved, bool english) {
    useLanguage(english);
    const window::KeyMap map = window::KeyMap::load(saved, window::KeyFrontEnd::Page);
    Json list = Json::array();
    for (const window::KeyCommand& c : map.commands())
        if (map.has(c))
            list.push_back({{"id", c.id}, {"caption", uiText(c.caption)}, {"keys", map.keysOf(c.id)}, {"defaultKeys", map.defaultKeysOf(c)}});
    return list.dump();
}
// `id` given `keys` in `saved`: {"saved": the changes} or {"refused": why, naming the command that has the key}.
std::string keySet(const std::string& saved, const std::string& id, const std::string& keys, bool english) {
    useLanguage(english);
    window::KeyMap map = window::KeyMap::load(saved, window::KeyFrontEnd::Page);
    if (const auto holder = map.set(id, keys)) {
        const window::KeyCommand* c = window::keyCommand(*holder);
        return Json{{"refused", c && *holder != id ? window::keyTakenText(window::normalizeKeys(keys), *c) : "no such command: " + id}}.dump();
    }
    return Json{{"saved", map.save()}}.dump();
}
// A key written one way ("ctrl+l" -> "Ctrl+L"); embind passes strings, not views.
std::string normalizeKeys(const std::string& keys) { return window::normalizeKeys(keys); }
// {"text": "@ED..."} or {"message": the first failed check}
std::string envelopeCommand(const std::string& attack, const std::string& decay, const std::string& release,
                            const std::string& attackLevel, const std::string& sustainLevel, const std::string& number,
                            bool english) {
    useLanguage(english);
    const music::EnvelopeCommand c = music::buildEnvelopeCommand({attack, decay, release, attackLevel, sustainLevel, number});
    return c.ok() ? Json{{"text", c.text}}.dump() : Json{{"message", c.message}}.dump();
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

// The live check's pace, in milliseconds as the page counts time.
using Milliseconds = std::chrono::duration<double, std::milli>;
session::CheckPace* makePace(double longestMs) {
    return new session::CheckPace(std::chrono::duration_cast<session::CheckPace::Clock::duration>(Milliseconds(longestMs)));
}
double paceWait(const session::CheckPace& p) { return Milliseconds(p.wait()).count(); }
void paceCompiled(session::CheckPace& p, double ms) {
    p.compiled(std::chrono::duration_cast<session::CheckPace::Clock::duration>(Milliseconds(std::max(0.0, ms))));
}
// How long after the last edit a result may show (0: at once).
double paceShowAfter(const session::CheckPace& p, bool error) {
    const auto edit = session::CheckPace::Clock::time_point{} + std::chrono::hours(1);
    return std::max(0.0, Milliseconds(p.showAt(error, edit) - edit).count());
}

}  // namespace

EMSCRIPTEN_BINDINGS(tavolin_engine) {
    using namespace emscripten;
    function("check", &check);
    function("checkpointsBegin", &checkpointsBegin);
    function("checkpointsStep", &checkpointsStep);
    function("checkpointsCount", &checkpointsCount);
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
    function("openRulerLoop", &openRulerLoop, allow_raw_pointers());
    function("testPhrase", &testPhrase);
    function("helperTexts", &helperTexts);
    function("reference", &reference);
    function("examples", &examples);
    function("firstSteps", &firstSteps);
    function("keyCommands", &keyCommands);
    function("keySet", &keySet);
    function("normalizeKeys", &normalizeKeys);
    function("envelopeCommand", &envelopeCommand);
    class_<Roll>("Roll")
        .constructor<>()
        .function("setDocument", &rollSetDocument)
        .function("resize", &rollResize)
        .function("zoomAt", &rollZoomAt)
        .function("scrollBy", &rollScrollBy)
        .function("fitSong", &rollFitSong)
        .function("follow", &rollFollow)
        .function("frameAtX", &rollFrameAtX)
        .function("setCaret", &rollSetCaret)
        .function("scene", &rollScene)
        .function("selectionAt", &rollSelectionAt)
        .function("step", &rollStep)
        .function("lit", &rollLit)
        .function("showPassage", &rollShowPassage)
        .function("clearPassage", &rollClearPassage)
        .function("caretSpeech", &rollCaretSpeech)
        .function("playheadSpeech", &rollPlayheadSpeech);
    class_<session::CheckPace>("CheckPace")
        .constructor(&makePace, allow_raw_pointers())
        .function("wait", &paceWait)
        .function("compiled", &paceCompiled)
        .function("showAfter", &paceShowAfter);
    class_<music::ToneHelper>("ToneHelper")
        .constructor<>()
        .function("addDuty", &toneAddDuty)
        .function("deleteDuty", &toneDeleteDuty)
        .function("setWaveType", &toneSetWaveType)
        .function("setFreqNoise", &toneSetFreqNoise)
        .function("setSwitch", &toneSetSwitch)
        .function("lines", &toneLines)
        .function("command", &toneCommand);
}

}  // namespace tavolin::web
