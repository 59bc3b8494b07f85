// SPDX-License-Identifier: MIT
// JSON-RPC framing over byte streams: "Content-Length: N" headers, a blank line, N bytes of body.
#pragma once

#include <cstddef>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

namespace tavolin::lsp {

// A body longer than this is skipped, not held: a client that sends more is
// broken or hostile, and a document that large is far beyond any song.
inline constexpr size_t kMaxMessageBytes = 64u << 20;
// A header line longer than this ends the stream: framing is lost.
inline constexpr size_t kMaxHeaderLineBytes = 1024;

struct Frame {
    enum class Kind {
        Message,   // `body` holds one message
        End,       // the stream ended between messages
        TooLarge,  // the body was skipped (Content-Length above the limit)
        Broken,    // bad or missing header, or the stream ended inside a message: no way to resynchronise
    };
    Kind kind = Kind::End;
    std::string body;
    std::string error;  // English, for the log and the error reply
};

// Reads the next frame. Header names are matched without regard to case;
// headers other than Content-Length (Content-Type) are ignored; lines may end
// in CR LF or LF.
Frame readFrame(std::istream& in, size_t maxBytes = kMaxMessageBytes);

// Writes one framed message and flushes.
void writeFrame(std::ostream& out, std::string_view body);

}  // namespace tavolin::lsp
