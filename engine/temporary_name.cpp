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

} // namespace

std::string temporaryName(std::size_t length, std::uint64_t random) {
    length = std::clamp(length, shortestTemporaryName, longestTemporaryName);
    std::string name(prefix);
    while (name.size() < length) {
        name += digits[random % digits.size()];
        random /= digits.size();
    }
    return name;
}

bool isTemporaryName(std::string_view name) {
    if (name.starts_with(prefix) && name.size() <= longestTemporaryName)
        return allOf(name.substr(prefix.size()), digits);
    if (name.starts_with(earlierPrefix) && name.ends_with(earlierSuffix) &&
        name.size() == earlierPrefix.size() + earlierDigits + earlierSuffix.size())
        return allOf(name.substr(earlierPrefix.size(), earlierDigits), digits.substr(0, 16));
    return false;
}

} // namespace engine
