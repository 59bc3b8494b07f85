// SPDX-License-Identifier: MIT
// workspace/executeCommand: play and stop on the sound device, render to a file, and the notes
// sounding sent back while a song plays.
#include "app/lsp/Server.h"
#include "compiler/UiText.h"
#include "music/DocumentFeatures.h"
#include "window/ExportSteps.h"
#include "session/PlaySession.h"
#include "session/Passage.h"
#include "output/Passage.h"
#include "output/Playback.h"
#include "output/WavExport.h"

namespace tavolin::lsp {
namespace {

// The builder's and exporter's messages, kept for the error reply.
class CollectingHost final : public output::ExportHost {
public:
    explicit CollectingHost(std::string path = {}) : m_path(std::move(path)) {}
    void messageBox(const std::string& utf8Text) override { m_messages.push_back(utf8Text); }
    void selectTab(int) override {}
    void selectText(uint64_t, uint64_t) override {}
    void exportFileFailed(const output::ExportFileFailure& failure) override { messageBox(window::exportFailureMessage(failure)); }
    std::optional<std::string> askSavePath(const output::SaveDialogRequest&) override { return m_path; }
    bool exportProgress(uint64_t, double) override { return true; }

    // RpcError(RequestFailed) with what was said, else `fallback`.
    [[noreturn]] void fail(const char* fallback) const {
        std::string text;
        for (const std::string& m : m_messages) text += (text.empty() ? "" : "\n") + m;
        throw RpcError(ErrorCode::RequestFailed, text.empty() ? fallback : text);
    }

private:
    std::string m_path;
    std::vector<std::string> m_messages;
};

const json& firstArgument(const json& params) {
    const json& args = member(params, "arguments");
    if (!args.is_array() || args.empty() || !args[0].is_object())
        throw RpcError(ErrorCode::InvalidParams, "the command takes one object argument");
    return args[0];
}

bool flag(const json& args, const char* name) {
    if (!args.contains(name)) return false;
    if (!args[name].is_boolean()) throw RpcError(ErrorCode::InvalidParams, std::string(name) + " must be true or false");
    return args[name].get<bool>();
}

// A place in the document given as an LSP position: the tab and byte offset.
document::TabOffset tabOffsetAt(const OpenDocument& doc, const json& position) {
    const auto at = doc.map.tabOffsetOf(positionFrom(position));
    if (!at) throw RpcError(ErrorCode::InvalidParams, "the position lies outside the document's texts");
    return *at;
}

// A passage end: a song time or a caret as text ("1:23.5", "83.5", "A:120",
// as `play --from` takes it) or an LSP position in the document.
output::PassagePoint passagePointOf(const OpenDocument& doc, const json& value, const char* name) {
    if (value.is_string()) {
        session::TypedPoint typed = session::passagePointNamed(value.get<std::string>(), name);
        if (!typed.point) throw RpcError(ErrorCode::InvalidParams, typed.problem);
        return *typed.point;
    }
    const document::TabOffset at = tabOffsetAt(doc, value);
    return {true, 0, at.tab - 1, at.offset};
}

}  // namespace

json Server::executeCommand(const json& params, Clock::time_point) {
    const std::string command = stringMember(params, "command");
    if (command == "tavolin.play") return play(firstArgument(params));
    if (command == "tavolin.stop") return stop();
    if (command == "tavolin.render") return render(firstArgument(params));
    throw RpcError(ErrorCode::InvalidParams, "unknown command " + command);
}

json Server::play(const json& args) {
    const std::string uri = stringMember(args, "uri");
    const auto it = m_documents.find(uri);
    if (it == m_documents.end()) throw RpcError(ErrorCode::InvalidParams, "document not open: " + uri);
    OpenDocument& doc = it->second;
    if (doc.checkDue || !doc.song) check(uri, doc);
    if (doc.tooLarge || !doc.song || !doc.song->ok())
        throw RpcError(ErrorCode::RequestFailed, "the document does not compile; see its diagnostics");
    if (!m_devices) throw RpcError(ErrorCode::RequestFailed, "this server has no sound device");

    Playing playing;
    playing.uri = uri;
    const bool loop = flag(args, "loop");
    output::BuildInputs& in = playing.inputs;
    in.sampleRateHz = m_rateHz;
    in.arith = m_arith;
    in.tabTexts = doc.map.tabs();
    const bool passage = args.contains("from") || args.contains("to");
    if (passage && args.contains("position")) throw RpcError(ErrorCode::InvalidParams, "give a position or from/to, not both");
    if (args.contains("position")) {
        // From the note under or after the caret, as the window's play from the cursor.
        const document::TabOffset at = tabOffsetAt(doc, args["position"]);
        in.startFromCursor = true;
        in.bankIndex = at.tab - 1;
        in.caret = at.offset;
    }
    session::LivePassage range{0, doc.song->timeline.frames, loop};
    if (passage) {
        // As `play --from --to`: the song as render writes it, so that the
        // passage sounds as the same passage rendered.
        std::optional<output::PassagePoint> from, to;
        if (args.contains("from")) from = passagePointOf(doc, args["from"], "from");
        if (args.contains("to")) to = passagePointOf(doc, args["to"], "to");
        const session::PassageBetween between = session::passageBetween(*doc.song, from, to);
        const std::optional<session::LoopSpan> span = between.span();
        if (!span) throw RpcError(ErrorCode::InvalidParams, session::passageProblemText(between));
        range.from = span->from;
        range.to = span->to;
    }

    if (!m_session) m_session = std::make_unique<session::PlaySession>(m_devices);
    endPlaying();
    CollectingHost host;
    const std::optional<session::LivePassage> part = passage ? std::optional(range) : std::nullopt;
    const std::optional<uint64_t> first = m_session->play(in, false, host, {loop, part}, doc.song);
    if (!first) host.fail("the song could not be played");
    m_playing = std::move(playing);
    return {{"uri", uri}, {"startTime", output::songTimeText(*first, doc.song->timeline.sampleRate)}};
}

json Server::stop() {
    endPlaying();
    return nullptr;
}

void Server::endPlaying() {
    if (m_session) m_session->stop();
    if (!m_playing) return;
    if (m_playing->lastNotes.is_array() && !m_playing->lastNotes.empty() && m_documents.count(m_playing->uri))
        m_send(notification("tavolin/playingNotes", {{"uri", m_playing->uri}, {"notes", json::array()}}));
    m_playing.reset();
}

void Server::sendPlayingNotes() {
    Playing& p = *m_playing;
    const auto it = m_documents.find(p.uri);
    const bool shown = it != m_documents.end() && !it->second.tooLarge;
    const session::PlayPoll now = m_session->poll(output::PlayPosition::Clock::now(), shown ? &it->second.map.tabs() : nullptr);
    if (!now.playing || now.ended) {
        endPlaying();
        return;
    }
    if (!now.banks || !shown) return;  // not started yet, or closed
    const document::DocumentMap& map = it->second.map;
    json notes = json::array();
    for (const music::SoundingSource& s : now.lit) {
        if (!map.placed(s.range.tab)) continue;
        notes.push_back({{"bank", std::string(1, static_cast<char>('A' + s.bank))}, {"range", rangeJson(map, s.range)}});
    }
    if (notes == p.lastNotes) return;
    p.lastNotes = notes;
    m_send(notification("tavolin/playingNotes", {{"uri", p.uri}, {"notes", std::move(notes)}}));
}

void Server::playingDocumentChanged(const document::TabTexts& before, const OpenDocument& doc) {
    m_session->editedTexts(before, doc.map.tabs());
}

void Server::offerToPlaying(const std::string& uri, const OpenDocument& doc) {
    if (!m_playing || m_playing->uri != uri || doc.tooLarge || !doc.song || !doc.song->ok()) return;
    output::BuildInputs in = m_playing->inputs;
    in.tabTexts = doc.map.tabs();
    m_session->offer(in, doc.song);
}

json Server::render(const json& args) {
    const std::string uri = stringMember(args, "uri");
    const auto it = m_documents.find(uri);
    if (it == m_documents.end()) throw RpcError(ErrorCode::InvalidParams, "document not open: " + uri);
    const OpenDocument& doc = it->second;
    if (doc.tooLarge) throw RpcError(ErrorCode::RequestFailed, "the document is too large");
    const std::string path = stringMember(args, "path");
    output::BuildInputs in;
    in.sampleRateHz = m_rateHz;
    in.arith = m_arith;
    if (args.contains("arithmetic")) in.arith = arithmeticOf(stringMember(args, "arithmetic"));
    if (args.contains("sampleRate")) {
        const json& rate = args["sampleRate"];
        if (!rate.is_number_integer()) throw RpcError(ErrorCode::InvalidParams, "sampleRate must be a number");
        in.sampleRateHz = sampleRateOf(rate);
    }
    in.tabTexts = doc.map.tabs();
    in.forExport = true;
    if (args.contains("cursor")) {
        const document::TabOffset at = tabOffsetAt(doc, args["cursor"]);
        in.startFromCursor = true;
        in.bankIndex = at.tab - 1;
        in.caret = at.offset;
    }
    CollectingHost host(path);
    output::WaveFormat format;
    std::shared_ptr<output::GeneratorWrapper> song = output::MakeGenerator(in, false, host, format);
    if (!song) host.fail("the song could not be built");
    const uint64_t frames = output::planExport(*song, 1, 0).frames;
    if (output::writeSongToFile(*song, format, path, host) != output::ExportOutcome::Written) host.fail("the file was not written");
    return {{"path", path}, {"frames", frames}};
}

}  // namespace tavolin::lsp
