// SPDX-License-Identifier: MIT
// Where each compiled record came from: the command's bytes in the text, and the macro call that replayed it.
#pragma once

#include <cstdint>
#include <vector>

namespace tavolin {

// A stretch of one bank's joined text (internal default code, common text,
// bank text), in bytes. Records of the fixed list prologue and the EndMarker
// were written by no command and have no span.
struct TextSpan {
    static constexpr uint32_t kNone = UINT32_MAX;
    uint32_t begin = kNone;
    uint32_t length = 0;

    bool valid() const noexcept { return begin != kNone; }
    bool holds(uint64_t offset) const noexcept { return valid() && offset >= begin && offset - begin < length; }
    friend bool operator==(TextSpan, TextSpan) = default;
};

// One record's origin. `command` is the command that produced the record
// (its number, dots and separators included: "C8." is 3 bytes). A record
// replayed by a macro call keeps the span of the recorded command, and `call`
// is the span of the call ("!A") that put it in the bank's list. (A "!" while
// a macro is recorded ends the recording, so calls never nest.)
struct RecordSource {
    TextSpan command;
    TextSpan call;
    friend bool operator==(const RecordSource&, const RecordSource&) = default;
};

// Parallel to an EventList: entry i is the source of record i.
using SourceSpans = std::vector<RecordSource>;

// Which text a span of a joined text lies in, with the offset counted from
// the start of that text. `tab` is -2 for the internal default code, -1 for
// the common text, 0..4 for banks A..E (the numbering of CompileResult).
// A command may run on from the common text into the bank text; it is
// placed where it starts, and its length is kept whole.
struct TabSpan {
    int tab = -2;
    uint64_t offset = 0;
    uint64_t length = 0;
    friend bool operator==(const TabSpan&, const TabSpan&) = default;
};

// `bank` is the bank whose joined text the span belongs to (0..4).
TabSpan tabSpanOf(TextSpan span, uint64_t commonLength, int bank) noexcept;

// The joined-text span of `length` bytes at `offset` of tab `tab` (-1 common,
// 0..4 a bank), the inverse of tabSpanOf for that bank's joined text.
uint64_t joinedOffsetOf(int tab, uint64_t offset, uint64_t commonLength) noexcept;

}  // namespace tavolin
