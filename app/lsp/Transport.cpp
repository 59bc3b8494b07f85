// SPDX-License-Identifier: MIT
// Content-Length framing: reading headers defensively, skipping oversized bodies.
#include "app/lsp/Transport.h"

#include <algorithm>
#include <cctype>

namespace tavolin::lsp {
namespace {

enum class LineResult { Ok, End, TooLong };

LineResult readHeaderLine(std::istream& in, std::string& line) {
    line.clear();
    for (;;) {
        const int c = in.get();
        if (c == std::char_traits<char>::eof()) return LineResult::End;
        if (c == '\n') break;
        if (line.size() >= kMaxHeaderLineBytes) return LineResult::TooLong;
        line += static_cast<char>(c);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return LineResult::Ok;
}

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

Frame broken(std::string why) { return {Frame::Kind::Broken, {}, std::move(why)}; }

}  // namespace

Frame readFrame(std::istream& in, size_t maxBytes) {
    bool any = false;
    bool haveLength = false;
    size_t length = 0;
    std::string line;
    for (;;) {
        switch (readHeaderLine(in, line)) {
        case LineResult::End:
            if (!any && line.empty()) return {Frame::Kind::End, {}, {}};
            return broken("the stream ended inside a header");
        case LineResult::TooLong: return broken("header line too long");
        case LineResult::Ok: break;
        }
        if (line.empty()) {
            if (!any) continue;  // stray blank lines between messages
            break;
        }
        any = true;
        const size_t colon = line.find(':');
        if (colon == std::string::npos) return broken("header line without a colon");
        if (lower(line.substr(0, colon)) != "content-length") continue;
        std::string_view value = std::string_view(line).substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
        if (value.empty() || value.size() > 18 || !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return broken("bad Content-Length");
        length = std::stoull(std::string(value));
        haveLength = true;
    }
    if (!haveLength) return broken("no Content-Length header");
    if (length > maxBytes) {
        in.ignore(static_cast<std::streamsize>(length));
        if (static_cast<size_t>(in.gcount()) != length) return broken("the stream ended inside a message");
        return {Frame::Kind::TooLarge, {}, "message of " + std::to_string(length) + " bytes skipped"};
    }
    Frame frame{Frame::Kind::Message, std::string(length, '\0'), {}};
    in.read(frame.body.data(), static_cast<std::streamsize>(length));
    if (static_cast<size_t>(in.gcount()) != length) return broken("the stream ended inside a message");
    return frame;
}

void writeFrame(std::ostream& out, std::string_view body) {
    out << "Content-Length: " << body.size() << "\r\n\r\n";
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    out.flush();
}

}  // namespace tavolin::lsp
