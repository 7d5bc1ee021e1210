#include "engine/file_formats.h"

#include "engine/os_file.h"
#include "engine/path_text.h"

#include <iomanip>
#include <sstream>
#include <stdexcept>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace engine {

namespace fs = std::filesystem;

namespace {

// Whether every CR is followed by an LF. Sixteen bytes are looked at a time: searching for one
// CR after another costs a call for every line, which on a big script takes several times as
// long as copying it.
bool everyCrBeforeLf(std::string_view bytes) {
    std::size_t at = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; at + 17 <= bytes.size(); at += 16) {
        const auto* here = reinterpret_cast<const __m128i*>(bytes.data() + at);
        const auto* next = reinterpret_cast<const __m128i*>(bytes.data() + at + 1);
        const __m128i lone = _mm_andnot_si128(_mm_cmpeq_epi8(_mm_loadu_si128(next), lf),
                                              _mm_cmpeq_epi8(_mm_loadu_si128(here), cr));
        if (_mm_movemask_epi8(lone) != 0)
            return false;
    }
#endif
    for (; at < bytes.size(); ++at) {
        if (bytes[at] == '\r' && (at + 1 == bytes.size() || bytes[at + 1] != '\n'))
            return false;
    }
    return true;
}

// Most scripts already end every line in CR LF: then the bytes are the text.
bool isScriptText(std::string_view bytes) {
    return bytes.empty() || (bytes.ends_with(lineEnd) && everyCrBeforeLf(bytes));
}

std::string withCrLfLineEnds(std::string_view in) {
    const std::size_t size = in.size();
    std::string text;
    text.reserve(size + size / 16 + 2);
    os::adviseLargePages(text.data(), text.capacity());
    std::size_t lineStart = 0;
    for (std::size_t cr = in.find('\r'); cr != std::string_view::npos;
         cr = in.find('\r', lineStart)) {
        text.append(in.substr(lineStart, cr - lineStart));
        text.append(lineEnd);
        lineStart = cr + 1;
        if (lineStart < size && in[lineStart] == '\n')
            ++lineStart;
    }
    if (lineStart < size) {
        text.append(in.substr(lineStart));
        text.append(lineEnd);
    }
    return text;
}

} // namespace

fs::path pathFromUtf8(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

fs::path backupPathFor(const fs::path& script) {
    fs::path backup = script;
    backup += backupSuffix;
    return backup;
}

fs::path markerNameFor(const fs::path& scriptName) {
    fs::path name(".~");
    name += scriptName;
    name += "#";
    return name;
}

// Names are written in their readable form, which every system can write.
std::string markerText(const fs::path& scriptName) {
    const std::string script = displayName(scriptName);
    const std::string backup = displayName(backupPathFor(scriptName));
    return backup + "\n" + "Morvane 4.8 Patch is writing " + script +
           " in place. Where this file is left, that write was cut short: " + script +
           " may be incomplete, and " + backup + " holds it as it was.\n";
}

bool markerNamesBackupOf(std::string_view text, const fs::path& scriptName) {
    const std::string backup = displayName(backupPathFor(scriptName));
    return text.size() > backup.size() && text.starts_with(backup) && text[backup.size()] == '\n';
}

std::string scriptTextFromBytes(std::string bytes) {
    if (isScriptText(bytes))
        return bytes;
    return withCrLfLineEnds(bytes);
}

ScriptContent::ScriptContent(std::string bytes)
    : bytes_(std::move(bytes))
    , textIsBytes_(isScriptText(bytes_)) {
    if (!textIsBytes_)
        text_ = withCrLfLineEnds(bytes_);
}

std::string ScriptContent::takeText() && {
    if (textIsBytes_)
        return std::move(bytes_);
    bytes_ = std::string(); // as big as the text: not kept while the text is patched
    return std::move(text_);
}

std::string logDateText(const std::tm& localTime, const std::locale& locale) {
    const bool midnight = localTime.tm_hour == 0 && localTime.tm_min == 0 && localTime.tm_sec == 0;
    std::ostringstream text;
    text.imbue(locale);
    text << std::put_time(&localTime, midnight ? "%x" : "%x %X");
    return text.str();
}

namespace {

std::string headerWithDate(std::string_view dateText) {
    std::string header = "-- " + std::string(dateText) + "--";
    header += lineEnd;
    header += logMarkerLine;
    header += lineEnd;
    return header;
}

} // namespace

std::string logHeader(const std::tm& localTime, const std::locale& locale) {
    return headerWithDate(logDateText(localTime, locale));
}

std::string logHeader(const std::tm& localTime) {
    return headerWithDate(userDateText(localTime));
}

std::locale userLocale() {
    try {
        return std::locale("");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

} // namespace engine
