// SPDX-License-Identifier: MIT
// The document requests: positions translated to tab offsets, the editor layer's answers back to JSON.
#include <algorithm>

#include "app/lsp/Server.h"
#include "music/CommandHelp.h"
#include "music/MmlReference.h"
#include "music/DocumentFeatures.h"
#include "music/Transpose.h"
#include "compiler/Cp932.h"
#include "compiler/UiText.h"

namespace tavolin::lsp {
namespace {

using music::MacroMark;
using music::TabRange;

std::string uriOf(const json& params) { return stringMember(member(params, "textDocument"), "uri"); }

json location(const std::string& uri, const document::DocumentMap& map, const TabRange& r) {
    return {{"uri", uri}, {"range", rangeJson(map, r)}};
}

// The macro mark with a letter at the request's position, if any.
std::optional<MacroMark> markAt(const OpenDocument& doc, const json& params, std::vector<MacroMark>& marks) {
    const auto at = doc.map.tabOffsetOf(positionFrom(member(params, "position")));
    if (!at) return std::nullopt;
    marks = music::macroMarks(doc.map.tabs());
    return music::macroMarkAt(marks, at->tab, at->offset);
}

int symbolKind(music::OutlineKind kind) {
    switch (kind) {
    case music::OutlineKind::Tab: return 3;       // Namespace
    case music::OutlineKind::Macro: return 12;    // Function
    case music::OutlineKind::Tone: return 23;     // Struct
    case music::OutlineKind::Envelope: return 14; // Constant
    }
    return 13;
}

json symbolJson(const document::DocumentMap& map, const music::OutlineItem& item) {
    const json range = rangeJson(map, item.range);
    json children = json::array();
    for (const auto& c : item.children) children.push_back(symbolJson(map, c));
    return {{"name", item.name}, {"kind", symbolKind(item.kind)}, {"range", range},
            {"selectionRange", {{"start", range["start"]}, {"end", range["start"]}}}, {"children", std::move(children)}};
}

// Relative encoding of the pieces that start within [from, to) of the file.
json tokens(const document::DocumentMap& map, uint32_t from, uint32_t to) {
    struct Token {
        document::FilePosition at;
        uint32_t length;
        int type;
    };
    std::vector<Token> list;
    for (const music::ClassPiece& p : music::classPieces(map.tabs())) {
        const int type = semanticTokenType(p.cls);
        const uint32_t start = map.fileOffsetOf(document::TabOffset{p.range.tab, p.range.begin});
        if (type < 0 || start < from || start >= to) continue;
        const document::FilePosition a = map.positionOf(start);
        const document::FilePosition b = map.positionOf(document::TabOffset{p.range.tab, p.range.end});
        if (b.line != a.line || b.column <= a.column) continue;  // a piece cut apart in the file (a block inside a bank)
        list.push_back({a, b.column - a.column, type});
    }
    std::sort(list.begin(), list.end(), [](const Token& x, const Token& y) {
        return x.at.line != y.at.line ? x.at.line < y.at.line : x.at.column < y.at.column;
    });
    json data = json::array();
    document::FilePosition last;
    for (const Token& t : list) {
        const uint32_t dl = t.at.line - last.line;
        data.push_back(dl);
        data.push_back(dl == 0 ? t.at.column - last.column : t.at.column);
        data.push_back(t.length);
        data.push_back(t.type);
        data.push_back(0);
        last = t.at;
    }
    return {{"data", std::move(data)}};
}

}  // namespace

json Server::hover(const json& params, Clock::time_point) {
    OpenDocument& doc = openDocument(params);
    if (doc.checkDue) check(uriOf(params), doc);  // an edit still in its debounce: compile it now
    const auto at = doc.map.tabOffsetOf(positionFrom(member(params, "position")));
    if (!at) return nullptr;
    auto answer = [&](std::string text, const TabRange& r) {
        return json{{"contents", {{"kind", "markdown"}, {"value", std::move(text)}}}, {"range", rangeJson(doc.map, r)}};
    };
    // A note tells what it sounds like: only a compile that succeeded knows.
    if (doc.song && doc.song->ok() && doc.song->index) {
        if (const auto ref = doc.song->index->noteAt(at->tab - 1, at->offset)) {
            json out = {{"contents", {{"kind", "markdown"}, {"value", music::noteHoverText(doc.song->timeline, *ref)}}}};
            if (const auto r = music::noteSourceAt(doc.song->timeline, *ref, at->tab, at->offset)) out["range"] = rangeJson(doc.map, *r);
            return out;
        }
    }
    std::vector<MacroMark> marks = music::macroMarks(doc.map.tabs());
    for (const MacroMark& m : marks)
        if (m.range.tab == at->tab && m.range.begin <= at->offset && at->offset < m.range.end)
            return answer(music::macroMarkHelp(m), m.range);
    const std::string& text = doc.map.tabs()[static_cast<size_t>(at->tab)];
    if (const auto help = music::commandHelpAt(text, at->offset)) return answer(help->text, {at->tab, help->begin, help->end});
    return nullptr;
}

json Server::inlayHint(const json& params, Clock::time_point) {
    OpenDocument& doc = openDocument(params);
    if (doc.checkDue) check(uriOf(params), doc);
    const json& range = member(params, "range");
    const uint32_t from = doc.map.fileOffsetOf(positionFrom(member(range, "start")));
    const uint32_t to = doc.map.fileOffsetOf(positionFrom(member(range, "end")));
    json out = json::array();
    if (!doc.song || !doc.song->ok() || !doc.song->index) return out;
    for (const music::LineHint& h : music::lineStartHints(doc.song->timeline, *doc.song->index, doc.map.tabs())) {
        const uint32_t at = doc.map.fileOffsetOf(document::TabOffset{h.at.tab, h.at.begin});
        if (at < from || at > to) continue;
        out.push_back({{"position", toJson(doc.map.positionOf(at))}, {"label", h.label}, {"paddingRight", true}});
    }
    return out;
}

json Server::completion(const json& params, Clock::time_point) {
    const OpenDocument& doc = openDocument(params);
    json items = json::array();
    const auto at = doc.map.tabOffsetOf(positionFrom(member(params, "position")));
    if (!at) return items;
    for (const music::Completion& c : music::completionsAt(doc.map.tabs(), at->tab, at->offset)) {
        using Kind = music::Completion::Kind;
        const int kind = c.kind == Kind::Command ? 15 /* Snippet */ : c.kind == Kind::Macro ? 3 /* Function */ : 21 /* Constant */;
        json item = {{"label", c.label}, {"kind", kind}, {"insertText", c.insert}};
        if (c.kind == Kind::Command) {
            item["insertTextFormat"] = 2;  // snippet
            // The reference's line and example, shown beside the list as the hover shows them.
            if (const music::MmlReferenceEntry* entry = music::mmlReferenceFor(c.label))
                item["documentation"] = {{"kind", "markdown"}, {"value", music::mmlReferenceHover(*entry)}};
        }
        items.push_back(std::move(item));
    }
    return items;
}

json Server::codeAction(const json& params, Clock::time_point) {
    const OpenDocument& doc = openDocument(params);
    json actions = json::array();
    const json& range = member(params, "range");
    const auto from = doc.map.tabOffsetOf(positionFrom(member(range, "start")));
    const auto to = doc.map.tabOffsetOf(positionFrom(member(range, "end")));
    if (!from || !to || from->tab != to->tab) return actions;  // a selection across tabs moves nothing
    static constexpr std::pair<int, const char*> kMoves[] = {
        {1, TAVOLIN_TR_NOOP("Texts", "半音上げる")},
        {-1, TAVOLIN_TR_NOOP("Texts", "半音下げる")},
        {12, TAVOLIN_TR_NOOP("Texts", "1オクターブ上げる")},
        {-12, TAVOLIN_TR_NOOP("Texts", "1オクターブ下げる")},
    };
    const std::string& text = doc.map.tabs()[static_cast<size_t>(from->tab)];
    auto addEdit = [&](const char* title, const music::TextReplacement& edit) {
        // Back to the editor's characters: CP932 bytes to UTF-8.
        const json textEdit = {{"range", rangeJson(doc.map, {from->tab, edit.begin, edit.end})}, {"newText", cp932ToUtf8(edit.text)}};
        actions.push_back({{"title", uiText(title)}, {"kind", "refactor.rewrite"}, {"edit", {{"changes", {{uriOf(params), {textEdit}}}}}}});
    };
    for (const auto& [semitones, title] : kMoves)
        if (const auto edit = music::transposeSelection(text, from->offset, to->offset, semitones)) addEdit(title, *edit);
    // The note at the start of the selection, from the last compile (none while an edit waits).
    if (doc.song && doc.song->ok() && doc.song->index && !doc.checkDue) {
        if (const auto ref = doc.song->index->noteAt(from->tab - 1, from->offset)) {
            if (const auto fill = music::restsToBarEnd(doc.song->timeline, *ref, from->tab))
                addEdit(TAVOLIN_TR_NOOP("Texts", "小節の残りを休符で埋める"), {fill->first, fill->first, fill->second});
        }
        const music::NoteTimeAt times = music::writtenNoteTimes(*doc.song, from->tab);
        if (const auto split = music::splitNote(text, from->offset, times)) addEdit(TAVOLIN_TR_NOOP("Texts", "タイで二つに分ける"), *split);
        if (const auto join = music::joinTiedNotes(text, from->offset, times)) addEdit(TAVOLIN_TR_NOOP("Texts", "タイでつないだ音符をまとめる"), *join);
    }
    return actions;
}

json Server::documentSymbol(const json& params, Clock::time_point) {
    const OpenDocument& doc = openDocument(params);
    json out = json::array();
    if (doc.tooLarge) return out;
    for (const music::OutlineItem& item : music::documentOutline(doc.map.tabs()))
        if (doc.map.placed(item.range.tab)) out.push_back(symbolJson(doc.map, item));
    return out;
}

json Server::definition(const json& params, Clock::time_point) {
    const OpenDocument& doc = openDocument(params);
    std::vector<MacroMark> marks;
    const auto mark = markAt(doc, params, marks);
    if (!mark) return nullptr;
    const auto def = mark->kind == music::MacroMarkKind::Record ? mark : music::macroDefinition(marks, *mark);
    if (!def) return nullptr;
    return location(uriOf(params), doc.map, def->range);
}

json Server::references(const json& params, Clock::time_point) {
    const OpenDocument& doc = openDocument(params);
    std::vector<MacroMark> marks;
    const auto mark = markAt(doc, params, marks);
    json out = json::array();
    if (!mark) return out;
    const bool withRecordings = params.contains("context") && params["context"].value("includeDeclaration", true);
    for (const MacroMark& m : music::macroOccurrences(marks, mark->letter, mark->range.tab))
        if (withRecordings || m.kind != music::MacroMarkKind::Record) out.push_back(location(uriOf(params), doc.map, m.range));
    return out;
}

json Server::rename(const json& params, Clock::time_point) {
    const OpenDocument& doc = openDocument(params);
    std::string name = stringMember(params, "newName");
    if (name.size() == 2 && name[0] == '!') name.erase(0, 1);  // "!B" as well as "B"
    if (name.size() != 1 || !std::isalpha(static_cast<unsigned char>(name[0])))
        throw RpcError(ErrorCode::InvalidParams, "a macro's name is one letter A to Z");
    name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    std::vector<MacroMark> marks;
    const auto mark = markAt(doc, params, marks);
    if (!mark) throw RpcError(ErrorCode::RequestFailed, "no macro here");
    json edits = json::array();
    for (const MacroMark& m : music::macroOccurrences(marks, mark->letter, mark->range.tab))
        edits.push_back({{"range", rangeJson(doc.map, m.name)}, {"newText", name}});
    return {{"changes", {{uriOf(params), std::move(edits)}}}};
}

json Server::semanticTokensFull(const json& params, Clock::time_point) {
    const OpenDocument& doc = openDocument(params);
    return tokens(doc.map, 0, UINT32_MAX);
}

json Server::semanticTokensRange(const json& params, Clock::time_point) {
    const OpenDocument& doc = openDocument(params);
    const json& range = member(params, "range");
    return tokens(doc.map, doc.map.fileOffsetOf(positionFrom(member(range, "start"))),
                  doc.map.fileOffsetOf(positionFrom(member(range, "end"))));
}

}  // namespace tavolin::lsp
