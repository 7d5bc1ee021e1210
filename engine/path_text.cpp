#include "engine/path_text.h"

#include <array>

namespace engine {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view hexDigits = "0123456789ABCDEF";

void appendHex(std::string& out, unsigned value, int digits) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += hexDigits[(value >> shift) & 0xF];
}

// The well-formed UTF-8 sequences by their first byte: how long each is and the range its second
// byte must fall in. The narrowed ranges shut out overlong forms (E0, F0), surrogates (ED) and
// code points past U+10FFFF (F4); every later byte is 80 to BF.
struct LeadByte {
    unsigned char first;
    unsigned char last;
    std::size_t length;
    unsigned char secondLow;
    unsigned char secondHigh;
};

constexpr std::array<LeadByte, 8> leadBytes{{
    {0xC2, 0xDF, 2, 0x80, 0xBF},
    {0xE0, 0xE0, 3, 0xA0, 0xBF},
    {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F},
    {0xEE, 0xEF, 3, 0x80, 0xBF},
    {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x80, 0xBF},
    {0xF4, 0xF4, 4, 0x80, 0x8F},
}};

// The length of the well-formed sequence that starts at bytes[at], or 0 when none does.
std::size_t sequenceLength(std::string_view bytes, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return 1;
    for (const LeadByte& form : leadBytes) {
        if (lead < form.first || lead > form.last)
            continue;
        if (at + form.length > bytes.size() || byte(at + 1) < form.secondLow ||
            byte(at + 1) > form.secondHigh)
            return 0;
        for (std::size_t i = 2; i < form.length; ++i) {
            if ((byte(at + i) & 0xC0) != 0x80)
                return 0;
        }
        return form.length;
    }
    return 0;
}

#ifdef _WIN32
// Windows only: names are UTF-16, where the one flaw is a surrogate without its partner.
constexpr bool isHighSurrogate(unsigned unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool isLowSurrogate(unsigned unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Calls whole(code point) for each character and lone(unit) for each unpaired surrogate.
template <typename Whole, typename Lone>
void splitUtf16(const std::wstring& units, Whole whole, Lone lone) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const unsigned unit = units[i];
        if (isHighSurrogate(unit) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
            whole(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00u));
            ++i;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            lone(unit);
        } else {
            whole(unit);
        }
    }
}
#endif

} // namespace

void splitUtf8(std::string_view bytes, const std::function<void(std::string_view)>& text,
               const std::function<void(unsigned char)>& stray) {
    std::size_t runStart = 0;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t length = sequenceLength(bytes, at);
        if (length > 0) {
            at += length;
            continue;
        }
        if (at > runStart)
            text(bytes.substr(runStart, at - runStart));
        stray(static_cast<unsigned char>(bytes[at]));
        runStart = ++at;
    }
    if (at > runStart)
        text(bytes.substr(runStart));
}

#ifdef _WIN32
std::string displayPath(const fs::path& path) {
    std::string out;
    splitUtf16(
        path.native(), [&](char32_t c) { appendUtf8(out, c); },
        [&](unsigned unit) {
            out += "\\u";
            appendHex(out, unit, 4);
        });
    return out;
}

bool isWellFormed(const fs::path& path) {
    bool wellFormed = true;
    splitUtf16(
        path.native(), [](char32_t) {}, [&](unsigned) { wellFormed = false; });
    return wellFormed;
}
#else
std::string displayPath(const fs::path& path) {
    std::string out;
    splitUtf8(
        path.native(), [&](std::string_view run) { out += run; },
        [&](unsigned char byte) {
            out += "\\x";
            appendHex(out, byte, 2);
        });
    return out;
}

bool isWellFormed(const fs::path& path) {
    const std::string& bytes = path.native();
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = sequenceLength(bytes, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}
#endif

} // namespace engine
