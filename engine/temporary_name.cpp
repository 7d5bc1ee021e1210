#include "engine/temporary_name.h"

#include <algorithm>

namespace engine {

namespace {

constexpr std::string_view prefix = ".~mp";
constexpr std::string_view digits = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr std::string_view earlierPrefix = ".morvane-";
constexpr std::string_view earlierSuffix = ".tmp";
constexpr std::size_t earlierDigits = 12;

bool allOf(std::string_view text, std::string_view allowed) {
    return !text.empty() && text.find_first_not_of(allowed) == std::string_view::npos;
}

std::size_t checkLength(std::size_t length) {
    return std::max<std::size_t>(3, (length - prefix.size()) / 2);
}

// FNV-1a over the name so far, mixed so that every bit of it reaches every digit of the code.
std::string checkCode(std::string_view named, std::size_t length) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : named) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3u;
    }
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdu;
    hash ^= hash >> 33;
    std::string code;
    for (std::size_t i = 0; i < length; ++i) {
        code += digits[hash % digits.size()];
        hash /= digits.size();
    }
    return code;
}

} // namespace

std::string temporaryName(std::size_t length, std::uint64_t random) {
    length = std::clamp(length, shortestTemporaryName, longestTemporaryName);
    const std::size_t drawn = length - checkLength(length);
    std::string name(prefix);
    while (name.size() < drawn) {
        name += digits[random % digits.size()];
        random /= digits.size();
    }
    return name + checkCode(name, length - drawn);
}

bool isTemporaryName(std::string_view name) {
    if (name.starts_with(prefix) && name.size() >= shortestTemporaryName &&
        name.size() <= longestTemporaryName && allOf(name.substr(prefix.size()), digits)) {
        const std::size_t drawn = name.size() - checkLength(name.size());
        return name.substr(drawn) == checkCode(name.substr(0, drawn), name.size() - drawn);
    }
    if (name.starts_with(earlierPrefix) && name.ends_with(earlierSuffix) &&
        name.size() == earlierPrefix.size() + earlierDigits + earlierSuffix.size())
        return allOf(name.substr(earlierPrefix.size(), earlierDigits), digits.substr(0, 16));
    return false;
}

} // namespace engine
