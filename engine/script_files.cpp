#include "engine/script_files.h"

#include "engine/os_file.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>
#include <system_error>

namespace engine {

namespace fs = std::filesystem;

namespace {

// Why a folder is not read as a script, nor replaced as a backup.
constexpr std::string_view folderReason = "it is a folder, not a script file";
// How long a run waits for another run to finish its log record: a record takes as long as a
// script takes to read and back up, seconds for the largest.
constexpr std::chrono::seconds logPatience{30};

// A folder that is not a script and a FIFO or device that is not one either, in the words the
// user reads; a link that appeared since the run followed the one at the name is not one now.
void requireScriptKind(const os::FileStatus& found, std::string_view operation,
                       const fs::path& path) {
    switch (found.kind) {
    case os::Kind::regular:
        return;
    case os::Kind::missing:
        throw FileError(operation, path,
                        std::make_error_code(std::errc::no_such_file_or_directory));
    case os::Kind::folder:
        throw FileError(operation, path, std::make_error_code(std::errc::is_a_directory),
                        folderReason);
    case os::Kind::link:
    case os::Kind::other:
        break;
    }
    throw FileError(operation, path, Refusal::notRegularFile);
}

void replace(os::TemporaryFile& temporary, const fs::path& name, const os::FileStatus* expected,
             std::string_view operation, const fs::path& path) {
    using Obstacle = os::TemporaryFile::Obstacle;
    Obstacle obstacle = Obstacle::none;
    const std::error_code error = temporary.replace(name, expected, obstacle);
    // Windows lets go of the script's lock for the moment of the replacing: a second run that
    // opened the new script just then holds the lock when this one comes to take it again.
    if (error == std::errc::operation_would_block && temporary.placed())
        throw FileError(operation, path, error,
                        "another run of this program took it as soon as this run had written it");
    check(error, operation, path);
    if (obstacle == Obstacle::targetChanged)
        throw FileError(operation, path, Refusal::changedByAnotherProgram);
    if (obstacle == Obstacle::temporaryTaken)
        throw FileError(operation, path, Refusal::temporaryFileTaken);
}

void writeBoth(const os::File& file, std::string_view text, std::string_view tail,
               std::string_view operation, const fs::path& path) {
    check(os::write(file, text), operation, path);
    check(os::write(file, tail), operation, path);
}

fs::path folderOf(const fs::path& path) {
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

} // namespace

ScriptFile::ScriptFile(const fs::path& path)
    : path_(path) {
    constexpr std::string_view operation = "open the script";
    if (path.filename().empty()) // the root folder
        throw FileError(operation, path, std::make_error_code(std::errc::is_a_directory),
                        folderReason);
    check(os::openFolder(folderOf(path), ownFolder_), operation, path);
    open(ownFolder_, path.filename());
}

ScriptFile::ScriptFile(const os::Folder& folder, const fs::path& name, const fs::path& path)
    : path_(path) {
    open(folder, name);
}

void ScriptFile::open(const os::Folder& folder, const fs::path& name) {
    constexpr std::string_view operation = "open the script";
    // Looked at before it is opened: opening a device can set it going.
    os::FileStatus found;
    check(os::statusAt(folder, name, found), operation, path_);
    if (found.kind == os::Kind::link) {
        fs::path resolved;
        check(os::resolve(folder.path / name, resolved), operation, path_);
        name_ = resolved.filename();
        if (name_.empty()) // the root folder
            throw FileError(operation, path_, std::make_error_code(std::errc::is_a_directory),
                            folderReason);
        os::Folder target;
        check(os::openFolder(resolved.parent_path(), target), operation, path_);
        ownFolder_ = std::move(target); // folder may have been the old one: not used again
        folder_ = &ownFolder_;
        check(os::statusAt(*folder_, name_, found), operation, path_);
    } else {
        name_ = name;
        folder_ = &folder;
    }
    // A run that replaced the script holds its lock on the new file: one taken on the file it
    // replaced, which has no name now, would stop nothing. So the name must still hold the locked
    // file; what it holds instead is opened and locked in its turn.
    for (int attempt = 0;; ++attempt) {
        requireScriptKind(found, operation, path_);
        check(os::openToRead(*folder_, name_, file_), operation, path_);
        check(os::status(file_, known_), operation, path_);
        requireScriptKind(known_, operation, path_);
        const std::error_code locked = os::lock(file_, std::chrono::milliseconds(0));
        if (locked == std::errc::operation_would_block)
            throw FileError(operation, path_, locked, "another run of this program is patching it");
        if (locked == std::errc::no_lock_available)
            takeLockFile();
        else
            check(locked, operation, path_);
        check(os::statusAt(*folder_, name_, found), operation, path_);
        if (found.sameFile(known_))
            return;
        if (attempt == 10) // saved again and again, faster than it can be opened
            throw FileError(operation, path_, Refusal::changedByAnotherProgram);
    }
}

// The lock file is named for the script and lies beside it, so that every run on the script
// looks for the same one, whichever file the name holds.
void ScriptFile::takeLockFile() {
    constexpr std::string_view operation = "open the script";
    if (lockFile_.held())
        return;
    fs::path name = ".";
    name += name_;
    name += ".lock";
    std::string holder;
    const std::error_code taken = lockFile_.take(*folder_, name, holder);
    if (taken == std::errc::operation_would_block)
        throw FileError(operation, path_, taken,
                        "another run of this program is patching it" +
                            (holder.empty() ? std::string() : " (" + holder + ")") +
                            ": it holds the lock file \"" + displayPath(name) +
                            "\" beside the script. If no run is going on, remove that file");
    // A folder that takes no new file takes no new script either: it is written in place, with
    // no lock, as on any file system that has none.
    if (taken == std::errc::permission_denied || taken == std::errc::operation_not_permitted ||
        taken == std::errc::read_only_file_system || taken == std::errc::filename_too_long ||
        taken == std::errc::not_supported)
        return;
    check(taken, operation, path_);
}

std::string ScriptFile::read() {
    constexpr std::string_view operation = "read the script";
    const std::size_t expected = static_cast<std::size_t>(
        std::min<std::uint64_t>(known_.size, std::numeric_limits<std::size_t>::max() / 2));
    // A file may grow while it is read, but not without end: a /proc file that says it is empty
    // and never stops would otherwise be read until memory runs out, a minute or more.
    constexpr std::size_t growth = std::size_t{16} << 20;
    const std::size_t memory = os::memoryForAScript();
    const std::size_t limit =
        expected >= memory ? memory : std::min(memory, expected + std::max(expected, growth));
    std::string bytes;
    std::error_code error;
    try {
        error = os::readAll(file_, expected, limit, bytes);
    } catch (const std::bad_alloc&) {
        error = std::make_error_code(std::errc::file_too_large);
    } catch (const std::length_error&) {
        error = std::make_error_code(std::errc::file_too_large);
    }
    if (error == std::errc::file_too_large)
        throw FileError(operation, path_, error, tooLargeReason);
    check(error, operation, path_);
    return bytes;
}

// Opening it for writing tells a read-only script, which renaming over would not respect, and
// gives the handle to write it in place through if it comes to that.
os::File ScriptFile::openToRewrite() const {
    constexpr std::string_view operation = "write the script";
    os::File file;
    const std::error_code opened = os::openToRewrite(*folder_, name_, file);
    // Gone, a link now or a FIFO now: not the file this run read.
    if (opened == std::errc::no_such_file_or_directory ||
        opened == std::errc::too_many_symbolic_link_levels ||
        opened == std::errc::no_such_device_or_address)
        throw FileError(operation, path_, Refusal::changedByAnotherProgram);
    check(opened, operation, path_);
    return file;
}

// The temporary file's name is no longer than the backup's, so a folder that takes the backup's
// takes it.
std::size_t ScriptFile::temporaryNameLength() const {
    return path_.filename().native().size() + backupSuffix.size();
}

// The same steps as the write's, taken before there is anything to lose: the script opened for
// writing, and a new file made and removed where the new script would be made.
void ScriptFile::requireWritable() {
    os::removeLeftovers(*folder_);
    openToRewrite(); // closed at once: the write opens it again
    if (known_.links <= 1) {
        std::error_code error;
        const os::TemporaryFile probe(*folder_, temporaryNameLength(), error);
        check(error, "write the script", path_);
    }
}

void ScriptFile::write(std::string_view text, std::string_view tail, const BackupFile* backup) {
    constexpr std::string_view operation = "write the script";
    os::File file = openToRewrite();
    os::FileStatus now;
    check(os::status(file, now), operation, path_);
    requireUnchanged(now);
    if (known_.links <= 1 && replaceWith(text, tail))
        return;
    writeInPlace(file, text, tail, backup);
    check(os::close(file), operation, path_);
}

bool ScriptFile::replaceWith(std::string_view text, std::string_view tail) {
    constexpr std::string_view operation = "write the script";
    std::error_code error;
    os::TemporaryFile temporary(*folder_, temporaryNameLength(), error);
    // Failures name the file the user knows, not the hidden temporary one.
    check(error, operation, path_);
    writeBoth(temporary.file(), text, tail, operation, path_);
    bool complete = false;
    check(os::copyAccess(file_, temporary.file(), complete), operation, path_);
    if (!complete)
        return false;
    check(os::sync(temporary.file()), operation, path_);
    os::FileStatus written;
    check(os::status(temporary.file(), written), operation, path_);
    // Writing took a while: the last look is taken as the script is replaced.
    try {
        replace(temporary, name_, &known_, operation, path_);
    } catch (const FileError&) {
        changed_ = changed_ || temporary.placed();
        throw;
    }
    changed_ = true;
    os::syncFolder(*folder_);
    // The new file keeps this run's lock from before it took the script's name.
    file_ = temporary.release();
    // The renaming moved its status-change time, so its status is taken again; a save since
    // the renaming would change its size or time too, and is then still seen by the next write.
    os::FileStatus renamed;
    check(os::status(file_, renamed), operation, path_);
    const bool onlyRenamed = renamed.sameFile(written) && renamed.size == written.size &&
                             renamed.modified == written.modified;
    known_ = onlyRenamed ? renamed : written;
    return true;
}

void ScriptFile::writeInPlace(const os::File& file, std::string_view text, std::string_view tail,
                              const BackupFile* backup) {
    constexpr std::string_view operation = "write the script";
    // A logout or Ctrl+C in the middle would leave a script cut short; it waits until the end,
    // the marker's removal included.
    const os::SignalsDeferred deferred;
    os::FileStatus now;
    check(os::status(file, now), operation, path_);
    requireUnchanged(now);
    // What no signal handler can stop (a kill, a crash, a power cut) the marker tells the next
    // run of.
    if (backup)
        check(os::writeNote(backup->folder(), backup->markerName(), markerText(path_.filename())),
              "write the marker", backup->markerPath());
    changed_ = true;
    incomplete_ = true;
    writeBoth(file, text, tail, operation, path_);
    check(os::endHere(file), operation, path_);
    check(os::sync(file), operation, path_);
    incomplete_ = false;
    check(os::status(file, known_), operation, path_);
    if (backup)
        check(os::removeNote(backup->folder(), backup->markerName()), "remove the marker",
              backup->markerPath());
}

void ScriptFile::requireUnchanged(const os::FileStatus& now) const {
    if (!now.sameVersion(known_))
        throw FileError("write the script", path_, Refusal::changedByAnotherProgram);
}

BackupFile::BackupFile(const fs::path& path)
    : path_(path)
    , name_(path.filename()) {
    check(os::openFolder(folderOf(path), ownFolder_), "write the backup", path);
    folder_ = &ownFolder_;
    open();
}

BackupFile::BackupFile(const os::Folder& folder, const fs::path& name, const fs::path& path)
    : path_(path)
    , folder_(&folder)
    , name_(name) {
    open();
}

void BackupFile::open() {
    constexpr std::string_view operation = "write the backup";
    // Nothing is written under a name that could never exist.
    if (name_.native().size() > os::maxNameLength(*folder_))
        throw FileError(operation, path_, std::make_error_code(std::errc::filename_too_long),
                        "the name is too long for its file system");
    check(os::statusAt(*folder_, name_, found_), operation, path_);
    if (found_.kind == os::Kind::folder)
        throw FileError(operation, path_, std::make_error_code(std::errc::is_a_directory),
                        "it is a folder");
    if (found_.kind == os::Kind::other)
        throw FileError(operation, path_, Refusal::notRegularFile);
}

void BackupFile::requireWritable() {
    os::removeLeftovers(*folder_);
    std::error_code error;
    const os::TemporaryFile probe(*folder_, name_.native().size(), error);
    check(error, "write the backup", path_);
}

void BackupFile::write(const ScriptFile& script, std::string_view bytes) {
    constexpr std::string_view operation = "write the backup";
    std::error_code error;
    os::TemporaryFile temporary(*folder_, name_.native().size(), error);
    check(error, operation, path_);
    check(os::write(temporary.file(), bytes), operation, path_);
    // What this run may not give (another user's ownership) stays this run's: the backup is
    // then no more open than the script, whose permissions it has.
    bool complete = false;
    check(os::copyAccess(script.file(), temporary.file(), complete), operation, path_);
    check(os::sync(temporary.file()), operation, path_);
    replace(temporary, name_, nullptr, operation, path_);
    os::syncFolder(*folder_);
    check(os::status(temporary.file(), written_), operation, path_);
}

std::string BackupFile::read() const {
    constexpr std::string_view operation = "read the backup";
    os::File file;
    check(os::openToRead(*folder_, name_, file), operation, path_);
    os::FileStatus status;
    check(os::status(file, status), operation, path_);
    requireScriptKind(status, operation, path_);
    std::string bytes;
    std::error_code error;
    try {
        error =
            os::readAll(file, static_cast<std::size_t>(status.size), os::memoryForAScript(), bytes);
    } catch (const std::bad_alloc&) {
        error = std::make_error_code(std::errc::file_too_large);
    }
    if (error == std::errc::file_too_large)
        throw FileError(operation, path_, error, tooLargeReason);
    check(error, operation, path_);
    return bytes;
}

bool BackupFile::holdsWhatWasWritten() const {
    os::FileStatus now;
    return written_.kind == os::Kind::regular && !os::statusAt(*folder_, name_, now) &&
           now.sameVersion(written_);
}

fs::path BackupFile::markerName() const {
    const fs::path::string_type& name = name_.native();
    return markerNameFor(name.substr(0, name.size() - backupSuffix.size()));
}

fs::path BackupFile::markerPath() const {
    return path_.parent_path() / markerName();
}

namespace {

// A log or folder the run writes through must be this user's, and no one else's to change;
// remedy is what the user can do about one that others may write to.
void requireOwn(const os::FileStatus& found, std::string_view operation, const fs::path& path,
                std::string_view remedy) {
    if (!found.ownedByUser)
        throw FileError(operation, path, Refusal::ownedByAnotherUser,
                        "it belongs to another user. Remove it, or have its owner changed to "
                        "you, and patch again");
    if (found.othersMayWrite)
        throw FileError(operation, path, Refusal::writableByOthers,
                        "other users may write to it. " + std::string(remedy));
}

} // namespace

void LogFile::openFolder() {
    const fs::path folder = path_.has_parent_path() ? path_.parent_path() : fs::path(".");
    // When the folder cannot be made, that is the reason to give, not the "No such file or
    // directory" of the open that would follow.
    const std::error_code opened = os::openOwnFolder(folder, folder_);
    if (opened == std::errc::too_many_symbolic_link_levels)
        throw FileError("open the log folder", folder, Refusal::isALink,
                        "it is a link, and the log is never kept through one. Remove the link; "
                        "the next run makes the folder anew");
    check(opened, "create the log folder", folder);
    os::FileStatus found;
    check(os::status(folder_.file, found), "open the log folder", folder);
    requireOwn(found, "open the log folder", folder,
               "Let only yourself write in it (chmod 700), and patch again");
    if (found.othersMayRead)
        check(os::makePrivate(folder_.file), "open the log folder", folder);
}

LogFile::LogFile(fs::path path)
    : path_(std::move(path)) {
    openFolder();
    constexpr std::string_view operation = "open the log";
    const fs::path name = path_.filename();
    constexpr std::string_view link =
        "it is a link, and the log is never written through one. Remove the link; the next run "
        "starts a new log";
    // Looked at before it is opened: opening a device can set it going.
    os::FileStatus found;
    check(os::statusAt(folder_, name, found), operation, path_);
    if (found.kind == os::Kind::link)
        throw FileError(operation, path_, Refusal::isALink, link);
    if (found.kind == os::Kind::folder)
        throw FileError(operation, path_, std::make_error_code(std::errc::is_a_directory),
                        "it is a folder");
    if (found.kind == os::Kind::other)
        throw FileError(operation, path_, Refusal::notRegularFile);
    const std::error_code opened = os::openLog(folder_, name, file_);
    // A link or a FIFO put there since the look: what a FIFO with no reader, a socket or a
    // device without its driver says to an opening that does not wait.
    if (opened == std::errc::too_many_symbolic_link_levels)
        throw FileError(operation, path_, Refusal::isALink, link);
    if (opened == std::errc::no_such_device_or_address)
        throw FileError(operation, path_, Refusal::notRegularFile);
    check(opened, operation, path_);
    // Nothing is written before what was opened is known.
    check(os::status(file_, found), operation, path_);
    if (found.kind != os::Kind::regular)
        throw FileError(operation, path_, Refusal::notRegularFile);
    requireOwn(found, operation, path_,
               "Let only yourself write to it (chmod 600), or remove it, and patch again");
    if (found.links > 1)
        throw FileError(operation, path_, Refusal::hasOtherNames,
                        "it has other names (hard links), which writing to it would change too. "
                        "Remove it; the next run starts a new log");
    if (found.othersMayRead) {
        check(os::makePrivate(file_), operation, path_);
        madePrivate_ = true;
    }
    const std::error_code locked = os::lock(file_, logPatience);
    if (locked == std::errc::operation_would_block)
        throw FileError(operation, path_, locked,
                        "another run of this program has been writing to it for too long");
    // Where the file system has no locks, records are appended unlocked, as they always were.
    if (locked != std::errc::no_lock_available)
        check(locked, operation, path_);
}

void LogFile::append(std::string_view bytes) {
    check(os::write(file_, bytes), "write to the log", path_);
}

void LogFile::syncAndClose() {
    check(os::sync(file_), "write to the log", path_);
    check(os::close(file_), "close the log", path_);
}

} // namespace engine
