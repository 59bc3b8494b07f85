// SPDX-License-Identifier: MIT
// The smpl chunk, and LOOPSTART/LOOPLENGTH comments written into FLAC and Ogg bytes.
#include "output/LoopTags.h"

#include <cstring>
#include <optional>
#include <string_view>

#include <ogg/ogg.h>

namespace tavolin::output {
namespace {

void putLe32(uint8_t* at, uint32_t v) noexcept {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}
void appendLe32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
uint32_t le32(std::string_view s, size_t at) noexcept {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{static_cast<uint8_t>(s[at + static_cast<size_t>(i)])} << (8 * i);
    return v;
}

// A Vorbis comment list (vendor, count, comments) at the start of `body`,
// the comments appended; `rest` receives what followed the list (Vorbis's
// framing bit, Opus's padding). Nullopt when the list runs past the body.
std::optional<std::string> appendToCommentList(std::string_view body, const std::vector<std::string>& comments,
                                               std::string_view* rest = nullptr) {
    if (body.size() < 8) return std::nullopt;
    const uint32_t vendor = le32(body, 0);
    if (vendor > body.size() - 8) return std::nullopt;
    size_t at = 4 + size_t{vendor};
    const uint32_t count = le32(body, at);
    const size_t listStart = at + 4;
    at = listStart;
    for (uint32_t i = 0; i < count; ++i) {
        if (body.size() - at < 4) return std::nullopt;
        const uint32_t n = le32(body, at);
        if (n > body.size() - at - 4) return std::nullopt;
        at += 4 + size_t{n};
    }
    std::string out(body.substr(0, 4 + size_t{vendor}));
    appendLe32(out, count + static_cast<uint32_t>(comments.size()));
    out.append(body.substr(listStart, at - listStart));
    for (const std::string& c : comments) {
        appendLe32(out, static_cast<uint32_t>(c.size()));
        out += c;
    }
    if (rest) *rest = body.substr(at);
    return out;
}

}  // namespace

std::array<uint8_t, kSmplChunkBytes> smplChunk(uint32_t sampleRateHz, const SongLoop& loop) noexcept {
    std::array<uint8_t, kSmplChunkBytes> c{};
    std::memcpy(c.data(), "smpl", 4);
    putLe32(&c[4], kSmplChunkBytes - 8);
    // manufacturer, product: 0
    putLe32(&c[16], sampleRateHz > 0 ? static_cast<uint32_t>((1000000000ull + sampleRateHz / 2) / sampleRateHz) : 0);
    putLe32(&c[20], 60);  // MIDI unity note
    // pitch fraction, SMPTE format and offset: 0
    putLe32(&c[36], 1);   // sample loops
    // sampler data: 0; the loop: cue point id 0, type 0 (forward)
    putLe32(&c[52], static_cast<uint32_t>(loop.start));
    putLe32(&c[56], static_cast<uint32_t>(loop.start + loop.length - 1));
    // fraction 0, play count 0 (for ever)
    return c;
}

std::vector<std::string> loopComments(AudioFileType type, uint32_t sampleRateHz, const SongLoop& loop) {
    uint64_t start = loop.start;
    uint64_t length = loop.length;
    if (type == AudioFileType::Opus && sampleRateHz > 0) {
        // Opus rates divide 48 kHz: the scaled counts are whole.
        start = start * 48000 / sampleRateHz;
        length = length * 48000 / sampleRateHz;
    }
    return {"LOOPSTART=" + std::to_string(start), "LOOPLENGTH=" + std::to_string(length)};
}

bool addFlacComments(std::string& file, const std::vector<std::string>& comments) {
    if (file.size() < 8 || file.compare(0, 4, "fLaC") != 0) return false;
    // The metadata blocks, each with its type; the last flag is set anew.
    struct Block {
        int type;
        std::string body;
    };
    std::vector<Block> blocks;
    size_t at = 4;
    for (bool last = false; !last;) {
        if (file.size() - at < 4) return false;
        const auto head = static_cast<uint8_t>(file[at]);
        const size_t n = (size_t{static_cast<uint8_t>(file[at + 1])} << 16) | (size_t{static_cast<uint8_t>(file[at + 2])} << 8) |
                         static_cast<uint8_t>(file[at + 3]);
        if (file.size() - at - 4 < n) return false;
        last = (head & 0x80) != 0;
        blocks.push_back({head & 0x7F, file.substr(at + 4, n)});
        at += 4 + n;
    }
    if (blocks.empty() || blocks[0].type != 0) return false;  // STREAMINFO comes first
    constexpr int kVorbisComment = 4;
    bool added = false;
    for (Block& b : blocks) {
        if (b.type != kVorbisComment) continue;
        std::optional<std::string> list = appendToCommentList(b.body, comments);
        if (!list) return false;
        b.body = *list;
        added = true;
        break;
    }
    if (!added) {
        std::string list;
        constexpr std::string_view vendor = "Tavolin";
        appendLe32(list, static_cast<uint32_t>(vendor.size()));
        list += vendor;
        appendLe32(list, 0);
        std::optional<std::string> full = appendToCommentList(list, comments);
        if (!full) return false;
        blocks.insert(blocks.begin() + 1, Block{kVorbisComment, *full});
    }
    std::string out = "fLaC";
    for (size_t i = 0; i < blocks.size(); ++i) {
        const size_t n = blocks[i].body.size();
        if (n >= (size_t{1} << 24)) return false;
        out.push_back(static_cast<char>(blocks[i].type | (i + 1 == blocks.size() ? 0x80 : 0)));
        out.push_back(static_cast<char>(n >> 16));
        out.push_back(static_cast<char>(n >> 8));
        out.push_back(static_cast<char>(n));
        out += blocks[i].body;
    }
    out.append(file, at, std::string::npos);
    file = std::move(out);
    return true;
}

bool addOggComments(std::string& file, const std::vector<std::string>& comments) {
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(file.size()));
    std::memcpy(buffer, file.data(), file.size());
    ogg_sync_wrote(&sync, static_cast<long>(file.size()));

    // Every page, as its bytes; the header packets, copied out.
    std::vector<std::string> pages;
    std::vector<std::string> headers;
    size_t headerPages = 0;
    size_t headerCount = 0;  // 3 for Vorbis, 2 for Opus, known from the first packet
    ogg_stream_state in;
    bool inOpen = false;
    bool ok = true;
    ogg_page page;
    while (ogg_sync_pageout(&sync, &page) == 1) {
        pages.emplace_back(reinterpret_cast<const char*>(page.header), static_cast<size_t>(page.header_len));
        pages.back().append(reinterpret_cast<const char*>(page.body), static_cast<size_t>(page.body_len));
        if (headerCount != 0 && headers.size() == headerCount) continue;
        if (!inOpen) {
            ogg_stream_init(&in, ogg_page_serialno(&page));
            inOpen = true;
        }
        if (ogg_stream_pagein(&in, &page) != 0) {
            ok = false;
            break;
        }
        ++headerPages;
        ogg_packet packet;
        while (ogg_stream_packetout(&in, &packet) == 1) {
            headers.emplace_back(reinterpret_cast<const char*>(packet.packet), static_cast<size_t>(packet.bytes));
            if (headers.size() == 1) {
                const std::string& id = headers[0];
                if (id.compare(0, 7, "\x01vorbis") == 0) headerCount = 3;
                else if (id.compare(0, 8, "OpusHead") == 0) headerCount = 2;
                else ok = false;
            }
            if (headerCount != 0 && headers.size() == headerCount) {
                // Audio must start on a page of its own; a page sharing the
                // last header with audio is not written anew here.
                if (ogg_stream_packetpeek(&in, nullptr) == 1) ok = false;
                break;
            }
        }
        if (!ok) break;
    }
    const long serial = inOpen ? in.serialno : 0;
    if (inOpen) ogg_stream_clear(&in);
    ogg_sync_clear(&sync);
    if (!ok || headerCount == 0 || headers.size() != headerCount) return false;

    // The comment header with the comments appended.
    const bool vorbis = headerCount == 3;
    const std::string_view magic = vorbis ? std::string_view("\x03vorbis", 7) : std::string_view("OpusTags");
    std::string& tags = headers[1];
    if (tags.compare(0, magic.size(), magic) != 0) return false;
    std::string_view rest;
    std::optional<std::string> list = appendToCommentList(std::string_view(tags).substr(magic.size()), comments, &rest);
    if (!list) return false;
    tags = std::string(magic) + *list + std::string(rest);

    // The header pages anew: each header packet flushed onto pages of its
    // own, as Opus asks for its comment header and both ask of the audio.
    ogg_stream_state out;
    ogg_stream_init(&out, static_cast<int>(serial));
    std::string written;
    ogg_int64_t newHeaderPages = 0;
    for (size_t i = 0; i < headers.size(); ++i) {
        ogg_packet p{};
        p.packet = reinterpret_cast<unsigned char*>(headers[i].data());
        p.bytes = static_cast<long>(headers[i].size());
        p.b_o_s = i == 0 ? 1 : 0;
        p.granulepos = 0;
        p.packetno = static_cast<ogg_int64_t>(i);
        ogg_stream_packetin(&out, &p);
        while (ogg_stream_flush(&out, &page) != 0) {
            written.append(reinterpret_cast<const char*>(page.header), static_cast<size_t>(page.header_len));
            written.append(reinterpret_cast<const char*>(page.body), static_cast<size_t>(page.body_len));
            ++newHeaderPages;
        }
    }
    ogg_stream_clear(&out);

    // The audio pages as they were, renumbered after the new header pages.
    for (size_t i = headerPages; i < pages.size(); ++i) {
        std::string& bytes = pages[i];
        const auto headerLen = static_cast<size_t>(27 + static_cast<uint8_t>(bytes[26]));
        const uint32_t seq = le32(bytes, 18) - static_cast<uint32_t>(headerPages) + static_cast<uint32_t>(newHeaderPages);
        putLe32(reinterpret_cast<uint8_t*>(bytes.data()) + 18, seq);
        ogg_page p{};
        p.header = reinterpret_cast<unsigned char*>(bytes.data());
        p.header_len = static_cast<long>(headerLen);
        p.body = reinterpret_cast<unsigned char*>(bytes.data()) + headerLen;
        p.body_len = static_cast<long>(bytes.size() - headerLen);
        ogg_page_checksum_set(&p);
        written += bytes;
    }
    file = std::move(written);
    return true;
}

}  // namespace tavolin::output
