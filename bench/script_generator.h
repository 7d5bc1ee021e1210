#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Scripts in the add-on's language, of any size, for benchmarks and tests. The same size and
// seed always give the same bytes, so figures from different runs and machines compare.
namespace bench {

// The smallest script that still holds the four lines the patch looks for.
std::size_t minimumScriptSize();

// A script of exactly `size` bytes (at least minimumScriptSize()), every line ending in CR LF:
// events, aliases, dialog tables, `did` and `didtok $dname` lines that no rule matches, comments
// and blank lines. The two category lists, the debug command and the version alias (reading
// 4.8) are each present exactly once, spread over the file so that a search has to go through
// all of it.
std::string generateScript(std::size_t size, std::uint64_t seed = 1);

} // namespace bench
