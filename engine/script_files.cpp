#include "script_files.h"

#include "os_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iomanip>
#include <new>
#include <random>
#include <sstream>
#include <system_error>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace engine {

namespace fs = std::filesystem;

namespace {

std::string reasonOf(int error) {
    return std::generic_category().message(error);
}

// Closes a file that a failure left open; the failure itself is what gets reported.
struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, Closer>;

FilePtr openFile(const fs::path& path, const char* mode, std::string_view operation) {
    int error = 0;
    FilePtr file(os::open(path, mode, error));
    if (!file)
        throw FileError(operation, path, reasonOf(error));
    return file;
}

void check(int error, std::string_view operation, const fs::path& path) {
    if (error)
        throw FileError(operation, path, reasonOf(error));
}

void closeFile(FilePtr& file, std::string_view operation, const fs::path& path) {
    check(os::close(file.release()), operation, path);
}

// A short hidden name of our own: it never lengthens the target's name, and the file list
// never shows one that a killed run left behind.
fs::path temporaryName(const fs::path& folder, std::mt19937_64& random) {
    std::ostringstream name;
    name << ".morvane-" << std::hex << std::setw(12) << std::setfill('0')
         << (random() & 0xFFFFFFFFFFFFull) << ".tmp";
    return folder / name.str();
}

// Removes the temporary file unless the rename has taken it over.
class TemporaryFile {
public:
    TemporaryFile(const fs::path& folder, std::string_view operation, const fs::path& target) {
        std::mt19937_64 random{std::random_device{}()};
        int error = 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = temporaryName(folder, random);
            file_.reset(os::open(path_, "wbx", error));
            if (file_ || error != EEXIST)
                break;
        }
        if (!file_)
            throw FileError(operation, target, reasonOf(error));
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        file_.reset();
        if (!committed_)
            os::remove(path_);
    }

    std::FILE* file() const { return file_.get(); }
    const fs::path& path() const { return path_; }
    void close(std::string_view operation, const fs::path& target) {
        closeFile(file_, operation, target);
    }
    void commit() { committed_ = true; }

private:
    fs::path path_;
    FilePtr file_;
    bool committed_ = false;
};

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

} // namespace

FileError::FileError(std::string_view operation, const fs::path& path, std::string_view reason)
    : std::runtime_error("Could not " + std::string(operation) + " \"" + displayPath(path) +
                         "\": " + std::string(reason) + ".") {}

fs::path pathFromUtf8(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

fs::path backupPathFor(const fs::path& script) {
    fs::path backup = script;
    backup += backupSuffix;
    return backup;
}

std::string scriptTextFromBytes(std::string bytes) {
    // Most scripts already end every line in CR LF: then the bytes are the text.
    const std::size_t size = bytes.size();
    const bool normal = size == 0 || (bytes.ends_with(lineEnd) && everyCrBeforeLf(bytes));
    if (normal)
        return bytes;

    std::string text;
    text.reserve(size + size / 16 + 2);
    os::adviseLargePages(text.data(), text.capacity());
    const std::string_view in = bytes;
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

std::string logDateText(const std::tm& localTime, const std::locale& locale) {
    const bool midnight = localTime.tm_hour == 0 && localTime.tm_min == 0 && localTime.tm_sec == 0;
    std::ostringstream text;
    text.imbue(locale);
    text << std::put_time(&localTime, midnight ? "%x" : "%x %X");
    return text.str();
}

std::string logHeader(const std::tm& localTime, const std::locale& locale) {
    std::string header = "-- " + logDateText(localTime, locale) + "--";
    header += lineEnd;
    header += logMarkerLine;
    header += lineEnd;
    return header;
}

std::locale userLocale() {
    try {
        return std::locale("");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

void requireRegularFile(const fs::path& path, std::string_view operation) {
    fs::file_status status;
    check(os::status(path, status), operation, path);
    if (fs::is_directory(status))
        throw FileError(operation, path, "it is a folder, not a script file");
    if (!fs::is_regular_file(status))
        throw FileError(operation, path, "it is not a regular file");
}

std::string readFileBytes(const fs::path& path, std::string_view operation) {
    FilePtr file = openFile(path, "rb", operation);
    std::error_code unknown;
    const auto size = fs::file_size(path, unknown);
    const std::size_t expected = unknown ? 0 : static_cast<std::size_t>(size);
    // A file may grow while it is read, but not without end: a /proc file that says it is empty
    // and never stops would otherwise be read until memory runs out, a minute or more.
    constexpr std::size_t growth = std::size_t{16} << 20;
    const std::size_t memory = os::memoryForAScript();
    const std::size_t limit =
        expected >= memory ? memory : std::min(memory, expected + std::max(expected, growth));
    std::string bytes;
    int error = 0;
    try {
        error = os::readAll(file.get(), unknown ? 1 << 16 : expected, limit, bytes);
    } catch (const std::bad_alloc&) {
        error = EFBIG;
    } catch (const std::length_error&) {
        error = EFBIG;
    }
    if (error == EFBIG)
        throw FileError(operation, path, tooLargeReason);
    check(error, operation, path);
    closeFile(file, operation, path);
    return bytes;
}

void requireNameFits(const fs::path& path, std::string_view operation) {
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (path.filename().native().size() > os::maxNameLength(folder))
        throw FileError(operation, path, "the name is too long for its file system");
}

void replaceFileContents(const fs::path& target, std::string_view text, std::string_view tail,
                         std::string_view operation) {
    // A link stays a link: the file it leads to is the one replaced.
    fs::path file = target;
    fs::file_status link;
    const int linkError = os::linkStatus(target, link);
    if (linkError != ENOENT)
        check(linkError, operation, target);
    if (fs::is_symlink(link))
        check(os::resolveLinks(target, file), operation, target);

    fs::file_status old;
    const int statusError = os::status(file, old);
    const bool exists = statusError != ENOENT;
    if (exists) {
        check(statusError, operation, file);
        if (!fs::is_regular_file(old))
            throw FileError(operation, file, "it is not a regular file");
        // Renaming over a read-only file would succeed; writing it in place would not.
        FilePtr probe = openFile(file, "r+b", operation);
    }

    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    TemporaryFile temporary(folder, operation, file);
    if (exists) {
        os::copyOwnership(file, temporary.file());
        check(os::setPermissions(temporary.path(), old.permissions()), operation, file);
    }
    // Failures name the file the user knows, not the hidden temporary one.
    check(os::write(temporary.file(), text), operation, file);
    check(os::write(temporary.file(), tail), operation, file);
    check(os::sync(temporary.file()), operation, file);
    temporary.close(operation, file);
    check(os::rename(temporary.path(), file), operation, file);
    temporary.commit();
    os::syncFolder(folder);
}

LogFile::LogFile(fs::path path)
    : path_(std::move(path)) {
    // The log's folder may not exist yet; when it cannot be made, that is the reason to give,
    // not the "No such file or directory" of the open that would follow.
    const fs::path folder = path_.parent_path();
    if (!folder.empty())
        check(os::createFolders(folder), "create the log folder", folder);
    int error = 0;
    file_.reset(os::open(path_, "ab", error));
    check(error, "open the log", path_);
}

void LogFile::append(std::string_view bytes) {
    check(os::write(file_.get(), bytes), "write to the log", path_);
}

void LogFile::syncAndClose() {
    check(os::sync(file_.get()), "write to the log", path_);
    check(os::close(file_.release()), "close the log", path_);
}

} // namespace engine
