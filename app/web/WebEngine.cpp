// SPDX-License-Identifier: MIT
// The web engine's operations: the CLI's check, render and timeline, playback
// blocks and the page's document helpers, on the same libraries.
#include "app/web/WebEngine.h"

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <utility>

#include <nlohmann/json.hpp>

#include "app/texts/EnglishTexts.h"
#include "app/json/SongJson.h"
#include "compiler/ErrorTable.h"
#include "compiler/UiText.h"
#include "compiler/Utf8.h"
#include "document/CaretMapping.h"
#include "document/DocumentCheck.h"
#include "document/DocumentFormat.h"
#include "music/ErrorPlace.h"
#include "music/MmlClasses.h"
#include "document/TextEncoding.h"
#include "document/UserTexts.h"
#include "music/DocumentFeatures.h"
#include "music/MidiImport.h"
#include "music/ToneHelper.h"
#include "output/MidiExport.h"
#include "output/Passage.h"
#include "session/Passage.h"
#include "session/SongSettings.h"
#include "session/SwapAnchor.h"
#include "output/SongMap.h"
#include "output/WavExport.h"
#include "synth/Timeline.h"
#include "window/Speech.h"

namespace tavolin::web {
namespace {

using Json = nlohmann::ordered_json;

// The name messages give a document the page hands over.
constexpr const char* kDocumentName = "document.mml";

void useLanguage(bool english) { setTranslator(english ? &texts::englishText : nullptr); }

// The file read as tavolin-cli reads a document: the window's size limit,
// UTF-8 converted to CP932, a binary or undecodable file refused.
struct ReadResult {
    document::TabTexts tabs;
    std::string message;   // empty: read
    std::string warning;   // a save would lose part of the file
};

ReadResult readDocument(std::string_view fileBytes) {
    ReadResult r;
    const document::LoadedDocument loaded = document::loadDocumentFile(fileBytes);
    switch (loaded.refusal) {
    case document::LoadedDocument::Refusal::None: break;
    case document::LoadedDocument::Refusal::TooLarge:
        r.message = document::documentTooLargeMessage(kDocumentName, fileBytes.size());
        return r;
    case document::LoadedDocument::Refusal::Unencodable:
        r.message = document::unencodableMessage(kDocumentName, loaded.decoded.unencodable);
        return r;
    case document::LoadedDocument::Refusal::NotADocument:
        r.message = document::documentCheckMessage(kDocumentName, loaded.check);
        return r;
    }
    if (loaded.check.losesText()) r.warning = document::documentCheckMessage(kDocumentName, loaded.check);
    r.tabs = document::readDocumentBytes(loaded.decoded.bytes);
    return r;
}

std::string documentError(const std::string& message) {
    Json j;
    j["ok"] = false;
    j["error"] = Json{{"document", true}, {"message", message}};
    return j.dump();
}

// The error object of check --json, with its place in the editor.
Json compileErrorObject(const CompileResult& r, const document::TabTexts& tabs) {
    Json e;
    e["code"] = json::compileErrorCode(r.code);
    e["bank"] = r.bank;
    e["position"] = r.position;
    e["message"] = uiText(errorMessage(r.code));
    if (const std::optional<music::ErrorPlace> place = music::placeCompileError(r, tabs)) {
        e["tab"] = place->tab;
        e["line"] = place->line;
        e["column"] = place->column;
        e["start"] = place->underlineStart;
        e["end"] = place->underlineEnd;
        e["status"] = music::errorStatusText(r, *place);
    }
    return e;
}

template <EngineNumType T>
CompileResult compileTabs(const document::TabTexts& tabs, int64_t cursorBank, uint64_t cursorOffset,
                          std::array<EventList<T>, kBankCount>& lists, std::array<SourceSpans, kBankCount>* spans) {
    std::array<std::string_view, kBankCount> banks;
    for (int b = 0; b < kBankCount; ++b) banks[static_cast<size_t>(b)] = tabs[static_cast<size_t>(b + 1)];
    return CompileBanks<T>(tabs[0], banks, cursorBank, cursorOffset, lists, spans);
}

// What the page sent that no build could use, refused as every front end
// refuses it (never played as another arithmetic); empty when usable.
std::string settingsProblem(const Settings& s) {
    if (!isArith(s.arith)) return "arith must be 0 (Fix), 1 (Float) or 2 (Double)";
    if (!output::validSampleRate(s.rateHz)) return uiText(output::kBadRateMessage);
    return {};
}

// The builder's window: messages kept for the caller, no selection to move.
class MemoryHost final : public output::ExportHost {
public:
    void messageBox(const std::string& utf8Text) override { m_message = utf8Text; }
    void exportWarning(const std::string& utf8Text) override { m_warnings.push_back(utf8Text); }
    std::vector<std::string> takeWarnings() { return std::exchange(m_warnings, {}); }
    void selectTab(int) override {}
    void selectText(uint64_t, uint64_t) override {}
    void exportFileFailed(const output::ExportFileFailure& failure) override {
        m_message = window::exportFailureMessage(failure);
    }
    std::optional<std::string> askSavePath(const output::SaveDialogRequest&) override { return "output.wav"; }
    bool exportProgress(uint64_t framesDone, double) override {
        m_frames = framesDone;
        return true;
    }
    const std::string& message() const { return m_message; }
    uint64_t frames() const noexcept { return m_frames; }

private:
    std::string m_message;
    uint64_t m_frames = 0;
    std::vector<std::string> m_warnings;
};

// The WAV file in memory: what the exporter writes, without a file system.
class MemoryFile final : public output::OutputFile {
public:
    explicit MemoryFile(std::vector<uint8_t>& bytes) : m_bytes(bytes) { m_bytes.clear(); }
    bool write(std::span<const uint8_t> bytes) override {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return true;
    }
    bool writeAtStart(std::span<const uint8_t> bytes) override {
        if (bytes.size() > m_bytes.size()) return false;
        std::copy(bytes.begin(), bytes.end(), m_bytes.begin());
        return true;
    }
    bool commit() override { return true; }

private:
    std::vector<uint8_t>& m_bytes;
};

output::BuildInputs buildInputs(const document::TabTexts& tabs, const Settings& s) {
    output::BuildInputs in;
    for (int i = 0; i < output::kTabCount; ++i) in.tabTexts[static_cast<size_t>(i)] = tabs[static_cast<size_t>(i)];
    in.arith = s.arith;
    in.sampleRateHz = s.rateHz;
    in.bankIndex = -1;
    if (s.cursorBank != -2) {
        in.bankIndex = static_cast<int>(s.cursorBank);
        in.caret = s.cursorOffset;
        in.startFromCursor = true;
    }
    if (s.currentBank != -2) {
        in.bankIndex = static_cast<int>(s.currentBank);
        in.currentBankMode = true;
    }
    return in;
}

// A failed build as the page shows it: the compile error with its place, or
// the builder's message (a refusal, a bad rate, a caret too far).
std::string buildError(const CompileResult& r, const document::TabTexts& tabs, const std::string& message) {
    Json j;
    if (r.code != 0) j = compileErrorObject(r, tabs);
    else j["message"] = message;
    return j.dump();
}

// A document and its settings made ready for a build, in the settings'
// language: its texts and inputs, or the error (as open's) that refuses it:
// bytes that are no document, settings the engine does not run at.
struct Prepared {
    document::TabTexts tabs;
    output::BuildInputs inputs;
    std::string error;
};
Prepared prepare(std::string_view fileBytes, const Settings& s) {
    useLanguage(s.english);
    Prepared p;
    const ReadResult doc = readDocument(fileBytes);
    if (!doc.message.empty()) {
        p.error = Json{{"document", true}, {"message", doc.message}}.dump();
        return p;
    }
    if (const std::string problem = settingsProblem(s); !problem.empty()) {
        p.error = Json{{"message", problem}}.dump();
        return p;
    }
    p.tabs = doc.tabs;
    p.inputs = buildInputs(doc.tabs, s);
    return p;
}

// The song as the WAV export writes it, in memory ("output.wav" names it in
// messages only); empty, and `error` set, when it could not be written.
std::vector<uint8_t> wavOf(output::GeneratorWrapper& song, const output::WaveFormat& format, MemoryHost& host, std::string& error) {
    std::vector<uint8_t> wav;
    output::ExportOptions options;
    options.type = output::AudioFileType::Wav;
    options.openFile = [&wav](const std::string&) { return std::make_unique<MemoryFile>(wav); };
    if (output::writeSongToFile(song, format, "output.wav", host, options) != output::ExportOutcome::Written) {
        error = Json{{"message", host.message()}}.dump();
        wav.clear();
    }
    return wav;
}

}  // namespace

std::string checkDocument(std::string_view fileBytes, const Settings& s) {
    useLanguage(s.english);
    const ReadResult doc = readDocument(fileBytes);
    if (!doc.message.empty()) return documentError(doc.message);
    const int64_t bank = s.cursorBank == -2 ? -1 : s.cursorBank;
    const uint64_t offset = s.cursorBank == -2 ? 0 : s.cursorOffset;
    if (!isArith(s.arith)) return documentError(settingsProblem(s));  // the check runs at no rate
    const CompileResult r = withArith(s.arith, [&]<EngineNumType T>() {
        std::array<EventList<T>, kBankCount> lists;
        return compileTabs<T>(doc.tabs, bank, offset, lists, nullptr);
    });
    if (r.code == 0) return R"({"ok":true})";
    Json j;
    j["ok"] = false;
    j["error"] = compileErrorObject(r, doc.tabs);
    return j.dump();
}

std::string timelineDocument(std::string_view fileBytes, const Settings& s) {
    useLanguage(s.english);
    const ReadResult doc = readDocument(fileBytes);
    if (!doc.message.empty()) return documentError(doc.message);
    if (const std::string problem = settingsProblem(s); !problem.empty()) return documentError(problem);
    return withArith(s.arith, [&]<EngineNumType T>() -> std::string {
        std::array<EventList<T>, kBankCount> lists;
        std::array<SourceSpans, kBankCount> spans;
        const CompileResult r = compileTabs<T>(doc.tabs, -1, 0, lists, &spans);
        if (r.code != 0) return json::compileErrorJson(r);
        TimelineOptions options;
        options.sampleRate = s.rateHz;
        return json::timelineJson(buildTimeline<T>(lists, &spans, doc.tabs[0].size(), options), arithOf<T>()).dump();
    });
}

std::string decodeDocument(std::string_view fileBytes, bool english) {
    useLanguage(english);
    const ReadResult doc = readDocument(fileBytes);
    Json j;
    if (!doc.message.empty()) {
        j["error"] = doc.message;
        return j.dump();
    }
    Json tabs = Json::array();
    for (const std::string& t : doc.tabs) tabs.push_back(document::bytesToEditorText(t));
    j["tabs"] = std::move(tabs);
    if (!doc.warning.empty()) j["warning"] = doc.warning;
    return j.dump();
}

std::string encodeDocument(const std::vector<std::string>& texts, bool english, std::string& error) {
    useLanguage(english);
    error.clear();
    document::TabTexts tabs;
    if (texts.size() != tabs.size()) {
        error = "six tab texts expected";
        return {};
    }
    for (size_t i = 0; i < tabs.size(); ++i) {
        std::optional<std::string> bytes = document::editorTextToBytes(texts[i]);
        if (!bytes) {
            error = uiText(document::kMsgUnencodable) + document::firstUnencodableChar(texts[i]);
            return {};
        }
        tabs[i] = std::move(*bytes);
    }
    return document::writeDocumentBytes(tabs);
}

std::string classifyText(std::string_view utf8) {
    // The editor's characters one byte each (non-ASCII as 0x80), so that the
    // ranges are character positions; no character of CP932 needs two UTF-16 units.
    std::string chars;
    chars.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const size_t len = utf8StepAt(utf8, i);
        chars.push_back(c < 0x80 ? static_cast<char>(c) : '\x80');
        if (len == 4) chars.push_back('\x80');  // a surrogate pair is two UTF-16 units
        i += len;
    }
    music::MmlClassState state;
    std::string out = "[";
    for (const music::MmlClassRange& r : music::classifyMml(chars, state)) {
        if (out.size() > 1) out += ',';
        out += '[' + std::to_string(r.begin) + ',' + std::to_string(r.length) + ',' +
               std::to_string(static_cast<int>(r.cls)) + ']';
    }
    return out + "]";
}

namespace {

// The song as the export builds it (every endless loop once, as the CLI's render); null, and
// `error` set as the check reports it, when it does not compile.
std::shared_ptr<output::GeneratorWrapper> exportSong(Prepared& doc, MemoryHost& host, output::WaveFormat& format, std::string& error) {
    doc.inputs.forExport = true;
    CompileResult result;
    std::shared_ptr<output::GeneratorWrapper> song = output::MakeGenerator(doc.inputs, false, host, format, &result);
    if (!song) error = buildError(result, doc.tabs, host.message());
    return song;
}

}  // namespace

std::vector<uint8_t> renderDocument(std::string_view fileBytes, const Settings& s, std::string& error) {
    std::vector<uint8_t> wav;
    Prepared doc = prepare(fileBytes, s);
    error = doc.error;
    if (!error.empty()) return wav;
    MemoryHost host;
    output::WaveFormat format;
    const std::shared_ptr<output::GeneratorWrapper> song = exportSong(doc, host, format, error);
    return song ? wavOf(*song, format, host, error) : wav;
}

namespace {

std::optional<std::vector<uint8_t>> takeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::remove(path.c_str());
    return bytes;
}

}  // namespace

ExportedAudio exportDocument(std::string_view fileBytes, const Settings& s, const window::ExportChoice& asked,
                             BankMask audible, std::string_view name, const std::string& folder, std::string& error) {
    ExportedAudio out;
    Prepared doc = prepare(fileBytes, s);
    error = doc.error;
    if (!error.empty()) return out;
    const window::ExportChoice choice = window::clampedChoice(asked);
    // The name is the page's, never a path into the engine's files.
    std::string base(name.empty() ? std::string_view("output") : name);
    std::replace(base.begin(), base.end(), '/', '_');
    const std::string fileName = base + "." + output::audioFileExtension(choice.type);
    MemoryHost host;
    output::WaveFormat format;
    const std::shared_ptr<output::GeneratorWrapper> song = exportSong(doc, host, format, error);
    if (!song) return out;
    song->setAudible(audible);
    output::ExportOptions options;
    options.type = choice.type;
    options.loops = choice.loops;
    options.fadeSeconds = choice.fadeSeconds;
    std::vector<std::string> names;
    output::ExportOutcome outcome;
    if (choice.perBank) {
        const std::array<std::string, kBankCount> stems = window::stemPaths(fileName);
        std::array<std::string, kBankCount> paths;
        for (size_t b = 0; b < paths.size(); ++b) paths[b] = folder + "/" + stems[b];
        std::vector<int> written;
        outcome = output::writeStems(*song, format, paths, host, options, &written);
        for (int b : written) names.push_back(stems[static_cast<size_t>(b)]);
    } else if (choice.loopPoints) {
        outcome = output::writeSongWithLoop(*song, format, folder + "/" + fileName, host, false, options);
        names.push_back(fileName);
    } else {
        outcome = output::writeSongToFile(*song, format, folder + "/" + fileName, host, options);
        names.push_back(fileName);
    }
    if (outcome != output::ExportOutcome::Written) {
        error = Json{{"message", host.message()}}.dump();
        return out;
    }
    for (const std::string& n : names) {
        std::optional<std::vector<uint8_t>> bytes = takeFile(folder + "/" + n);
        if (!bytes) {
            error = Json{{"message", window::exportFailureMessage({true, n, errno})}}.dump();
            out.files.clear();
            return out;
        }
        out.files.push_back({n, std::move(*bytes)});
    }
    out.frames = host.frames();
    // A loop export renders through the loop's second pass; the file holds the intro and one pass.
    if (choice.loopPoints)
        if (const auto loop = output::songLoopOf(*song).loop) out.frames = loop->start + loop->length;
    out.message = choice.perBank ? window::stemsDoneText(names, out.frames, format.samplesPerSec)
                                 : window::exportDoneText(fileName, out.frames, format.samplesPerSec);
    return out;
}

std::string importMidiDocument(std::string_view midiBytes, const MidiImportSettings& s, std::string& document) {
    useLanguage(s.english);
    document.clear();
    const auto refused = [](const std::string& message) { return Json{{"ok", false}, {"error", message}}.dump(); };
    music::MidiImportOptions options;
    if (s.grid != 0) {
        if (s.grid < 1 || s.grid > music::kMidiMaxGrid)
            return refused("the grid takes 1 to " + std::to_string(music::kMidiMaxGrid) + " steps per whole note");
        options.grid = s.grid;
    }
    if (s.newest) options.overlap = music::MidiOverlap::Newest;
    if (!s.map.empty())
        if (const auto error = music::parseMidiMap(s.map, options)) return refused(*error);
    const auto outcome = music::importMidi(midiBytes, options);
    if (const auto* error = std::get_if<std::string>(&outcome)) return refused(*error);
    const auto& result = std::get<music::MidiImportResult>(outcome);
    document = document::writeDocumentBytes(result.tabs);
    return Json{{"ok", true}, {"report", music::midiReportText(result.report)}, {"json", json::midiReportJson(result.report)}}.dump();
}

std::string exportMidiDocument(std::string_view fileBytes, const Settings& s, std::string& error,
                               std::vector<std::string>& warnings) {
    warnings.clear();
    std::vector<uint8_t> midi;
    const Prepared doc = prepare(fileBytes, s);
    error = doc.error;
    if (!error.empty()) return {};
    MemoryHost host;
    output::WaveFormat format;
    CompileResult result;
    std::shared_ptr<output::GeneratorWrapper> song = output::MakeGenerator(doc.inputs, false, host, format, &result);
    if (!song) {
        error = buildError(result, doc.tabs, host.message());
        return {};
    }
    output::ExportOptions options;
    options.openFile = [&midi](const std::string&) { return std::make_unique<MemoryFile>(midi); };
    if (output::writeSongToMidi(*song, "output.mid", host, options) != output::ExportOutcome::Written) {
        error = Json{{"message", host.message()}}.dump();
        return {};
    }
    warnings = host.takeWarnings();
    return std::string(midi.begin(), midi.end());
}

std::vector<uint8_t> renderTestPhrase(std::string_view fileBytes, const Settings& s, std::string_view toneCommand,
                                      std::string_view phrase, std::string& error) {
    std::vector<uint8_t> wav;
    Prepared doc = prepare(fileBytes, s);
    error = doc.error;
    if (!error.empty()) return wav;
    const std::optional<std::string> phraseBytes = document::editorTextToBytes(phrase);
    if (!phraseBytes) {
        error = Json{{"message", uiText(music::kMsgTestPhraseUnencodable)}}.dump();
        return wav;
    }
    output::BuildInputs& in = doc.inputs;
    in.toneCommand = toneCommand;
    in.testPhrase = *phraseBytes;
    in.startFromCursor = false;
    in.currentBankMode = false;
    in.forExport = true;
    MemoryHost host;
    output::WaveFormat format;
    CompileResult result;
    std::shared_ptr<output::GeneratorWrapper> song = output::MakeGenerator(in, true, host, format, &result);
    if (!song) {
        // The builder's report names the phrase's own place, as the window's box does.
        error = Json{{"message", host.message()}}.dump();
        return wav;
    }
    return wavOf(*song, format, host, error);
}

std::string Roll::setDocument(std::string_view fileBytes, const Settings& s) {
    Prepared doc = prepare(fileBytes, s);
    if (!doc.error.empty()) {
        m_roll.setSong(nullptr);
        return doc.error;
    }
    // The whole song, as the window's roll shows it whatever the cursor.
    doc.inputs.startFromCursor = false;
    doc.inputs.caret = 0;
    auto map = output::buildSongMap(doc.inputs, false);
    if (!map->ok()) {
        const std::string error = buildError(map->result, doc.tabs, uiText(output::kBadRateMessage));
        m_roll.setSong(std::move(map));  // the last good song stays, stale
        return error;
    }
    m_tabs = doc.tabs;
    m_roll.setSong(std::move(map));
    return {};
}

BankFrames Roll::framesAt(double songFrame, bool loopSong) const {
    BankFrames frames{};
    const output::SongMap* song = m_roll.song();
    if (songFrame < 0 || !song || !song->ok()) return frames;
    return playbackFrames(song->timeline, static_cast<uint64_t>(songFrame), loopSong);
}

namespace {

Json rectJson(const window::RollRect& r) { return Json::array({r.x, r.y, r.width, r.height}); }

}  // namespace

std::string Roll::scene(double songFrame, bool loopSong, bool still) const {
    Json j;
    const output::SongMap* song = m_roll.song();
    j["stale"] = m_roll.stale();
    j["empty"] = !song || !song->ok() || song->timeline.frames == 0;
    if (still) {
        Json ticks = Json::array();
        for (const window::RollTick& t : m_roll.secondTicks()) ticks.push_back(Json::array({t.x, t.label}));
        j["ticks"] = std::move(ticks);
    }
    const BankFrames frames = framesAt(songFrame, loopSong);
    const auto sounding = song && song->ok() ? notesSoundingAt(song->timeline, frames)
                                             : std::array<std::optional<size_t>, kBankCount>{};
    Json lanes = Json::array();
    for (int bank = 0; bank < kBankCount; ++bank) {
        Json lane;
        lane["rect"] = rectJson(m_roll.laneRect(bank));
        if (still) {
            const auto [low, high] = m_roll.pitchRange(bank);
            Json octaves = Json::array();
            if (song && !song->timeline.banks[static_cast<size_t>(bank)].notes.empty())
                for (double c = std::ceil(low / 12) * 12; c <= high; c += 12)
                    octaves.push_back(m_roll.yOfPitch(bank, c) + m_roll.rowHeight(bank));
            lane["octaves"] = std::move(octaves);
            Json grid = Json::array();
            for (const window::RollGridLine& g : m_roll.gridLines(bank)) grid.push_back(Json::array({g.x, g.bar}));
            lane["grid"] = std::move(grid);
            Json notes = Json::array();
            for (const window::RollNote& n : m_roll.visibleNotes(bank))
                notes.push_back(Json::array({n.rect.x, n.rect.y, n.rect.width, n.rect.height, n.slurred ? 1 : 0}));
            lane["notes"] = std::move(notes);
        }
        const auto& f = frames[static_cast<size_t>(bank)];
        if (const auto x = f ? m_roll.playheadX(*f) : std::nullopt) lane["playhead"] = *x;
        if (const auto& i = sounding[static_cast<size_t>(bank)]) {
            const TimelineNote& n = song->timeline.banks[static_cast<size_t>(bank)].notes[*i];
            if (n.frequency > 0 && n.frames > 0) {
                Json lit = rectJson(m_roll.noteRect({bank, *i}));
                lit.push_back(n.slurred ? 1 : 0);
                lane["lit"] = std::move(lit);
            }
        }
        lanes.push_back(std::move(lane));
    }
    j["lanes"] = std::move(lanes);
    if (songFrame >= 0)
        if (const auto x = m_roll.playheadX(static_cast<uint64_t>(songFrame))) j["playhead"] = *x;
    if (const auto r = m_roll.passageRect()) j["passage"] = rectJson(*r);
    if (const auto ref = m_roll.highlight(); ref && song) {
        Json h = rectJson(m_roll.noteRect(*ref));
        h.push_back(song->timeline.banks[static_cast<size_t>(ref->bank)].notes[ref->note].frequency <= 0 ? 1 : 0);
        j["highlight"] = std::move(h);
    }
    j["scroll"] = m_roll.scrollPixels();
    j["scrollRange"] = m_roll.scrollRangePixels();
    return j.dump();
}

std::string Roll::selectionAt(double x, double y) const {
    if (m_roll.stale()) return "null";
    const auto sel = m_roll.selectionAt(x, y, m_tabs);
    if (!sel) return "null";
    return Json{{"tab", sel->tab}, {"start", sel->range.start}, {"end", sel->range.end}}.dump();
}

std::string Roll::step(int how, bool extend) {
    using Step = window::PianoRoll::Step;
    if (m_roll.stale() || how < 0 || how > static_cast<int>(Step::BankBelow)) return "null";
    const auto stretch = m_roll.stepTo(static_cast<Step>(how), extend);
    if (!stretch) return "null";
    const auto first = m_roll.selectionOf(*stretch, m_tabs);
    if (!first) return "null";
    return Json{{"tab", first->tab}, {"start", first->range.start}, {"end", first->range.end}}.dump();
}

std::string Roll::lit(double songFrame, bool loopSong) const {
    Json out = Json::array();
    const output::SongMap* song = m_roll.song();
    if (songFrame < 0 || !song || !song->ok() || m_roll.stale()) return out.dump();
    for (const music::SoundingSource& source : music::soundingSources(song->timeline, framesAt(songFrame, loopSong))) {
        const std::string& bytes = m_tabs[static_cast<size_t>(source.range.tab)];
        out.push_back(Json::array({source.range.tab, document::byteOffsetToUnit(bytes, source.range.begin),
                                   document::byteOffsetToUnit(bytes, source.range.end, true)}));
    }
    return out.dump();
}

std::string Roll::playheadSpeech(double songFrame, bool loopSong) const {
    const output::SongMap* song = m_roll.song();
    if (songFrame < 0 || !song || !song->ok() || m_roll.stale()) return window::playheadSpeech(nullptr, std::nullopt);
    return window::playheadSpeech(&song->timeline, framesAt(songFrame, loopSong));
}

std::string Roll::showPassage(const session::LoopPick& pick, double playhead) {
    m_roll.setPassage(std::nullopt);
    const output::SongMap* song = m_roll.song();
    if (!song || !song->ok() || m_roll.stale()) return "null";
    const std::optional<uint64_t> head = playhead < 0 ? std::nullopt : std::optional<uint64_t>(static_cast<uint64_t>(playhead));
    const auto span = session::loopSpanOf(song->timeline, pick, head);
    if (!span) return "null";
    m_roll.setPassage(std::pair<uint64_t, uint64_t>(span->from, span->to));
    return Json::array({span->from, span->to}).dump();
}

namespace {
session::CheckpointShelf g_shelf;
std::optional<output::BuildInputs> g_shelfInputs;  // the song g_shelf holds or is taking
}  // namespace

const session::CheckpointShelf& pageCheckpoints() { return g_shelf; }

bool beginCheckpoints(std::string_view fileBytes, const Settings& s, bool loop, bool passage) {
    const Prepared doc = prepare(fileBytes, s);
    if (!doc.error.empty()) return false;
    const output::BuildInputs inputs = session::swapInputs(doc.inputs);
    const session::CheckpointMode mode{loop && !passage, passage};
    if (g_shelfInputs && g_shelf.mode() == mode && session::sameSong(*g_shelfInputs, inputs)) return true;
    const std::shared_ptr<const output::SongMap> map = output::buildSongMap(inputs, false);
    g_shelfInputs.reset();
    if (!map->ok() || !g_shelf.begin(inputs, mode, map->timeline.frames)) return false;
    g_shelfInputs = inputs;
    return true;
}

bool stepCheckpoints(uint64_t frames) { return g_shelfInputs && g_shelf.step(frames); }

void Stream::start(const output::BuildInputs& inputs, bool loop, std::optional<session::LivePassage> passage,
                   const document::TabTexts& tabs) {
    MemoryHost host;
    CompileResult result;
    m_stream = std::make_unique<session::SongStream>(inputs, loop, passage, host, &result, &g_shelf);
    if (!m_stream->ok()) m_error = buildError(result, tabs, host.message());
}

Stream::Stream(std::string_view fileBytes, const Settings& s, bool loop, std::string_view from, std::string_view to) {
    const Prepared doc = prepare(fileBytes, s);
    m_error = doc.error;
    if (!m_error.empty()) return;
    const output::BuildInputs& inputs = doc.inputs;
    const document::TabTexts& tabs = doc.tabs;
    std::optional<session::LivePassage> passage;
    if (!from.empty() || !to.empty()) {
        // A passage, as render's --from and --to name it.
        if (inputs.startFromCursor) {
            m_error = Json{{"message", "from/to cannot be combined with a cursor"}}.dump();
            return;
        }
        const auto map = output::buildSongMap(inputs, false);
        if (!map->ok()) {
            m_error = buildError(map->result, tabs, uiText(output::kBadRateMessage));
            return;
        }
        const session::NamedPassage named = session::passageNamed(*map, from, to);
        if (!named.span) {
            m_error = Json{{"message", named.problem}}.dump();
            return;
        }
        passage = session::LivePassage{named.span->from, named.span->to, loop};
    }
    start(inputs, loop, passage, tabs);
}

Stream::Stream(std::string_view fileBytes, const Settings& s, const session::LoopPick& pick, std::optional<uint64_t> playhead) {
    Prepared doc = prepare(fileBytes, s);
    m_error = doc.error;
    if (!m_error.empty()) return;
    output::BuildInputs& inputs = doc.inputs;
    const document::TabTexts& tabs = doc.tabs;
    // A stretch of the whole song, as exported, whatever the cursor.
    inputs.startFromCursor = false;
    inputs.caret = 0;
    const auto map = output::buildSongMap(inputs, false);
    if (!map->ok()) {
        m_error = buildError(map->result, tabs, uiText(output::kBadRateMessage));
        return;
    }
    const std::optional<session::LoopSpan> span = session::loopSpanOf(map->timeline, pick, playhead);
    if (!span) {
        m_error = Json{{"noNote", true}, {"message", uiText(session::kMsgLoopNoNote)}}.dump();
        return;
    }
    start(inputs, false, session::LivePassage{span->from, span->to, true}, tabs);
}

std::string Stream::passageStatus() const {
    if (!ok() || !m_stream->passage()) return {};
    return session::loopStatusText({m_stream->passage()->from, m_stream->passage()->to}, m_stream->inputs().sampleRateHz);
}

std::string Stream::swap(std::string_view fileBytes, const Settings& s) {
    if (!ok()) return Json{{"message", "the stream plays nothing to go on from"}}.dump();
    const Prepared doc = prepare(fileBytes, s);
    if (!doc.error.empty()) return doc.error;
    if (!session::sameSwapSettings(doc.inputs, m_stream->inputs()))
        return Json{{"message", "a swap keeps the stream's arithmetic, rate and bank mode"}}.dump();
    MemoryHost host;
    CompileResult result;
    if (m_stream->swap(doc.inputs, host, &result)) return {};
    return buildError(result, doc.tabs, host.message());
}

std::span<const int16_t> Stream::next(uint32_t frames) {
    if (ok()) return m_stream->next(frames);
    m_silence.assign(size_t{frames} * 2, int16_t{0});
    return m_silence;
}

std::span<const float> Stream::scopes(std::optional<uint64_t> heardFrame, double nowSeconds) {
    const output::BankTapRings* rings = m_stream ? m_stream->bankRings() : nullptr;
    const uint32_t rate = m_stream ? m_stream->inputs().sampleRateHz : 48000;
    const size_t window = std::max<size_t>(2, static_cast<size_t>(std::llround(rate * music::BankScope::kWindowMs / 1000.0)));
    m_scopeOut.assign(10 + 5 * window, 0.0f);
    for (size_t b = 0; b < m_scopes.size(); ++b) {
        music::BankScope& scope = m_scopes[b];
        if (!rings || !heardFrame) scope.idle(nowSeconds);
        else (void)scope.refresh(rings->banks[b], *heardFrame, rate, nowSeconds);  // unreadable: the last picture stays
        m_scopeOut[2 * b] = static_cast<float>(scope.meter().level());
        m_scopeOut[2 * b + 1] = static_cast<float>(scope.meter().hold());
        const std::span<const int16_t> trace = scope.trace();
        for (size_t i = 0; i < trace.size() && i < window; ++i) m_scopeOut[10 + b * window + i] = static_cast<float>(trace[i] / 32768.0);
    }
    return m_scopeOut;
}

}  // namespace tavolin::web
