// SPDX-License-Identifier: MIT
// Content-Length framing: good frames, and every way a header can be wrong.
#include <gtest/gtest.h>

#include <sstream>

#include "app/lsp/Server.h"
#include "app/lsp/Transport.h"

namespace tavolin::lsp {
namespace {

std::string describe(const Frame& f) {
    switch (f.kind) {
    case Frame::Kind::Message: return "message[" + f.body + "]";
    case Frame::Kind::End: return "end";
    case Frame::Kind::TooLarge: return "too large";
    case Frame::Kind::Broken: return "broken";
    }
    return "?";
}

TEST(Transport, ReadsFramesUntilTheStreamEndsOrBreaks) {
    struct Row {
        const char* name;
        std::string input;
        std::vector<std::string> frames;  // described, up to and including end/broken
    } rows[] = {
        {"two frames, CR LF", "Content-Length: 2\r\n\r\n{}Content-Length: 3\r\n\r\n[1]", {"message[{}]", "message[[1]]", "end"}},
        {"LF only, other headers, any case", "content-type: x\ncontent-LENGTH:  4 \n\nnull", {"message[null]", "end"}},
        {"blank lines between frames", "\r\n\r\nContent-Length: 0\r\n\r\n", {"message[]", "end"}},
        {"empty input", "", {"end"}},
        {"short body", "Content-Length: 10\r\n\r\n{}", {"broken"}},
        {"no length", "Content-Type: a\r\n\r\n{}", {"broken"}},
        {"negative length", "Content-Length: -1\r\n\r\n", {"broken"}},
        {"length not a number", "Content-Length: 1e3\r\n\r\n", {"broken"}},
        {"length beyond 64 bits", "Content-Length: 99999999999999999999999\r\n\r\n", {"broken"}},
        {"header without colon", "Content-Length 2\r\n\r\n{}", {"broken"}},
        {"ends inside a header", "Content-Length: 2", {"broken"}},
        {"huge header line", "X: " + std::string(5000, 'a') + "\r\n\r\n", {"broken"}},
        {"too large is skipped, next frame read", "Content-Length: 20\r\n\r\n" + std::string(20, 'x') + "Content-Length: 1\r\n\r\n1",
         {"too large", "message[1]", "end"}},
    };
    for (const Row& r : rows) {
        std::istringstream in(r.input);
        std::vector<std::string> got;
        for (;;) {
            const Frame f = readFrame(in, 16);
            got.push_back(describe(f));
            if (f.kind == Frame::Kind::End || f.kind == Frame::Kind::Broken || got.size() > 10) break;
        }
        EXPECT_EQ(got, r.frames) << r.name;
    }
}

TEST(Transport, WrittenFrameReadsBack) {
    std::stringstream s;
    writeFrame(s, "{\"a\":\"\xE3\x81\x82\"}");
    EXPECT_EQ(s.str(), "Content-Length: 11\r\n\r\n{\"a\":\"\xE3\x81\x82\"}");
    EXPECT_EQ(describe(readFrame(s)), "message[{\"a\":\"\xE3\x81\x82\"}]");
}

// The whole loop over streams: exit codes and the error replies to broken input.
TEST(Transport, ServerLoopOverStreams) {
    auto frame = [](const std::string& body) { return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body; };
    const std::string init = frame(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})");
    const std::string shutdown = frame(R"({"jsonrpc":"2.0","id":2,"method":"shutdown"})");
    const std::string exitMsg = frame(R"({"jsonrpc":"2.0","method":"exit"})");
    struct Row {
        const char* name;
        std::string input;
        int exitCode;
        std::vector<int> errorCodes;  // of the error replies, in order
    } rows[] = {
        {"clean lifecycle", init + shutdown + exitMsg, 0, {}},
        {"exit without shutdown", init + exitMsg, 1, {}},
        {"input ends without exit", init, 1, {}},
        {"broken header ends the loop", init + "Content-Length: x\r\n\r\n" + shutdown, 1, {-32700}},
        {"bad JSON then going on", init + frame("{") + shutdown + exitMsg, 0, {-32700}},
    };
    for (const Row& r : rows) {
        std::istringstream in(r.input);
        std::stringstream out;
        EXPECT_EQ(runServer(in, out), r.exitCode) << r.name;
        std::vector<int> codes;
        for (Frame f = readFrame(out); f.kind == Frame::Kind::Message; f = readFrame(out)) {
            const json reply = json::parse(f.body);
            if (reply.contains("error")) codes.push_back(reply["error"]["code"].get<int>());
        }
        EXPECT_EQ(codes, r.errorCodes) << r.name;
    }
}

}  // namespace
}  // namespace tavolin::lsp
