#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The names of the program's temporary files. They are hidden and never end in ".mrc", so no
// file list shows one; they are never longer than the backup's name (8 bytes at the least), so
// that wherever the backup's name fits they fit too; and they end in a check code worked out
// from the rest of the name, so that a later run can remove what a run that was killed left
// behind without taking a user's own file (".~mpnotes") for one.
namespace engine {

inline constexpr std::size_t shortestTemporaryName = 8;
inline constexpr std::size_t longestTemporaryName = 16;

// A name of length bytes, kept between the shortest and the longest: ".~mp", letters and digits
// drawn from random, then the check code (half of what follows ".~mp", three at the least).
std::string temporaryName(std::size_t length, std::uint64_t random);

// Whether name is one that temporaryName gives, or one of the ".morvane-<12 hex digits>.tmp"
// that the earliest versions of the program used.
bool isTemporaryName(std::string_view name);

} // namespace engine
