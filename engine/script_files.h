#pragma once

#include "path_text.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <locale>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

// The bytes the patcher reads and writes: the script, its backup and the patch log.
// Everything is handled as bytes; nothing is decoded, so every byte outside the patched
// texts comes back as it was.
namespace engine {

inline constexpr std::string_view lineEnd = "\r\n";
inline constexpr std::string_view logFileName = "parselog.log";
inline constexpr std::string_view backupSuffix = ".bak";
inline constexpr std::string_view logMarkerLine = "-- v48a.catmend --";
// Why a script bigger than the memory a run may use is refused.
inline constexpr std::string_view tooLargeReason = "it is too large to patch";

// A file operation that failed, in words a user understands:
// what() reads "Could not <operation> "<path>": <reason>."
class FileError : public std::runtime_error {
public:
    FileError(std::string_view operation, const std::filesystem::path& path,
              std::string_view reason);
};

std::filesystem::path pathFromUtf8(std::string_view utf8);
std::filesystem::path backupPathFor(const std::filesystem::path& script);

// Lines end at CR LF or at a lone CR; a lone LF stays inside its line. Each line is given
// back followed by CR LF, the last one included; an empty file gives no lines.
std::string scriptTextFromBytes(std::string bytes);

// The date and time as the locale writes them (%x %X), the date alone at exactly midnight.
std::string logDateText(const std::tm& localTime, const std::locale& locale);

// The two lines that open a log record, each ending in CR LF.
std::string logHeader(const std::tm& localTime, const std::locale& locale);

// The user's locale, or the classic one where the environment names a locale that is missing.
std::locale userLocale();

// Fails unless path is a regular file or a link to one: a folder must never be read as an
// empty script, and a FIFO or device would hang the read.
void requireRegularFile(const std::filesystem::path& path, std::string_view operation);

// The whole file. A file too large for memory fails with tooLargeReason rather than ending the
// program.
std::string readFileBytes(const std::filesystem::path& path, std::string_view operation);

// Fails when path's name is longer than its folder's file system takes, before anything is
// written under a name that could never exist.
void requireNameFits(const std::filesystem::path& path, std::string_view operation);

// Gives the file at target the content text + tail, or leaves it as it was: the bytes go to a
// hidden temporary file beside it, are flushed to disk and then renamed over the target.
// A link is followed and kept; the target's permission bits are kept.
void replaceFileContents(const std::filesystem::path& target, std::string_view text,
                         std::string_view tail, std::string_view operation);

// The patch log, open for appending for as long as the object lives. Its folder is made first
// when it is missing.
class LogFile {
public:
    explicit LogFile(std::filesystem::path path);
    void append(std::string_view bytes);
    // Flushes to disk and closes; after this the appended bytes survive a crash.
    void syncAndClose();
    const std::filesystem::path& path() const { return path_; }

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::filesystem::path path_;
    std::unique_ptr<std::FILE, Closer> file_;
};

} // namespace engine
