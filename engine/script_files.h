#pragma once

#include "engine/file_error.h"
#include "engine/file_formats.h"
#include "engine/os_file.h"
#include "engine/path_text.h"

#include <filesystem>
#include <string>
#include <string_view>

// The files the patcher reads and writes: the script, its backup and the patch log, each opened
// once through its folder and written safely. Their byte formats are in file_formats.h.
namespace engine {

// Why a script bigger than the memory a run may use is refused.
inline constexpr std::string_view tooLargeReason = "it is too large to patch";

// The script a run patches, from the start of the run to its end. A link at its name is followed
// once, when the run starts, and the file found is the one read and replaced. It is open and
// locked for as long as the object lives, so that a second run of the program on it is refused
// at once instead of overwriting this one's work.
class BackupFile;

class ScriptFile {
public:
    // Fails, before anything is written, on a folder or anything else that is not a regular
    // file (a FIFO or device would hang the read), and on a script another run is patching.
    explicit ScriptFile(const std::filesystem::path& path);
    // The script at name in folder, which the run opened once and keeps open for as long as the
    // object lives; path is what failures name.
    ScriptFile(const os::Folder& folder, const std::filesystem::path& name,
               const std::filesystem::path& path);
    ScriptFile(const ScriptFile&) = delete;
    ScriptFile& operator=(const ScriptFile&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }
    const os::File& file() const noexcept { return file_; }
    // Which file it is, as the run read it or last wrote it.
    const os::FileStatus& status() const noexcept { return known_; }
    // Whether its name holds what this run wrote, or began to write in place.
    bool changed() const noexcept { return changed_; }
    // Whether a write in place began and did not finish: the script may be cut short.
    bool incomplete() const noexcept { return incomplete_; }

    // The whole file. A file too large for memory fails with tooLargeReason rather than ending
    // the program.
    std::string read();

    // Fails, before anything is written, as writing the script would on a read-only script, or
    // in a folder that takes no new file when the script is to be replaced there.
    void requireWritable();

    // Gives the script the content text + tail, or leaves it as it was. It is refused when
    // another program changed the script since this run read it or last wrote it. The new
    // content goes to a temporary file that takes the script's owner, permissions, ACL and
    // attributes, is flushed to disk and then replaces the script in one step. Where that file
    // could not keep all of them, or the script has other names (hard links) that must see the
    // new content too, the script is written in place instead: call this only once the text as
    // read is safely on disk elsewhere, in backup above all. A write in place, which a crash or
    // a kill could cut short, has backup's marker beside it, on disk before the first byte and
    // removed once the script is on disk whole, so that the next run can tell.
    void write(std::string_view text, std::string_view tail, const BackupFile* backup = nullptr);

private:
    void open(const os::Folder& folder, const std::filesystem::path& name);
    void takeLockFile();
    os::File openToRewrite() const;
    std::size_t temporaryNameLength() const;
    bool replaceWith(std::string_view text, std::string_view tail);
    void writeInPlace(const os::File& file, std::string_view text, std::string_view tail,
                      const BackupFile* backup);
    void requireUnchanged(const os::FileStatus& now) const;

    std::filesystem::path path_;         // as the user chose it
    os::Folder ownFolder_;               // where the run gave no folder, or a link led elsewhere
    const os::Folder* folder_ = nullptr; // the folder the script is really in
    std::filesystem::path name_;         // its name there
    os::File file_;
    os::FileStatus known_; // the script as this run read it or last wrote it
    bool changed_ = false;
    bool incomplete_ = false;
    os::LockFile lockFile_; // where the file system refuses locks
};

// The backup beside the script: the script's bytes as they were. Whatever is at its name, a link
// included, is replaced as a name by a new regular file and never followed; the new file is no
// more open than the script.
class BackupFile {
public:
    // Fails, before anything is written, when the name is too long for its file system or names
    // a folder, FIFO, socket or device.
    explicit BackupFile(const std::filesystem::path& path);
    // The backup at name in folder, which the run opened once and keeps open for as long as the
    // object lives; path is what failures name.
    BackupFile(const os::Folder& folder, const std::filesystem::path& name,
               const std::filesystem::path& path);
    BackupFile(const BackupFile&) = delete;
    BackupFile& operator=(const BackupFile&) = delete;
    // Fails, before anything is written, as writing the backup would in a folder that takes no
    // new file (no right to write there, a read-only file system).
    void requireWritable();
    void write(const ScriptFile& script, std::string_view bytes);
    // The backup's bytes, to put back in the script's place.
    std::string read() const;
    // Whether its name still holds what write wrote: looked at before a message names it.
    bool holdsWhatWasWritten() const;

    const std::filesystem::path& path() const noexcept { return path_; }
    const os::Folder& folder() const noexcept { return *folder_; }
    const std::filesystem::path& name() const noexcept { return name_; }
    // What was at its name when the run began.
    const os::FileStatus& found() const noexcept { return found_; }
    // The marker of a write in place of its script, beside it.
    std::filesystem::path markerName() const;
    std::filesystem::path markerPath() const;

private:
    void open();

    std::filesystem::path path_;
    os::Folder ownFolder_; // where the run gave no folder
    const os::Folder* folder_ = nullptr;
    std::filesystem::path name_;
    os::FileStatus found_;
    os::FileStatus written_;
};

// The patch log, open for appending for as long as the object lives, and locked so that the
// records of two runs never mix. Its folder is made first when it is missing. Both are this
// user's alone: the log keeps every patched script's whole text.
class LogFile {
public:
    // Refuses a log that is not a regular file (a FIFO would hang the run), and a log or folder
    // that could lead the writing elsewhere: a link, another user's, one that others may write
    // to, a log with other names. Nothing is opened through a link. Waits a while for another
    // run that is writing its record.
    explicit LogFile(std::filesystem::path path);
    void append(std::string_view bytes);
    // Flushes to disk and closes; after this the appended bytes survive a crash.
    void syncAndClose();
    const std::filesystem::path& path() const { return path_; }
    const os::File& file() const noexcept { return file_; }
    // Whether the log was found readable by others, and made private.
    bool madePrivate() const noexcept { return madePrivate_; }

private:
    void openFolder();

    std::filesystem::path path_;
    os::Folder folder_;
    os::File file_;
    bool madePrivate_ = false;
};

} // namespace engine
