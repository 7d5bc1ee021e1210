#!/usr/bin/python3
"""Makes the fonts the program embeds from Wine's Tahoma, so that Qt sets text in them the way
Windows' classic text output (GDI) does, which the windows' layout was measured with.

    make_fonts.py SOURCE OUTPUT [--family NAME]

- Lines lie as far apart as the Windows metrics of the OS/2 table say (usWinAscent above the
  baseline, usWinDescent below), rounded to whole pixels as Windows rounds them: the
  USE_TYPO_METRICS flag is cleared, every size of embedded bitmaps gets those metrics as its line
  metrics, and hhea gets an ascender and descender that FreeType rounds to the same pixels.
- Latin text gets no standard ligatures ("fi", "fl"): GDI forms none, and the ligature glyphs
  have no hand-drawn bitmaps, so they would stand out among the letters around them.
- With --family, the names say NAME wherever they said the source's family (family, full,
  unique and PostScript names): the copy the program emboldens on scaled screens.

Only the tables named above are rewritten; every other table keeps the source's bytes, head's
dates included, so the output is the same on every build of the same source font. fontTools
brings the checksums up to date as it writes.

Runs with Debian's python3 and its python3-fonttools.
"""

import argparse
import os
import sys

from fontTools.ttLib import TTFont, TTLibError
from fontTools.ttLib.tables.DefaultTable import DefaultTable

USE_TYPO_METRICS = 1 << 7
# EBLC stores a size's line metrics in signed bytes.
LARGEST_BITMAP_METRIC = 127


def windows_pixels(font_units, pixels_per_em, units_per_em):
    """Windows rounds its line metrics to whole pixels, each on its own."""
    return (font_units * pixels_per_em + units_per_em // 2) // units_per_em


def give_bitmap_sizes_windows_metrics(font, win_ascent, win_descent, units_per_em):
    """At a size that has bitmaps, Qt takes the ascent and descent from the size's EBLC line
    metrics rather than from the outlines, so each size must carry the Windows ones too.
    Returns the sizes, in pixels per em."""
    sizes = []
    for strike in font["EBLC"].strikes:
        size = strike.bitmapSizeTable
        size.hori.ascender = min(
            windows_pixels(win_ascent, size.ppemY, units_per_em), LARGEST_BITMAP_METRIC)
        size.hori.descender = -min(
            windows_pixels(win_descent, size.ppemY, units_per_em), LARGEST_BITMAP_METRIC)
        sizes.append(size.ppemY)
    return sizes


def rounding_up_like_windows(font_units, sizes, units_per_em):
    """The largest value in font units that FreeType, rounding up, turns into Windows' rounding
    of the given metric at every one of the sizes; None if no value does."""
    sizes = [size for size in sizes if size > 0]
    largest = font_units
    for size in sizes:
        pixels = windows_pixels(font_units, size, units_per_em)
        largest = min(largest, pixels * units_per_em // size)
    for size in sizes:
        rounded_up = -(-largest * size // units_per_em)
        if rounded_up != windows_pixels(font_units, size, units_per_em):
            return None
    return largest


def round_outline_metrics_like_windows(font, win_ascent, win_descent, sizes, units_per_em):
    """Whenever Qt sets the face to a bitmap size afresh, it takes the leading from FreeType's
    outline metrics, which FreeType rounds outward where Windows rounds to the nearest pixel: at
    11 pixels the descent of 2.27 becomes 3 against Windows' 2, the leading -1, and lines come
    12 pixels apart instead of 13, or 13, depending on which text Qt happened to set first. So
    hhea gets the largest ascender and descender that FreeType rounds to Windows' values at
    every bitmap size, and the line gap the rest, keeping the line height at winAscent +
    winDescent. Windows reads hhea only for the external leading, which stays 0."""
    ascender = rounding_up_like_windows(win_ascent, sizes, units_per_em)
    descender = rounding_up_like_windows(win_descent, sizes, units_per_em)
    if ascender is None or descender is None:
        return
    hhea = font["hhea"]
    hhea.ascent = ascender
    hhea.descent = -descender
    hhea.lineGap = win_ascent + win_descent - ascender - descender


def drop_latin_ligatures(font):
    """Takes the features tagged liga out of every language system of the Latin script, keeping
    the others in order."""
    gsub = font["GSUB"].table
    features = gsub.FeatureList.FeatureRecord
    for script in gsub.ScriptList.ScriptRecord:
        if script.ScriptTag != "latn":
            continue
        systems = [record.LangSys for record in script.Script.LangSysRecord]
        if script.Script.DefaultLangSys is not None:
            systems.append(script.Script.DefaultLangSys)
        for system in systems:
            system.FeatureIndex = [
                index for index in system.FeatureIndex if features[index].FeatureTag != "liga"
            ]
            system.FeatureCount = len(system.FeatureIndex)


def classic_layout(font):
    """Sets the font's lines and Latin text as GDI does. Returns the tags of the tables it
    changed."""
    units_per_em = font["head"].unitsPerEm
    if units_per_em == 0:
        raise ValueError("the font gives its letters no size")
    os2 = font["OS/2"]
    os2.fsSelection &= ~USE_TYPO_METRICS
    changed = ["OS/2"]
    if "EBLC" in font:
        sizes = give_bitmap_sizes_windows_metrics(
            font, os2.usWinAscent, os2.usWinDescent, units_per_em)
        round_outline_metrics_like_windows(
            font, os2.usWinAscent, os2.usWinDescent, sizes, units_per_em)
        changed += ["EBLC", "hhea"]
    if "GSUB" in font:
        drop_latin_ligatures(font)
        changed.append("GSUB")
    return changed


def rename_family(font, family):
    """Says `family` wherever the names said the font's own family. Returns the tags of the
    tables it changed."""
    names = font["name"]
    old = names.getDebugName(1)
    if not old:
        raise ValueError("the font names no family")
    for record in names.names:
        if record.platformID in (0, 1, 3):
            text = record.toUnicode()
            if old in text:
                record.string = text.replace(old, family)
    return ["name"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("source")
    parser.add_argument("output")
    parser.add_argument("--family", help="the family name of the copy")
    arguments = parser.parse_args()

    try:
        # Neither bounding boxes nor head's modification date are recomputed: the glyphs do
        # not change, and a date would make every build's font differ.
        edited = TTFont(arguments.source, recalcBBoxes=False, recalcTimestamp=False)
        changed = classic_layout(edited)
        if arguments.family:
            changed += rename_family(edited, arguments.family)
        # The other tables are written from the source's bytes rather than decompiled and
        # compiled again, which could move them.
        output = TTFont(arguments.source, recalcBBoxes=False, recalcTimestamp=False)
        for tag in changed:
            table = DefaultTable(tag)
            table.data = edited[tag].compile(edited)
            output[tag] = table
        # A build stopped halfway leaves no font that looks finished.
        output.save(arguments.output + ".part")
        os.replace(arguments.output + ".part", arguments.output)
    except (OSError, TTLibError, ValueError, KeyError) as failure:
        sys.exit(f"make_fonts.py: {arguments.source}: {failure}")


if __name__ == "__main__":
    main()
