#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

// How a file name reads as text. A name is whatever the file system holds: bytes on Linux,
// UTF-16 units on Windows, and neither need be valid text. Every message and every list shows a
// name in the one readable form given here, while the name itself is used only as a path.
namespace engine {

// Splits bytes into runs of well-formed UTF-8, handed to text, and the single bytes between them
// that belong to no well-formed sequence, handed to stray: a lone continuation byte, a cut-off
// sequence, an overlong form, an encoded surrogate or a code point past U+10FFFF.
void splitUtf8(std::string_view bytes, const std::function<void(std::string_view)>& text,
               const std::function<void(unsigned char)>& stray);

// A name as UTF-8 text. On Linux each byte that is not part of UTF-8 is written as \xHH; on
// Windows a surrogate without its partner is written as \uHHHH.
std::string displayName(const std::filesystem::path& name);

// A path as UTF-8 text, written as displayName writes it, with the system's own folder
// separator: a backslash on Windows, whichever separator the path was given with.
std::string displayPath(const std::filesystem::path& path);

// Whether the path is valid text as it stands, so that displayPath writes no escapes for it.
// Only then is its readable form certain to name it alone.
bool isWellFormed(const std::filesystem::path& path);

// Whether Windows takes the name for one of its devices (CON, PRN, AUX, NUL, COM1 to COM9, LPT1
// to LPT9, CONIN$, CONOUT$), whatever its extension: opening it by its plain path would open
// the device. Never on Linux.
bool isDeviceName(const std::filesystem::path& name);

// The characters a single file name never holds on this system: the folder separators, the
// drive and stream separator on Windows, and the string's end.
std::basic_string_view<std::filesystem::path::value_type> notInAName();

} // namespace engine
