#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The names of the program's temporary files. They are hidden and never end in ".mrc", so no
// file list shows one; they are never longer than the backup's name, so that wherever the
// backup's name fits they fit too; and they are told apart from every other name, so that a
// later run can remove what a run that was killed left behind.
namespace engine {

inline constexpr std::size_t shortestTemporaryName = 5;
inline constexpr std::size_t longestTemporaryName = 16;

// A name of length bytes, kept between the shortest and the longest: ".~mp" and then letters
// and digits drawn from random.
std::string temporaryName(std::size_t length, std::uint64_t random);

// Whether name is one that temporaryName gives, or one of the ".morvane-<12 hex digits>.tmp"
// that earlier versions of the program used.
bool isTemporaryName(std::string_view name);

} // namespace engine
