// The web engine's operations: the CLI's check, render and timeline, playback
// blocks and the page's document helpers, on the same libraries.
#include "app/web/WebEngine.h"

#include <algorithm>
#include <cerrno>
#include <optional>

#include <nlohmann/json.hpp>

#include "app/cli/CliLanguage.h"
#include "app/json/SongJson.h"
#include "compiler/ErrorTable.h"
#include "compiler/UiText.h"
#include "editor/CTavolinDlg.h"
#include "editor/CaretMapping.h"
#include "editor/DocumentCheck.h"
#include "editor/DocumentFormat.h"
#include "editor/ErrorPlace.h"
#include "editor/MmlClasses.h"
#include "editor/TextEncoding.h"
#include "editor/UserTexts.h"
#include "output/Passage.h"
#include "output/SongMap.h"
#include "output/WavExport.h"
#include "synth/Timeline.h"

namespace tavolin::web {
namespace {

using Json = nlohmann::ordered_json;

// The name messages give a document the page hands over.
constexpr const char* kDocumentName = "document.mml";

void useLanguage(bool english) { setTranslator(english ? &cli::englishText : nullptr); }

// The file read as tavolin-cli reads a document: the window's size limit,
// UTF-8 converted to CP932, a binary or undecodable file refused.
struct ReadResult {
    editor::TabTexts tabs;
    std::string message;   // empty: read
    std::string warning;   // a save would lose part of the file
};

ReadResult readDocument(std::string_view fileBytes) {
    ReadResult r;
    if (fileBytes.size() > editor::kMaxDocumentBytes) {
        r.message = editor::documentTooLargeMessage(kDocumentName, fileBytes.size());
        return r;
    }
    const editor::DecodedFile decoded = editor::decodeDocumentFile(fileBytes);
    if (!decoded.ok()) {
        r.message = editor::unencodableMessage(kDocumentName, decoded.unencodable);
        return r;
    }
    const editor::DocumentFileCheck check = editor::checkDocumentFile(decoded.bytes);
    if (check.refused()) {
        r.message = editor::documentCheckMessage(kDocumentName, check);
        return r;
    }
    if (check.losesText()) r.warning = editor::documentCheckMessage(kDocumentName, check);
    r.tabs = editor::readDocumentBytes(decoded.bytes);
    return r;
}

std::string documentError(const std::string& message) {
    Json j;
    j["ok"] = false;
    j["error"] = Json{{"document", true}, {"message", message}};
    return j.dump();
}

// The error object of check --json, with its place in the editor.
Json compileErrorObject(const CompileResult& r, const editor::TabTexts& tabs) {
    Json e;
    e["code"] = json::compileErrorCode(r.code);
    e["bank"] = r.bank;
    e["position"] = r.position;
    e["message"] = uiText(errorMessage(r.code));
    if (const std::optional<editor::ErrorPlace> place = editor::placeCompileError(r, tabs)) {
        e["tab"] = place->tab;
        e["line"] = place->line;
        e["column"] = place->column;
        e["start"] = place->underlineStart;
        e["end"] = place->underlineEnd;
        e["status"] = editor::errorStatusText(r, *place);
    }
    return e;
}

template <EngineNumType T>
CompileResult compileTabs(const editor::TabTexts& tabs, int64_t cursorBank, uint64_t cursorOffset,
                          std::array<EventList<T>, kBankCount>& lists, std::array<SourceSpans, kBankCount>* spans) {
    std::array<std::string_view, kBankCount> banks;
    for (int b = 0; b < kBankCount; ++b) banks[static_cast<size_t>(b)] = tabs[static_cast<size_t>(b + 1)];
    return CompileBanks<T>(tabs[0], banks, cursorBank, cursorOffset, lists, spans);
}

template <typename Fn>
auto forArith(int arith, Fn&& fn) {
    switch (arith) {
    case 0: return fn.template operator()<Fix>();
    case 2: return fn.template operator()<double>();
    default: return fn.template operator()<float>();
    }
}

// The builder's window: messages kept for the caller, no selection to move.
class MemoryHost final : public output::ExportHost {
public:
    void messageBox(const std::string& utf8Text) override { m_message = utf8Text; }
    void selectTab(int) override {}
    void selectText(uint64_t, uint64_t) override {}
    void exportFileFailed(const output::ExportFileFailure&) override { m_message = "write failed"; }
    std::optional<std::string> askSavePath(const output::SaveDialogRequest&) override { return "output.wav"; }
    bool exportProgress(uint64_t, double) override { return true; }
    const std::string& message() const { return m_message; }

private:
    std::string m_message;
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

output::BuildInputs buildInputs(const editor::TabTexts& tabs, const Settings& s) {
    output::BuildInputs in;
    for (int i = 0; i < output::kTabCount; ++i) in.tabTexts[static_cast<size_t>(i)] = tabs[static_cast<size_t>(i)];
    in.arithIndex = s.arith;
    in.rateText = std::to_string(s.rateHz);
    in.bankIndex = -1;
    if (s.cursorBank != -2) {
        in.bankIndex = static_cast<int>(s.cursorBank);
        in.caret = s.cursorOffset;
        in.startFromCursor = true;
    }
    return in;
}

// A failed build as the page shows it: the compile error with its place, or
// the builder's message (a refusal, a bad rate, a caret too far).
std::string buildError(const CompileResult& r, const editor::TabTexts& tabs, const std::string& message) {
    Json j;
    if (r.code != 0) j = compileErrorObject(r, tabs);
    else j["message"] = message;
    return j.dump();
}

}  // namespace

std::string checkDocument(std::string_view fileBytes, const Settings& s) {
    useLanguage(s.english);
    const ReadResult doc = readDocument(fileBytes);
    if (!doc.message.empty()) return documentError(doc.message);
    const int64_t bank = s.cursorBank == -2 ? -1 : s.cursorBank;
    const uint64_t offset = s.cursorBank == -2 ? 0 : s.cursorOffset;
    const CompileResult r = forArith(s.arith, [&]<EngineNumType T>() {
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
    return forArith(s.arith, [&]<EngineNumType T>() -> std::string {
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
    for (const std::string& t : doc.tabs) tabs.push_back(editor::bytesToEditorText(t));
    j["tabs"] = std::move(tabs);
    if (!doc.warning.empty()) j["warning"] = doc.warning;
    return j.dump();
}

std::string encodeDocument(const std::vector<std::string>& texts, bool english, std::string& error) {
    useLanguage(english);
    error.clear();
    editor::TabTexts tabs;
    if (texts.size() != tabs.size()) {
        error = "six tab texts expected";
        return {};
    }
    for (size_t i = 0; i < tabs.size(); ++i) {
        std::optional<std::string> bytes = editor::editorTextToBytes(texts[i]);
        if (!bytes) {
            error = uiText(editor::kMsgUnencodable) + editor::firstUnencodableChar(texts[i]);
            return {};
        }
        tabs[i] = std::move(*bytes);
    }
    return editor::writeDocumentBytes(tabs);
}

std::string classifyText(std::string_view utf8) {
    // The editor's characters one byte each (non-ASCII as 0x80), so that the
    // ranges are character positions; no character of CP932 needs two UTF-16 units.
    std::string chars;
    chars.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        chars.push_back(c < 0x80 ? static_cast<char>(c) : '\x80');
        if (len == 4) chars.push_back('\x80');  // a surrogate pair is two UTF-16 units
        i += len;
    }
    editor::MmlClassState state;
    std::string out = "[";
    for (const editor::MmlClassRange& r : editor::classifyMml(chars, state)) {
        if (out.size() > 1) out += ',';
        out += '[' + std::to_string(r.begin) + ',' + std::to_string(r.length) + ',' +
               std::to_string(static_cast<int>(r.cls)) + ']';
    }
    return out + "]";
}

std::vector<uint8_t> renderDocument(std::string_view fileBytes, const Settings& s, std::string& error) {
    useLanguage(s.english);
    error.clear();
    std::vector<uint8_t> wav;
    const ReadResult doc = readDocument(fileBytes);
    if (!doc.message.empty()) {
        error = Json{{"document", true}, {"message", doc.message}}.dump();
        return wav;
    }
    output::BuildInputs in = buildInputs(doc.tabs, s);
    in.forExport = true;
    MemoryHost host;
    output::WaveFormat format;
    CompileResult result;
    std::shared_ptr<output::GeneratorWrapper> song = output::MakeGenerator(in, false, host, format, &result);
    if (!song) {
        error = buildError(result, doc.tabs, host.message());
        return wav;
    }
    output::ExportOptions options;
    options.type = output::AudioFileType::Wav;
    options.openFile = [&wav](const std::string&) { return std::make_unique<MemoryFile>(wav); };
    if (output::writeSongToFile(*song, format, "output.wav", host, options) != output::ExportOutcome::Written) {
        error = Json{{"message", host.message()}}.dump();
        wav.clear();
    }
    return wav;
}

Stream::Stream(std::string_view fileBytes, const Settings& s, bool loop, std::string_view from, std::string_view to)
    : m_loop(loop) {
    useLanguage(s.english);
    const ReadResult doc = readDocument(fileBytes);
    if (!doc.message.empty()) {
        m_error = Json{{"document", true}, {"message", doc.message}}.dump();
        return;
    }
    m_inputs = buildInputs(doc.tabs, s);
    if (!from.empty() || !to.empty()) {
        // A passage, as render's --from and --to name it.
        if (m_inputs.startFromCursor) {
            m_error = Json{{"message", "from/to cannot be combined with a cursor"}}.dump();
            return;
        }
        output::BuildInputs exported = m_inputs;
        exported.forExport = true;
        const auto map = output::buildSongMap(exported, false);
        if (!map->ok()) {
            m_error = buildError(map->result, doc.tabs, uiText(output::kBadRateMessage));
            return;
        }
        const uint64_t end = map->timeline.frames;
        uint64_t points[2] = {0, end};
        const std::string_view texts[2] = {from, to};
        for (int i = 0; i < 2; ++i) {
            if (texts[i].empty()) continue;
            const std::optional<output::PassagePoint> p = output::parsePassagePoint(texts[i]);
            if (!p) {
                m_error = Json{{"message", "not a song time (1:23.5) or a caret (A:120): " + std::string(texts[i])}}.dump();
                return;
            }
            points[i] = output::passageFrame(*map, *p);
        }
        if (points[1] > end || points[1] <= points[0]) {
            m_error = Json{{"message", "the passage is empty or lies past the song's end"}}.dump();
            return;
        }
        m_passageFrom = points[0];
        m_passageFrames = points[1] - points[0];
    }
    MemoryHost host;
    output::WaveFormat format;
    CompileResult result;
    m_song = output::MakeGenerator(m_inputs, false, host, format, &result);
    if (!m_song) {
        m_error = buildError(result, doc.tabs, host.message());
        return;
    }
    build();
}

// Puts a freshly built song at the stream's start.
bool Stream::build() {
    m_song->SetLoop(m_loop);
    m_song->setAudible(m_audible);
    if (m_passageFrames > 0) {
        m_song->Skip(m_passageFrom);
        m_song->setPassage(m_passageFrames, m_loop);
    }
    m_frame = 0;
    return true;
}

std::span<const int16_t> Stream::next(uint32_t frames) {
    const size_t samples = size_t{frames} * 2;
    if (m_buffer.size() < samples) m_buffer.resize(samples);
    const std::span<int16_t> out(m_buffer.data(), samples);
    if (!m_song) {
        std::fill(out.begin(), out.end(), int16_t{0});
        return out;
    }
    m_song->Render(out);
    m_frame += frames;
    return out;
}

void Stream::seek(uint64_t frame) {
    if (!m_song) return;
    if (frame < m_frame) {
        MemoryHost host;
        output::WaveFormat format;
        m_song = output::MakeGenerator(m_inputs, false, host, format);
        if (!m_song) return;
        build();
    }
    m_song->Skip(frame - m_frame);
    m_frame = frame;
}

void Stream::setAudible(BankMask mask) {
    m_audible = static_cast<BankMask>(mask & kAllBanks);
    if (m_song) m_song->setAudible(m_audible);
}

bool Stream::finished() const noexcept { return !m_song || m_song->IsFinished(); }

}  // namespace tavolin::web
