#pragma once

#include <string>
#include <string_view>

namespace assets {

// Returns a copy of a TrueType font file changed so that Qt sets text in it the way Windows'
// classic text output (GDI) does, which the windows' layout was measured with:
// - lines lie as far apart as the Windows metrics of the OS/2 table say (usWinAscent above the
//   baseline, usWinDescent below), rounded to whole pixels as Windows rounds them: the
//   USE_TYPO_METRICS flag is cleared, every size of embedded bitmaps gets those metrics as its
//   line metrics, and hhea gets an ascender and descender that FreeType rounds to the same pixels;
// - Latin text gets no standard ligatures ("fi", "fl"): GDI forms none, and the ligature glyphs
//   have no hand-drawn bitmaps, so they would stand out among the letters around them.
// The checksums of the tables and of the whole file are brought up to date; nothing else changes.
// Throws std::runtime_error, saying what is wrong, if the data is not a TrueType font file with
// the tables these changes need.
std::string classicLayoutCopy(std::string_view fontFile);

// Returns a copy of a TrueType font file whose names say `to` wherever they said `from`: its
// family, full, unique and PostScript names. The two must be ASCII and equally long, so that no
// byte moves. Throws std::runtime_error if the family is not named `from`.
std::string renamedCopy(std::string_view fontFile, std::string_view from, std::string_view to);

} // namespace assets
