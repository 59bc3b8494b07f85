// SPDX-License-Identifier: MIT
// CP932 <-> UTF-8 through glibc iconv.
#include "compiler/Cp932.h"

#include <cerrno>
#include <iconv.h>

namespace tavolin {
namespace {

class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~IconvHandle() { if (valid()) iconv_close(m_cd); }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// Converts as much as possible; on an unconvertible or malformed sequence,
// calls onBad(remaining) which returns how many input bytes to skip and may
// append a replacement, or 0 to give up.
template <typename OnBad>
bool convert(iconv_t cd, std::string_view in, std::string& out, OnBad onBad) {
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buf[1024];
    while (srcLeft > 0) {
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf, static_cast<size_t>(dst - buf));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            size_t skip = onBad(std::string_view(src, srcLeft), out);
            if (skip == 0) return false;
            src += skip;
            srcLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return true;
}

}  // namespace

std::optional<std::string> utf8ToCp932(std::string_view utf8) {
    IconvHandle h("CP932", "UTF-8");
    if (!h.valid()) return std::nullopt;
    std::string out;
    out.reserve(utf8.size());
    if (!convert(h.get(), utf8, out, [](std::string_view, std::string&) { return size_t{0}; }))
        return std::nullopt;
    return out;
}

std::string cp932ToUtf8(std::string_view cp932) {
    IconvHandle h("UTF-8", "CP932");
    std::string out;
    out.reserve(cp932.size() * 3 / 2);
    if (!h.valid()) return out;
    convert(h.get(), cp932, out, [](std::string_view rest, std::string& o) {
        o += "\xEF\xBF\xBD";
        // A lead byte followed by an unmapped trail byte is one bad character.
        if (rest.size() >= 2 && isCp932LeadByte(static_cast<unsigned char>(rest[0]))) return size_t{2};
        return size_t{1};
    });
    return out;
}

}  // namespace tavolin
