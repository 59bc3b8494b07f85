// SPDX-License-Identifier: MIT
// The server driven in process through the protocol, one message (or a wait) per row.
#include <gtest/gtest.h>

#include <thread>

#include "app/lsp/Server.h"
#include "output/VirtualAudioDevice.h"
#include "tests/output/OutputTestSupport.h"

namespace tavolin::lsp {
namespace {

// True when every member of `want` is in `got` with an equal value (objects
// recursively, arrays element by element and of the same length).
bool matches(const json& got, const json& want) {
    if (want.is_object()) {
        if (!got.is_object()) return false;
        for (const auto& [k, v] : want.items())
            if (!got.contains(k) || !matches(got[k], v)) return false;
        return true;
    }
    if (want.is_array()) {
        if (!got.is_array() || got.size() != want.size()) return false;
        for (size_t i = 0; i < want.size(); ++i)
            if (!matches(got[i], want[i])) return false;
        return true;
    }
    return got == want;
}

struct Step {
    const char* name;
    std::string body;    // a message body; empty: only time passes
    int waitMs = 0;      // then poll this much later
    json expected;       // array of the messages sent, each as a subset
};

json uriDoc(const char* version = nullptr) {
    json d = {{"uri", "file:///song.mml"}};
    if (version) d["version"] = std::stoi(version);
    return d;
}

std::string open(const std::string& text) {
    return json{{"jsonrpc", "2.0"}, {"method", "textDocument/didOpen"},
                {"params", {{"textDocument", {{"uri", "file:///song.mml"}, {"languageId", "mml"}, {"version", 1}, {"text", text}}}}}}
        .dump();
}

std::string change(int version, const std::string& text) {
    return json{{"jsonrpc", "2.0"}, {"method", "textDocument/didChange"},
                {"params", {{"textDocument", uriDoc(std::to_string(version).c_str())}, {"contentChanges", {{{"text", text}}}}}}}
        .dump();
}

json range(int l0, int c0, int l1, int c1) {
    return {{"start", {{"line", l0}, {"character", c0}}}, {"end", {{"line", l1}, {"character", c1}}}};
}

json diagnostics(int version, json list) {
    return {{"method", "textDocument/publishDiagnostics"},
            {"params", {{"uri", "file:///song.mml"}, {"version", version}, {"diagnostics", std::move(list)}}}};
}

json error(json id, int code) { return {{"id", std::move(id)}, {"error", {{"code", code}}}}; }

void runSteps(const std::vector<Step>& steps, Server& server, Server::Clock::time_point& now, std::vector<json>& sent) {
    for (const Step& s : steps) {
        sent.clear();
        if (!s.body.empty()) server.handleBody(s.body, now);
        now += std::chrono::milliseconds(s.waitMs);
        server.poll(now);
        const json got = sent;
        EXPECT_TRUE(matches(got, s.expected)) << s.name << "\n got:  " << got.dump() << "\n want: " << s.expected.dump();
    }
}

TEST(LspServer, LifecycleErrorsAndDiagnostics) {
    std::vector<json> sent;
    Server server([&sent](const json& m) { sent.push_back(m); });
    auto now = Server::Clock::time_point{};
    // Bank A: a comment with a double-byte character, CR LF, then "C]D": the ] is on line 1, column 1.
    const std::string badBankA = "SMML@T120;MML@*\xE3\x81\x82*\r\nC]D,,,,;";
    // The common text on two lines, the error in its second.
    const std::string badCommon = "SMML@*\xE3\x81\x84*\r\nV300;MML@C;";
    // Bank B after a stored break (CR CR LF: two lines for the editor), L0 on line 2.
    const std::string badBankB = "SMML@T1;MML@C,*\xE3\x82\xA2*\r\r\nL0;";
    const std::vector<Step> steps = {
        {"request before initialize", R"({"jsonrpc":"2.0","id":1,"method":"textDocument/hover","params":{}})", 0, {error(1, -32002)}},
        {"notification before initialize is dropped", open("MML@C;"), 0, json::array()},
        {"not JSON", "{\"jsonrpc\":", 0, {error(nullptr, -32700)}},
        {"not an object", "[1,2]", 0, {error(nullptr, -32600)}},
        {"not version 2.0", R"({"jsonrpc":"1.0","id":3,"method":"shutdown"})", 0, {error(3, -32600)}},
        {"id of a bad type", R"({"jsonrpc":"2.0","id":{},"method":"shutdown"})", 0, {error(nullptr, -32600)}},
        {"bad arithmetic", R"({"jsonrpc":"2.0","id":4,"method":"initialize","params":{"initializationOptions":{"arithmetic":"Int"}}})", 0,
         {error(4, -32602)}},
        {"initialize", R"({"jsonrpc":"2.0","id":5,"method":"initialize","params":{"initializationOptions":{"arithmetic":"fix","sampleRate":44100}}})",
         0, {{{"id", 5}, {"result", {{"capabilities", {{"textDocumentSync", {{"openClose", true}, {"change", 1}}}}}}}}}},
        {"initialize twice", R"({"jsonrpc":"2.0","id":6,"method":"initialize","params":{}})", 0, {error(6, -32600)}},
        {"initialized", R"({"jsonrpc":"2.0","method":"initialized","params":{}})", 0, json::array()},
        {"unknown request", R"({"jsonrpc":"2.0","id":"x","method":"tavolin/nothing"})", 0, {error("x", -32601)}},
        {"unknown notification", R"({"jsonrpc":"2.0","method":"$/nothing"})", 0, json::array()},
        {"open: diagnostics at once", open(badBankA), 0,
         {diagnostics(1, {{{"range", range(1, 1, 1, 2)}, {"code", "0x8000001C"}, {"severity", 1},
                           {"message", "ループ開始していないのにループ終了が来た"}}})}},
        {"an error waits for the calm", change(2, badCommon), 100, json::array()},
        {"then publishes the common text's error", "", 50,
         {diagnostics(2, {{{"range", range(1, 0, 1, 4)}, {"code", "0x80000014"}, {"message", "ボリューム値が範囲外"}}})}},
        {"two quick changes publish once, the last", change(3, "MML@C;"), 10, json::array()},
        {"second change", change(4, badBankB), 149, json::array()},
        {"bank B's error after CR CR LF", "", 1, {diagnostics(4, {{{"range", range(2, 0, 2, 2)}, {"code", "0x80000004"}}})}},
        {"fixed: a text that compiles is published before the calm", change(5, "SMML@T1;MML@C,D;"), 100, {diagnostics(5, json::array())}},
        {"change to an unopened document", R"({"jsonrpc":"2.0","method":"textDocument/didChange","params":{"textDocument":{"uri":"file:///x","version":1},"contentChanges":[]}})",
         200, json::array()},
        {"malformed notification", R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":7}})", 0, json::array()},
        {"a document beyond the window's limit is not compiled", change(6, "MML@" + std::string(2u << 20, 'C')), 150,
         {diagnostics(6, {{{"code", "too-large"}, {"range", range(0, 0, 0, 0)}}})}},
        {"and answers requests empty", R"({"jsonrpc":"2.0","id":20,"method":"textDocument/documentSymbol","params":{"textDocument":{"uri":"file:///song.mml"}}})",
         0, {{{"id", 20}, {"result", json::array()}}}},
        {"close clears", R"({"jsonrpc":"2.0","method":"textDocument/didClose","params":{"textDocument":{"uri":"file:///song.mml"}}})", 0,
         {{{"method", "textDocument/publishDiagnostics"}, {"params", {{"diagnostics", json::array()}}}}}},
        {"shutdown", R"({"jsonrpc":"2.0","id":7,"method":"shutdown"})", 0, {{{"id", 7}, {"result", nullptr}}}},
        {"request after shutdown", R"({"jsonrpc":"2.0","id":8,"method":"shutdown"})", 0, {error(8, -32600)}},
        {"exit", R"({"jsonrpc":"2.0","method":"exit"})", 0, json::array()},
    };
    runSteps(steps, server, now, sent);
    EXPECT_TRUE(server.exited());
    EXPECT_EQ(server.exitCode(), 0);
}

std::string request(int id, const char* method, json params) {
    return json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}}.dump();
}

json at(int line, int character) {
    return {{"textDocument", {{"uri", "file:///song.mml"}}}, {"position", {{"line", line}, {"character", character}}}};
}

json with(json base, const json& extra) {
    base.update(extra);
    return base;
}

json reply(int id, json result) { return {{"id", id}, {"result", std::move(result)}}; }

json loc(int l0, int c0, int l1, int c1) { return {{"uri", "file:///song.mml"}, {"range", range(l0, c0, l1, c1)}}; }

json edit(int line, int c, const char* text) { return {{"range", range(line, c, line, c + 1)}, {"newText", text}}; }

TEST(LspServer, MacrosSymbolsAndTokens) {
    std::vector<json> sent;
    Server server([&sent](const json& m) { sent.push_back(m); });
    auto now = Server::Clock::time_point{};
    // line 0: SMML@@!A O4C!*あ*          common: recording A, a comment with a double-byte character
    // line 1: @W1:0:50;MML@!A D          a tone; bank A calls A
    // line 2: !A,@!AE!!A,;               bank A calls A again; bank B records its own A and calls it
    const std::string doc = "SMML@@!A O4C!*\xE3\x81\x82*\r\n@W1:0:50;MML@!A D\r\n!A,@!AE!!A,;";
    // Colours: a comment across a CR LF is cut in two pieces.
    const std::string colours = "MML@C8 *\xE3\x81\x82\r\nx*[D]2;";
    const json tab = {{"kind", 3}};
    const std::vector<Step> steps = {
        {"initialize", request(1, "initialize", json::object()), 0, {{{"id", 1}}}},
        {"open", open(doc), 0, {diagnostics(1, json::array())}},
        {"definition in the common text", request(2, "textDocument/definition", at(1, 14)), 0, {reply(2, loc(0, 5, 0, 8))}},
        {"bank B's own recording", request(3, "textDocument/definition", at(2, 9)), 0, {reply(3, loc(2, 3, 2, 6))}},
        {"a recording is its own definition", request(4, "textDocument/definition", at(0, 8)), 0, {reply(4, loc(0, 5, 0, 8))}},
        {"no macro under the caret", request(5, "textDocument/definition", at(1, 16)), 0, {reply(5, nullptr)}},
        {"references from bank A", request(6, "textDocument/references", with(at(2, 1), {{"context", {{"includeDeclaration", true}}}})), 0,
         {reply(6, {loc(0, 5, 0, 8), loc(1, 13, 1, 15), loc(2, 0, 2, 2)})}},
        {"references without the recording", request(7, "textDocument/references", with(at(2, 2), {{"context", {{"includeDeclaration", false}}}})), 0,
         {reply(7, {loc(1, 13, 1, 15), loc(2, 0, 2, 2)})}},
        {"rename from the common text reaches every bank", request(8, "textDocument/rename", with(at(0, 7), {{"newName", "b"}})), 0,
         {reply(8, {{"changes", {{"file:///song.mml", {edit(0, 7, "B"), edit(1, 14, "B"), edit(2, 1, "B"), edit(2, 5, "B"), edit(2, 9, "B")}}}}})}},
        {"rename to no letter", request(9, "textDocument/rename", with(at(0, 7), {{"newName", "AB"}})), 0, {error(9, -32602)}},
        {"rename off a macro", request(10, "textDocument/rename", with(at(1, 5), {{"newName", "C"}})), 0, {error(10, -32803)}},
        {"symbols", request(11, "textDocument/documentSymbol", {{"textDocument", {{"uri", "file:///song.mml"}}}}), 0,
         {reply(11, {{{"name", "共通"}, {"kind", 3}, {"range", range(0, 5, 1, 8)},
                      {"children", {{{"name", "@!A"}, {"kind", 12}, {"range", range(0, 5, 0, 13)}}, {{"name", "@W1"}, {"kind", 23}, {"range", range(1, 0, 1, 8)}}}}},
                     {{"name", "A"}, {"range", range(1, 13, 2, 2)}, {"children", json::array()}},
                     {{"name", "B"}, {"range", range(2, 3, 2, 10)}, {"children", {{{"name", "@!A"}, {"range", range(2, 3, 2, 8)}}}}},
                     tab, tab, tab})}},
        {"macros after ! in bank A: the common text's", request(20, "textDocument/completion", at(1, 14)), 0,
         {reply(20, {{{"label", "!A"}, {"insertText", "A"}, {"kind", 3}}})}},
        {"after @: defined tones, then the @ commands without their @", request(21, "textDocument/completion", at(2, 4)), 0,
         {reply(21, {{{"label", "@1"}, {"insertText", "1"}}, {{"label", "@W"}, {"insertText", "W${1:n}:${2:wave}:${3:duty}"}, {"insertTextFormat", 2}},
                     {{"label", "@ED"}}, {{"label", "@E"}}, {{"label", "@LT"}}, {{"label", "@LV"}}, {{"label", "@S"}}, {{"label", "@!"}}})}},
        {"nothing inside a comment", request(22, "textDocument/completion", at(0, 15)), 0, {reply(22, json::array())}},
        {"every command elsewhere", request(23, "textDocument/completion", at(1, 17)), 0,
         {reply(23, {{{"label", "@W"}, {"insertText", "@W${1:n}:${2:wave}:${3:duty}"}}, {{"label", "@ED"}}, {{"label", "@E"}}, {{"label", "@LT"}},
                     {{"label", "@LV"}}, {{"label", "@S"}}, {{"label", "@!"}},
                     {{"label", "T"}, {"documentation", {{"kind", "markdown"}, {"value", "`Tn` テンポ: 1分間に4分音符 n 個（最初は 120）\n\n例: `T180 CDEF T90 GAB>C`"}}}},
                     {{"label", "V"}}, {{"label", "P"}}, {{"label", "O"}},
                     {{"label", "L"}}, {{"label", "["}, {"insertText", "[$0]${1:2}"}}, {{"label", "{"}}})}},
        {"position outside the document", request(12, "textDocument/definition", at(40, 0)), 0, {reply(12, nullptr)}},
        {"bad position", request(13, "textDocument/definition", at(-1, 0)), 0, {error(13, -32602)}},
        {"document not open", request(14, "textDocument/references", {{"textDocument", {{"uri", "file:///other.mml"}}}, {"position", {{"line", 0}, {"character", 0}}}}),
         0, {error(14, -32602)}},
        {"colours", change(2, colours), 150, {diagnostics(2, json::array())}},
        {"envelopes after @E", change(3, "SMML@@ED3:1:2:3:255:100;MML@@E;"), 150, {diagnostics(3, {{{"code", "0x80000015"}}})}},
        {"the defined envelope", request(24, "textDocument/completion", at(0, 30)), 0, {reply(24, {{{"label", "@E3"}, {"insertText", "3"}}})}},
        {"colours again", change(4, colours), 150, {diagnostics(4, json::array())}},
        {"tokens", request(15, "textDocument/semanticTokens/full", {{"textDocument", {{"uri", "file:///song.mml"}}}}), 0,
         {reply(15, {{"data", {0, 4, 1, 0, 0, 0, 1, 1, 1, 0, 0, 2, 2, 8, 0, 1, 0, 2, 8, 0, 0, 2, 1, 5, 0, 0, 1, 1, 0, 0, 0, 1, 2, 5, 0}}})}},
        {"tokens of line 1", request(16, "textDocument/semanticTokens/range",
                                     {{"textDocument", {{"uri", "file:///song.mml"}}}, {"range", range(1, 0, 2, 0)}}), 0,
         {reply(16, {{"data", {1, 0, 2, 8, 0, 0, 2, 1, 5, 0, 0, 1, 1, 0, 0, 0, 1, 2, 5, 0}}})}},
    };
    runSteps(steps, server, now, sent);
}

json hoverAt(int line, int character) { return at(line, character); }

TEST(LspServer, HoverOnNotes) {
    std::vector<json> sent;
    Server server([&sent](const json& m) { sent.push_back(m); });
    auto now = Server::Clock::time_point{};
    // Tempo 120 at 48,000 Hz: a quarter note is 24,000 frames. The A plays three times.
    const std::string doc = "SMML@T120 L4;MML@O4[A]3 *\xE3\x81\x82*R8,;";
    auto hover = [](const char* text, json r) { return json{{"contents", {{"kind", "markdown"}, {"value", text}}}, {"range", std::move(r)}}; };
    const std::vector<Step> steps = {
        {"initialize", request(1, "initialize", json::object()), 0, {{{"id", 1}}}},
        {"open", open(doc), 0, {diagnostics(1, json::array())}},
        {"a note in a loop", request(2, "textDocument/hover", hoverAt(0, 20)), 0,
         {reply(2, hover("**A4** 440 Hz (バンク A)\n\n0:00.000 に鳴ります（3 回のうち 1 回目）\n\n長さ 24000 フレーム、全音符の 64/256", range(0, 20, 0, 21)))}},
        {"a rest after a double-byte comment, on its length", request(3, "textDocument/hover", hoverAt(0, 28)), 0,
         {reply(3, hover("**休符** (バンク A)\n\n0:01.500 に鳴ります\n\n長さ 12000 フレーム、全音符の 32/256", range(0, 27, 0, 29)))}},
        {"a comment", request(4, "textDocument/hover", hoverAt(0, 25)), 0, {reply(4, nullptr)}},
        {"a setting in the common text", request(5, "textDocument/hover", hoverAt(0, 10)), 0,
         {reply(5, hover("**L4**\n\n長さを省いた音符の長さ: 全音符の 64/256\n\n`Ln(.)` 長さを省いた音符の長さ（最初は L4）\n\n例: `L8 CDEFGAB>C`", range(0, 10, 0, 12)))}},
        {"a loop's end after the note", request(7, "textDocument/hover", hoverAt(0, 22)), 0,
         {reply(7, hover("**]3**\n\nループの終わり: 3 回演奏する\n\n`[…](n)` 囲んだ部分を n 回演奏する（n がなければ終わりなく繰り返す）\n\n例: `[CE]3 G2`", range(0, 21, 0, 23)))}},
        {"transpose the loop's note", request(8, "textDocument/codeAction",
                                               {{"textDocument", {{"uri", "file:///song.mml"}}}, {"range", range(0, 19, 0, 23)}, {"context", {{"diagnostics", json::array()}}}}),
         0,
         {reply(8, {{{"title", "半音上げる"}, {"edit", {{"changes", {{"file:///song.mml", {{{"range", range(0, 19, 0, 23)}, {"newText", "[A#]3"}}}}}}}}},
                    {{"title", "半音下げる"}, {"edit", {{"changes", {{"file:///song.mml", {{{"newText", "[G#]3"}}}}}}}}},
                    {{"title", "1オクターブ上げる"}, {"edit", {{"changes", {{"file:///song.mml", {{{"newText", "[>A<]3"}}}}}}}}},
                    {{"title", "1オクターブ下げる"}, {"edit", {{"changes", {{"file:///song.mml", {{{"newText", "[<A>]3"}}}}}}}}}})}},
        {"fill the bar after the rest (it ends an eighth before the line)", request(10, "textDocument/codeAction",
                                                     {{"textDocument", {{"uri", "file:///song.mml"}}}, {"range", range(0, 27, 0, 27)}}), 0,
         {reply(10, {{{"title", "小節の残りを休符で埋める"}, {"edit", {{"changes", {{"file:///song.mml", {{{"range", range(0, 29, 0, 29)}, {"newText", "R8"}}}}}}}}},
                     {{"title", "タイで二つに分ける"}, {"edit", {{"changes", {{"file:///song.mml", {{{"range", range(0, 27, 0, 29)}, {"newText", "R16R16"}}}}}}}}}})}},
        {"nothing to transpose in a comment", request(9, "textDocument/codeAction",
                                                     {{"textDocument", {{"uri", "file:///song.mml"}}}, {"range", range(0, 24, 0, 27)}}), 0,
         {reply(9, json::array())}},
        {"an edit is compiled before the answer", change(2, "MML@\r\nO5C;"), 0, json::array()},
        {"the new note", request(6, "textDocument/hover", hoverAt(1, 2)), 0,
         {diagnostics(2, json::array()), reply(6, hover("**C5** 523.25 Hz (バンク A)\n\n0:00.000 に鳴ります\n\n長さ 24000 フレーム、全音符の 64/256", range(1, 2, 1, 3)))}},
    };
    runSteps(steps, server, now, sent);
}

TEST(LspServer, InlayHintsAtLineStarts) {
    std::vector<json> sent;
    Server server([&sent](const json& m) { sent.push_back(m); });
    auto now = Server::Clock::time_point{};
    // Quarter notes at tempo 120 (0.5 s): bank A's second line starts in bar 2 at 2 s; a comment line
    // gets no hint; the loop's C first sounds after seven quarters. Bank B starts mid-line in the file.
    const std::string doc = "SMML@T120 L4;MML@CDEF\r\nGAB\r\n*x*\r\n[C]2,R1\r\nC;";
    auto hint = [](int line, int character, const char* label) {
        return json{{"position", {{"line", line}, {"character", character}}}, {"label", label}};
    };
    auto hints = [](json r) { return json{{"textDocument", {{"uri", "file:///song.mml"}}}, {"range", std::move(r)}}; };
    const std::vector<Step> steps = {
        {"initialize", request(1, "initialize", json::object()), 0, {{{"id", 1}}}},
        {"open", open(doc), 0, {diagnostics(1, json::array())}},
        {"whole document", request(2, "textDocument/inlayHint", hints(range(0, 0, 9, 0))), 0,
         {reply(2, {hint(0, 17, "0:00.000 |1"), hint(1, 0, "0:02.000 |2"), hint(3, 0, "0:03.500 |2"), hint(3, 5, "0:00.000 |1"),
                    hint(4, 0, "0:02.000 |2")})}},
        {"lines 1 to 3", request(3, "textDocument/inlayHint", hints(range(1, 0, 3, 9))), 0,
         {reply(3, {hint(1, 0, "0:02.000 |2"), hint(3, 0, "0:03.500 |2"), hint(3, 5, "0:00.000 |1")})}},
    };
    runSteps(steps, server, now, sent);
}

json command(const char* name, json argument) {
    json params = {{"command", name}};
    if (!argument.is_null()) params["arguments"] = json::array({std::move(argument)});
    return params;
}

json actionsAt(int l0, int c0, int l1, int c1) {
    return {{"textDocument", {{"uri", "file:///song.mml"}}}, {"range", range(l0, c0, l1, c1)}};
}

json titled(const char* title) { return {{"title", title}}; }

json titledEdit(const char* title, json r, const char* text) {
    return {{"title", title}, {"edit", {{"changes", {{"file:///song.mml", {{{"range", std::move(r)}, {"newText", text}}}}}}}}};
}

TEST(LspServer, TieActionsAndCommands) {
    testing::TempDir dir;
    std::vector<json> sent;
    Server server([&sent](const json& m) { sent.push_back(m); });
    auto now = Server::Clock::time_point{};
    // Line 1 of bank A: "C2.&C4 R4 D1" after a double-byte comment; T120: a quarter is 24,000 frames.
    const std::string doc = "SMML@T120 L4;MML@*\xE3\x81\x82*\r\nC2.&C4 R4 D1;";
    const std::string wav = (dir / "song.wav").string();
    const json transposes[] = {titled("半音上げる"), titled("半音下げる"), titled("1オクターブ上げる"), titled("1オクターブ下げる")};
    const std::vector<Step> steps = {
        {"initialize advertises the commands", request(1, "initialize", json::object()), 0,
         {{{"id", 1}, {"result", {{"capabilities", {{"executeCommandProvider", {{"commands", {"tavolin.play", "tavolin.stop", "tavolin.render"}}}}}}}}}}},
        {"open", open(doc), 0, {diagnostics(1, json::array())}},
        {"split the dotted half, join the chain", request(2, "textDocument/codeAction", actionsAt(1, 1, 1, 1)), 0,
         {reply(2, {transposes[0], transposes[1], transposes[2], transposes[3],
                    titledEdit("小節の残りを休符で埋める", range(1, 3, 1, 3), "R4"), titledEdit("タイで二つに分ける", range(1, 0, 1, 3), "C4.&C4."), titledEdit("タイでつないだ音符をまとめる", range(1, 0, 1, 6), "C1")})}},
        {"the quarter at the end of the bar", request(3, "textDocument/codeAction", actionsAt(1, 4, 1, 6)), 0,
         {reply(3, {transposes[0], transposes[1], transposes[2], transposes[3], titledEdit("タイで二つに分ける", range(1, 4, 1, 6), "C8&C8"),
                    titledEdit("タイでつないだ音符をまとめる", range(1, 0, 1, 6), "C1")})}},
        {"D crosses the bar line: cut there", request(4, "textDocument/codeAction", actionsAt(1, 11, 1, 11)), 0,
         {reply(4, {transposes[0], transposes[1], transposes[2], transposes[3], titledEdit("小節の残りを休符で埋める", range(1, 12, 1, 12), "R2R4"),
                    titledEdit("タイで二つに分ける", range(1, 10, 1, 12), "D2.&D4")})}},
        {"unknown command", request(5, "workspace/executeCommand", command("tavolin.nothing", json::object())), 0, {error(5, -32602)}},
        {"render without a path", request(6, "workspace/executeCommand", command("tavolin.render", {{"uri", "file:///song.mml"}})), 0,
         {error(6, -32602)}},
        {"render", request(7, "workspace/executeCommand", command("tavolin.render", {{"uri", "file:///song.mml"}, {"path", wav}})), 0,
         {reply(7, {{"path", wav}, {"frames", 216000}})}},
        {"render into a missing folder", request(8, "workspace/executeCommand",
                                                 command("tavolin.render", {{"uri", "file:///song.mml"}, {"path", (dir / "no/such.wav").string()}})),
         0, {error(8, -32803)}},
        {"play without a sound device", request(9, "workspace/executeCommand", command("tavolin.play", {{"uri", "file:///song.mml"}})), 0,
         {error(9, -32803)}},
        {"play without arguments", request(10, "workspace/executeCommand", command("tavolin.play", nullptr)), 0, {error(10, -32602)}},
        {"stop while nothing plays", request(11, "workspace/executeCommand", command("tavolin.stop", nullptr)), 0, {reply(11, nullptr)}},
    };
    runSteps(steps, server, now, sent);
    // The same document through tavolin-cli, from the file as stored (CP932).
    {
        std::ofstream file(dir / "song.mml", std::ios::binary);
        file << document::utf8ToDocumentBytes(doc);
    }
    const std::string cli = std::string(TAVOLIN_CLI_PATH) + " render -o " + (dir / "cli.wav").string() + " " + (dir / "song.mml").string();
    ASSERT_EQ(std::system(cli.c_str()), 0) << cli;
    const std::string ours = testing::readFile(wav);
    EXPECT_GT(ours.size(), 44u + 216000u * 4 - 1);
    EXPECT_TRUE(ours == testing::readFile(dir / "cli.wav")) << "tavolin.render and tavolin-cli render differ";
}

// Sends a tavolin.play request, checks its reply, then polls in real time
// until the first notes come (at most two seconds) and checks them.
void playAndExpectNotes(Server& server, Server::Clock::time_point now, std::vector<json>& sent, const std::string& body,
                        const json& expectedReply, const json& expectedNotes) {
    sent.clear();
    server.handleBody(body, now);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(matches(sent[0], expectedReply)) << sent[0].dump();
    sent.clear();
    for (int i = 0; i < 100 && sent.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        server.poll(now);
    }
    ASSERT_EQ(sent.size(), 1u) << "no notes within two seconds";
    EXPECT_TRUE(matches(sent[0], {{"method", "tavolin/playingNotes"}, {"params", {{"uri", "file:///song.mml"}, {"notes", expectedNotes}}}}))
        << sent[0].dump();
}

// Playing through a device that plays in real time: the notes sounding come
// back with their ranges, and stop ends them.
TEST(LspServer, PlayingNotesFollowTheSong) {
    auto log = std::make_shared<output::VirtualDeviceLog>();
    output::VirtualDeviceOptions device;
    device.realTime = true;
    std::vector<json> sent;
    Server server([&sent](const json& m) { sent.push_back(m); }, std::chrono::milliseconds(150), output::VirtualAudioDevice::factory(device, log));
    auto now = Server::Clock::time_point{};
    // Whole notes at T240 (one second each); play starts at D on line 1, so the first note heard is D.
    const std::string doc = "SMML@T240 L1;MML@C\r\nD E,R1 F;";
    const std::vector<Step> steps = {
        {"initialize", request(1, "initialize", json::object()), 0, {{{"id", 1}}}},
        {"open", open(doc), 0, {diagnostics(1, json::array())}},
        {"a position outside the texts", request(2, "workspace/executeCommand",
                                                 command("tavolin.play", {{"uri", "file:///song.mml"}, {"position", {{"line", 0}, {"character", 2}}}})),
         0, {error(2, -32602)}},
    };
    runSteps(steps, server, now, sent);
    // Bank A sounds D (line 1, 0..1) while bank B sounds F (line 1, 7..8).
    playAndExpectNotes(server, now, sent,
                       request(3, "workspace/executeCommand",
                               command("tavolin.play", {{"uri", "file:///song.mml"}, {"position", {{"line", 1}, {"character", 0}}}})),
                       reply(3, {{"startTime", "0:01.000"}}), {{{"bank", "A"}, {"range", range(1, 0, 1, 1)}}, {{"bank", "B"}, {"range", range(1, 7, 1, 8)}}});
    // An edit while it plays: until it compiles, the old song's ranges move with the text and the
    // changed note is not lit; its compile is swapped in and lights the new note.
    const json bankB = {{"bank", "B"}, {"range", range(1, 10, 1, 11)}};
    const std::vector<Step> edit = {
        {"D becomes V9 G", change(2, "SMML@T240 L1;MML@C\r\nV9 G E,R1 F;"), 0,
         {{{"method", "tavolin/playingNotes"}, {"params", {{"notes", {bankB}}}}}}},
        {"its compile plays on from G", "", 150,
         {diagnostics(2, json::array()), {{"method", "tavolin/playingNotes"}, {"params", {{"notes", {{{"bank", "A"}, {"range", range(1, 3, 1, 4)}}, bankB}}}}}}},
    };
    runSteps(edit, server, now, sent);
    sent.clear();
    runSteps({{"stop: the notes go out", request(4, "workspace/executeCommand", command("tavolin.stop", nullptr)), 0,
               {{{"method", "tavolin/playingNotes"}, {"params", {{"notes", json::array()}}}}, reply(4, nullptr)}}},
             server, now, sent);
    // A passage from E (a caret) to the song's end: every bank stands at E's frame.
    playAndExpectNotes(server, now, sent,
                       request(5, "workspace/executeCommand",
                               command("tavolin.play", {{"uri", "file:///song.mml"}, {"from", {{"line", 1}, {"character", 5}}}, {"to", "0:03"}})),
                       reply(5, {{"startTime", "0:02.000"}}), {{{"bank", "A"}, {"range", range(1, 5, 1, 6)}}});
    sent.clear();
    runSteps({{"closing the document stops it", R"({"jsonrpc":"2.0","method":"textDocument/didClose","params":{"textDocument":{"uri":"file:///song.mml"}}})", 0,
               {{{"method", "tavolin/playingNotes"}, {"params", {{"notes", json::array()}}}}, {{"method", "textDocument/publishDiagnostics"}}}}},
             server, now, sent);
    EXPECT_GT(log->blocksPlayed, 0u);
}

}  // namespace
}  // namespace tavolin::lsp
