#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

// Every call a patch run makes to the system passes through here, and nowhere else: this header
// is all the rest of the engine knows of the system. os_file.cpp defines each operation once,
// with the fault seam's check (setFaultPlan), over the system calls that one source file per
// system gives (os_file_platform.h). Each operation gives back the system's error code, so the
// caller can tell the user what the system said and tests can check what it was.
//
// Files are reached through the folder that holds them, opened once: however the path to the
// folder changes while a run goes on, its names stay those of that folder.
namespace engine::os {

namespace fs = std::filesystem;

// An open file or folder of the system, closed when the object goes.
class File {
public:
    File() noexcept = default;
    explicit File(std::intptr_t handle) noexcept
        : handle_(handle) {}
    File(File&& other) noexcept
        : handle_(other.handle_) {
        other.handle_ = none;
    }
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    explicit operator bool() const noexcept { return handle_ != none; }
    std::intptr_t handle() const noexcept { return handle_; }
    std::intptr_t release() noexcept;

private:
    static constexpr std::intptr_t none = -1;
    std::intptr_t handle_ = none;
};

// A folder through which names are made, replaced and removed. Where the system has no calls
// relative to an open folder (Windows), names are reached by its path, and the open folder
// keeps that path its own: it cannot be renamed or removed while it is open.
struct Folder {
    File file;
    fs::path path;
};

enum class Kind { missing, regular, folder, link, other };

// What the run knows of a file: which one it is, and which version of it.
struct FileStatus {
    Kind kind = Kind::missing;
    std::uint64_t device = 0;
    std::uint64_t identity = 0; // the inode, or whatever else names the file on its device
    std::uint64_t size = 0;
    std::int64_t modified = 0; // nanoseconds since the epoch
    // When its content or status last changed (ctime), in nanoseconds: no program can set it, so
    // a save that puts size and modification time back (cp -p, touch -r) still shows. Zero
    // where the system keeps none.
    std::int64_t changed = 0;
    std::uint64_t links = 0; // how many names the file has
    // Who else may use it: where the system has no owners or modes, no one else.
    bool ownedByUser = true; // by the user this process acts as
    bool othersMayWrite = false;
    bool othersMayRead = false; // or, for a folder, list or enter it

    bool sameFile(const FileStatus& other) const noexcept {
        return kind == other.kind && device == other.device && identity == other.identity;
    }
    // The same file as it was: a save in between changes its size or one of its times.
    bool sameVersion(const FileStatus& other) const noexcept {
        return sameFile(other) && size == other.size && modified == other.modified &&
               changed == other.changed;
    }
};

// The path with every link in it followed, as the system would follow them now.
std::error_code resolve(const fs::path& path, fs::path& result);
std::error_code openFolder(const fs::path& path, Folder& folder);
// Opens name in folder for reading, without following a link at the name and without waiting
// on a FIFO or device.
std::error_code openToRead(const Folder& folder, const fs::path& name, File& file);
// Opens the file at name in folder for writing over it, without creating or truncating it,
// following a link at the name or waiting.
std::error_code openToRewrite(const Folder& folder, const fs::path& name, File& file);
// Opens the folder at path, making it and the folders above it that are missing, without
// following a link at any level it makes nor at the folder itself: the levels above that exist
// are the user's own setting, and are followed. The folder is made readable by this user alone,
// the levels above it as the user's other folders are.
std::error_code openOwnFolder(const fs::path& path, Folder& folder);
// Opens name in folder for appending, making it (readable by this user alone) when it is
// missing, without following a link at the name or waiting on a FIFO or device.
std::error_code openLog(const Folder& folder, const fs::path& name, File& file);
std::error_code status(const File& file, FileStatus& result);
// Lets no one but the owner read, write or enter the file or folder.
std::error_code makePrivate(const File& file);
// The file at name in folder, a link there taken as itself; a missing name is Kind::missing.
std::error_code statusAt(const Folder& folder, const fs::path& name, FileStatus& result);

// Locks the file against the same lock taken through any other opening of it, by this or any
// other process, until it is closed. Another holder is waited for up to patience, then it is
// std::errc::operation_would_block. A file system that refuses locks (NFS without its lock
// service) gives std::errc::no_lock_available where the system tells it: a LockFile can stand in.
std::error_code lock(const File& file, std::chrono::milliseconds patience);

// A lock for where the file system refuses locks: a file made under name in folder only where
// none is, hidden, readable by this user alone and holding this process's id and host name. It
// is removed when the object goes. One left by a process that is gone (on this host, no such
// process) is free and taken over.
class LockFile {
public:
    LockFile() noexcept = default;
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;
    ~LockFile();

    // std::errc::operation_would_block while another holds it; holder then says who, as far as
    // the file tells ("process 1234 on example"), or is empty.
    std::error_code take(const Folder& folder, const fs::path& name, std::string& holder);
    bool held() const noexcept { return folder_ != nullptr; }

private:
    const Folder* folder_ = nullptr;
    fs::path name_;
    FileStatus own_;
};

// Reads to the end of the file; sizeHint is what the file is expected to hold. The buffer keeps
// room past the end for what the patch adds, so that the rules can rewrite the text in it.
// Fails with EFBIG, having read no more, once the file holds more than limit bytes: a file that
// never ends (some /proc files) would otherwise take every byte of memory.
std::error_code readAll(const File& file, std::size_t sizeHint, std::size_t limit,
                        std::string& bytes);
std::error_code write(const File& file, std::string_view bytes);
// Ends the file where the writing has got to.
std::error_code endHere(const File& file);
// Pushes what the system holds of the file onto the disk, so that a crash or power cut after
// this returns cannot take the written bytes back.
std::error_code sync(const File& file);
// Closes the file in every case; the close's own failure is where a full disk often shows.
std::error_code close(File& file);

// Gives the file to the owner and group, the permissions, the ACL and the other extended
// attributes of the file from, and takes off attributes from does not have, as far as this
// process may: complete tells whether all of it could be done. What the file system of either
// cannot hold at all is nothing to give. The mode and owner are set only where they differ.
std::error_code copyAccess(const File& from, const File& to, bool& complete);

// A new, empty file under a fresh hidden name in folder (temporary_name.h), open for writing
// and locked, readable by no one else until it gets its final access. It is removed when the
// object goes unless it has replaced a file; while it lives, SIGTERM, SIGINT and SIGHUP remove
// it before they end the program as they would have. One exists at a time.
class TemporaryFile {
public:
    // nameLength: how long the name may be.
    TemporaryFile(const Folder& folder, std::size_t nameLength, std::error_code& error);
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();

    const File& file() const noexcept { return file_; }
    // What stopped replace.
    enum class Obstacle { none, targetChanged, temporaryTaken };
    // Puts the file in the place of name in the same folder, in one step: whatever was at name,
    // a link included, is replaced as a name and never followed. Nothing is replaced when the
    // temporary name no longer holds this file (someone who may write in the folder put
    // something else there), nor when expected is given and what is at name is not that
    // version of it; obstacle says which.
    std::error_code replace(const fs::path& name, const FileStatus* expected, Obstacle& obstacle);
    // Whether it has replaced its target, even where what came after failed.
    bool placed() const noexcept { return placed_; }
    // The file, still open and locked, once it has replaced its target.
    File release() noexcept { return std::move(file_); }

private:
    const Folder& folder_;
    std::string name_;
    File file_;
    FileStatus own_; // which file it is, for systems that must close it to rename it
    bool placed_ = false;
};

// While it lives, SIGTERM, SIGINT and SIGHUP wait: a file written in place is finished before
// the program ends as the signal would have ended it. Not alongside a TemporaryFile.
class SignalsDeferred {
public:
    SignalsDeferred() noexcept;
    SignalsDeferred(const SignalsDeferred&) = delete;
    SignalsDeferred& operator=(const SignalsDeferred&) = delete;
    ~SignalsDeferred();
};

// A note of this user's at name in folder: a small hidden file readable by its owner alone, which
// tells the next run what this one was doing when it was cut short. Writing it takes over one
// that a run cut short left there, refuses anything else at the name (a link, a FIFO, another
// user's file), and flushes the note and the folder's entry before it returns.
std::error_code writeNote(const Folder& folder, const fs::path& name, std::string_view bytes);
// What the note at name holds; found is false when there is none, or when what is there is not a
// note this user could have written.
std::error_code readNote(const Folder& folder, const fs::path& name, std::string& bytes,
                         bool& found);
// Removes this user's note at name, if there is one, and flushes the folder's entry.
std::error_code removeNote(const Folder& folder, const fs::path& name);

// Clean-up and durability hints that cannot fail a run.
// Removes what runs of the program that no longer exist left in folder (temporary_name.h).
void removeLeftovers(const Folder& folder) noexcept;
void syncFolder(const Folder& folder) noexcept;

// Asks for the memory to be handed out in large pages where the system can: on some machines
// taking memory a 4 KiB page at a time costs many times what filling it does. Only a hint.
void adviseLargePages(void* data, std::size_t size) noexcept;

// The most memory a run may count on: a quarter of the machine's, since the text is held up to
// three times over while it is read, patched and written.
std::size_t memoryForAScript() noexcept;

// The longest file name the file system holding folder takes.
std::size_t maxNameLength(const fs::path& folder) noexcept;
std::size_t maxNameLength(const Folder& folder) noexcept;

// For tests: from now on, the failAt-th operation above that can fail (counting from 1) fails
// with error, and before is called with the number of each operation before it is attempted;
// inside is called between the system calls that an operation makes, at each moment where
// something the user could see has changed (a file made, written, renamed or removed), numbered
// across the run. Nothing happens while no plan is set, and the check costs one load and compare.
// trace is told of each write, truncation, flush, rename and removal once it is done, in order,
// with the handle it went through (the folder's, for a removal) and the name it gave or took in
// that folder: the order of a run's steps, which a crash would otherwise be the first to test.
struct FaultPlan {
    long failAt = 0;
    int error = 0;
    long operations = 0; // how many operations have been attempted under this plan
    std::function<void(long operation)> before;
    std::function<void(std::string_view step, std::intptr_t handle, const fs::path& name)> trace;
    long moments = 0;
    std::function<void(long moment)> inside;
    int lockError = 0; // when set, every lock is refused with it, as NFS without its lock service
};
void setFaultPlan(FaultPlan* plan) noexcept;

} // namespace engine::os
