#pragma once

#include <string>
#include <string_view>

namespace engine {

// Writes value as digits upper-case hexadecimal digits after prefix: how a path's readable form
// writes a byte ("\xHH") or a UTF-16 unit ("\uHHHH") that is not text.
inline void appendEscape(std::string& out, std::string_view prefix, unsigned value, int digits) {
    constexpr std::string_view hexDigits = "0123456789ABCDEF";
    out += prefix;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += hexDigits[(value >> shift) & 0xF];
}

} // namespace engine
