#include "engine/path_text.h"

#include <array>

namespace engine {

namespace fs = std::filesystem;

namespace {

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

} // namespace engine
