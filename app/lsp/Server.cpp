// SPDX-License-Identifier: MIT
// Dispatching JSON-RPC: lifecycle rules, error replies, and the document notifications.
#include "app/lsp/Server.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "app/lsp/Transport.h"
#include "app/version/Version.h"
#include "music/DocumentFeatures.h"
#include "document/FileSystem.h"
#include "document/UserTexts.h"
#include "session/PlaySession.h"
#include "output/Playback.h"

namespace tavolin::lsp {
namespace {

// How often the notes sounding are looked at while a song plays.
constexpr auto kPlayingNotesInterval = std::chrono::milliseconds(50);

bool isRequestId(const json& id) { return id.is_number_integer() || id.is_string(); }


}  // namespace

Server::Server(Send send, Clock::duration longest, output::AudioDeviceFactory devices)
    : m_send(std::move(send)), m_pace(longest), m_devices(std::move(devices)) {}

Server::~Server() = default;  // the player stops its stream and joins its threads

const OpenDocument* Server::document(const std::string& uri) const {
    const auto it = m_documents.find(uri);
    return it == m_documents.end() ? nullptr : &it->second;
}

void Server::handleBody(const std::string& body, Clock::time_point now) {
    json message = json::parse(body, nullptr, false);
    if (message.is_discarded()) {
        m_send(errorReply(nullptr, ErrorCode::ParseError, "the message is not JSON"));
        return;
    }
    handle(message, now);
}

void Server::handle(const json& message, Clock::time_point now) {
    if (!message.is_object() || message.value("jsonrpc", json()) != "2.0") {
        const json id = message.is_object() && message.contains("id") && isRequestId(message["id"]) ? message["id"] : json();
        m_send(errorReply(id, ErrorCode::InvalidRequest, "not a JSON-RPC 2.0 message"));
        return;
    }
    const bool hasId = message.contains("id");
    if (!message.contains("method")) return;  // a reply to a request of ours: we send none
    const json& method = message["method"];
    if (!method.is_string() || (hasId && !isRequestId(message["id"]))) {
        m_send(errorReply(hasId && isRequestId(message["id"]) ? message["id"] : json(), ErrorCode::InvalidRequest,
                          "bad method or id"));
        return;
    }
    const std::string name = method.get<std::string>();
    const json params = message.contains("params") ? message["params"] : json::object();
    const json id = hasId ? message["id"] : json();

    if (name == "exit") {
        m_exited = true;
        return;
    }
    static const std::map<std::string, Handler> requests = {
        {"initialize", &Server::initialize},
        {"shutdown", &Server::shutdown},
        {"textDocument/hover", &Server::hover},
        {"textDocument/inlayHint", &Server::inlayHint},
        {"textDocument/completion", &Server::completion},
        {"textDocument/codeAction", &Server::codeAction},
        {"textDocument/documentSymbol", &Server::documentSymbol},
        {"textDocument/definition", &Server::definition},
        {"textDocument/references", &Server::references},
        {"textDocument/rename", &Server::rename},
        {"textDocument/semanticTokens/full", &Server::semanticTokensFull},
        {"textDocument/semanticTokens/range", &Server::semanticTokensRange},
        {"workspace/executeCommand", &Server::executeCommand},
    };
    static const std::map<std::string, Handler> notifications = {
        {"textDocument/didOpen", &Server::didOpen},
        {"textDocument/didChange", &Server::didChange},
        {"textDocument/didClose", &Server::didClose},
    };
    if (!hasId) {
        // Notifications get no reply, not even an error; before initialize and
        // after shutdown they are dropped.
        const auto it = notifications.find(name);
        if (it == notifications.end() || !m_initialized || m_shutdown) return;
        try {
            (this->*(it->second))(params, now);
        } catch (const std::exception&) {
            // A malformed notification changes nothing.
        }
        return;
    }
    if (name != "initialize" && !m_initialized) {
        m_send(errorReply(id, ErrorCode::ServerNotInitialized, "initialize first"));
        return;
    }
    if (m_shutdown) {
        m_send(errorReply(id, ErrorCode::InvalidRequest, "the server is shut down"));
        return;
    }
    const auto it = requests.find(name);
    if (it == requests.end()) {
        m_send(errorReply(id, ErrorCode::MethodNotFound, "unknown method " + name));
        return;
    }
    try {
        json result = (this->*(it->second))(params, now);
        m_send(resultReply(id, std::move(result)));
    } catch (const RpcError& e) {
        m_send(errorReply(id, e.code, e.what()));
    } catch (const json::exception& e) {
        m_send(errorReply(id, ErrorCode::InvalidParams, e.what()));
    } catch (const std::exception& e) {
        m_send(errorReply(id, ErrorCode::InternalError, e.what()));
    }
}

json Server::initialize(const json& params, Clock::time_point) {
    if (m_initialized) throw RpcError(ErrorCode::InvalidRequest, "initialize was already sent");
    if (params.is_object() && params.contains("initializationOptions") && params["initializationOptions"].is_object()) {
        const json& o = params["initializationOptions"];
        if (o.contains("arithmetic")) m_arith = arithmeticOf(stringMember(o, "arithmetic"));
        if (o.contains("sampleRate")) m_rateHz = sampleRateOf(o["sampleRate"]);
    }
    m_initialized = true;
    return {{"capabilities",
             {
                 {"positionEncoding", "utf-16"},
                 {"textDocumentSync", {{"openClose", true}, {"change", 1}}},
                 {"hoverProvider", true},
                 {"inlayHintProvider", true},
                 {"completionProvider", {{"triggerCharacters", {"!", "@"}}}},
                 {"codeActionProvider", {{"codeActionKinds", {"refactor.rewrite"}}}},
                 {"documentSymbolProvider", true},
                 {"definitionProvider", true},
                 {"referencesProvider", true},
                 {"renameProvider", true},
                 {"semanticTokensProvider", {{"legend", semanticTokensLegend()}, {"full", true}, {"range", true}}},
                 {"executeCommandProvider", {{"commands", {"tavolin.play", "tavolin.stop", "tavolin.render"}}}},
             }},
            {"serverInfo", {{"name", "tavolin"}, {"version", programVersion()}}}};
}

json Server::shutdown(const json&, Clock::time_point) {
    endPlaying();
    m_shutdown = true;
    return nullptr;
}

OpenDocument& Server::openDocument(const json& params) {
    const std::string uri = stringMember(member(params, "textDocument"), "uri");
    const auto it = m_documents.find(uri);
    if (it == m_documents.end()) throw RpcError(ErrorCode::InvalidParams, "document not open: " + uri);
    return it->second;
}

void Server::setText(OpenDocument& doc, std::string fileBytes) {
    doc.song.reset();
    doc.tooLarge = fileBytes.size() > document::kMaxDocumentBytes;
    if (doc.tooLarge) {
        doc.map = document::DocumentMap{};
        doc.largeBytes = std::move(fileBytes);
    } else {
        doc.map = document::DocumentMap(fileBytes);
        doc.largeBytes.clear();
    }
}

json Server::didOpen(const json& params, Clock::time_point) {
    const json& item = member(params, "textDocument");
    const std::string uri = stringMember(item, "uri");
    OpenDocument doc;
    doc.version = member(item, "version").get<int64_t>();
    setText(doc, document::utf8ToDocumentBytes(stringMember(item, "text")));
    OpenDocument& stored = m_documents[uri] = std::move(doc);
    check(uri, stored);
    return nullptr;
}

json Server::didChange(const json& params, Clock::time_point now) {
    OpenDocument& doc = openDocument(params);
    const bool playing = m_playing && m_playing->uri == stringMember(member(params, "textDocument"), "uri") && !doc.tooLarge;
    const document::TabTexts before = playing ? doc.map.tabs() : document::TabTexts{};
    std::string bytes = doc.tooLarge ? doc.largeBytes : doc.map.fileBytes();
    for (const json& change : member(params, "contentChanges")) {
        std::string text = document::utf8ToDocumentBytes(stringMember(change, "text"));
        if (!change.contains("range")) {
            bytes = std::move(text);
            continue;
        }
        // A client that sends ranges despite full sync: apply them in order.
        const document::DocumentMap map(bytes);
        const json& range = change["range"];
        const uint32_t from = map.fileOffsetOf(positionFrom(member(range, "start")));
        const uint32_t to = std::max(from, map.fileOffsetOf(positionFrom(member(range, "end"))));
        bytes.replace(from, to - from, text);
    }
    const json& version = member(member(params, "textDocument"), "version");
    if (version.is_number_integer()) doc.version = version.get<int64_t>();
    setText(doc, std::move(bytes));
    doc.checkDue = true;
    doc.editedAt = now;
    doc.publishAt.reset();
    if (playing) playingDocumentChanged(before, doc);
    return nullptr;
}

json Server::didClose(const json& params, Clock::time_point) {
    const std::string uri = stringMember(member(params, "textDocument"), "uri");
    if (m_playing && m_playing->uri == uri) endPlaying();  // nothing left to edit or light
    if (m_documents.erase(uri)) m_send(notification("textDocument/publishDiagnostics", {{"uri", uri}, {"diagnostics", json::array()}}));
    return nullptr;
}

std::optional<Server::Clock::time_point> Server::poll(Clock::time_point now) {
    std::optional<Clock::time_point> next;
    const auto soonest = [&next](Clock::time_point due) { next = next ? std::min(*next, due) : due; };
    for (auto& [uri, doc] : m_documents) {
        if (doc.publishAt && now >= *doc.publishAt) {
            doc.publishAt.reset();
            publish(uri, doc);
        }
        if (doc.publishAt) soonest(*doc.publishAt);
        if (!doc.checkDue) continue;
        const Clock::time_point due = doc.editedAt + m_pace.wait();
        if (now >= due) check(uri, doc, now);
        else soonest(due);
        if (doc.publishAt) soonest(*doc.publishAt);
    }
    if (m_playing) {
        sendPlayingNotes();
        if (m_playing) {
            const Clock::time_point due = now + kPlayingNotesInterval;
            next = next ? std::min(*next, due) : due;
        }
    }
    return next;
}

void Server::check(const std::string& uri, OpenDocument& doc, std::optional<Clock::time_point> now) {
    doc.checkDue = false;
    doc.publishAt.reset();
    if (!doc.tooLarge) {
        output::BuildInputs inputs;
        inputs.sampleRateHz = m_rateHz;
        inputs.arith = m_arith;
        inputs.tabTexts = doc.map.tabs();
        const auto started = Clock::now();
        doc.song = output::buildSongMap(inputs, false);
        m_pace.compiled(Clock::now() - started);
    }
    // The song first: a version that compiles is heard at once.
    offerToPlaying(uri, doc);
    const bool error = doc.song && !doc.song->ok();
    if (now && *now < m_pace.showAt(error, doc.editedAt)) doc.publishAt = m_pace.showAt(error, doc.editedAt);
    else publish(uri, doc);
}

void Server::publish(const std::string& uri, const OpenDocument& doc) {
    json diagnostics = json::array();
    auto add = [&](json range, const std::string& code, const std::string& message) {
        diagnostics.push_back({{"range", std::move(range)}, {"severity", 1}, {"code", code}, {"source", "tavolin"}, {"message", message}});
    };
    const json start = toJson(document::FilePosition{});
    if (doc.tooLarge) add({{"start", start}, {"end", start}}, "too-large", document::documentTooLargeMessage(uri, doc.largeBytes.size()));
    if (doc.song) {
        // A rate outside the range names no text: say so at the top.
        if (doc.song->refusal == output::Refusal::BadRate) add({{"start", start}, {"end", start}}, "rate", uiText(output::kBadRateMessage));
        for (const music::CompileProblem& p : music::compileProblems(*doc.song, doc.map.tabs()))
            add(rangeJson(doc.map, p.range), p.code, p.message);
    }
    m_send(notification("textDocument/publishDiagnostics", {{"uri", uri}, {"version", doc.version}, {"diagnostics", diagnostics}}));
}

int runServer(std::istream& in, std::ostream& out, output::AudioDeviceFactory devices) {
    // What the reader thread hands over; shared so that the thread, left
    // blocked on a read after exit, never outlives what it writes to.
    struct Inbox {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<Frame> frames;
        bool ended = false;
    };
    auto inbox = std::make_shared<Inbox>();
    std::thread reader([inbox, &in] {
        for (;;) {
            Frame f = readFrame(in);
            const bool last = f.kind == Frame::Kind::End || f.kind == Frame::Kind::Broken;
            std::lock_guard lock(inbox->mutex);
            inbox->frames.push_back(std::move(f));
            if (last) inbox->ended = true;
            inbox->wake.notify_all();
            if (last) return;
        }
    });

    Server server([&out](const json& message) { writeFrame(out, message.dump(-1, ' ', false, json::error_handler_t::replace)); },
                  std::chrono::milliseconds(150), std::move(devices));
    bool ended = false;
    while (!server.exited() && !ended) {
        std::optional<Frame> frame;
        {
            std::unique_lock lock(inbox->mutex);
            const auto next = server.poll(Server::Clock::now());
            auto ready = [&] { return !inbox->frames.empty(); };
            if (next) inbox->wake.wait_until(lock, *next, ready);
            else inbox->wake.wait(lock, ready);
            if (!inbox->frames.empty()) {
                frame = std::move(inbox->frames.front());
                inbox->frames.pop_front();
            }
        }
        if (!frame) continue;
        switch (frame->kind) {
        case Frame::Kind::Message: server.handleBody(frame->body, Server::Clock::now()); break;
        case Frame::Kind::TooLarge: writeFrame(out, errorReply(nullptr, ErrorCode::InvalidRequest, frame->error).dump()); break;
        case Frame::Kind::Broken:
            writeFrame(out, errorReply(nullptr, ErrorCode::ParseError, frame->error).dump());
            ended = true;
            break;
        case Frame::Kind::End: ended = true; break;
        }
    }
    // After exit the reader may still wait for input that never comes.
    // (A stream that has ended already, as in tests, is joined.)
    {
        std::unique_lock lock(inbox->mutex);
        inbox->wake.wait_for(lock, std::chrono::milliseconds(50), [&] { return inbox->ended; });
        ended = inbox->ended;
    }
    if (ended) reader.join();
    else reader.detach();
    return server.exitCode();
}

}  // namespace tavolin::lsp
