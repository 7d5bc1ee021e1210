// Windows: a path is UTF-16 units, where the one flaw is a surrogate without its partner,
// written as \uHHHH.

#include "engine/path_text.h"
#include "engine/path_text_escape.h"

namespace engine {

namespace fs = std::filesystem;

namespace {

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

} // namespace

std::string displayName(const fs::path& name) {
    std::string out;
    splitUtf16(
        name.native(), [&](char32_t c) { appendUtf8(out, c); },
        [&](unsigned unit) { appendEscape(out, "\\u", unit, 4); });
    return out;
}

// Qt hands paths over with forward slashes; a Windows user reads them with backslashes.
std::string displayPath(const fs::path& path) {
    return displayName(fs::path(path).make_preferred());
}

std::basic_string_view<fs::path::value_type> notInAName() {
    using namespace std::string_view_literals;
    // A colon would name a drive ("c:x") or another stream of the file ("x.mrc:hidden").
    return L"/\\:\0"sv;
}

bool isDeviceName(const fs::path& name) {
    // The part before the first dot, blanks at its end dropped, in capitals.
    std::wstring base = name.native().substr(0, name.native().find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    for (wchar_t& c : base)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    static constexpr std::wstring_view devices[] = {L"CON", L"PRN",    L"AUX",
                                                    L"NUL", L"CONIN$", L"CONOUT$"};
    for (std::wstring_view device : devices)
        if (base == device)
            return true;
    // COM1 to COM9 and LPT1 to LPT9, the digits ¹, ² and ³ included.
    return base.size() == 4 && (base.starts_with(L"COM") || base.starts_with(L"LPT")) &&
           ((base[3] >= L'1' && base[3] <= L'9') || base[3] == L'\u00B9' || base[3] == L'\u00B2' ||
            base[3] == L'\u00B3');
}

bool isWellFormed(const fs::path& path) {
    bool wellFormed = true;
    splitUtf16(
        path.native(), [](char32_t) {}, [&](unsigned) { wellFormed = false; });
    return wellFormed;
}

} // namespace engine
