#pragma once

#include <ctime>
#include <filesystem>
#include <locale>
#include <string>
#include <string_view>

// The byte formats of the files the patcher reads and writes, and their names: the script's text,
// its backup's name, the marker beside a script written in place, and the patch log's record.
// Everything is handled as bytes; nothing is decoded, so every byte outside the patched texts
// comes back as it was. The files themselves are in script_files.h.
namespace engine {

inline constexpr std::string_view lineEnd = "\r\n";
inline constexpr std::string_view logFileName = "parselog.log";
inline constexpr std::string_view backupSuffix = ".bak";
inline constexpr std::string_view logMarkerLine = "-- v48a.catmend --";

std::filesystem::path pathFromUtf8(std::string_view utf8);
std::filesystem::path backupPathFor(const std::filesystem::path& script);

// The marker that stands beside the backup while the script is written in place: ".~", the
// script's name and "#", hidden and no longer than the backup's name. Its first line names the
// backup; the rest tells whoever finds it what it means.
std::filesystem::path markerNameFor(const std::filesystem::path& scriptName);
std::string markerText(const std::filesystem::path& scriptName);
// Whether a marker's text names the backup of scriptName.
bool markerNamesBackupOf(std::string_view text, const std::filesystem::path& scriptName);

// Lines end at CR LF or at a lone CR; a lone LF stays inside its line. Each line is given
// back followed by CR LF, the last one included; an empty file gives no lines.
std::string scriptTextFromBytes(std::string bytes);

// The script as a run read it: its bytes, which the backup keeps as they were, and its text
// (scriptTextFromBytes), which the log keeps and the rules work on. Most scripts already end
// every line in CR LF; their text is their bytes, held once.
class ScriptContent {
public:
    explicit ScriptContent(std::string bytes);
    const std::string& bytes() const noexcept { return bytes_; }
    const std::string& text() const noexcept { return textIsBytes_ ? bytes_ : text_; }
    // The text, to be patched in its own buffer; the bytes go with it.
    std::string takeText() &&;

private:
    std::string bytes_;
    std::string text_;
    bool textIsBytes_;
};

// The date and time as the locale writes them (%x %X), the date alone at exactly midnight.
std::string logDateText(const std::tm& localTime, const std::locale& locale);

// The two lines that open a log record, each ending in CR LF: with the date and time as the
// locale writes them, or (the one-argument form, what a run writes) as the user's settings do.
std::string logHeader(const std::tm& localTime, const std::locale& locale);
std::string logHeader(const std::tm& localTime);

// The date and time as the user's settings write them, the date alone at exactly midnight: the
// short date and long time of the user's locale. Each system keeps these settings its own way.
std::string userDateText(const std::tm& localTime);

// The user's locale, or the classic one where the environment names a locale that is missing.
std::locale userLocale();

} // namespace engine
