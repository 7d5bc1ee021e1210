#include "assets/font_edit.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

namespace assets {
namespace {

constexpr std::uint32_t tag(std::string_view name) {
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
           std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint32_t(std::uint8_t(name[3]));
}

constexpr std::uint32_t trueTypeOutlines = 0x00010000;
constexpr std::uint32_t appleTrueType = tag("true");
constexpr std::uint32_t checksumMagic = 0xB1B0AFBA;
constexpr std::uint16_t useTypoMetrics = 1u << 7;

// Offsets of the fields used here, from the start of their table or record.
constexpr std::size_t directoryHeaderSize = 12;
constexpr std::size_t tableRecordSize = 16;
constexpr std::size_t headChecksumAdjustment = 8;
constexpr std::size_t headUnitsPerEm = 18;
constexpr std::size_t headMinimumSize = 54;
constexpr std::size_t os2FsSelection = 62;
constexpr std::size_t os2WinAscent = 74;
constexpr std::size_t os2WinDescent = 76;
constexpr std::size_t os2MinimumSize = 78;
constexpr std::size_t eblcFirstSize = 8;
constexpr std::size_t eblcSizeRecord = 48;
constexpr std::size_t eblcHoriAscender = 16;
constexpr std::size_t eblcHoriDescender = 17;
constexpr std::size_t eblcPpemY = 45;
constexpr std::size_t hheaAscender = 4;
constexpr std::size_t hheaDescender = 6;
constexpr std::size_t hheaLineGap = 8;
constexpr std::size_t hheaMinimumSize = 36;
constexpr std::size_t nameCount = 2;
constexpr std::size_t nameStorage = 4;
constexpr std::size_t nameFirstRecord = 6;
constexpr std::size_t nameRecordSize = 12;
constexpr std::uint16_t nameIdFamily = 1;
constexpr std::uint16_t platformUnicode = 0;
constexpr std::uint16_t platformMacintosh = 1;
constexpr std::uint16_t platformWindows = 3;

// The font file's bytes, read and written big-endian, every access checked against the end.
class FontBytes {
public:
    explicit FontBytes(std::string& bytes)
        : bytes(bytes) {}

    std::size_t size() const { return bytes.size(); }

    std::uint8_t u8(std::size_t at) const {
        check(at, 1);
        return std::uint8_t(bytes[at]);
    }
    std::uint16_t u16(std::size_t at) const {
        check(at, 2);
        return std::uint16_t(u8(at) << 8 | u8(at + 1));
    }
    std::uint32_t u32(std::size_t at) const {
        check(at, 4);
        return std::uint32_t(u16(at)) << 16 | u16(at + 2);
    }

    void setU8(std::size_t at, std::uint8_t value) {
        check(at, 1);
        bytes[at] = char(value);
    }
    void setU16(std::size_t at, std::uint16_t value) {
        setU8(at, std::uint8_t(value >> 8));
        setU8(at + 1, std::uint8_t(value));
    }
    void setU32(std::size_t at, std::uint32_t value) {
        setU16(at, std::uint16_t(value >> 16));
        setU16(at + 2, std::uint16_t(value));
    }

    // The sum of the big-endian 32-bit words in a range, the last one padded with zeros: the
    // checksum of a table, and over the whole file the base of head's checksum adjustment.
    std::uint32_t checksum(std::size_t at, std::size_t length) const {
        check(at, length);
        std::uint32_t sum = 0;
        for (std::size_t word = 0; word < length; word += 4) {
            std::uint32_t value = 0;
            for (std::size_t i = word; i < word + 4; ++i)
                value = value << 8 | (i < length ? u8(at + i) : 0u);
            sum += value;
        }
        return sum;
    }

    void check(std::size_t at, std::size_t length) const {
        if (at > bytes.size() || length > bytes.size() - at)
            throw std::runtime_error("the font file ends before the data it points to");
    }

private:
    std::string& bytes;
};

// Above and below the baseline, in font units.
struct LineMetrics {
    std::uint32_t ascent;
    std::uint32_t descent;
};

struct Table {
    std::uint32_t tag;
    std::size_t record; // where the table's entry in the directory begins
    std::size_t offset;
    std::size_t length;
};

std::vector<Table> readDirectory(const FontBytes& font) {
    const std::uint32_t version = font.u32(0);
    if (version != trueTypeOutlines && version != appleTrueType)
        throw std::runtime_error("the data is not a TrueType font file");
    const std::size_t count = font.u16(4);
    std::vector<Table> tables;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t record = directoryHeaderSize + i * tableRecordSize;
        const Table table{font.u32(record), record, font.u32(record + 8), font.u32(record + 12)};
        font.check(table.offset, table.length);
        tables.push_back(table);
    }
    return tables;
}

std::optional<Table> find(const std::vector<Table>& tables, std::uint32_t wanted) {
    const auto found = std::find_if(tables.begin(), tables.end(),
                                    [wanted](const Table& table) { return table.tag == wanted; });
    return found == tables.end() ? std::nullopt : std::optional<Table>(*found);
}

Table require(const std::vector<Table>& tables, std::string_view name, std::size_t minimumSize) {
    const std::optional<Table> table = find(tables, tag(name));
    if (!table || table->length < minimumSize)
        throw std::runtime_error("the font file has no complete " + std::string(name) + " table");
    return *table;
}

// Windows rounds its line metrics to whole pixels, each on its own.
std::uint32_t windowsPixels(std::uint32_t fontUnits, std::uint32_t pixelsPerEm,
                            std::uint32_t unitsPerEm) {
    return (fontUnits * pixelsPerEm + unitsPerEm / 2) / unitsPerEm;
}

// At a size that has bitmaps, Qt takes the ascent and descent from the size's EBLC line metrics
// rather than from the outlines, so each size must carry the Windows ones too. Returns the sizes,
// in pixels per em.
std::vector<std::uint32_t> giveBitmapSizesWindowsMetrics(FontBytes& font, const Table& eblc,
                                                         const LineMetrics& windows,
                                                         std::uint32_t unitsPerEm) {
    const std::size_t count = font.u32(eblc.offset + 4);
    if (count > (eblc.length - std::min(eblc.length, eblcFirstSize)) / eblcSizeRecord)
        throw std::runtime_error("the font file's EBLC table lists more sizes than it holds");
    std::vector<std::uint32_t> sizes;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t size = eblc.offset + eblcFirstSize + i * eblcSizeRecord;
        const std::uint32_t pixelsPerEm = font.u8(size + eblcPpemY);
        // The fields are signed bytes; the descender is stored negative, below the baseline.
        const auto ascent =
            std::min<std::uint32_t>(windowsPixels(windows.ascent, pixelsPerEm, unitsPerEm), 127);
        const auto descent =
            std::min<std::uint32_t>(windowsPixels(windows.descent, pixelsPerEm, unitsPerEm), 127);
        font.setU8(size + eblcHoriAscender, std::uint8_t(ascent));
        font.setU8(size + eblcHoriDescender, std::uint8_t(-std::int32_t(descent)));
        sizes.push_back(pixelsPerEm);
    }
    return sizes;
}

// The largest value in font units that FreeType, rounding up, turns into Windows' rounding of
// the given metric at every one of the sizes; none if no value does.
std::optional<std::uint32_t> roundingUpLikeWindows(std::uint32_t fontUnits,
                                                   const std::vector<std::uint32_t>& sizes,
                                                   std::uint32_t unitsPerEm) {
    std::uint32_t largest = fontUnits;
    for (const std::uint32_t pixelsPerEm : sizes) {
        if (pixelsPerEm == 0)
            continue;
        const std::uint32_t pixels = windowsPixels(fontUnits, pixelsPerEm, unitsPerEm);
        largest = std::min(largest, pixels * unitsPerEm / pixelsPerEm);
    }
    for (const std::uint32_t pixelsPerEm : sizes) {
        const std::uint32_t roundedUp = (largest * pixelsPerEm + unitsPerEm - 1) / unitsPerEm;
        if (roundedUp != windowsPixels(fontUnits, pixelsPerEm, unitsPerEm))
            return std::nullopt;
    }
    return largest;
}

// Whenever Qt sets the face to a bitmap size afresh, it takes the leading from FreeType's outline
// metrics, which FreeType rounds outward where Windows rounds to the nearest pixel: at 11 pixels
// the descent of 2.27 becomes 3 against Windows' 2, the leading -1, and lines come 12 pixels apart
// instead of 13, or 13, depending on which text Qt happened to set first. So hhea gets the
// largest ascender and descender that FreeType rounds to Windows' values at every bitmap size,
// and the line gap the rest, keeping the line height at winAscent + winDescent. Windows reads
// hhea only for the external leading, which stays 0.
void roundOutlineMetricsLikeWindows(FontBytes& font, const Table& hhea, const LineMetrics& windows,
                                    const std::vector<std::uint32_t>& sizes,
                                    std::uint32_t unitsPerEm) {
    const auto ascender = roundingUpLikeWindows(windows.ascent, sizes, unitsPerEm);
    const auto descender = roundingUpLikeWindows(windows.descent, sizes, unitsPerEm);
    if (!ascender || !descender)
        return;
    font.setU16(hhea.offset + hheaAscender, std::uint16_t(*ascender));
    font.setU16(hhea.offset + hheaDescender, std::uint16_t(-std::int32_t(*descender)));
    font.setU16(hhea.offset + hheaLineGap,
                std::uint16_t(windows.ascent + windows.descent - *ascender - *descender));
}

// Takes the features tagged liga out of one language system's list, keeping the others in order.
void dropLigatures(FontBytes& font, std::size_t langSys, std::size_t featureList) {
    const std::size_t featureCount = font.u16(featureList);
    const std::size_t count = font.u16(langSys + 4);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t index = font.u16(langSys + 6 + 2 * i);
        if (index >= featureCount)
            throw std::runtime_error("the font file's GSUB table names a feature it lacks");
        if (font.u32(featureList + 2 + 6 * std::size_t(index)) == tag("liga"))
            continue;
        font.setU16(langSys + 6 + 2 * kept, index);
        ++kept;
    }
    font.setU16(langSys + 4, std::uint16_t(kept));
}

void dropLatinLigatures(FontBytes& font, const Table& gsub) {
    const std::size_t scriptList = gsub.offset + font.u16(gsub.offset + 4);
    const std::size_t featureList = gsub.offset + font.u16(gsub.offset + 6);
    const std::size_t scriptCount = font.u16(scriptList);
    for (std::size_t i = 0; i < scriptCount; ++i) {
        const std::size_t record = scriptList + 2 + 6 * i;
        if (font.u32(record) != tag("latn"))
            continue;
        const std::size_t script = scriptList + font.u16(record + 4);
        if (const std::size_t defaultLangSys = font.u16(script))
            dropLigatures(font, script + defaultLangSys, featureList);
        const std::size_t langSysCount = font.u16(script + 2);
        for (std::size_t k = 0; k < langSysCount; ++k)
            dropLigatures(font, script + font.u16(script + 4 + 6 * k + 4), featureList);
    }
}

void updateChecksums(FontBytes& font, const std::vector<Table>& tables, const Table& head) {
    // head's own checksum is taken with the adjustment at zero, and so is the file's.
    font.setU32(head.offset + headChecksumAdjustment, 0);
    for (const Table& table : tables)
        font.setU32(table.record + 4, font.checksum(table.offset, table.length));
    font.setU32(head.offset + headChecksumAdjustment,
                checksumMagic - font.checksum(0, font.size()));
}

// A name as one name record stores it: one byte a letter for the Macintosh platform, whose
// Roman encoding agrees with ASCII; big-endian UTF-16 otherwise.
std::string encodedName(std::string_view ascii, std::uint16_t platform) {
    if (platform == platformMacintosh)
        return std::string(ascii);
    std::string wide;
    for (const char letter : ascii) {
        wide += '\0';
        wide += letter;
    }
    return wide;
}

} // namespace

std::string renamedCopy(std::string_view fontFile, std::string_view from, std::string_view to) {
    const auto ascii = [](std::string_view name) {
        return std::all_of(name.begin(), name.end(),
                           [](char letter) { return letter > ' ' && letter < 0x7F; });
    };
    if (from.empty() || from.size() != to.size() || !ascii(from) || !ascii(to))
        throw std::runtime_error("a font is renamed only to a name of the same length in ASCII");
    std::string copy(fontFile);
    FontBytes font(copy);
    const std::vector<Table> tables = readDirectory(font);
    const Table head = require(tables, "head", headMinimumSize);
    const Table name = require(tables, "name", nameFirstRecord);
    const std::size_t storage = name.offset + font.u16(name.offset + nameStorage);
    const std::size_t count = font.u16(name.offset + nameCount);
    bool familyRenamed = false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t record = name.offset + nameFirstRecord + i * nameRecordSize;
        const std::uint16_t platform = font.u16(record);
        if (platform != platformUnicode && platform != platformMacintosh &&
            platform != platformWindows)
            continue;
        const std::size_t length = font.u16(record + 8);
        const std::size_t at = storage + font.u16(record + 10);
        font.check(at, length);
        const std::string old = encodedName(from, platform);
        const std::string replacement = encodedName(to, platform);
        // Every occurrence, so that full and PostScript names ("Tahoma Bold", "WineTahoma") say
        // the same family; a record sharing its letters with an earlier one finds them renamed.
        std::string_view text(copy.data() + at, length);
        for (std::size_t found = text.find(old); found != std::string_view::npos;
             found = text.find(old, found + old.size())) {
            if (platform != platformMacintosh && found % 2 != 0)
                continue;
            copy.replace(at + found, replacement.size(), replacement);
        }
        if (font.u16(record + 6) == nameIdFamily &&
            text.find(replacement) != std::string_view::npos)
            familyRenamed = true;
    }
    if (!familyRenamed)
        throw std::runtime_error("the font file's family is not named " + std::string(from));
    updateChecksums(font, tables, head);
    return copy;
}

std::string classicLayoutCopy(std::string_view fontFile) {
    std::string copy(fontFile);
    FontBytes font(copy);
    const std::vector<Table> tables = readDirectory(font);
    const Table head = require(tables, "head", headMinimumSize);
    const Table os2 = require(tables, "OS/2", os2MinimumSize);
    const std::uint32_t unitsPerEm = font.u16(head.offset + headUnitsPerEm);
    if (unitsPerEm == 0)
        throw std::runtime_error("the font file gives its letters no size");

    font.setU16(os2.offset + os2FsSelection,
                std::uint16_t(font.u16(os2.offset + os2FsSelection) & ~useTypoMetrics));
    const LineMetrics windows{font.u16(os2.offset + os2WinAscent),
                              font.u16(os2.offset + os2WinDescent)};
    if (const std::optional<Table> eblc = find(tables, tag("EBLC"))) {
        const std::vector<std::uint32_t> sizes =
            giveBitmapSizesWindowsMetrics(font, *eblc, windows, unitsPerEm);
        roundOutlineMetricsLikeWindows(font, require(tables, "hhea", hheaMinimumSize), windows,
                                       sizes, unitsPerEm);
    }
    if (const std::optional<Table> gsub = find(tables, tag("GSUB")))
        dropLatinLigatures(font, *gsub);
    updateChecksums(font, tables, head);
    return copy;
}

} // namespace assets
