#include "script_files.h"

#include "os_file.h"

#include <cerrno>
#include <cstring>
#include <iomanip>
#include <random>
#include <sstream>
#include <system_error>

namespace engine {

namespace fs = std::filesystem;

namespace {

std::string reasonOf(int error) {
    return std::generic_category().message(error);
}

using FilePtr = std::unique_ptr<std::FILE, decltype([](std::FILE* f) { std::fclose(f); })>;

// Closes the file and reports the close's own failure, which is where a full disk often shows.
int closeFile(FilePtr& file) {
    const int result = std::fclose(file.release());
    return result == 0 ? 0 : errno;
}

void writeAll(std::FILE* file, std::string_view bytes, const fs::path& path,
              std::string_view operation) {
    if (bytes.empty())
        return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        throw FileError(operation, path, reasonOf(errno));
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
    explicit TemporaryFile(const fs::path& folder, std::string_view operation) {
        std::mt19937_64 random{std::random_device{}()};
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = temporaryName(folder, random);
            errno = 0;
            file_.reset(std::fopen(path_.c_str(), "wbx"));
            if (file_ || errno != EEXIST)
                break;
        }
        if (!file_)
            throw FileError(operation, folder / "", reasonOf(errno));
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        file_.reset();
        if (!committed_) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }

    std::FILE* file() const { return file_.get(); }
    const fs::path& path() const { return path_; }
    int close() { return closeFile(file_); }
    void commit() { committed_ = true; }

private:
    fs::path path_;
    FilePtr file_;
    bool committed_ = false;
};

} // namespace

FileError::FileError(std::string_view operation, const fs::path& path, std::string_view reason)
    : std::runtime_error("Could not " + std::string(operation) + " \"" + displayPath(path) +
                         "\": " + std::string(reason) + ".") {}

std::string displayPath(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

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
    bool normal = size == 0 || (size >= 2 && bytes[size - 2] == '\r' && bytes[size - 1] == '\n');
    for (std::size_t cr = bytes.find('\r'); normal && cr != std::string::npos;
         cr = bytes.find('\r', cr + 1)) {
        normal = cr + 1 < size && bytes[cr + 1] == '\n';
    }
    if (normal)
        return bytes;

    std::string text;
    text.reserve(size + size / 16 + 2);
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
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error)
        throw FileError(operation, path, error.message());
    if (fs::is_directory(status))
        throw FileError(operation, path, "it is a folder, not a script file");
    if (!fs::is_regular_file(status))
        throw FileError(operation, path, "it is not a regular file");
}

std::string readFileBytes(const fs::path& path, std::string_view operation) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file)
        throw FileError(operation, path, reasonOf(errno));

    std::error_code ignored;
    const auto expected = fs::file_size(path, ignored);
    std::string bytes;
    bytes.resize(ignored ? 1 << 16 : static_cast<std::size_t>(expected) + 1);
    std::size_t used = 0;
    for (;;) {
        used += std::fread(bytes.data() + used, 1, bytes.size() - used, file.get());
        if (used < bytes.size())
            break;
        bytes.resize(bytes.size() * 2); // the file grew while we read it
    }
    if (std::ferror(file.get()))
        throw FileError(operation, path, reasonOf(errno ? errno : EIO));
    bytes.resize(used);
    return bytes;
}

void replaceFileContents(const fs::path& target, std::string_view text, std::string_view tail,
                         std::string_view operation) {
    std::error_code error;
    // A link stays a link: the file it leads to is the one replaced.
    fs::path file = target;
    if (fs::is_symlink(fs::symlink_status(target, error))) {
        file = fs::canonical(target, error);
        if (error)
            throw FileError(operation, target, error.message());
    }

    const fs::file_status old = fs::status(file, error);
    const bool exists = !error && fs::exists(old);
    if (exists) {
        if (!fs::is_regular_file(old))
            throw FileError(operation, file, "it is not a regular file");
        // Renaming over a read-only file would succeed; writing it in place would not.
        FilePtr probe(std::fopen(file.c_str(), "r+b"));
        if (!probe)
            throw FileError(operation, file, reasonOf(errno));
    }

    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    TemporaryFile temporary(folder, operation);
    if (exists) {
        os::copyOwnership(file, temporary.file());
        fs::permissions(temporary.path(), old.permissions(), error);
        if (error)
            throw FileError(operation, file, error.message());
    }
    // Failures name the file the user knows, not the hidden temporary one.
    writeAll(temporary.file(), text, file, operation);
    writeAll(temporary.file(), tail, file, operation);
    if (const int failure = os::syncToDisk(temporary.file()))
        throw FileError(operation, file, reasonOf(failure));
    if (const int failure = temporary.close())
        throw FileError(operation, file, reasonOf(failure));
    fs::rename(temporary.path(), file, error);
    if (error)
        throw FileError(operation, file, error.message());
    temporary.commit();
    os::syncFolder(folder);
}

LogFile::LogFile(fs::path path)
    : path_(std::move(path)) {
    file_.reset(std::fopen(path_.c_str(), "ab"));
    if (!file_)
        throw FileError("open the log", path_, reasonOf(errno));
}

void LogFile::append(std::string_view bytes) {
    writeAll(file_.get(), bytes, path_, "write to the log");
}

void LogFile::syncAndClose() {
    if (const int failure = os::syncToDisk(file_.get()))
        throw FileError("write to the log", path_, reasonOf(failure));
    const int result = std::fclose(file_.release());
    if (result != 0)
        throw FileError("close the log", path_, reasonOf(errno));
}

} // namespace engine
