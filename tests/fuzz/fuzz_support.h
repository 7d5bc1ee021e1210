#pragma once

#include "engine/patch_rules.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

// What the three fuzz targets share: reading the fuzzer's bytes, building script text from
// them, a reference substitution to hold the engine's against, and a loud failure that the
// fuzzer records as a crash with its input.
namespace fuzz_support {

// The fuzzer's bytes, taken from the front. Once they run out every read gives zero bytes,
// so any input, however short, still makes one complete case.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : bytes_(reinterpret_cast<const char*>(data), size) {}

    std::uint8_t byte() {
        if (bytes_.empty())
            return 0;
        const auto value = static_cast<std::uint8_t>(bytes_.front());
        bytes_.remove_prefix(1);
        return value;
    }

    std::string_view take(std::size_t count) {
        const std::string_view taken = bytes_.substr(0, count);
        bytes_.remove_prefix(taken.size());
        return taken;
    }

    std::string_view rest() const { return bytes_; }

private:
    std::string_view bytes_;
};

// The five rules, in the order the two groups apply them.
inline constexpr std::array<engine::PatchRule, 5> realRules{
    engine::ruleC1, engine::ruleC2, engine::ruleC3, engine::ruleV1, engine::ruleV2};

// The byte that starts a piece in scriptFromPieces.
inline constexpr char pieceMark = '\xFF';

// The longest text a doubling makes; past a few thousand matches the rules take another path.
inline constexpr std::size_t doublingLimit = 1 << 16;

// A random mutator almost never writes a 246-character category list, so without help the
// rules would only ever see text they do not match. In the fuzzer's bytes 0xFF followed by a
// selector stands for a piece of script: a rule's find text, its replacement, its find text
// less the last character (a near miss), or a CR LF; selectors 0xF0 to 0xFE double the text
// so far (up to doublingLimit), so a short input can carry thousands of matches; 0xFF 0xFF is a
// plain 0xFF. Every other byte is itself, so every byte string can still be reached.
inline std::string scriptFromPieces(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != pieceMark || i + 1 == bytes.size()) {
            text += bytes[i];
            continue;
        }
        const auto selector = static_cast<std::uint8_t>(bytes[++i]);
        if (selector == 0xFF) {
            text += pieceMark;
            continue;
        }
        if (selector >= 0xF0) {
            if (text.size() <= doublingLimit / 2)
                text.append(std::string(text));
            continue;
        }
        const std::size_t choice = selector % 16;
        if (choice == 15) {
            text += "\r\n";
            continue;
        }
        const engine::PatchRule& rule = realRules[choice % 5];
        if (choice < 5)
            text += rule.find;
        else if (choice < 10)
            text += rule.replacement;
        else
            text += rule.find.substr(0, rule.find.size() - 1);
    }
    return text;
}

// The substitution as plainly as it can be written: at each position either the find text
// starts there (emit the replacement, or the find text itself when the text as given has the
// rule's leaveAfter just before it; step past the match) or it does not (copy one byte).
inline engine::RuleResult referenceReplace(std::string_view text, const engine::PatchRule& rule) {
    const std::string_view find = rule.find;
    const std::string_view before = rule.leaveAfter;
    engine::RuleResult result;
    if (find.empty()) {
        result.text = text; // the engine's choice: an empty find text matches nothing
        return result;
    }
    std::size_t at = 0;
    while (at < text.size()) {
        // The first byte is tested on its own only to keep the fuzzer's comparison hooks
        // from weighing every position.
        if (text.size() - at >= find.size() && text[at] == find[0] &&
            std::memcmp(text.data() + at, find.data(), find.size()) == 0) {
            const bool left = !before.empty() && at >= before.size() &&
                              text.substr(at - before.size(), before.size()) == before;
            result.text += left ? find : rule.replacement;
            result.replacements += left ? 0 : 1;
            at += find.size();
        } else {
            result.text += text[at];
            ++at;
        }
    }
    return result;
}

// Shows a text with its control bytes escaped, cut short so a failure stays readable.
inline std::string printable(std::string_view text) {
    constexpr std::size_t limit = 400;
    std::string shown;
    for (const char c : text.substr(0, limit)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\r')
            shown += "\\r";
        else if (byte == '\n')
            shown += "\\n";
        else if (byte == '\\')
            shown += "\\\\";
        else if (byte < 0x20 || byte >= 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else
            shown += c;
    }
    if (text.size() > limit)
        shown += "... (" + std::to_string(text.size()) + " bytes)";
    return shown;
}

// Aborts, which libFuzzer reports as a crash and saves the input that led here.
[[noreturn]] inline void fail(std::string_view what) {
    std::fprintf(stderr, "\nFUZZ CHECK FAILED: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
}

inline void expectEqual(std::string_view what, std::string_view actual, std::string_view expected) {
    if (actual != expected)
        fail(std::string(what) + "\n  actual:   \"" + printable(actual) + "\"\n  expected: \"" +
             printable(expected) + "\"");
}

inline void expectEqual(std::string_view what, std::size_t actual, std::size_t expected) {
    if (actual != expected)
        fail(std::string(what) + ": " + std::to_string(actual) + " instead of " +
             std::to_string(expected));
}

inline void expectTrue(std::string_view what, bool condition) {
    if (!condition)
        fail(what);
}

} // namespace fuzz_support
